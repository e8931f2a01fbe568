#include "kind/history/LegacyHistory.h"

#include <cmath>
#include <cstdlib>

#include "mivo/PlistUtil.h"

namespace keldra {
namespace {

// "428612345.6" → 428612345; anything that is not a finite number → 0.
int64_t WholeSeconds(const std::optional<std::string>& text) {
  if (!text || text->empty()) return 0;
  char* end = nullptr;
  double seconds = std::strtod(text->c_str(), &end);
  if (end == text->c_str() || !std::isfinite(seconds) || std::fabs(seconds) > 1e15) return 0;
  return static_cast<int64_t>(seconds);
}

}  // namespace

std::optional<std::vector<LegacyVisit>> ReadLegacyHistory(const std::string& path) {
  PlistPtr root = PlistUtil::ReadPlistOwned(path);
  if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return std::nullopt;
  plist_t dates = plist_dict_get_item(root.get(), "WebHistoryDates");
  if (!dates || plist_get_node_type(dates) != PLIST_ARRAY) return std::nullopt;
  std::vector<LegacyVisit> visits;
  const uint32_t count = plist_array_get_size(dates);
  visits.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    plist_t entry = plist_array_get_item(dates, i);
    if (!entry || plist_get_node_type(entry) != PLIST_DICT) continue;
    LegacyVisit visit;
    visit.url = PlistUtil::GetString(entry, "").value_or("");
    visit.title = PlistUtil::GetString(entry, "title").value_or("");
    visit.visitTime = WholeSeconds(PlistUtil::GetString(entry, "lastVisitedDate"));
    visits.push_back(std::move(visit));
  }
  return visits;
}

}  // namespace keldra
