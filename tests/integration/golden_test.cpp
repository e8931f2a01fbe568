// Reviewed outputs of the builder's sample content, byte for byte: what the
// module's exact reading sends for every kind, and every file `keldra demo`
// writes for its plain and encrypted backups. Any change of output shows here
// first; KELDRA_UPDATE_GOLDEN=1 rewrites them (review the diff!).
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/ContentSets.h"
#include "integration/KindScanSupport.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace {

using testing_support::TempFolder;

// The kinds by number, and the stem of their golden files.
constexpr const char* kKinds[] = {
    "contacts", "messages",    "message-attachments", "calendar", "calls",   "notes",
    "photos",   "voice-memos", "bookmarks",           "history",  "whatsapp"};

TEST(Golden, ExactReadingOfEveryKind) {
  TempFolder root;
  {
    builder::BackupBuilder backup(root / "backup");
    builder::AddContentSet(backup, builder::kAllContentSets);
    backup.Finish();
  }
  kind_scan::ScopedTimeZone zone;
  for (size_t number = 0; number < std::size(kKinds); ++number) {
    std::vector<std::string> results =
        kind_scan::ScanResults(root / "backup/", "[" + std::to_string(number) + "]");
    EXPECT_FALSE(results.empty()) << kKinds[number];
    kind_scan::ExpectGolden(std::string("exact/") + kKinds[number] + ".jsonl", results);
  }
}

// What differs from run to run: the folders of this run and the clock.
std::string WithoutVolatileFields(std::string text, const std::string& root) {
  kind_scan::ReplaceAll(text, root, "<root>/");
  text = std::regex_replace(text, std::regex("<root>/cache/keldra/[^/\"]+/"),
                            "<root>/cache/keldra/<run>/");
  text = std::regex_replace(text, std::regex("(\"duration_ms\": *)[0-9]+"), "$010");
  text = std::regex_replace(text, std::regex("(\"started\": *)\"[^\"]*\""), "$01\"<started>\"");
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

TEST(Golden, EveryFileTheDemoScanWrites) {
  TempFolder root;
  testing_support::ProcessOptions options;
  options.environment = {std::string("TZ=") + kind_scan::kTestZone,
                         "XDG_CACHE_HOME=" + root / "cache"};
  auto run = testing_support::RunKeldra({"demo", "--folder", root / "demo"}, options);
  ASSERT_EQ(run.status, 0) << run.err;
  kind_scan::ExpectGolden("demo/table.txt", Lines(WithoutVolatileFields(run.out, root.Path())));
  for (const char* backup : {"plain", "encrypted"}) {
    const std::string folder = root / "demo/" + backup + "/";
    const std::string golden = std::string("demo/") + backup + "/";
    std::vector<std::string> files = testing_support::FolderEntries(folder);
    // Its report is read in a browser by report_browser_test.cpp.
    files.erase(std::remove(files.begin(), files.end(), "report"), files.end());
    if (!kind_scan::Updating()) {
      EXPECT_EQ(files, testing_support::FolderEntries(kind_scan::GoldenPath(golden))) << backup;
    }
    for (const std::string& file : files) {
      std::string text =
          WithoutVolatileFields(testing_support::ReadFile(folder + file), root.Path());
      kind_scan::ExpectGolden(golden + file, Lines(text));
    }
  }
  // A second run scans the backups already there, unchanged.
  std::string backups = testing_support::TreeSnapshot(root / "demo/backups");
  auto again = testing_support::RunKeldra({"demo", "--folder", root / "demo"}, options);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.err.find("building"), std::string::npos) << again.err;
  EXPECT_EQ(testing_support::TreeSnapshot(root / "demo/backups"), backups);
}

}  // namespace
