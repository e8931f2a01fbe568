// Messages and WhatsApp chats as one shape of conversation, so that one
// page script shows both: a chat list as groups, and each chat's messages
// paged newest first (page 0 holds the newest), since a person opens a chat
// at its end and a chat may hold hundreds of thousands of messages.
#include <string>
#include <string_view>
#include <unordered_map>

#include "report/DataParts.h"
#include "report/KindRows.h"
#include "report/MediaFiles.h"
#include "report/ScanValues.h"

namespace report {
namespace {

// A reaction names the message it is about; this much of that message's
// text goes with it.
constexpr size_t kQuotedLength = 80;

// What a reaction quotes: the texts of a chat's messages by their guid.
using TextByGuid = std::unordered_map<std::string_view, std::string_view>;

// A flag the scans write as true/false or as 0/1.
bool Flag(const rapidjson::Value& object, const char* name) {
  const rapidjson::Value& value = Member(object, name);
  if (value.IsBool()) return value.GetBool();
  if (value.IsInt64()) return value.GetInt64() != 0;
  return Text(object, name) == "1";
}

int64_t Number(const rapidjson::Value& object, const char* name) {
  const rapidjson::Value& value = Member(object, name);
  return value.IsInt64() ? value.GetInt64() : 0;
}

std::string FirstText(const rapidjson::Value& object, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    std::string text = Text(object, name);
    if (!text.empty()) return text;
  }
  return "";
}

// The start of a text cut at a character boundary.
std::string Quote(const std::string& text) {
  if (text.size() <= kQuotedLength) return text;
  size_t end = kQuotedLength;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + "…";
}

// `media`: the report's copy of the file, "" when it has none.
rapidjson::Value FileRow(const std::string& name, const std::string& type, int64_t size,
                         const std::string& media, MediaFiles& files, Allocator& a) {
  rapidjson::Value file(rapidjson::kObjectType);
  AddText(file, "name", name, a);
  AddText(file, "type", type, a);
  file.AddMember("size", size, a);
  AddText(file, "media", media, a);
  AddText(file, "thumb", files.ThumbnailOf(media), a);
  return file;
}

// What the chat list shows of one chat.
struct ChatCard {
  std::string name;
  std::string detail;
  rapidjson::Value participants{rapidjson::kArrayType};
  std::string last;
};

// Writes one chat's messages, newest page first, and its line of the chat
// list. `row` makes a conversation row of one message of the scan.
template <typename MakeRow>
bool WriteChat(const rapidjson::Value& messages, size_t number, ChatCard& card, DataParts& chats,
               RowsTarget& target, MakeRow makeRow) {
  std::string stem = target.kind + "-c" + std::to_string(number);
  DataParts parts(target.dataFolder, stem, kMessagesPerPage);
  rapidjson::Document scratch;
  for (rapidjson::SizeType i = messages.Size(); i-- > 0;) {
    scratch.GetAllocator().Clear();
    rapidjson::Value row = makeRow(messages[i], scratch.GetAllocator());
    if (!parts.Add(row)) break;
  }
  bool ok = parts.Finish();
  if (!ok && target.error.empty()) target.error = parts.Error();
  rapidjson::Document line(rapidjson::kObjectType);
  auto& a = line.GetAllocator();
  AddText(line, "name", card.name, a);
  AddText(line, "detail", card.detail, a);
  line.AddMember("participants", rapidjson::Value(card.participants, a), a);
  AddText(line, "last", card.last, a);
  line.AddMember("count", static_cast<uint64_t>(parts.Items()), a);
  line.AddMember("parts", static_cast<uint64_t>(parts.Parts()), a);
  AddText(line, "stem", stem, a);
  if (!chats.Add(line)) ok = false;
  return ok;
}

template <typename WriteOne>
bool WriteChats(const rapidjson::Value& chatList, RowsTarget& target, WriteOne writeOne) {
  DataParts chats(target.dataFolder, target.kind + "-groups", kItemsPerPage);
  bool ok = true;
  size_t number = 0;
  for (const auto& chat : chatList.GetArray()) {
    if (!chat.IsObject()) continue;
    if (!writeOne(chat, number++, chats)) {
      ok = false;
      break;
    }
  }
  ok = chats.Finish() && ok;
  if (!ok && target.error.empty()) target.error = chats.Error();
  target.written.groupParts = chats.Parts();
  target.written.parts = 0;
  return ok;
}

rapidjson::Value MessageRow(const rapidjson::Value& message, const TextByGuid& textByGuid,
                            MediaFiles& media, Allocator& a) {
  rapidjson::Value row(rapidjson::kObjectType);
  bool me = Flag(message, "is_from_me");
  row.AddMember("me", me, a);
  AddText(row, "from", me ? "" : Text(message, "sender"), a);
  AddText(row, "at", Text(message, "date"), a);
  AddText(row, "text", Text(message, "text"), a);
  AddText(row, "subject", Text(message, "subject"), a);
  AddText(row, "service", Text(message, "service"), a);
  rapidjson::Value files(rapidjson::kArrayType);
  for (const auto& attachment : ArrayMember(message, "attachments").GetArray()) {
    std::string name = FirstText(attachment, {"transfer_name", "filename"});
    std::string copy = media.WantDevicePath(Text(attachment, "filename"), name);
    files.PushBack(FileRow(name, Text(attachment, "mime_type"), Number(attachment, "total_bytes"),
                           copy, media, a),
                   a);
  }
  row.AddMember("files", files, a);
  const rapidjson::Value& reaction = Member(message, "reaction");
  if (reaction.IsObject()) {
    rapidjson::Value about(rapidjson::kObjectType);
    AddText(about, "type", Text(reaction, "type"), a);
    about.AddMember("removed", Flag(reaction, "removed"), a);
    auto target = textByGuid.find(TextView(reaction, "target"));
    AddText(about, "quote", target == textByGuid.end() ? "" : Quote(std::string(target->second)),
            a);
    row.AddMember("reaction", about, a);
  }
  return row;
}

rapidjson::Value WhatsAppRow(const rapidjson::Value& message, MediaFiles& mediaFiles,
                             Allocator& a) {
  rapidjson::Value row(rapidjson::kObjectType);
  bool me = Flag(message, "is_from_me");
  row.AddMember("me", me, a);
  std::string from = me ? ""
                        : FirstText(message, {"sender_name", "member_name", "push_name",
                                              "member_push_name", "member_jid"});
  AddText(row, "from", from, a);
  AddText(row, "at", Text(message, "date"), a);
  AddText(row, "text", Text(message, "text"), a);
  rapidjson::Value files(rapidjson::kArrayType);
  const rapidjson::Value& media = Member(message, "media");
  if (media.IsObject()) {
    std::string name = Text(media, "title");
    if (name.empty()) {
      name = Text(media, "name");
      std::string format = Text(media, "format");
      if (!format.empty()) name += "." + format;
    }
    std::string copy = mediaFiles.Want(Text(media, "path"), Text(media, "relativePath"));
    files.PushBack(FileRow(name, Text(media, "format"), Number(media, "size"), copy, mediaFiles, a),
                   a);
  }
  row.AddMember("files", files, a);
  if (Flag(message, "system")) row.AddMember("system", true, a);
  const rapidjson::Value& latitude = Member(message, "latitude");
  const rapidjson::Value& longitude = Member(message, "longitude");
  if (latitude.IsNumber() && longitude.IsNumber()) {
    rapidjson::Value place(rapidjson::kArrayType);
    place.PushBack(latitude.GetDouble(), a).PushBack(longitude.GetDouble(), a);
    row.AddMember("place", place, a);
  }
  return row;
}

}  // namespace

bool WriteMessageRows(const rapidjson::Value& scanFile, RowsTarget& target) {
  const rapidjson::Value& chatList = scanFile.IsArray() ? scanFile : EmptyArray();
  return WriteChats(
      chatList, target, [&](const rapidjson::Value& chat, size_t number, DataParts& chats) {
        const rapidjson::Value& messages = ArrayMember(chat, "messages");
        TextByGuid textByGuid;
        for (const auto& message : messages.GetArray()) {
          std::string_view guid = TextView(message, "guid");
          if (!guid.empty() && !Member(message, "reaction").IsObject())
            textByGuid[guid] = TextView(message, "text");
        }
        rapidjson::Document owner;
        ChatCard card;
        for (const auto& participant : ArrayMember(chat, "participants").GetArray())
          if (participant.IsString())
            card.participants.PushBack(rapidjson::Value(participant, owner.GetAllocator()),
                                       owner.GetAllocator());
        card.name = Text(chat, "display_name");
        if (card.name.empty()) card.name = Text(chat, "chat_identifier");
        card.detail = Text(chat, "service") + (Flag(chat, "is_group") ? " group" : "");
        card.last = Text(chat, "last_message_date");
        return WriteChat(messages, number, card, chats, target,
                         [&](const rapidjson::Value& message, Allocator& a) {
                           return MessageRow(message, textByGuid, *target.media, a);
                         });
      });
}

bool WriteWhatsAppRows(const rapidjson::Value& scanFile, RowsTarget& target) {
  const rapidjson::Value& chatList = ArrayMember(scanFile, "chats");
  return WriteChats(
      chatList, target, [&](const rapidjson::Value& chat, size_t number, DataParts& chats) {
        rapidjson::Document owner;
        ChatCard card;
        for (const auto& member : ArrayMember(chat, "members").GetArray()) {
          std::string name = FirstText(member, {"name", "jid"});
          if (!name.empty())
            card.participants.PushBack(rapidjson::Value(name, owner.GetAllocator()),
                                       owner.GetAllocator());
        }
        card.name = FirstText(chat, {"name", "jid"});
        card.detail = Text(chat, "group_info").empty() ? "WhatsApp" : "WhatsApp group";
        card.last = Text(chat, "date");
        return WriteChat(ArrayMember(chat, "messages"), number, card, chats, target,
                         [&](const rapidjson::Value& message, Allocator& a) {
                           return WhatsAppRow(message, *target.media, a);
                         });
      });
}

}  // namespace report
