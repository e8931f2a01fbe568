// The reply the host gives to a conversation-list request, shared by the
// readers of every messages database layout:
//
//   {"chats": [conversation, ...]}
//   conversation: "messages" (first, so the module's removal of it moves the
//     last member into its place), "chat_id", "guid", "service",
//     "chat_identifier", "display_name", "is_group", "participants" (handle
//     ids), "last_message_date"
//   message: "id", "guid", "date", "date_read", "date_delivered",
//     "is_from_me", "is_read", "sender" ("" for the device owner), "service",
//     "text", "subject", "attachments" ([{"filename", "mime_type",
//     "transfer_name", "total_bytes"}]), and "reaction" ({"type", "removed",
//     "target"}) on tapback rows
//
// Dates are the utility library's date texts; "" for none.
#ifndef HOST_PLATFORM_SMS_CONVERSATION_H_
#define HOST_PLATFORM_SMS_CONVERSATION_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorn/Json.h"

namespace host::sms {

using Allocator = rapidjson::Document::AllocatorType;

// Seconds since 2001 of a stored Apple date: nanoseconds when its magnitude
// says so (newer databases), seconds otherwise.
int64_t AppleSeconds(int64_t stored);
// Date texts; 0 gives "".
std::string AppleDateText(int64_t stored);
std::string UnixDateText(int64_t seconds);

struct AttachmentFields {
  std::string_view filename;
  std::string_view mimeType;
  std::string_view transferName;
  int64_t totalBytes = 0;
};

struct ReactionFields {
  std::string_view type;
  bool removed = false;
  std::string_view target;
};

// A tapback's reaction from associated_message_type/guid; nothing for
// ordinary messages.
std::optional<ReactionFields> ReactionOf(int64_t associatedType, std::string_view associatedGuid);

struct MessageFields {
  int64_t id = 0;
  std::string_view guid;
  std::string date;
  std::string dateRead;
  std::string dateDelivered;
  bool fromMe = false;
  bool read = false;
  std::string_view sender;
  std::string_view service;
  std::string_view text;
  std::string_view subject;
  const std::vector<AttachmentFields>* attachments = nullptr;
  std::optional<ReactionFields> reaction;
};

struct ConversationFields {
  int64_t chatId = 0;
  std::string_view guid;
  std::string_view service;
  std::string_view identifier;
  std::string_view displayName;
  bool group = false;
  const std::vector<std::string>* participants = nullptr;
};

rapidjson::Value MessageValue(const MessageFields& fields, Allocator& allocator);
// A conversation with an empty "messages" array; "last_message_date" is
// added once its messages are in (SetLastMessageDate).
rapidjson::Value ConversationValue(const ConversationFields& fields, Allocator& allocator);
rapidjson::Value& MessagesOf(rapidjson::Value& conversation);
void SetLastMessageDate(rapidjson::Value& conversation, const std::string& date,
                        Allocator& allocator);

// A string value with the bytes repaired to UTF-8.
rapidjson::Value TextValue(std::string_view text, Allocator& allocator);

// The text of a message body archived in attributedBody; "" when none.
std::string DecodedBody(std::string_view blob);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_CONVERSATION_H_
