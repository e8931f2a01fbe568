// Safari bookmarks as a tree (children by position, top level by the text
// of the ids) and Safari history as visits, newest first.
#include <gtest/gtest.h>

#include <string>

#include "builder/BackupBuilder.h"
#include "builder/kinds/SafariWriters.h"
#include "integration/KindScanSupport.h"

namespace {

using builder::BookmarksWriter;
using builder::HistoryWriter;
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
}

}  // namespace
