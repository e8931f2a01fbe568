#include "platform/sms/Conversation.h"

#include <iterator>

#include "platform/TypedStream.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilitySys.h"

namespace host::sms {
namespace {

// Seconds since 2001 stay below this until the year 33,000; nanoseconds
// reach it 17 minutes after the epoch.
constexpr int64_t kNanosecondThreshold = 1000000000000;
constexpr int64_t kNanosecondsPerSecond = 1000000000;

// associated_message_type: 2000 + n adds tapback n, 3000 + n removes it.
constexpr int64_t kTapbackAdded = 2000;
constexpr int64_t kTapbackRemoved = 3000;
constexpr const char* kTapbackNames[] = {"love",      "like",     "dislike", "laugh",
                                         "emphasize", "question", "emoji",   "sticker"};

rapidjson::GenericStringRef<char> Key(const char* name) {
  return rapidjson::StringRef(name);
}

}  // namespace

int64_t AppleSeconds(int64_t stored) {
  if (stored >= kNanosecondThreshold || stored <= -kNanosecondThreshold)
    return stored / kNanosecondsPerSecond;
  return stored;
}

std::string AppleDateText(int64_t stored) {
  return stored == 0 ? std::string() : VRNUtilitySys::DateText2001(AppleSeconds(stored));
}

std::string UnixDateText(int64_t seconds) {
  return seconds == 0 ? std::string() : VRNUtilitySys::DateTextUnix(seconds);
}

std::optional<ReactionFields> ReactionOf(int64_t associatedType, std::string_view associatedGuid) {
  bool added = associatedType >= kTapbackAdded && associatedType < kTapbackAdded + 1000;
  bool removed = associatedType >= kTapbackRemoved && associatedType < kTapbackRemoved + 1000;
  if (!added && !removed) return std::nullopt;
  int64_t n = associatedType - (added ? kTapbackAdded : kTapbackRemoved);
  ReactionFields reaction;
  reaction.type = n < static_cast<int64_t>(std::size(kTapbackNames)) ? kTapbackNames[n] : "unknown";
  reaction.removed = removed;
  // "p:<part>/<guid>" or "bp:<guid>" names the message reacted to.
  std::string_view target = associatedGuid;
  if (target.compare(0, 2, "p:") == 0) {
    size_t slash = target.find('/');
    target = slash == std::string_view::npos ? target.substr(2) : target.substr(slash + 1);
  } else if (target.compare(0, 3, "bp:") == 0) {
    target = target.substr(3);
  }
  reaction.target = target;
  return reaction;
}

rapidjson::Value TextValue(std::string_view text, Allocator& allocator) {
  return PimJsonUtil::MakeString(text.data(), text.size(), allocator);
}

rapidjson::Value MessageValue(const MessageFields& fields, Allocator& allocator) {
  rapidjson::Value message(rapidjson::kObjectType);
  message.AddMember(Key("id"), fields.id, allocator);
  message.AddMember(Key("guid"), TextValue(fields.guid, allocator), allocator);
  message.AddMember(Key("date"), TextValue(fields.date, allocator), allocator);
  message.AddMember(Key("date_read"), TextValue(fields.dateRead, allocator), allocator);
  message.AddMember(Key("date_delivered"), TextValue(fields.dateDelivered, allocator), allocator);
  message.AddMember(Key("is_from_me"), fields.fromMe, allocator);
  message.AddMember(Key("is_read"), fields.read, allocator);
  message.AddMember(Key("sender"), TextValue(fields.sender, allocator), allocator);
  message.AddMember(Key("service"), TextValue(fields.service, allocator), allocator);
  message.AddMember(Key("text"), TextValue(fields.text, allocator), allocator);
  message.AddMember(Key("subject"), TextValue(fields.subject, allocator), allocator);
  rapidjson::Value attachments(rapidjson::kArrayType);
  if (fields.attachments) {
    attachments.Reserve(static_cast<rapidjson::SizeType>(fields.attachments->size()), allocator);
    for (const AttachmentFields& a : *fields.attachments) {
      rapidjson::Value attachment(rapidjson::kObjectType);
      attachment.AddMember(Key("filename"), TextValue(a.filename, allocator), allocator);
      attachment.AddMember(Key("mime_type"), TextValue(a.mimeType, allocator), allocator);
      attachment.AddMember(Key("transfer_name"), TextValue(a.transferName, allocator), allocator);
      attachment.AddMember(Key("total_bytes"), a.totalBytes, allocator);
      attachments.PushBack(attachment, allocator);
    }
  }
  message.AddMember(Key("attachments"), attachments, allocator);
  if (fields.reaction) {
    rapidjson::Value reaction(rapidjson::kObjectType);
    reaction.AddMember(Key("type"), TextValue(fields.reaction->type, allocator), allocator);
    reaction.AddMember(Key("removed"), fields.reaction->removed, allocator);
    reaction.AddMember(Key("target"), TextValue(fields.reaction->target, allocator), allocator);
    message.AddMember(Key("reaction"), reaction, allocator);
  }
  return message;
}

rapidjson::Value ConversationValue(const ConversationFields& fields, Allocator& allocator) {
  rapidjson::Value conversation(rapidjson::kObjectType);
  conversation.AddMember(Key("messages"), rapidjson::Value(rapidjson::kArrayType), allocator);
  conversation.AddMember(Key("chat_id"), fields.chatId, allocator);
  conversation.AddMember(Key("guid"), TextValue(fields.guid, allocator), allocator);
  conversation.AddMember(Key("service"), TextValue(fields.service, allocator), allocator);
  conversation.AddMember(Key("chat_identifier"), TextValue(fields.identifier, allocator),
                         allocator);
  conversation.AddMember(Key("display_name"), TextValue(fields.displayName, allocator), allocator);
  conversation.AddMember(Key("is_group"), fields.group, allocator);
  rapidjson::Value participants(rapidjson::kArrayType);
  if (fields.participants) {
    for (const std::string& handle : *fields.participants)
      participants.PushBack(TextValue(handle, allocator), allocator);
  }
  conversation.AddMember(Key("participants"), participants, allocator);
  return conversation;
}

rapidjson::Value& MessagesOf(rapidjson::Value& conversation) {
  return conversation.MemberBegin()->value;
}

void SetLastMessageDate(rapidjson::Value& conversation, const std::string& date,
                        Allocator& allocator) {
  conversation.AddMember(Key("last_message_date"), TextValue(date, allocator), allocator);
}

std::string DecodedBody(std::string_view blob) {
  if (blob.empty()) return {};
  std::optional<typedstream::AttributedString> body = typedstream::DecodeAttributedString(
      reinterpret_cast<const uint8_t*>(blob.data()), blob.size());
  return body ? std::move(body->text) : std::string();
}

}  // namespace host::sms
