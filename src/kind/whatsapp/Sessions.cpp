// Push names and the chat sessions worth listing.
#include <set>
#include <string>
#include <string_view>

#include "kind/whatsapp/Columns.h"
#include "kind/whatsapp/WhatsApp.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

constexpr char kPushNameSql[] = "SELECT Z_PK,ZJID,ZPUSHNAME FROM ZWAPROFILEPUSHNAME;";
constexpr char kSessionSql[] =
    "SELECT Z_PK, ZCONTACTJID, ZPARTNERNAME,ZLASTMESSAGEDATE,ZGROUPINFO FROM ZWACHATSESSION ORDER "
    "BY ZLASTMESSAGEDATE DESC";
constexpr char kStatusSuffix[] = "@status";

// The session statement from the columns this store has.
std::string CompleteSessionSql(const sqlite::Database& database) {
  using whatsapp::ColumnOrNull;
  std::set<std::string> columns = whatsapp::ColumnsOf(database, "ZWACHATSESSION");
  std::string lastDate = ColumnOrNull(columns, "s", "ZLASTMESSAGEDATE");
  return "SELECT s.Z_PK, " + ColumnOrNull(columns, "s", "ZCONTACTJID") + ", " +
         ColumnOrNull(columns, "s", "ZPARTNERNAME") + ", " + lastDate + ", " +
         ColumnOrNull(columns, "s", "ZGROUPINFO") + " FROM ZWACHATSESSION AS s ORDER BY " +
         lastDate + " DESC";
}

// Status feeds, chats without a partner name and chats that never had a
// message are not listed.
bool IsListed(sqlite3_stmt* row) {
  if (sqlite::IsNull(row, 3) || sqlite::IsNull(row, 1) || sqlite::IsNull(row, 2)) return false;
  std::string jid(sqlite::Text(row, 1));
  return !Utils::EndWith(jid, kStatusSuffix) && !sqlite::Text(row, 2).empty();
}

}  // namespace

bool WhatsApp::ReadPushNames() {
  pushNames_.clear();
  sqlite::Statement statement = sqlite::Prepare(database_, kPushNameSql);
  if (!statement) return false;
  sqlite3_stmt* row = statement.get();
  while (sqlite3_step(row) == SQLITE_ROW) {
    std::string_view jid = sqlite::Text(row, 1);
    if (jid.empty()) continue;
    // A JID listed twice keeps its first push name.
    pushNames_.emplace(std::string(jid),
                       PushName{sqlite::Int64(row, 0), std::string(sqlite::Text(row, 2))});
  }
  return true;
}

bool WhatsApp::ReadChatSessions(rapidjson::Document& document) {
  std::string sql = CompleteReading() ? CompleteSessionSql(database_) : kSessionSql;
  sqlite::Statement statement = PrepareOn(databaseWatch_, database_, sql.c_str());
  if (!statement) return false;
  sqlite3_stmt* row = statement.get();
  auto& allocator = document.GetAllocator();
  while (sqlite3_step(row) == SQLITE_ROW) {
    if (!IsListed(row)) continue;
    rapidjson::Value session(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictInt64Value(session, allocator, "id", sqlite::Int64(row, 0));
    whatsapp::AddText(session, allocator, "name", row, 2);
    whatsapp::AddText(session, allocator, "jid", row, 1);
    whatsapp::AddText(session, allocator, "group_info", row, 4);
    PimJsonUtil::AddJsonDictStringValue(session, allocator, "date", whatsapp::DateOf(row, 3));
    sessions_->PushBack(session, allocator);
  }
  return true;
}

}  // namespace keldra
