#include "platform/sms/Conversation.h"

#include <iterator>

#include "formats/TypedStream.h"
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

constexpr rapidjson::SizeType kConversationMembers = 9;

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

void ReplyWriter::Key(std::string_view name) {
  out_.Key(name.data(), static_cast<rapidjson::SizeType>(name.size()), false);
}

void ReplyWriter::Text(std::string_view text) {
  if (text.empty()) {
    out_.String("", 0, true);
  } else if (PimJsonUtil::IsValidUtf8(text.data(), text.size())) {
    out_.String(text.data(), static_cast<rapidjson::SizeType>(text.size()), true);
  } else {
    std::string repaired = PimJsonUtil::RepairUtf8(text.data(), text.size());
    out_.String(repaired.data(), static_cast<rapidjson::SizeType>(repaired.size()), true);
  }
}

void ReplyWriter::Begin() {
  out_.StartObject();
  Key("chats");
  out_.StartArray();
}

void ReplyWriter::End() {
  out_.EndArray(conversations_);
  out_.EndObject(1);
}

void ReplyWriter::EndPage(int64_t total, std::string_view next) {
  out_.EndArray(conversations_);
  Key("total");
  out_.Int64(total);
  if (!next.empty()) {
    Key("next");
    Text(next);
  }
  out_.EndObject(next.empty() ? 2 : 3);
}

void ReplyWriter::BeginConversation() {
  out_.StartObject();
  Key("messages");
  out_.StartArray();
  messages_ = 0;
  dated_ = false;
  lastSeconds_ = 0;
}

void ReplyWriter::Message(const MessageFields& fields) {
  rapidjson::SizeType members = 10;
  out_.StartObject();
  Key("id");
  out_.Int64(fields.id);
  Key("guid");
  Text(fields.guid);
  Key("date");
  Text(fields.date);
  Key("date_read");
  Text(fields.dateRead);
  Key("is_from_me");
  out_.Bool(fields.fromMe);
  Key("sender");
  Text(fields.sender);
  Key("service");
  Text(fields.service);
  Key("text");
  Text(fields.text);
  Key("subject");
  Text(fields.subject);
  Key("attachments");
  out_.StartArray();
  rapidjson::SizeType attachments = 0;
  if (fields.attachments) {
    for (const AttachmentFields& a : *fields.attachments) {
      out_.StartObject();
      Key("filename");
      Text(a.filename);
      Key("mime_type");
      Text(a.mimeType);
      Key("transfer_name");
      Text(a.transferName);
      Key("total_bytes");
      out_.Int64(a.totalBytes);
      out_.EndObject(4);
      ++attachments;
    }
  }
  out_.EndArray(attachments);
  if (fields.reaction) {
    Key("reaction");
    out_.StartObject();
    Key("type");
    Text(fields.reaction->type);
    Key("removed");
    out_.Bool(fields.reaction->removed);
    Key("target");
    Text(fields.reaction->target);
    out_.EndObject(3);
    ++members;
  }
  out_.EndObject(members);
  ++messages_;
  ++messagesWritten_;
  if (fields.dated && (!dated_ || fields.seconds > lastSeconds_)) lastSeconds_ = fields.seconds;
  dated_ = dated_ || fields.dated;
}

void ReplyWriter::EndConversation(const ConversationFields& fields) {
  out_.EndArray(messages_);
  Key("chat_id");
  out_.Int64(fields.chatId);
  Key("guid");
  Text(fields.guid);
  Key("service");
  Text(fields.service);
  Key("chat_identifier");
  Text(fields.identifier);
  Key("display_name");
  Text(fields.displayName);
  Key("is_group");
  out_.Bool(fields.group);
  Key("participants");
  out_.StartArray();
  for (const std::string& handle : fields.participants) Text(handle);
  out_.EndArray(static_cast<rapidjson::SizeType>(fields.participants.size()));
  Key("last_message_date");
  Text(dated_ ? VRNUtilitySys::DateText2001(lastSeconds_) : std::string());
  out_.EndObject(kConversationMembers);
  ++conversations_;
}

std::string DecodedBody(std::string_view blob) {
  if (blob.empty()) return {};
  std::optional<std::string> text =
      typedstream::DecodeText(reinterpret_cast<const uint8_t*>(blob.data()), blob.size());
  return text ? std::move(*text) : std::string();
}

}  // namespace host::sms
