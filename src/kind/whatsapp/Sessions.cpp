// Push names and the chat sessions worth listing.
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
  sqlite::Statement statement = sqlite::Prepare(database_, kSessionSql);
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
