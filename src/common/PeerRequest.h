// Requests the module puts to the host platform and to the decrypt module.
// Each is one synchronous message; the answer is in the record when the
// host's send function returns.
#ifndef KELDRA_COMMON_PEERREQUEST_H_
#define KELDRA_COMMON_PEERREQUEST_H_

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "vorn/Json.h"

namespace keldra {

// Owner of a text the answerer allocated with malloc.
struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
using MallocText = std::unique_ptr<char, FreeDeleter>;

// A platform reply document; ownership passes to the module with the answer.
using ReplyDocument = std::unique_ptr<rapidjson::Document>;

// A platform query with a JSON text payload; the reply document when the
// platform answered, else null. `taskId` is null except where a request
// carries the command's task.
ReplyDocument QueryPlatform(const char* subCommand, const std::string& requestText,
                            const char* taskId = nullptr);

// The platform's project temporary folder (UTF-8, ending in a separator).
std::optional<std::string> RequestProjectTempDir();

// Asks the platform to inflate `data` into `output` (which the platform
// appends to). False when the platform did not answer.
bool RequestDecompress(const uint8_t* data, size_t length, std::string& output);

// What the decrypt module left in the record.
struct DecryptAnswer {
  bool answered = false;
  uint32_t payloadForm = 0;
  void* replyData = nullptr;
  int64_t replyCode = 0;
};

// A request to the decrypt module with a document payload (form 1).
DecryptAnswer SendDecryptRequest(const char* target, rapidjson::Document& document);

// The decrypt module's NUL-terminated malloc'd answer text, when answered.
std::optional<std::string> DecryptRequestForPath(const char* target, rapidjson::Document& document);

}  // namespace keldra

#endif  // KELDRA_COMMON_PEERREQUEST_H_
