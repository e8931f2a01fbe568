// The host channel: the registration record and the fixed 128-byte message
// record that every exchange between host, module and decrypt module carries.
//
// Layout (little-endian, 8-byte pointers):
//
//   0x00 reserved        0x30 replyPresent    0x60 senderInstance
//   0x08 taskId          0x38 replyData       0x68 reserved[24]
//   0x10 payloadForm     0x40 replyCode
//   0x14 reserved        0x48 payload
//   0x18 target          0x50 payloadLength
//   0x20 subCommand      0x58 reserved
//   0x28 reserved
//
// A sender zero-fills the record and sets only the fields it uses. Everything
// a message points to lives only for the duration of the call carrying it.
#ifndef KELDRA_PLUGIN_H_
#define KELDRA_PLUGIN_H_

#include <cstddef>
#include <cstdint>

extern "C" {

struct PluginMessage;

// The host's send function. Its return value carries no meaning.
using HostSendFunction = intptr_t (*)(PluginMessage* message);
// A module's receive function.
using ModuleReceiveFunction = void (*)(PluginMessage* message);

struct ModuleRegistration {
  HostSendFunction hostSend;            // set by the host
  ModuleReceiveFunction moduleReceive;  // written by the module
  void* moduleInstance;                 // set by the host, read by the module
};

// How `payload` is to be read.
enum PayloadForm : uint32_t {
  kPayloadText = 0,      // NUL-terminated UTF-8 JSON, or raw bytes counted by payloadLength
  kPayloadDocument = 1,  // rapidjson::Document*
  kPayloadData = 2,      // DataPayload*
};

struct PluginMessage {
  uint64_t reserved0;
  const char* taskId;
  uint32_t payloadForm;
  uint32_t reserved1;
  const char* target;
  const char* subCommand;
  uint64_t reserved2;
  uint64_t replyPresent;
  void* replyData;
  int64_t replyCode;
  void* payload;
  uint64_t payloadLength;
  uint64_t reserved3;
  void* senderInstance;
  uint8_t reserved4[24];
};

// Payload form 2: a JSON value describing raw bytes that travel beside it.
struct DataPayload {
  const void* json;  // const rapidjson::Value*
  const uint8_t* data;
  uint64_t size;
};

// The module's single export. Declared here so host and module agree on it.
using RegisterModuleFunction = void (*)(ModuleRegistration* registration);

}  // extern "C"

static_assert(sizeof(PluginMessage) == 128, "PluginMessage is 128 bytes");
static_assert(offsetof(PluginMessage, reserved0) == 0x00, "reserved0");
static_assert(offsetof(PluginMessage, taskId) == 0x08, "taskId");
static_assert(offsetof(PluginMessage, payloadForm) == 0x10, "payloadForm");
static_assert(offsetof(PluginMessage, reserved1) == 0x14, "reserved1");
static_assert(offsetof(PluginMessage, target) == 0x18, "target");
static_assert(offsetof(PluginMessage, subCommand) == 0x20, "subCommand");
static_assert(offsetof(PluginMessage, reserved2) == 0x28, "reserved2");
static_assert(offsetof(PluginMessage, replyPresent) == 0x30, "replyPresent");
static_assert(offsetof(PluginMessage, replyData) == 0x38, "replyData");
static_assert(offsetof(PluginMessage, replyCode) == 0x40, "replyCode");
static_assert(offsetof(PluginMessage, payload) == 0x48, "payload");
static_assert(offsetof(PluginMessage, payloadLength) == 0x50, "payloadLength");
static_assert(offsetof(PluginMessage, reserved3) == 0x58, "reserved3");
static_assert(offsetof(PluginMessage, senderInstance) == 0x60, "senderInstance");
static_assert(offsetof(PluginMessage, reserved4) == 0x68, "reserved4");

static_assert(sizeof(ModuleRegistration) == 24, "ModuleRegistration is 24 bytes");
static_assert(offsetof(ModuleRegistration, hostSend) == 0, "hostSend");
static_assert(offsetof(ModuleRegistration, moduleReceive) == 8, "moduleReceive");
static_assert(offsetof(ModuleRegistration, moduleInstance) == 16, "moduleInstance");

static_assert(sizeof(DataPayload) == 24, "DataPayload is three words");

#endif  // KELDRA_PLUGIN_H_
