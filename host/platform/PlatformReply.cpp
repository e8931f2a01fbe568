#include "platform/PlatformReply.h"

namespace host {

bool ParseRequest(const PluginMessage& message, rapidjson::Document& request) {
  if (message.payloadForm != kPayloadText || !message.payload) return false;
  request.Parse(static_cast<const char*>(message.payload));
  return !request.HasParseError() && request.IsObject();
}

std::optional<std::string> StringMember(const rapidjson::Value& object, const char* name) {
  if (!object.IsObject()) return std::nullopt;
  auto member = object.FindMember(name);
  if (member == object.MemberEnd() || !member->value.IsString()) return std::nullopt;
  return std::string(member->value.GetString(), member->value.GetStringLength());
}

std::unique_ptr<rapidjson::Document> NewReply() {
  auto reply = std::make_unique<rapidjson::Document>();
  reply->SetObject();
  return reply;
}

bool Answer(PluginMessage& message, std::unique_ptr<rapidjson::Document> reply) {
  message.payload = reply.release();  // the module frees it
  message.replyPresent = 1;
  return true;
}

}  // namespace host
