#include "kind/history/History.h"

#include <string>

#include "common/Sqlite.h"
#include "keldra/Names.h"
#include "kind/CompactRow.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilitySys.h"

namespace keldra {
namespace {

constexpr int kType = 9;
constexpr int kStageTotal = 3;
constexpr int kStatusPartial = 2;

constexpr char kHistorySql[] =
    "select hv.title,hi.url,hv.visit_time from history_visits hv left join history_items hi on "
    "hi.id =  hv.history_item order by hv.visit_time desc;";

void AddText(rapidjson::Value& object, Kind::Allocator& allocator, const char* key,
             std::string_view text) {
  PimJsonUtil::AddJsonDictStringValue(object, allocator, key, text.data(), text.size());
}

}  // namespace

History::History() : visits_(std::make_unique<rapidjson::Document>(rapidjson::kArrayType)) {}

History::~History() = default;

void History::Update(void* argument, const char* commandType) {
  (void)commandType;
  if (!argument || !databasePath_.empty()) return;
  const auto& record = *static_cast<const ManifestFile*>(argument);
  if (record.relativePath == kDatabasePath) databasePath_ = ReadablePath(record);
}

bool History::ReadHistory(const std::string& path) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  if (!database) return false;
  sqlite::Statement statement = sqlite::Prepare(database, kHistorySql);
  if (!statement) return false;
  CompactRow compact;
  Allocator& allocator = compact.Allocator();
  sqlite3_stmt* row = statement.get();
  int64_t position = 1;
  while (sqlite3_step(row) == SQLITE_ROW) {
    const int64_t visitTime = sqlite::Int64(row, 2);
    rapidjson::Value& visit = compact.Object();
    AddText(visit, allocator, "name", sqlite::Text(row, 0));
    AddText(visit, allocator, "url", sqlite::Text(row, 1));
    AddText(visit, allocator, "visit_time",
            visitTime == 0 ? std::string() : VRNUtilitySys::DateText2001(visitTime));
    AddText(visit, allocator, "com_apple_syncservices_RecordEntityName",
            "com.apple.bookmarks.Bookmark");
    PimJsonUtil::AddJsonDictInt64Value(visit, allocator, "position", position);
    AddText(visit, allocator, "id", std::to_string(position));
    compact.AppendTo(*visits_, visits_->GetAllocator());
    ++position;
  }
  return true;
}

void History::Run(const std::string& taskId, const BackupInfo& info) {
  (void)info;
  if (visits_->Empty()) ReadHistory(databasePath_);
  Allocator& allocator = visits_->GetAllocator();
  rapidjson::Value summary(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(summary, allocator, "count",
                                   static_cast<int32_t>(visits_->Size()));
  PimJsonUtil::AddJsonDictStringValue(summary, allocator, "safari_history_db_path", databasePath_);
  SendResult(allocator, summary, taskId.c_str(), 1, kStageTotal, kStatusPartial, kType, 0,
             names::kDoScan);
  SendResult(allocator, *visits_, taskId.c_str(), 2, kStageTotal, kStatusPartial, kType, 0,
             names::kDoScan);
  visits_ = std::make_unique<rapidjson::Document>(rapidjson::kArrayType);
  rapidjson::Value closing(rapidjson::kObjectType);
  SendResult(visits_->GetAllocator(), closing, taskId.c_str(), 3, kStageTotal, kStatusPartial,
             kType, 0, names::kDoScan);
}

}  // namespace keldra
