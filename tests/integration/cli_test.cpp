// The keldra command driven as a person drives it: a separate process,
// arguments, files written, exit statuses and the one-line reasons.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "builder/BackupBuilder.h"
#include "builder/ContentSets.h"
#include "builder/Encryption.h"
#include "builder/kinds/NoteStores.h"
#include "builder/kinds/SafariWriters.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace {

using testing_support::ReadFile;
using testing_support::RunKeldra;
using testing_support::TempFolder;

testing_support::ProcessOptions WithEnvironment(std::vector<std::string> environment) {
  testing_support::ProcessOptions options;
  options.environment = std::move(environment);
  return options;
}

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

// The items of a kind's file: most are arrays; chats and photos are grouped.
const rapidjson::Value& ItemsOf(const rapidjson::Value& output) {
  if (output.IsObject() && output.HasMember("chats")) return output["chats"];
  if (output.IsObject() && output.HasMember("camera_roll")) return output["camera_roll"];
  return output;
}

TEST(KeldraCli, ScanWritesOneFilePerKindAndASummaryThatAddsUp) {
  TempFolder root;
  {
    builder::BackupBuilder backup(root / "backup");
    builder::AddContentSet(backup, builder::kAllContentSets);
    backup.Finish();
  }
  std::string before = testing_support::TreeSnapshot(root / "backup");
  auto run = RunKeldra({"scan", root / "backup", "--out", root / "out"});
  // The sample notes hold a locked one, whose text cannot be read.
  ASSERT_EQ(run.status, 3) << run.err;
  rapidjson::Document summary = ParseFile(root / "out/summary.json");
  ASSERT_TRUE(summary.IsObject());
  EXPECT_STREQ(summary["status"].GetString(), "finished");
  ASSERT_EQ(summary["kinds"].Size(), 11u);
  for (const auto& kind : summary["kinds"].GetArray()) {
    std::string file = kind["file"].GetString();
    EXPECT_STREQ(kind["status"].GetString(), file == "notes.json" ? "incomplete" : "complete");
    rapidjson::Document output = ParseFile(root / ("out/" + file));
    ASSERT_FALSE(output.HasParseError()) << file;
    const rapidjson::Value& items = ItemsOf(output);
    ASSERT_TRUE(items.IsArray()) << file;
    EXPECT_EQ(kind["count"].GetUint64(), items.Size()) << file;
    // The sample content has something of every kind.
    EXPECT_GT(items.Size(), 0u) << file;
  }
  EXPECT_STREQ(ParseFile(root / "out/device.json")["DeviceName"].GetString(), "Test iPhone");
  EXPECT_EQ(testing_support::TreeSnapshot(root / "backup"), before);
}

// What could not be read is said, in summary.json and in the closing table,
// and the exit status tells a finished scan with gaps from a clean one.
TEST(KeldraCli, DamagedBackupFinishesWithItsProblemsAndExits3) {
  TempFolder root;
  {
    builder::BackupBuilder backup(root / "backup");
    backup.AddFile("HomeDomain", "Library/Calendar/Calendar.sqlitedb", std::string(8192, '\x5a'));
    backup.AddManifestEntry("WirelessDomain", "Library/CallHistory/call_history.db",
                            builder::kFlagFile);
    builder::notes::NoteStoreContent notes;
    notes.notes.resize(2);
    notes.notes[0].text = "readable text";
    notes.notes[1].text = "secret text";
    notes.notes[1].locked = true;
    builder::notes::AddNoteStore(backup, notes);
    builder::AddContentSet(backup, "contacts");
    backup.Finish();
  }
  auto run = RunKeldra({"scan", root / "backup", "--out", root / "out", "--types",
                        "calendar,calls,notes,contacts,history"});
  EXPECT_EQ(run.status, 3) << run.err;
  rapidjson::Document summary = ParseFile(root / "out/summary.json");
  ASSERT_TRUE(summary.IsObject());
  const char* statuses[] = {"incomplete", "incomplete", "incomplete", "complete", "no data"};
  for (unsigned i = 0; i < 5; ++i) {
    const rapidjson::Value& kind = summary["kinds"][i];
    EXPECT_STREQ(kind["status"].GetString(), statuses[i]) << kind["name"].GetString();
    EXPECT_EQ(kind.HasMember("problems") && kind["problems"].Size() == 1, i < 3)
        << kind["name"].GetString();
  }
  EXPECT_THAT(run.err, testing::HasSubstr("1 note is locked with a notes password"));
  EXPECT_THAT(run.err, testing::HasSubstr("its stored file is missing"));
  EXPECT_THAT(run.err, testing::ContainsRegex("calendar .* incomplete\n    - "));
  EXPECT_THAT(run.err, testing::Not(testing::HasSubstr("LIBPLATFORM_")));
  EXPECT_THAT(run.err, testing::EndsWith("keldra: finished; some data could not be read\n"));
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
  EXPECT_THAT(run.out,
              testing::EndsWith("{\"stage\":3,\"status\":1,\"sub_command_type\":"
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

TEST(KeldraCli, EncryptedBackupsNeedTheirPassword) {
  TempFolder root;
  {
    builder::BackupOptions options;
    options.isEncrypted = true;
    builder::BackupBuilder backup(root / "backup", options);
    builder::EncryptionOptions encryption;
    encryption.password = "right one";
    backup.SetProtector(std::make_unique<builder::Encryption>(encryption));
    builder::AddContentSet(backup, "calls");
    backup.Finish();
  }
  std::string before = testing_support::TreeSnapshot(root / "backup");
  auto wrong = RunKeldra({"scan", root / "backup", "--out", root / "out"},
                         WithEnvironment({"KELDRA_PASSWORD=wrong one"}));
  EXPECT_EQ(wrong.status, 1);
  EXPECT_EQ(wrong.err, "keldra: wrong password for " + root / "backup/" + "\n");
  EXPECT_THAT(wrong.out + wrong.err, testing::Not(testing::HasSubstr("wrong one")));

  auto none = RunKeldra({"scan", root / "backup", "--password-file", root / "missing"});
  EXPECT_EQ(none.status, 1);
  EXPECT_THAT(none.err, testing::HasSubstr("cannot read the password file"));

  testing_support::WriteFile(root / "password", "right one\n");
  auto right = RunKeldra({"scan", root / "backup", "--out", root / "out", "--types", "calls",
                          "--password-file", root / "password"});
  ASSERT_EQ(right.status, 0) << right.err;
  rapidjson::Document summary = ParseFile(root / "out/summary.json");
  EXPECT_TRUE(summary["encrypted"].GetBool());
  EXPECT_GT(summary["kinds"][0]["count"].GetUint64(), 0u);
  EXPECT_EQ(testing_support::TreeSnapshot(root / "backup"), before);
}

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

TEST(KeldraCli, InterruptedScanKeepsFinishedKindsAndExits130) {
  TempFolder root;
  {
    builder::BackupBuilder backup(root / "backup");
    builder::AddContentSet(backup, "contacts");
    builder::AddContentSet(backup, "calls");
    // A history long enough to be still running when the signal arrives.
    builder::HistoryWriter history;
    for (int page = 0; page < 5000; ++page) {
      int64_t item = history.AddItem("https://example.com/page/" + std::to_string(page));
      for (int visit = 0; visit < 20; ++visit)
        history.AddVisit(item, 700000000.0 + page * 60 + visit, "Page " + std::to_string(page));
    }
    history.AddTo(backup);
    backup.Finish();
  }
  testing_support::ProcessOptions options;
  options.whileRunning = [&root](int pid) {
    for (int i = 0; i < 6000 && !FileExists(root / "out/contacts.json"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    kill(pid, SIGINT);
  };
  auto run = RunKeldra(
      {"scan", root / "backup", "--out", root / "out", "--types", "contacts,history,calls"},
      options);
  EXPECT_EQ(run.status, 130) << run.err;
  rapidjson::Document contacts = ParseFile(root / "out/contacts.json");
  ASSERT_TRUE(contacts.IsArray());
  EXPECT_GT(contacts.Size(), 0u);
  rapidjson::Document summary = ParseFile(root / "out/summary.json");
  ASSERT_TRUE(summary.IsObject());
  EXPECT_STREQ(summary["status"].GetString(), "interrupted");
  // The kind running when the signal came finishes; the next never starts.
  EXPECT_STREQ(summary["kinds"][0]["status"].GetString(), "complete");
  EXPECT_STREQ(summary["kinds"][2]["status"].GetString(), "not run");
  EXPECT_FALSE(FileExists(root / "out/calls.json"));
}

TEST(KeldraCli, DemoBuildsBothSampleBackupsOnceAndCountsEveryKind) {
  TempFolder root;
  auto first = RunKeldra({"demo", "--folder", root / "demo"},
                         WithEnvironment({"XDG_CACHE_HOME=" + root / "cache"}));
  ASSERT_EQ(first.status, 0) << first.err;
  for (const char* name : {"plain", "encrypted"}) {
    rapidjson::Document summary = ParseFile(root / ("demo/" + std::string(name) + "/summary.json"));
    ASSERT_TRUE(summary.IsObject()) << name;
    EXPECT_EQ(summary["encrypted"].GetBool(), std::string(name) == "encrypted");
    ASSERT_EQ(summary["kinds"].Size(), 11u);
    for (const auto& kind : summary["kinds"].GetArray()) {
      EXPECT_GT(kind["count"].GetUint64(), 0u) << name << " " << kind["name"].GetString();
      // Each kind's line of the printed table carries the same count twice.
      std::string count = std::to_string(kind["count"].GetUint64());
      EXPECT_THAT(first.out, testing::ContainsRegex(std::string("\n") + kind["name"].GetString() +
                                                    " +" + count + " +" + count + "\n"));
    }
  }
  // A second run scans the backups already there.
  std::string backups = testing_support::TreeSnapshot(root / "demo/backups");
  auto second = RunKeldra({"demo", "--folder", root / "demo"},
                          WithEnvironment({"XDG_CACHE_HOME=" + root / "cache"}));
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_THAT(second.err, testing::Not(testing::HasSubstr("building")));
  EXPECT_EQ(testing_support::TreeSnapshot(root / "demo/backups"), backups);
}

TEST(KeldraCli, UsageErrorsAndHelp) {
  EXPECT_EQ(RunKeldra({}).status, 2);
  EXPECT_EQ(RunKeldra({"scan"}).status, 2);
  EXPECT_EQ(RunKeldra({"scan", "x", "--types", "nonsense"}).status, 2);
  EXPECT_EQ(RunKeldra({"export", "x", "--to", "y"}).status, 2);  // nothing chosen
  for (const char* command : {"list", "info", "scan", "export", "demo", "send"}) {
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
  auto forced =
      RunKeldra({"export", root / "backup", "--to", root / "out", "--force", "Media/b.txt"});
  EXPECT_EQ(forced.status, 0);
  EXPECT_EQ(ReadFile(root / "out/MediaDomain/Media/b.txt"), "second");
}

TEST(KeldraCli, ListAndInfoDescribeBackups) {
  TempFolder root;
  // Three levels below the root: still found, and named when the root is
  // given where a backup belongs.
  BuildSkeleton(root / "a/b/one");
  auto list =
      RunKeldra({"list", "--root", root.Path(), "--json"},
                WithEnvironment({"XDG_CONFIG_HOME=" + root / "none", "HOME=" + root / "home"}));
  ASSERT_EQ(list.status, 0) << list.err;
  rapidjson::Document backups;
  backups.Parse(list.out.c_str());
  ASSERT_TRUE(backups.IsArray());
  ASSERT_EQ(backups.Size(), 1u);
  EXPECT_EQ(std::string(backups[0]["BackupPath"].GetString()), root / "a/b/one/");
  auto notOne = RunKeldra({"scan", root.Path(), "--out", root / "out"});
  EXPECT_EQ(notOne.status, 1);
  EXPECT_THAT(notOne.err, testing::HasSubstr("it holds the backup " + root / "a/b/one/"));

  auto info = RunKeldra({"info", root / "a/b/one", "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  rapidjson::Document described;
  described.Parse(info.out.c_str());
  EXPECT_EQ(described["Manifest"]["files"].GetUint64(), 2u);
  EXPECT_EQ(described["Manifest"]["directories"].GetUint64(), 1u);
}

}  // namespace
