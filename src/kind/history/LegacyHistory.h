// Safari's history before History.db: Library/Safari/History.plist, a
// dictionary whose "WebHistoryDates" array holds one entry per page, newest
// first: the address under the empty key, "title", and "lastVisitedDate" as
// a decimal text of seconds since 2001.
#ifndef KELDRA_KIND_HISTORY_LEGACYHISTORY_H_
#define KELDRA_KIND_HISTORY_LEGACYHISTORY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace keldra {

struct LegacyVisit {
  std::string title;
  std::string url;
  int64_t visitTime = 0;  // whole seconds since 2001; 0 when the entry has none
};

// The entries of the property list at `path`, in file order; nullopt when
// it is not a property list of that shape.
std::optional<std::vector<LegacyVisit>> ReadLegacyHistory(const std::string& path);

}  // namespace keldra

#endif  // KELDRA_KIND_HISTORY_LEGACYHISTORY_H_
