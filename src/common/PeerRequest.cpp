#include "common/PeerRequest.h"

#include <cstring>

#include "common/Channel.h"
#include "keldra/Names.h"
#include "mivo/Utils.h"

namespace keldra {
namespace {

PluginMessage BlankMessage() {
  PluginMessage message;
  std::memset(&message, 0, sizeof message);
  return message;
}

}  // namespace

ReplyDocument QueryPlatform(const char* subCommand, const std::string& requestText,
                            const char* taskId) {
  PluginMessage message = BlankMessage();
  message.taskId = taskId;
  message.payloadForm = kPayloadText;
  message.target = names::kCommandReceive;
  message.subCommand = subCommand;
  message.payload = const_cast<char*>(requestText.c_str());
  SendToHost(message);
  if (!message.replyPresent || message.payload == requestText.c_str()) return nullptr;
  return ReplyDocument(static_cast<rapidjson::Document*>(message.payload));
}

std::optional<std::string> RequestProjectTempDir() {
  PluginMessage message = BlankMessage();
  message.target = names::kCommandReceive;
  message.subCommand = names::kGetProjectTempDir;
  SendToHost(message);
  if (!message.replyPresent) return std::nullopt;
  std::unique_ptr<char16_t, FreeDeleter> wide(static_cast<char16_t*>(message.replyData));
  if (!wide) return std::nullopt;
  return Utils::ConvertUnicodeToUtf8(wide.get());
}

bool RequestDecompress(const uint8_t* data, size_t length, std::string& output) {
  PluginMessage message = BlankMessage();
  message.target = names::kCommandReceive;
  message.subCommand = names::kDecompressZipStream;
  message.payloadForm = kPayloadText;
  message.payload = const_cast<uint8_t*>(data);
  message.payloadLength = length;
  message.replyData = &output;
  SendToHost(message);
  return message.replyPresent != 0;
}

DecryptAnswer SendDecryptRequest(const char* target, rapidjson::Document& document) {
  PluginMessage message = BlankMessage();
  message.payloadForm = kPayloadDocument;
  message.target = target;
  message.payload = &document;
  SendToHost(message);
  DecryptAnswer answer;
  answer.answered = message.replyPresent != 0;
  answer.payloadForm = message.payloadForm;
  answer.replyData = message.replyData;
  answer.replyCode = message.replyCode;
  return answer;
}

std::optional<std::string> DecryptRequestForPath(const char* target,
                                                 rapidjson::Document& document) {
  DecryptAnswer answer = SendDecryptRequest(target, document);
  if (!answer.answered) return std::nullopt;
  MallocText text(static_cast<char*>(answer.replyData));
  if (!text) return std::nullopt;
  return std::string(text.get());
}

}  // namespace keldra
