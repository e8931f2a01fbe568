// Cuts a series of items into the report's data files, so that a page loads
// one bounded file at a time however large the scan was.
#ifndef HOST_REPORT_DATAPARTS_H_
#define HOST_REPORT_DATAPARTS_H_

#include <cstddef>
#include <string>

#include "vorn/Json.h"

namespace report {

// No data file of a report is larger than this, whatever the scan.
inline constexpr size_t kMaxFileBytes = 10'000'000;
// Rows a page shows at once: enough to scroll, few enough to draw at once.
inline constexpr size_t kItemsPerPage = 1000;
inline constexpr size_t kMessagesPerPage = 500;

// Writes `folder/<stem>-<n>.js` files, each `Keldra.receive("<stem>-<n>", [...]);`
// with at most `maxItems` items and `maxBytes` bytes. An item that could not
// fit in a file on its own is replaced by {"omitted": <its size in bytes>}.
// At least one file is written, empty when no item came.
class DataParts {
 public:
  DataParts(std::string folder, std::string stem, size_t maxItems, size_t maxBytes = kMaxFileBytes);

  // False once a file could not be written; the rest is then dropped.
  bool Add(const rapidjson::Value& item);
  bool Finish();

  size_t Parts() const { return parts_; }
  size_t Items() const { return items_; }
  const std::string& Error() const { return error_; }

 private:
  std::string PartName(size_t part) const;
  // What the items of the open part may take of its file.
  size_t Room() const;
  bool Flush();

  std::string folder_;
  std::string stem_;
  size_t maxItems_;
  size_t maxBytes_;
  std::string body_;  // the items of the open part, comma-separated
  size_t inPart_ = 0;
  size_t room_ = 0;
  size_t parts_ = 0;
  size_t items_ = 0;
  bool failed_ = false;
  std::string error_;
};

// Writes a whole file of the report; never over an existing file or through
// a link. False when it could not be written. The report's index.html is
// written last, so a report cut short has no page to open.
bool WriteReportFile(const std::string& path, const std::string& bytes);

// `Keldra.receive("<name>", <value as JSON>);` and a newline.
std::string DataScript(const std::string& name, const std::string& json);

// Compact JSON of a value.
std::string JsonText(const rapidjson::Value& value);

}  // namespace report

#endif  // HOST_REPORT_DATAPARTS_H_
