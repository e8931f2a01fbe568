// A session's messages, with the sender of incoming group messages looked up
// once per member and session.
#include <cmath>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "kind/whatsapp/Columns.h"
#include "kind/whatsapp/PushName.h"
#include "kind/whatsapp/WhatsApp.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

constexpr char kMessageSql[] =
    "SELECT ZFROMJID,ZTOJID, ZPUSHNAME, ZTEXT, ZMEDIAITEM, ZMESSAGEDATE,ZISFROMME,ZGROUPMEMBER "
    "FROM ZWAMESSAGE WHERE ZCHATSESSION = ? ORDER BY ZSORT";
constexpr char kGroupMemberSql[] =
    "SELECT Z_PK,ZISADMIN,ZMEMBERJID from ZWAGROUPMEMBER where ZCHATSESSION = ?;";

// Complete reading: ZMESSAGETYPE values of rows that record an event in the
// chat (a group change, a call) rather than something a person sent.
constexpr int64_t kGroupEventType = 6;
constexpr int64_t kChatEventType = 10;
constexpr int64_t kLocationType = 5;
// Columns of the complete statement after the eight of the fixed one.
constexpr int kTypeColumn = 8;
constexpr int kLatitudeColumn = 9;
constexpr int kLongitudeColumn = 10;

// Every row of a session, from the columns this store has, with the
// coordinates of its media item (a location keeps them there).
std::string CompleteMessageSql(const sqlite::Database& database) {
  using whatsapp::ColumnOrNull;
  std::set<std::string> message = whatsapp::ColumnsOf(database, "ZWAMESSAGE");
  std::set<std::string> item = whatsapp::ColumnsOf(database, "ZWAMEDIAITEM");
  const bool joined = message.count("ZMEDIAITEM") && item.count("Z_PK");
  std::string sql = "SELECT ";
  for (const char* name : {"ZFROMJID", "ZTOJID", "ZPUSHNAME", "ZTEXT", "ZMEDIAITEM", "ZMESSAGEDATE",
                           "ZISFROMME", "ZGROUPMEMBER", "ZMESSAGETYPE"})
    sql += ColumnOrNull(message, "m", name) + ", ";
  sql += joined
             ? ColumnOrNull(item, "i", "ZLATITUDE") + ", " + ColumnOrNull(item, "i", "ZLONGITUDE")
             : "NULL, NULL";
  sql += " FROM ZWAMESSAGE AS m";
  if (joined) sql += " LEFT JOIN ZWAMEDIAITEM AS i ON i.Z_PK = m.ZMEDIAITEM";
  sql += " WHERE m.ZCHATSESSION = ? ORDER BY ";
  sql += message.count("ZSORT") ? "m.ZSORT" : "m.Z_PK";
  return sql;
}

// A group's members: Z_PK, JID, the name the device knows the member by,
// and whether the member is an admin.
std::string CompleteRosterSql(const sqlite::Database& database) {
  using whatsapp::ColumnOrNull;
  std::set<std::string> columns = whatsapp::ColumnsOf(database, "ZWAGROUPMEMBER");
  return "SELECT g.Z_PK, " + ColumnOrNull(columns, "g", "ZMEMBERJID") + ", COALESCE(NULLIF(" +
         ColumnOrNull(columns, "g", "ZCONTACTNAME") + ", ''), " +
         ColumnOrNull(columns, "g", "ZFIRSTNAME") + "), " + ColumnOrNull(columns, "g", "ZISADMIN") +
         " FROM ZWAGROUPMEMBER AS g WHERE g.ZCHATSESSION = ? ORDER BY g.Z_PK";
}

std::string_view StringMember(const rapidjson::Value& object, const char* key) {
  auto member = object.FindMember(key);
  if (member == object.MemberEnd() || !member->value.IsString()) return {};
  return {member->value.GetString(), member->value.GetStringLength()};
}

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

WhatsApp::MemberNames WhatsApp::ReadGroupRoster(int64_t sessionId, rapidjson::Value& roster,
                                                rapidjson::Document::AllocatorType& allocator) {
  MemberNames names;
  roster.SetArray();
  sqlite::Statement statement = sqlite::Prepare(database_, CompleteRosterSql(database_).c_str());
  if (!statement) return names;
  sqlite3_stmt* row = statement.get();
  sqlite3_bind_int64(row, 1, sessionId);
  while (sqlite3_step(row) == SQLITE_ROW) {
    std::string_view name = sqlite::Text(row, 2);
    if (!name.empty()) names.emplace(std::to_string(sqlite::Int64(row, 0)), std::string(name));
    rapidjson::Value member(rapidjson::kObjectType);
    whatsapp::AddText(member, allocator, "jid", row, 1);
    whatsapp::AddText(member, allocator, "name", row, 2);
    member.AddMember("admin", sqlite::Int64(row, 3) != 0, allocator);
    roster.PushBack(member, allocator);
  }
  return names;
}

bool WhatsApp::ReadMessages(rapidjson::Value& session,
                            rapidjson::Document::AllocatorType& sessionAllocator,
                            rapidjson::Value& messages,
                            rapidjson::Document::AllocatorType& messageAllocator) {
  const bool complete = CompleteReading();
  if (complete && completeMessageSql_.empty()) completeMessageSql_ = CompleteMessageSql(database_);
  sqlite::Statement statement =
      sqlite::Prepare(database_, complete ? completeMessageSql_.c_str() : kMessageSql);
  if (!statement) {
    if (complete && !messageQueryFailed_) {
      messageQueryFailed_ = true;
      AddProblem(WatchLabel(databaseWatch_), "query failed", sqlite3_errmsg(database_.get()));
    }
    return false;
  }
  sqlite3_stmt* row = statement.get();
  const int64_t sessionId = session["id"].GetInt64();
  sqlite3_bind_int64(row, 1, sessionId);

  std::optional<GroupMembers> members;
  auto groupInfo = session.FindMember("group_info");
  MemberNames memberNames;
  rapidjson::Value roster(rapidjson::kNullType);
  if (groupInfo != session.MemberEnd() && groupInfo->value.GetStringLength() > 0) {
    members = ReadGroupMembers(sessionId);
    if (complete) memberNames = ReadGroupRoster(sessionId, roster, sessionAllocator);
  }
  MemberCache cache;

  messages.SetArray();
  while (sqlite3_step(row) == SQLITE_ROW) {
    if (!complete && sqlite::IsNull(row, 3) && sqlite::IsNull(row, 4)) continue;
    const bool dated = !sqlite::IsNull(row, 5);
    rapidjson::Value message(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictInt64Value(message, messageAllocator, "session_id", sessionId);
    if (complete)
      message.AddMember("push_name", rapidjson::Value(rapidjson::kStringType), messageAllocator);
    else
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
    if (complete) AddCompleteMembers(row, fields, memberNames, session, message, messageAllocator);
    messages.PushBack(message, messageAllocator);
  }
  PimJsonUtil::AddJsonDictInt64Value(session, sessionAllocator, "message_count", messages.Size());
  if (roster.IsArray()) session.AddMember("members", roster, sessionAllocator);
  return true;
}

std::string WhatsApp::PushNameOf(std::string_view column,
                                 std::initializer_list<std::string_view> senders) const {
  whatsapp::MessagePushName stored = whatsapp::ReadMessagePushName(column);
  if (!stored.name.empty()) return stored.name;
  std::vector<std::string_view> jids{stored.jid};
  jids.insert(jids.end(), senders);
  for (std::string_view jid : jids) {
    if (jid.empty()) continue;
    auto found = pushNames_.find(std::string(jid));
    if (found != pushNames_.end()) return found->second.pushName;
  }
  return "";
}

void WhatsApp::AddCompleteMembers(sqlite3_stmt* row, const MessageRow& fields,
                                  const MemberNames& memberNames, const rapidjson::Value& session,
                                  rapidjson::Value& message,
                                  rapidjson::Document::AllocatorType& allocator) const {
  const bool incoming = fields.isFromMe == 0;
  std::string_view memberJid = StringMember(message, "member_jid");
  std::string pushName =
      PushNameOf(sqlite::Text(row, 2), {memberJid, incoming ? sqlite::Text(row, 0) : ""});
  message["push_name"].SetString(pushName.data(), static_cast<rapidjson::SizeType>(pushName.size()),
                                 allocator);

  std::string memberName;
  if (auto named = memberNames.find(fields.groupMember); named != memberNames.end())
    memberName = named->second;
  if (!memberName.empty())
    PimJsonUtil::AddJsonDictStringValue(message, allocator, "member_name", memberName);
  // Who a reader would say sent it: the sender's own push name, the name the
  // group knows the member by, else the chat (the partner, or the group for
  // its events).
  if (incoming) {
    std::string sender = !pushName.empty()     ? pushName
                         : !memberName.empty() ? memberName
                                               : std::string(StringMember(session, "name"));
    PimJsonUtil::AddJsonDictStringValue(message, allocator, "sender_name", sender);
  }

  const int64_t type = sqlite::Int64(row, kTypeColumn);
  PimJsonUtil::AddJsonDictInt64Value(message, allocator, "message_type", type);
  if (type == kGroupEventType || type == kChatEventType)
    message.AddMember("system", true, allocator);
  if (type != kLocationType || sqlite::IsNull(row, kLatitudeColumn) ||
      sqlite::IsNull(row, kLongitudeColumn))
    return;
  // JSON has no infinity, which a REAL column can hold.
  const double latitude = sqlite3_column_double(row, kLatitudeColumn);
  const double longitude = sqlite3_column_double(row, kLongitudeColumn);
  if (!std::isfinite(latitude) || !std::isfinite(longitude)) return;
  message.AddMember("latitude", latitude, allocator);
  message.AddMember("longitude", longitude, allocator);
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
