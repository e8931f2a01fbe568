// A session's messages, with the sender of incoming group messages looked up
// once per member and session.
#include <string>
#include <string_view>

#include "kind/whatsapp/Columns.h"
#include "kind/whatsapp/WhatsApp.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

constexpr char kMessageSql[] =
    "SELECT ZFROMJID,ZTOJID, ZPUSHNAME, ZTEXT, ZMEDIAITEM, ZMESSAGEDATE,ZISFROMME,ZGROUPMEMBER "
    "FROM ZWAMESSAGE WHERE ZCHATSESSION = ? ORDER BY ZSORT";
constexpr char kGroupMemberSql[] =
    "SELECT Z_PK,ZISADMIN,ZMEMBERJID from ZWAGROUPMEMBER where ZCHATSESSION = ?;";

}  // namespace

struct WhatsApp::MessageRow {
  int64_t isFromMe = 0;
  std::string groupMember;  // ZGROUPMEMBER as text; "" for NULL
};

std::optional<WhatsApp::GroupMembers> WhatsApp::ReadGroupMembers(int64_t sessionId) {
  sqlite::Statement statement = sqlite::Prepare(database_, kGroupMemberSql);
  if (!statement) return std::nullopt;
  sqlite3_stmt* row = statement.get();
  sqlite3_bind_int64(row, 1, sessionId);
  GroupMembers members;
  while (sqlite3_step(row) == SQLITE_ROW) {
    std::string_view jid = sqlite::Text(row, 2);
    if (jid.empty()) continue;
    members.emplace(std::to_string(sqlite::Int64(row, 0)), std::string(jid));
  }
  return members;
}

bool WhatsApp::ReadMessages(rapidjson::Value& session,
                            rapidjson::Document::AllocatorType& sessionAllocator,
                            rapidjson::Value& messages,
                            rapidjson::Document::AllocatorType& messageAllocator) {
  sqlite::Statement statement = sqlite::Prepare(database_, kMessageSql);
  if (!statement) return false;
  sqlite3_stmt* row = statement.get();
  const int64_t sessionId = session["id"].GetInt64();
  sqlite3_bind_int64(row, 1, sessionId);

  std::optional<GroupMembers> members;
  auto groupInfo = session.FindMember("group_info");
  if (groupInfo != session.MemberEnd() && groupInfo->value.GetStringLength() > 0)
    members = ReadGroupMembers(sessionId);
  MemberCache cache;

  messages.SetArray();
  while (sqlite3_step(row) == SQLITE_ROW) {
    if (sqlite::IsNull(row, 3) && sqlite::IsNull(row, 4)) continue;
    const bool dated = !sqlite::IsNull(row, 5);
    rapidjson::Value message(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictInt64Value(message, messageAllocator, "session_id", sessionId);
    whatsapp::AddText(message, messageAllocator, "push_name", row, 2);
    whatsapp::AddText(message, messageAllocator, "text", row, 3);
    whatsapp::AddText(message, messageAllocator, "media_item", row, 4);
    MessageRow fields{sqlite::Int64(row, 6), std::string(sqlite::Text(row, 7))};
    PimJsonUtil::AddJsonDictIntValue(message, messageAllocator, "is_from_me",
                                     static_cast<int32_t>(fields.isFromMe));
    if (dated)
      PimJsonUtil::AddJsonDictStringValue(message, messageAllocator, "date",
                                          whatsapp::DateOf(row, 5));
    AddGroupMemberInfo(fields, members ? &*members : nullptr, cache, message, messageAllocator);
    messages.PushBack(message, messageAllocator);
  }
  PimJsonUtil::AddJsonDictInt64Value(session, sessionAllocator, "message_count", messages.Size());
  return true;
}

void WhatsApp::AddGroupMemberInfo(const MessageRow& row, const GroupMembers* members,
                                  MemberCache& cache, rapidjson::Value& message,
                                  rapidjson::Document::AllocatorType& allocator) const {
  if (row.isFromMe != 0 || !members || row.groupMember.empty()) return;
  auto cached = cache.find(row.groupMember);
  if (cached != cache.end()) {
    PimJsonUtil::AddJsonDictStringValue(message, allocator, "member_jid", cached->second.first);
    PimJsonUtil::AddJsonDictStringValue(message, allocator, "member_push_name",
                                        cached->second.second);
    return;
  }
  auto member = members->find(row.groupMember);
  if (member == members->end()) return;
  PimJsonUtil::AddJsonDictStringValue(message, allocator, "member_jid", member->second);
  auto& entry = cache[row.groupMember];
  entry.first = member->second;
  auto pushName = pushNames_.find(member->second);
  if (pushName == pushNames_.end()) return;
  PimJsonUtil::AddJsonDictStringValue(message, allocator, "member_push_name",
                                      pushName->second.pushName);
  entry.second = pushName->second.pushName;
}

}  // namespace keldra
