// Calls of both databases in one list: call_history.db rows first, then the
// store's newest first, through the fallback statement when the store lacks
// the provider and location columns.
#include <gtest/gtest.h>

#include <string>

#include "builder/BackupBuilder.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "integration/KindScanSupport.h"

namespace {

using builder::CallHistoryDbWriter;
using builder::CallStoreWriter;
using builder::Cell;
using kind_scan::ScanResults;

constexpr int64_t kJune2024 = 739000000;       // seconds since 2001
constexpr int64_t kUnixJune2024 = 1717307200;  // the same instant, Unix seconds

CallHistoryDbWriter OlderCalls() {
  CallHistoryDbWriter calls;
  calls.AddCall({"+15550100", kUnixJune2024, 125, 4, "Anna", "us", "410"});
  calls.AddCall({"+15550142", kUnixJune2024 + 60, 3725, 5, nullptr, "us", nullptr});
  calls.AddCall({"+15550199", nullptr, nullptr, 21, "", nullptr, "260"});  // FaceTime, no date
  return calls;
}

CallStoreWriter StoreCalls(bool newColumns) {
  CallStoreWriter store;
  store.withServiceProvider = newColumns;
  store.withLocation = newColumns;
  store.AddCall({"", "+15550100", kJune2024 + 100.75, 1, 64.5, "us", "com.apple.Telephony",
                 "Springfield, IL"});
  store.AddCall(
      {"Ben", Cell::Blob("+15550199"), kJune2024 + 300, 0, 0.0, "us", "com.apple.FaceTime", ""});
  store.AddCall({nullptr, "anna@example.com", kJune2024 + 200, 2, 86400.0 * 2 + 1, "de",
                 "net.example.voip", nullptr});
  return store;
}

TEST(CallHistoryScan, BothDatabasesMakeOneList) {
  kind_scan::ScopedTimeZone zone;
  testing_support::TempFolder folder;
  {
    builder::BackupBuilder backup(folder / "backup");
    OlderCalls().AddTo(backup);
    StoreCalls(true).AddTo(backup);
  }
  std::vector<std::string> results = ScanResults(folder / "backup/", "[4]");
  kind_scan::ExpectGolden("calls.jsonl", results);
}

TEST(CallHistoryScan, StoreWithoutProviderAndLocationUsesTheFallback) {
  kind_scan::ScopedTimeZone zone;
  testing_support::TempFolder folder;
  {
    builder::BackupBuilder backup(folder / "backup");
    StoreCalls(false).AddTo(backup);
  }
  kind_scan::ExpectGolden("cases/calls-fallback.jsonl", ScanResults(folder / "backup/", "[4]"));
}

}  // namespace
