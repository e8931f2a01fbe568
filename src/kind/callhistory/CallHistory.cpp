#include "kind/callhistory/CallHistory.h"

#include <string>

#include "common/Sqlite.h"
#include "keldra/Names.h"
#include "kind/CompactRow.h"
#include "kind/JsonText.h"
#include "kind/TableColumns.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilityString.h"
#include "vorn/VRNUtilitySys.h"

namespace keldra {
namespace {

constexpr int kType = 4;

constexpr char kCallDbSql[] =
    "select name,address,date,flags,duration,country_code,network_code from call";

// Texts of the utility library's heap conversions, released once copied.
void AddHeapText(rapidjson::Value& object, Kind::Allocator& allocator, const char* key,
                 char* text) {
  PimJsonUtil::AddJsonDictStringValue(object, allocator, key, text);
  VRNUtilityString::Free(text);
}

const char* StoreCallType(int originated) {
  if (originated == 0) return "Incoming";
  if (originated == 1) return "Outgoing";
  return "Unknown";
}

}  // namespace

CallHistory::CallHistory() : calls_(std::make_unique<rapidjson::Document>(rapidjson::kArrayType)) {}

CallHistory::~CallHistory() = default;

bool CallHistory::ReadCalls(const char* sql, const std::string& path, Source source) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  if (!database) return false;
  sqlite::Statement statement = sqlite::Prepare(database, sql);
  if (!statement) return false;
  AppendCalls(statement.get(), source);
  return true;
}

void CallHistory::AppendCalls(sqlite3_stmt* row, Source source) {
  CompactRow compact;
  Allocator& allocator = compact.Allocator();
  const bool fromStore = source == Source::kCallStore;
  while (sqlite3_step(row) == SQLITE_ROW) {
    // Columns: name, address, date, flags or originated, duration, country
    // code, network code or service provider, and (store) location.
    const int64_t date = sqlite::Int64(row, 2);
    const int typeInt = sqlite3_column_int(row, 3);
    const int64_t duration = sqlite::Int64(row, 4);
    rapidjson::Value& call = compact.Object();
    AddText(call, allocator, "name", sqlite::Text(row, 0));
    AddText(call, allocator, "address", sqlite::Text(row, 1));
    PimJsonUtil::AddJsonDictInt64Value(call, allocator, "date_int", date);
    AddHeapText(call, allocator, "date",
                fromStore ? VRNUtilitySys::Convert2001GMTtoDate(date)
                          : VRNUtilitySys::Convert1900GMTDate(date));
    PimJsonUtil::AddJsonDictInt64Value(call, allocator, "duration_int", duration);
    AddHeapText(call, allocator, "duration",
                VRNUtilitySys::ConvertSecondsToTime(static_cast<double>(duration)));
    AddText(call, allocator, "country_code", sqlite::Text(row, 5));
    AddText(call, allocator, "network_code", sqlite::Text(row, 6));
    AddText(call, allocator, "location", fromStore ? sqlite::Text(row, 7) : std::string_view());
    PimJsonUtil::AddJsonDictIntValue(call, allocator, "type_int", typeInt);
    AddText(call, allocator, "type",
            fromStore ? StoreCallType(typeInt) : (typeInt == 4 ? "Incoming" : "Outgoing"));
    compact.AppendTo(*calls_, calls_->GetAllocator());
  }
}

// Both tables in one column order: name, address, date, flags or
// originated, duration, country code, network code or service provider,
// location. A column a generation lacks reads as null.
void CallHistory::ReadCallsOfAnyGeneration(const std::string& path, Source source, size_t watch) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  const bool store = source == Source::kCallStore;
  const std::string table = store ? "ZCALLRECORD" : "call";
  TableColumns columns(database, table);
  if (!columns.Exists()) return AddQueryFailure(watch, "no table " + table);
  const char* const kCallDbColumns[] = {"name",     "address",      "date",         "flags",
                                        "duration", "country_code", "network_code", ""};
  const char* const kStoreColumns[] = {"ZNAME",
                                       "ZADDRESS",
                                       "ZDATE",
                                       "ZORIGINATED",
                                       "ZDURATION",
                                       "ZISO_COUNTRY_CODE",
                                       "ZSERVICE_PROVIDER",
                                       "ZLOCATION"};
  std::string sql = "select ";
  for (int i = 0; i < 8; ++i) {
    if (i > 0) sql += ',';
    sql += columns.Or("t", store ? kStoreColumns[i] : kCallDbColumns[i]);
  }
  sql += " from " + table + " t";
  if (store && columns.Has("ZDATE")) sql += " order by t.ZDATE desc";
  sqlite::Statement statement = sqlite::Prepare(database, sql.c_str());
  if (!statement) return AddQueryProblem(watch, database.get());
  AppendCalls(statement.get(), source);
}

bool CallHistory::ReadCallHistoryDb(const std::string& path) {
  return ReadCalls(kCallDbSql, path, Source::kCallDb);
}

bool CallHistory::ReadCallStore(const char* sql, const std::string& path) {
  return ReadCalls(sql, path, Source::kCallStore);
}

void CallHistory::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  callDbPath_ = Locate(callDbWatch_);
  callStorePath_ = Locate(callStoreWatch_);
  if (CompleteReading()) {
    if (!callDbPath_.empty()) ReadCallsOfAnyGeneration(callDbPath_, Source::kCallDb, callDbWatch_);
    if (!callStorePath_.empty())
      ReadCallsOfAnyGeneration(callStorePath_, Source::kCallStore, callStoreWatch_);
  } else {
    if (!callDbPath_.empty()) ReadCallHistoryDb(callDbPath_);
    if (!callStorePath_.empty() && !ReadCallStore(kStoreSql, callStorePath_))
      ReadCallStore(kStoreFallbackSql, callStorePath_);
  }

  Allocator& allocator = calls_->GetAllocator();
  rapidjson::Value summary(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(summary, allocator, "count",
                                   static_cast<int32_t>(calls_->Size()));
  PimJsonUtil::AddJsonDictStringValue(summary, allocator, "call_db_path", callDbPath_);
  PimJsonUtil::AddJsonDictStringValue(summary, allocator, "call_store_db_path", callStorePath_);
  // The closing stage repeats the list itself, an array: problems travel in
  // the summary, which is sent once every database has been read.
  AttachProblems(summary, allocator);
  stages.Send(1, allocator, summary);
  // The closing stage repeats the whole list.
  stages.Send(2, allocator, *calls_);
  stages.Send(3, allocator, *calls_);
  calls_ = std::make_unique<rapidjson::Document>(rapidjson::kArrayType);
}

}  // namespace keldra
