// Scans that ask for several kinds: only the numbers asked for run, in the
// order asked, as often as asked; and what every kind sends for a backup
// without its databases.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "builder/BackupBuilder.h"
#include "builder/kinds/SampleContent.h"
#include "integration/KindScanSupport.h"

namespace {

using kind_scan::Parse;
using kind_scan::ScanResults;

// Every sample database in one backup.
class AllSqliteKinds : public testing::Test {
 protected:
  void SetUp() override {
    builder::BackupBuilder backup(folder_ / "backup");
    builder::AddSampleContacts(backup);
    builder::AddSampleCalendar(backup);
    builder::AddSampleCalls(backup);
    builder::AddSampleBookmarks(backup);
    builder::AddSampleHistory(backup);
  }
  std::string Folder() const { return folder_ / "backup/"; }

  // "type/stage" of every kind message, then "status" of the final one.
  std::vector<std::string> Sequence(const std::string& types) {
    std::vector<std::string> sequence;
    for (const auto& message : Parse(ScanResults(Folder(), types))) {
      if (message->HasMember("type"))
        sequence.push_back(std::to_string((*message)["type"].GetInt()) + "/" +
                           std::to_string((*message)["stage"].GetInt()));
      else
        sequence.push_back("status " + std::to_string((*message)["status"].GetInt()));
    }
    return sequence;
  }

  testing_support::TempFolder folder_;
};

TEST_F(AllSqliteKinds, OnlyTheKindsAskedForRunInTheOrderAskedAsOftenAsAsked) {
  const struct {
    const char* types;
    std::vector<std::string> sequence;
  } kCases[] = {
      {"[-1, 11, 4]", {"4/1", "4/2", "4/3", "status 1"}},
      {"[3, 3]", {"3/1", "3/2", "3/3", "3/1", "3/2", "3/3", "status 1"}},
      // Contacts: 3 cards, one batch. Bookmarks: 3 top-level items.
      {"[9, 0, 8, 4, 3]",
       {"9/1", "9/2", "9/3", "0/1", "0/2", "0/3", "8/1", "8/2", "8/2", "8/2", "8/3", "4/1", "4/2",
        "4/3", "3/1", "3/2", "3/3", "status 1"}},
  };
  for (const auto& c : kCases) EXPECT_EQ(Sequence(c.types), c.sequence) << c.types;
  // Both runs read the same calendars.
  auto results = ScanResults(Folder(), "[3, 3]");
  ASSERT_EQ(results.size(), 7u);
  EXPECT_EQ(results[1], results[4]);
  EXPECT_THAT(results[1], testing::HasSubstr("\"title\":\"Home\""));
}

// What every kind sends for a backup that holds none of its databases.
TEST(NoDatabases, EveryKindSendsItsEmptySeries) {
  testing_support::TempFolder folder;
  { builder::BackupBuilder backup(folder / "backup"); }
  kind_scan::ExpectGolden("cases/no-databases.jsonl",
                          ScanResults(folder / "backup/", "[0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10]"));
}

}  // namespace
