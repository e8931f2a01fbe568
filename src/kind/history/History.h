// Kind 9: Safari's browsing history, one object per visit, newest first.
#ifndef KELDRA_KIND_HISTORY_HISTORY_H_
#define KELDRA_KIND_HISTORY_HISTORY_H_

#include <memory>
#include <string>

#include "common/Observer.h"
#include "kind/kind.h"

namespace keldra {

class History : public Kind {
 public:
  static constexpr const char* kDatabasePath = kKinds[9].database;
  static constexpr char kLegacyPath[] = "Library/Safari/History.plist";

  History();
  ~History() override;

  void Run(const ScanContext& scan) override;

  // Appends one visit object per row; false when the database does not open
  // or its statement does not prepare.
  bool ReadHistory(const std::string& path);

  const rapidjson::Document& Visits() const { return *visits_; }

  // Complete reading: appends the visits of a History.plist of iOS 7 and
  // earlier; false when it is not such a property list.
  bool ReadLegacyHistory(const std::string& path);

 private:
  void AppendVisit(std::string_view title, std::string_view url, int64_t visitTime);

  std::unique_ptr<rapidjson::Document> visits_;  // root array
  std::string databasePath_;
  std::string legacyPath_;
  // Where complete reading finds the database and the older property list.
  const size_t databaseWatch_ = WatchDatabase(kDatabasePath);
  const size_t legacyWatch_ = WatchFile(kLegacyPath, {}, ExactMatch::kNone);
};

}  // namespace keldra

#endif  // KELDRA_KIND_HISTORY_HISTORY_H_
