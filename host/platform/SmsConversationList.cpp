#include <exception>
#include <string>

#include "platform/Platform.h"
#include "platform/PlatformReply.h"
#include "platform/sms/SmsReader.h"

namespace host {

// {"path": database, "productVersion": ...}: the layout is read from the
// file itself, so the version is not needed.
bool AnswerSmsQueryConversationList(PluginMessage& message, const PlatformOptions& options) {
  try {
    rapidjson::Document request;
    if (!ParseRequest(message, request)) return false;
    std::optional<std::string> path = StringMember(request, "path");
    if (!path) return false;
    std::unique_ptr<rapidjson::Document> reply = sms::ReadConversationList(*path, options);
    if (!reply) return false;
    return Answer(message, std::move(reply));
  } catch (const std::exception&) {
    // Nothing escapes into the module's call; an unreadable file is unanswered.
    return false;
  }
}

}  // namespace host
