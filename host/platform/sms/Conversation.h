// The reply the host gives to a conversation-list request, shared by the
// readers of every messages database layout:
//
//   {"chats": [conversation, ...]}
//   conversation: "messages" (first, so the module's removal of it moves the
//     last member into its place), "chat_id", "guid", "service",
//     "chat_identifier", "display_name", "is_group", "participants" (handle
//     ids), "last_message_date"
//   message: "id", "guid", "date", "date_read", "is_from_me", "sender" (""
//     for the device owner), "service", "text", "subject", "attachments"
//     ([{"filename", "mime_type", "transfer_name", "total_bytes"}]), and
//     "reaction" ({"type", "removed", "target"}) on tapback rows
//
// Dates are the utility library's date texts; "" for none. Text that is not
// UTF-8 is repaired.
//
// The reply is written as a stream of values into the document (the way a
// parser fills it), so every object and array is allocated once at its final
// size: a reply holds every message of the database at once.
#ifndef HOST_PLATFORM_SMS_CONVERSATION_H_
#define HOST_PLATFORM_SMS_CONVERSATION_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vorn/Json.h"

namespace host::sms {

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
  int64_t seconds = 0;  // its date in seconds since 2001, for the conversation's last date
  bool dated = false;   // whether `seconds` is a date at all
  std::string date;
  std::string dateRead;
  bool fromMe = false;
  std::string_view sender;
  std::string_view service;
  std::string_view text;
  std::string_view subject;
  const std::vector<AttachmentFields>* attachments = nullptr;
  std::optional<ReactionFields> reaction;
};

struct ConversationFields {
  int64_t chatId = 0;
  std::string guid;
  std::string service;
  std::string identifier;
  std::string displayName;
  bool group = false;
  std::vector<std::string> participants;
};

// Writes the reply into a document: Begin, then per conversation
// BeginConversation, its messages, EndConversation; End.
class ReplyWriter {
 public:
  explicit ReplyWriter(rapidjson::Document& document) : out_(document) {}
  void Begin();
  void BeginConversation();
  void Message(const MessageFields& fields);
  void EndConversation(const ConversationFields& fields);
  void End();
  // Ends one page of a reply read in pages: "total" conversations in all
  // pages, and "next", the token that asks for the following page, unless
  // this one is the last.
  void EndPage(int64_t total, std::string_view next);
  size_t MessagesWritten() const { return messagesWritten_; }

 private:
  // Names are literals: the document keeps pointers to them.
  void Key(std::string_view name);
  void Text(std::string_view text);

  rapidjson::Document& out_;
  rapidjson::SizeType conversations_ = 0;
  rapidjson::SizeType messages_ = 0;
  size_t messagesWritten_ = 0;
  bool dated_ = false;
  int64_t lastSeconds_ = 0;
};

// The text of a message body archived in attributedBody; "" when none.
std::string DecodedBody(std::string_view blob);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_CONVERSATION_H_
