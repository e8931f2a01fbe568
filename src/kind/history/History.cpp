#include "kind/history/History.h"

#include <string>

#include "common/Sqlite.h"
#include "keldra/Names.h"
#include "kind/CompactRow.h"
#include "kind/JsonText.h"
#include "kind/history/LegacyHistory.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilitySys.h"

namespace keldra {
namespace {

constexpr int kType = 9;

constexpr char kHistorySql[] =
    "select hv.title,hi.url,hv.visit_time from history_visits hv left join history_items hi on "
    "hi.id =  hv.history_item order by hv.visit_time desc;";

}  // namespace

History::History() : visits_(std::make_unique<rapidjson::Document>(rapidjson::kArrayType)) {}

History::~History() = default;

bool History::ReadHistory(const std::string& path) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  if (!database) return false;
  sqlite::Statement statement = PrepareOn(databaseWatch_, database, kHistorySql);
  if (!statement) return false;
  sqlite3_stmt* row = statement.get();
  while (sqlite3_step(row) == SQLITE_ROW)
    AppendVisit(sqlite::Text(row, 0), sqlite::Text(row, 1), sqlite::Int64(row, 2));
  return true;
}

bool History::ReadLegacyHistory(const std::string& path) {
  std::optional<std::vector<LegacyVisit>> visits = keldra::ReadLegacyHistory(path);
  if (!visits) return false;
  for (const LegacyVisit& visit : *visits) AppendVisit(visit.title, visit.url, visit.visitTime);
  return true;
}

// Positions count from 1 in list order, across both sources.
void History::AppendVisit(std::string_view title, std::string_view url, int64_t visitTime) {
  const int64_t position = static_cast<int64_t>(visits_->Size()) + 1;
  CompactRow compact;
  Allocator& allocator = compact.Allocator();
  rapidjson::Value& visit = compact.Object();
  AddText(visit, allocator, "name", title);
  AddText(visit, allocator, "url", url);
  AddText(visit, allocator, "visit_time",
          visitTime == 0 ? std::string() : VRNUtilitySys::DateText2001(visitTime));
  AddText(visit, allocator, "com_apple_syncservices_RecordEntityName",
          "com.apple.bookmarks.Bookmark");
  PimJsonUtil::AddJsonDictInt64Value(visit, allocator, "position", position);
  AddText(visit, allocator, "id", std::to_string(position));
  compact.AppendTo(*visits_, visits_->GetAllocator());
}

void History::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  databasePath_ = Locate(databaseWatch_);
  legacyPath_ = Locate(legacyWatch_);
  if (visits_->Empty()) ReadHistory(databasePath_);
  if (!legacyPath_.empty() && !ReadLegacyHistory(legacyPath_))
    AddProblem(WatchLabel(legacyWatch_), "unreadable", "not a Safari history property list");
  Allocator& allocator = visits_->GetAllocator();
  rapidjson::Value summary(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(summary, allocator, "count",
                                   static_cast<int32_t>(visits_->Size()));
  PimJsonUtil::AddJsonDictStringValue(summary, allocator, "safari_history_db_path", databasePath_);
  if (!legacyPath_.empty())
    PimJsonUtil::AddJsonDictStringValue(summary, allocator, "safari_history_plist_path",
                                        legacyPath_);
  stages.Send(1, allocator, summary);
  stages.Send(2, allocator, *visits_);
  visits_ = std::make_unique<rapidjson::Document>(rapidjson::kArrayType);
  stages.SendClosing(3, visits_->GetAllocator());
}

}  // namespace keldra
