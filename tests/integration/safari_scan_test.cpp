// Safari bookmarks as a tree (children by position, top level by the text
// of the ids) and Safari history as visits, newest first.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "builder/BackupBuilder.h"
#include "builder/kinds/SafariWriters.h"
#include "integration/KindScanSupport.h"

namespace {

using builder::BookmarksWriter;
using builder::HistoryWriter;
using kind_scan::Parse;
using kind_scan::ScanResults;

constexpr int64_t kJune2024 = 739000000;

BookmarksWriter Bookmarks() {
  BookmarksWriter bookmarks;  // root 0, BookmarksBar 1, reading list 2 (no children)
  // In the bar, inserted against their positions.
  bookmarks.AddBookmark(1, "Third", "https://c.example.com/", 2, 3);
  bookmarks.AddBookmark(1, "First", "https://a.example.com/", 0, 4);
  const int64_t news = bookmarks.AddFolder(1, "News", 1, 5);
  // Three levels below the root, with an id that sorts before its folder's.
  const int64_t deep = bookmarks.AddFolder(news, "Local", 0, 11);
  bookmarks.AddBookmark(deep, "Town paper", "https://town.example.com/", 0, 6);
  // Top level: 10 comes before 9 by the text of the ids.
  bookmarks.AddBookmark(0, "Nine", "https://nine.example.com/", 3, 9);
  bookmarks.AddBookmark(0, "Ten", "https://ten.example.com/", 4, 10);
  // A folder row without children counts as a bookmark.
  bookmarks.AddRow({12, 0, 1, "Empty folder", nullptr, 0, 5, 0});
  // A parent that names no row: top level as well.
  bookmarks.AddBookmark(404, "Lost", "https://lost.example.com/", 0, 13);
  // A row that is its own parent is reachable from nowhere.
  bookmarks.AddRow({14, 14, 1, "Loop", nullptr, 1, 0, 0});
  return bookmarks;
}

TEST(BookmarkScan, SendsTheTreeOneTopLevelItemAtATime) {
  testing_support::TempFolder folder;
  {
    builder::BackupBuilder backup(folder / "backup");
    Bookmarks().AddTo(backup);
  }
  std::vector<std::string> results = ScanResults(folder / "backup/", "[8]");
  kind_scan::ExpectGolden("bookmarks.jsonl", results);

  auto documents = Parse(results);
  // Bookmarks: 2 (empty reading list), 3, 4, 6, 9, 10, 12, 13.
  EXPECT_EQ((*documents[0])["result"]["count"].GetInt(), 8);
  std::vector<std::string> topLevel;
  for (size_t i = 1; i + 2 < documents.size(); ++i)
    topLevel.push_back((*documents[i])["result"]["id"].GetString());
  EXPECT_THAT(topLevel, testing::ElementsAre("1", "10", "12", "13", "2", "9"));
  const rapidjson::Value& bar = (*documents[1])["result"];
  std::vector<std::string> barChildren;
  for (const auto& child : bar["children"].GetArray())
    barChildren.push_back(child["name"].GetString());
  EXPECT_THAT(barChildren, testing::ElementsAre("First", "News", "Third"));
  EXPECT_STREQ(bar["children"][1]["children"][0]["children"][0]["name"].GetString(), "Town paper");
  EXPECT_FALSE(bar["children"][0].HasMember("children"));
}

TEST(BookmarkScan, MissingDatabaseSendsSummaryAndClosingOnly) {
  testing_support::TempFolder folder;
  { builder::BackupBuilder backup(folder / "backup"); }
  std::vector<std::string> results = ScanResults(folder / "backup/", "[8]");
  ASSERT_EQ(results.size(), 3u);
  EXPECT_THAT(results[0],
              testing::HasSubstr("\"result\":{\"count\":0,\"safari_bookmark_db_path\":\"\"}"));
  EXPECT_THAT(results[1], testing::HasSubstr("\"stage\":3,"));
}

HistoryWriter History() {
  HistoryWriter history;
  const int64_t search = history.AddItem("https://search.example.com/?q=weather");
  const int64_t weather = history.AddItem("https://weather.example.com/");
  history.AddVisit(search, kJune2024 + 100.5, "weather - Search");
  history.AddVisit(weather, kJune2024 + 130.25, "Weather");
  history.AddVisit(weather, kJune2024 + 86400 + 50.0, "Weather");  // the newest
  history.AddVisit(77, kJune2024 + 500.0, "Page row gone");        // no history_items row
  history.AddVisit(search, 0, nullptr);                            // no time, no title
  history.AddTombstone(kJune2024 - 86400.0, kJune2024 - 3600.0, "https://old.example.com/");
  return history;
}

TEST(HistoryScan, SendsVisitsNewestFirstWithPositions) {
  kind_scan::ScopedTimeZone zone;
  testing_support::TempFolder folder;
  {
    builder::BackupBuilder backup(folder / "backup");
    History().AddTo(backup);
  }
  std::vector<std::string> results = ScanResults(folder / "backup/", "[9]");
  kind_scan::ExpectGolden("history.jsonl", results);

  auto documents = Parse(results);
  ASSERT_EQ(documents.size(), 4u);
  EXPECT_EQ((*documents[0])["result"]["count"].GetInt(), 5);
  const rapidjson::Value& visits = (*documents[1])["result"];
  std::vector<std::string> rows;
  for (const auto& visit : visits.GetArray())
    rows.push_back(std::string(visit["id"].GetString()) + " " + visit["name"].GetString() + " " +
                   visit["url"].GetString());
  EXPECT_THAT(rows,
              testing::ElementsAre("1 Weather https://weather.example.com/", "2 Page row gone ",
                                   "3 Weather https://weather.example.com/",
                                   "4 weather - Search https://search.example.com/?q=weather",
                                   "5  https://search.example.com/?q=weather"));
  EXPECT_EQ(visits[0]["position"].GetInt64(), 1);
  EXPECT_STREQ(visits[4]["visit_time"].GetString(), "");
}

}  // namespace
