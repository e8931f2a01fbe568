#include "common/Channel.h"

#include <cstring>

#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

ModuleRegistration* g_registration = nullptr;
void* g_instance = nullptr;

}  // namespace

void SetRegistration(ModuleRegistration* registration) {
  g_registration = registration;
  g_instance = registration ? registration->moduleInstance : nullptr;
}

void* ModuleInstance() {
  return g_instance;
}

void SendToHost(PluginMessage& message) {
  message.senderInstance = g_instance;
  if (g_registration && g_registration->hostSend) g_registration->hostSend(&message);
}

void SendResultText(const char* taskId, const std::string& text, bool withLength) {
  SendResultText(taskId, text.c_str(), text.size(), withLength);
}

void SendResultText(const char* taskId, const char* text, size_t length, bool withLength) {
  PluginMessage message;
  std::memset(&message, 0, sizeof message);
  message.taskId = taskId;
  message.payloadForm = kPayloadText;
  message.target = names::kCommandReceive;
  message.subCommand = names::kSendResult;
  message.payload = const_cast<char*>(text);
  message.payloadLength = withLength ? length : 0;
  SendToHost(message);
}

void SendCommandStatus(const char* taskId, const char* command, CommandStatus status,
                       int errorCode) {
  rapidjson::Document document(rapidjson::kObjectType);
  auto& allocator = document.GetAllocator();
  PimJsonUtil::AddJsonDictIntValue(document, allocator, "stage", 3);
  PimJsonUtil::AddJsonDictIntValue(document, allocator, "status", ToInt(status));
  PimJsonUtil::AddJsonDictStringValue(document, allocator, "sub_command_type", command);
  PimJsonUtil::AddJsonDictIntValue(document, allocator, "error_code", errorCode);
  SendResultText(taskId, PimJsonUtil::ToString(document), true);
}

}  // namespace keldra
