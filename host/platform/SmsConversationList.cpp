#include <exception>
#include <string>

#include "platform/Platform.h"
#include "platform/sms/SmsReader.h"

namespace host {

// {"path": database, "productVersion": ...}: the layout is read from the
// file itself, so the version is not needed.
bool AnswerSmsQueryConversationList(PluginMessage& message, const PlatformOptions& options) {
  if (message.payloadForm != kPayloadText || !message.payload) return false;
  try {
    rapidjson::Document request;
    request.Parse(static_cast<const char*>(message.payload));
    if (request.HasParseError() || !request.IsObject()) return false;
    auto path = request.FindMember("path");
    if (path == request.MemberEnd() || !path->value.IsString()) return false;
    std::string file(path->value.GetString(), path->value.GetStringLength());
    std::unique_ptr<rapidjson::Document> reply =
        sms::ReadConversationList(file, [&options]() { return ProjectTempDir(options); });
    if (!reply) return false;
    message.payload = reply.release();  // the module owns it now
    message.replyPresent = 1;
    return true;
  } catch (const std::exception&) {
    // Nothing escapes into the module's call; an unreadable file is unanswered.
    return false;
  }
}

}  // namespace host
