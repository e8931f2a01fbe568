// The keldra command driven as a person drives it: a separate process,
// arguments, files written, exit statuses and the one-line reasons.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "builder/BackupBuilder.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ReadFile;
using testing_support::RunKeldra;
using testing_support::TempFolder;

rapidjson::Document ParseFile(const std::string& path) {
  rapidjson::Document document;
  std::string text = ReadFile(path);
  document.Parse(text.c_str(), text.size());
  return document;
}

void BuildSkeleton(const std::string& folder) {
  builder::BackupBuilder backup(folder);
  backup.AddDirectory("HomeDomain", "Library");
  backup.AddFile("HomeDomain", "Library/Preferences/a.plist", "first");
  backup.AddFile("MediaDomain", "Media/b.txt", "second");
  backup.Finish();
}

TEST(KeldraCli, ScanWritesOneFilePerKindAndASummaryThatAddsUp) {
  TempFolder root;
  BuildSkeleton(root / "backup");
  auto run = RunKeldra({"scan", root / "backup", "--out", root / "out"});
  ASSERT_EQ(run.status, 0) << run.err;
  rapidjson::Document summary = ParseFile(root / "out/summary.json");
  ASSERT_TRUE(summary.IsObject());
  EXPECT_STREQ(summary["status"].GetString(), "finished");
  ASSERT_EQ(summary["kinds"].Size(), 11u);
  for (const auto& kind : summary["kinds"].GetArray()) {
    std::string file = kind["file"].GetString();
    rapidjson::Document output = ParseFile(root / ("out/" + file));
    ASSERT_FALSE(output.HasParseError()) << file;
    const rapidjson::Value& items = output.IsArray()          ? output
                                    : output.HasMember("chats") ? output["chats"]
                                                                : output["camera_roll"];
    EXPECT_EQ(kind["count"].GetUint64(), items.Size()) << file;
  }
  EXPECT_STREQ(ParseFile(root / "out/device.json")["DeviceName"].GetString(), "Test iPhone");
}

TEST(KeldraCli, TypesChooseTheKindsWritten) {
  TempFolder root;
  BuildSkeleton(root / "backup");
  auto run = RunKeldra({"scan", root / "backup", "--out", root / "out", "--types", "calls,notes"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string listing = testing_support::TreeSnapshot(root / "out");
  EXPECT_THAT(listing, testing::HasSubstr("/calls.json"));
  EXPECT_THAT(listing, testing::HasSubstr("/notes.json"));
  for (const char* absent : {"contacts.json", "history.json", "photos.json", "whatsapp.json"})
    EXPECT_THAT(listing, testing::Not(testing::HasSubstr(absent)));
  EXPECT_EQ(ParseFile(root / "out/summary.json")["kinds"].Size(), 2u);
}

TEST(KeldraCli, NdjsonStreamsRawResults) {
  TempFolder root;
  BuildSkeleton(root / "backup");
  auto run = RunKeldra({"scan", root / "backup", "--ndjson", "--types", "history"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, testing::EndsWith(
                           "{\"stage\":3,\"status\":1,\"sub_command_type\":"
                           "\"LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP\",\"error_code\":0}\n"));
}

TEST(KeldraCli, FailuresExitWithOneLineSayingWhy) {
  TempFolder root;
  testing_support::MakeFolders(root / "empty");
  auto notBackup = RunKeldra({"scan", root / "empty", "--out", root / "out"});
  EXPECT_EQ(notBackup.status, 1);
  EXPECT_EQ(notBackup.err, "keldra: not a backup folder: " + root / "empty" + "\n");

  BuildSkeleton(root / "broken");
  testing_support::WriteFile(root / "broken/Manifest.db", std::string(2048, 'z'));
  std::string before = testing_support::TreeSnapshot(root / "broken");
  auto unreadable = RunKeldra({"scan", root / "broken", "--out", root / "out2"});
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_THAT(unreadable.err, testing::StartsWith("keldra: manifest could not be read: "));
  EXPECT_EQ(testing_support::TreeSnapshot(root / "broken"), before);

  auto info = RunKeldra({"info", root / "broken"});
  EXPECT_EQ(info.status, 1);
  EXPECT_THAT(info.err, testing::HasSubstr("manifest could not be read"));
}

TEST(KeldraCli, UsageErrorsAndHelp) {
  EXPECT_EQ(RunKeldra({}).status, 2);
  EXPECT_EQ(RunKeldra({"scan"}).status, 2);
  EXPECT_EQ(RunKeldra({"scan", "x", "--types", "nonsense"}).status, 2);
  EXPECT_EQ(RunKeldra({"export", "x", "--to", "y"}).status, 2);  // nothing chosen
  for (const char* command : {"list", "info", "scan", "export", "send"}) {
    auto help = RunKeldra({command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_THAT(help.out, testing::HasSubstr("Usage")) << command;
  }
}

TEST(KeldraCli, ExportCopiesUnderDomainAndPathAndNeverOverwritesUnasked) {
  TempFolder root;
  {
    builder::BackupBuilder backup(root / "backup");
    backup.AddFile("HomeDomain", "Library/Preferences/a.plist", "first");
    backup.AddFile("MediaDomain", "Media/b.txt", "second");
    builder::ManifestEntry escape;
    escape.domain = "HomeDomain";
    escape.relativePath = "../../escape.txt";
    escape.fileID = builder::BackupBuilder::FileID("HomeDomain", "escape");
    backup.AddEntryWithContent(escape, "outside");
    backup.Finish();
  }
  auto run = RunKeldra({"export", root / "backup", "--to", root / "out", "--all"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(root / "out/HomeDomain/Library/Preferences/a.plist"), "first");
  EXPECT_EQ(ReadFile(root / "out/MediaDomain/Media/b.txt"), "second");
  EXPECT_THAT(run.err, testing::HasSubstr("refused"));
  EXPECT_EQ(ReadFile(root / "escape.txt"), "");

  testing_support::WriteFile(root / "out/MediaDomain/Media/b.txt", "mine");
  auto again = RunKeldra({"export", root / "backup", "--to", root / "out", "Media/b.txt"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(ReadFile(root / "out/MediaDomain/Media/b.txt"), "mine");
  auto forced = RunKeldra({"export", root / "backup", "--to", root / "out", "--force", "Media/b.txt"});
  EXPECT_EQ(forced.status, 0);
  EXPECT_EQ(ReadFile(root / "out/MediaDomain/Media/b.txt"), "second");
}

TEST(KeldraCli, ListAndInfoDescribeBackups) {
  TempFolder root;
  BuildSkeleton(root / "one");
  auto list = RunKeldra({"list", "--root", root.Path(), "--json"},
                        {{"XDG_CONFIG_HOME=" + root / "none", "HOME=" + root / "home"}});
  ASSERT_EQ(list.status, 0) << list.err;
  rapidjson::Document backups;
  backups.Parse(list.out.c_str());
  ASSERT_TRUE(backups.IsArray());
  ASSERT_EQ(backups.Size(), 1u);
  EXPECT_EQ(std::string(backups[0]["BackupPath"].GetString()), root / "one/");

  auto info = RunKeldra({"info", root / "one", "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  rapidjson::Document described;
  described.Parse(info.out.c_str());
  EXPECT_EQ(described["Manifest"]["files"].GetUint64(), 2u);
  EXPECT_EQ(described["Manifest"]["directories"].GetUint64(), 1u);
}

}  // namespace
