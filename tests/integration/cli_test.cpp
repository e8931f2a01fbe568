// The keldra command driven as a person drives it: a separate process,
// arguments, files written, exit statuses and the one-line reasons.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
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
#include "vorn/VRNUtilityFile.h"

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

// An encrypted backup; `history` fills Safari's history with that many pages
// of 20 visits each.
void BuildEncrypted(const std::string& folder, const char* contentSet, int history = 0,
                    const std::string& password = "pw") {
  builder::BackupOptions options;
  options.isEncrypted = true;
  builder::BackupBuilder backup(folder, options);
  backup.SetProtector(std::make_unique<builder::Encryption>(builder::EncryptionOptions{password}));
  builder::AddContentSet(backup, contentSet);
  builder::HistoryWriter writer;
  for (int page = 0; page < history; ++page) {
    int64_t item = writer.AddItem("https://example.com/page/" + std::to_string(page));
    for (int visit = 0; visit < 20; ++visit)
      writer.AddVisit(item, 700000000.0 + page * 60 + visit, "Page " + std::to_string(page));
  }
  if (history) writer.AddTo(backup);
  backup.Finish();
}

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 0777;
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

TEST(KeldraCli, TypesChooseTheKindsWrittenOrStreamed) {
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
  auto ndjson = RunKeldra({"scan", root / "backup", "--ndjson", "--types", "history"});
  ASSERT_EQ(ndjson.status, 0) << ndjson.err;
  EXPECT_THAT(ndjson.out, testing::EndsWith(testing_support::StatusText(
                                                "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP", 1, 0) +
                                            "\n"));

  // A second run never mixes with the first: refused, or with --force the
  // earlier kinds are gone.
  testing_support::WriteFile(root / "out/mine.txt", "kept");
  auto again = RunKeldra({"scan", root / "backup", "--out", root / "out", "--types", "history"});
  EXPECT_EQ(again.status, 1);
  EXPECT_THAT(again.err, testing::HasSubstr("is not empty"));
  auto forced =
      RunKeldra({"scan", root / "backup", "--out", root / "out", "--types", "history", "--force"});
  ASSERT_EQ(forced.status, 0) << forced.err;
  EXPECT_THAT(testing_support::FolderEntries(root / "out"),
              testing::ElementsAre("device.json", "history.json", "mine.txt", "summary.json"));
}

TEST(KeldraCli, FailuresExitWithOneLineSayingWhy) {
  TempFolder root;
  testing_support::MakeFolders(root / "empty");
  BuildSkeleton(root / "broken");
  testing_support::WriteFile(root / "broken/Manifest.db", std::string(2048, 'z'));
  std::string before = testing_support::TreeSnapshot(root / "broken");
  auto unreadable = RunKeldra({"scan", root / "broken", "--out", root / "out2"});
  EXPECT_EQ(unreadable.status, 1);
  EXPECT_THAT(unreadable.err, testing::StartsWith("keldra: manifest could not be read: "));
  EXPECT_EQ(testing_support::TreeSnapshot(root / "broken"), before);

  // Each failure names its own cause, on one line, and never the password.
  BuildSkeleton(root / "fine");
  testing_support::WriteFile(root / "file", "x");
  BuildEncrypted(root / "locked", "calls", 0, "right one");
  testing_support::WriteFile(root / "wrong", "wrong one\n");
  const std::string locked = testing_support::TreeSnapshot(root / "locked");
  struct Case {
    std::vector<std::string> arguments;
    std::string cause;
  } cases[] = {
      {{"scan", root / "empty", "--out", root / "out"}, "not a backup folder: " + root / "empty\n"},
      {{"info", root / "broken"}, "manifest could not be read"},
      {{"scan", root / "fine", "--out", root / "o3", "--temp-dir", "relative/t"},
       "temporary folder relative/t/ is a relative path"},
      {{"scan", root / "fine", "--out", root / "o4", "--temp-dir", root / "file/t"},
       "cannot create the temporary folder " + root / "file/t/: Not a directory"},
      {{"list", "--root", root / "missing"}, "cannot read " + root / "missing"},
      {{"scan", root / "locked", "--out", root / "o5", "--password-file", root / "wrong"},
       "wrong password for " + root / "locked/\n"},
      {{"scan", root / "locked", "--password-file", root / "missing"},
       "cannot read the password file"},
      {{"scan", root / "fine\x1b[2J\n"}, "not a backup folder: " + root / "fine\\x1b[2J\\x0a"}};
  for (const Case& c : cases) {
    auto run = RunKeldra(c.arguments);
    EXPECT_EQ(run.status, 1) << c.cause;
    EXPECT_THAT(run.err, testing::MatchesRegex("keldra: [^\n]*\n")) << c.cause;
    EXPECT_THAT(run.err, testing::HasSubstr(c.cause));
    EXPECT_THAT(run.out + run.err, testing::Not(testing::HasSubstr("wrong one")));
  }
  EXPECT_EQ(testing_support::TreeSnapshot(root / "locked"), locked);
}

// Deciphered plaintext lives in a private folder of the run and is gone when
// the command ends; a folder of a run that was killed goes with the next
// run, one whose run is alive stays. What comes out of an encrypted backup is
// private; a plain backup's output follows the umask.
TEST(KeldraCli, DecipheredCopiesLiveOnlyWhileTheCommandRuns) {
  TempFolder root;
  const std::string enc = root / "encrypted";
  BuildEncrypted(enc, builder::kAllContentSets);
  BuildSkeleton(root / "plain");
  testing_support::WriteFile(root / "password", "pw\n");
  std::string cache = root / "cache/keldra/";
  std::string live = cache + "run-" + std::to_string(getpid()) + "-live00";
  testing_support::MakeFolders(live);
  int lock = open((live + "/lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  auto plantStale = [&] {
    testing_support::MakeFolders(cache + "run-1-stale0/old-backup");
    testing_support::WriteFile(cache + "run-1-stale0/old-backup/Manifest.db", "plaintext");
    testing_support::WriteFile(cache + "run-1-stale0/lock", "");
    EXPECT_EQ(symlink("/etc", (cache + "run-1-stale0/link").c_str()), 0);
  };
  const mode_t previousUmask = umask(022);
  struct Case {
    std::vector<std::string> arguments;
    std::string output;  // a file written, and its folder, whose modes are checked
    mode_t fileMode, folderMode;
    bool kept;
  } cases[] = {{{"scan", enc, "--out", root / "s"}, "s/calls.json", 0600, 0700, false},
               {{"info", enc}, "", 0, 0, false},
               {{"export", enc, "--to", root / "e", "--all"},
                "e/HomeDomain/Library/SMS/sms.db",
                0600,
                0700,
                false},
               {{"scan", root / "plain", "--out", root / "p"}, "p/summary.json", 0644, 0755, false},
               {{"scan", enc, "--out", root / "k", "--keep-temp"}, "", 0, 0, true}};
  for (Case& c : cases) {
    plantStale();
    c.arguments.insert(c.arguments.end(), {"--password-file", root / "password"});
    auto run = RunKeldra(c.arguments, WithEnvironment({"XDG_CACHE_HOME=" + root / "cache"}));
    // The encrypted sample content holds a locked note, which leaves a scan
    // of it incomplete.
    const bool incomplete = c.arguments[0] == "scan" && c.arguments[1] == enc;
    ASSERT_EQ(run.status, incomplete ? 3 : 0) << c.arguments[0] << ": " << run.err;
    std::vector<std::string> left = testing_support::FolderEntries(cache);
    ASSERT_EQ(left.size(), c.kept ? 2u : 1u)
        << c.arguments[0] << ": " << testing::PrintToString(left);
    EXPECT_EQ(cache + left.back(), live);
    if (c.kept) {
      EXPECT_THAT(run.err, testing::HasSubstr("kept in " + cache + left.front()));
      EXPECT_FALSE(testing_support::FolderEntries(cache + left.front()).empty());
    }
    if (c.output.empty()) continue;
    EXPECT_EQ(ModeOf(root / c.output), c.fileMode) << c.output;
    EXPECT_EQ(ModeOf(c.arguments[3]), c.folderMode) << c.output;
  }
  umask(previousUmask);
  EXPECT_FALSE(testing_support::FolderEntries("/etc").empty());
  close(lock);
}

TEST(KeldraCli, InterruptedScanKeepsFinishedKindsAndLeavesNoPlaintext) {
  TempFolder root;
  // A history long enough to be still running when the signal arrives.
  BuildEncrypted(root / "backup", "contacts", 5000);
  testing_support::WriteFile(root / "password", "pw\n");
  struct Case {
    int signal;
    int status;
  } cases[] = {{SIGINT, 130}, {SIGTERM, 143}};
  for (const Case& c : cases) {
    std::string out = root / ("out" + std::to_string(c.signal) + "/");
    testing_support::ProcessOptions options = WithEnvironment({"XDG_CACHE_HOME=" + root / "cache"});
    options.whileRunning = [&](int pid) {
      for (int i = 0; i < 6000 && !std::filesystem::exists(out + "contacts.json"); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      kill(pid, c.signal);
    };
    auto run = RunKeldra({"scan", root / "backup", "--out", out, "--types",
                          "contacts,history,calls", "--password-file", root / "password"},
                         options);
    EXPECT_EQ(run.status, c.status) << run.err;
    rapidjson::Document contacts = ParseFile(out + "contacts.json");
    ASSERT_TRUE(contacts.IsArray());
    EXPECT_GT(contacts.Size(), 0u);
    rapidjson::Document summary = ParseFile(out + "summary.json");
    ASSERT_TRUE(summary.IsObject());
    EXPECT_STREQ(summary["status"].GetString(), "interrupted");
    // The kind running when the signal came finishes; the next never starts.
    EXPECT_STREQ(summary["kinds"][0]["status"].GetString(), "complete");
    EXPECT_STREQ(summary["kinds"][2]["status"].GetString(), "not run");
    EXPECT_FALSE(std::filesystem::exists(out + "calls.json"));
    EXPECT_THAT(testing_support::FolderEntries(root / "cache/keldra"), testing::IsEmpty());
  }
}

TEST(KeldraCli, UsageErrorsAndHelp) {
  for (const std::vector<std::string>& usage :
       {std::vector<std::string>{},
        {"scan"},
        {"scan", "x", "--types", "nonsense"},
        {"export", "x", "--to", "nothing chosen"},
        {"send"},
        {"send", "--bogus", "X"},
        {"frobnicate"},
        {"send", "--doc", "LIBMODEL_KELDRA_QUERY_MANIFEST_DB_SUPPORT_TYPE", "{not"},
        {"send", "--module", "/nonexistent/libkeldra.so", "X"}})
    EXPECT_EQ(RunKeldra(usage).status, 2) << testing::PrintToString(usage);
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

// Rows whose file id or stored file leads outside the backup; export copies
// the honest file and none of these, and names each once.
TEST(KeldraCli, ExportNeverCopiesWhatLiesOutsideTheBackup) {
  TempFolder root;
  const std::string secret = "outside secret";
  testing_support::MakeFolders(root / "victim");
  testing_support::WriteFile(root / "victim/secret.db", secret);
  enum class Put { kContent, kLink, kFifo, kLinkedFolder };
  struct Hostile {
    const char* relativePath;
    std::string fileID;  // empty: the usual one, stored
    Put put;
    std::string target;  // of kLink
  };
  const std::vector<Hostile> hostile = {
      {"parent.db", "../victim/secret.db", Put::kContent, ""},
      {"deep.db", "../../../../../../.." + root / "victim/secret.db", Put::kContent, ""},
      {"dots.db", "..", Put::kContent, ""},
      {"link.db", "", Put::kLink, root / "victim/secret.db"},
      {"zero.bin", "", Put::kLink, "/dev/zero"},
      {"fifo.db", "", Put::kFifo, ""},
      {"linkedfolder.db", "", Put::kLinkedFolder, ""}};
  // Plain backups meet these rows in the hostile-backup suite.
  const std::string folder = root / "backup/", out = root / "out/";
  {
    builder::BackupOptions options;
    options.isEncrypted = true;
    builder::BackupBuilder backup(folder, options);
    backup.SetProtector(std::make_unique<builder::Encryption>(builder::EncryptionOptions{"pw"}));
    backup.AddFile("HomeDomain", "honest.txt", "inside");
    for (const Hostile& row : hostile) {
      builder::ManifestEntry entry{"HomeDomain", row.relativePath};
      entry.fileID = row.fileID;
      if (!row.fileID.empty()) {
        backup.AddEntry(entry);
        continue;
      }
      std::string id = backup.AddEntryWithContent(entry, "inside");
      std::string stored = backup.StoredPath(id);
      unlink(stored.c_str());
      if (row.put == Put::kLink) symlink(row.target.c_str(), stored.c_str());
      if (row.put == Put::kFifo) mkfifo(stored.c_str(), 0600);
      if (row.put == Put::kLinkedFolder) {
        testing_support::WriteFile(root / "victim/" + id, secret);
        rmdir((folder + id.substr(0, 2)).c_str());
        symlink((root / "victim").c_str(), (folder + id.substr(0, 2)).c_str());
      }
    }
    backup.Finish();
  }
  // Killed after 30 s, so one that blocks (on a FIFO, say) fails instead of
  // hanging the suite.
  testing_support::ProcessOptions limited = WithEnvironment({"KELDRA_PASSWORD=pw"});
  limited.timeLimitMs = 30000;
  auto run = RunKeldra({"export", folder, "--to", out, "--all"}, limited);
  EXPECT_EQ(run.status, 0) << run.err;  // the honest file was exported
  EXPECT_EQ(ReadFile(out + "HomeDomain/honest.txt"), "inside");
  for (const Hostile& row : hostile) {
    std::string path = std::string("HomeDomain/") + row.relativePath;
    EXPECT_FALSE(std::filesystem::exists(out + path)) << path;
    size_t first = run.err.find(path);  // reported, and once
    EXPECT_NE(first, std::string::npos) << path;
    EXPECT_EQ(run.err.find(path, first + 1), std::string::npos) << path;
  }
  EXPECT_THAT(
      testing_support::TreeSnapshot(out),
      testing::Not(testing::HasSubstr(VRNUtilityFile::Sha1Hex(secret.data(), secret.size()))));
}

// Nothing is written into a backup, whatever names it (a link too): refused
// before any output folder is made. (Scan, export and --temp-dir naming the
// backup's own folder are refused in the hostile-backup suite.)
TEST(KeldraCli, OutputInsideTheBackupIsRefused) {
  TempFolder root;
  BuildSkeleton(root / "backup");
  symlink((root / "backup").c_str(), (root / "alias").c_str());
  std::string before = testing_support::TreeSnapshot(root / "backup");
  const std::string backup = root / "backup";
  const std::vector<std::vector<std::string>> commands = {
      {"scan", backup, "--out", root / "alias/new/deeper"},
      {"scan", backup, "--out", root / "o", "--temp-dir", root / "alias/t"},
      {"info", backup, "--temp-dir", backup + "/t"},
      {"export", backup, "--all", "--to", root / "alias/x"}};
  for (const auto& command : commands) {
    SCOPED_TRACE(command[2] + " " + command.back());
    auto run = RunKeldra(command);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_THAT(run.err, testing::HasSubstr("inside the backup folder"));
    EXPECT_EQ(testing_support::TreeSnapshot(root / "backup"), before);
  }
  EXPECT_FALSE(std::filesystem::exists(root / "o"));
}

TEST(KeldraCli, ListAndInfoDescribeBackups) {
  TempFolder root;
  // Three levels below the root: still found, and named when the root is
  // given where a backup belongs.
  BuildSkeleton(root / "a/b/one");
  {
    builder::BackupBuilder hostile(root / "two");
    hostile.Device().deviceName =
        "Phone\x1b]0;owned\x07\r\xc2\x9b"
        "2J";
    hostile.Finish();
  }
  // Names from a backup reach the terminal escaped.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"list", "--root", root.Path()}, {"info", root / "two"}}) {
    auto shown = RunKeldra(arguments, WithEnvironment({"HOME=" + root / "home"}));
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_THAT(shown.out, testing::HasSubstr("Phone\\x1b]0;owned\\x07\\x0d\\xc2\\x9b2J"));
    EXPECT_THAT(shown.out, testing::Not(testing::ContainsRegex("[\x01-\x09\x0b-\x1f]")));
  }
  auto list =
      RunKeldra({"list", "--root", root.Path(), "--json"},
                WithEnvironment({"XDG_CONFIG_HOME=" + root / "none", "HOME=" + root / "home"}));
  ASSERT_EQ(list.status, 0) << list.err;
  rapidjson::Document backups;
  backups.Parse(list.out.c_str());
  ASSERT_TRUE(backups.IsArray());
  ASSERT_EQ(backups.Size(), 2u);
  EXPECT_EQ(std::string(backups[0]["BackupPath"].GetString()), root / "a/b/one/");
  auto notOne = RunKeldra({"scan", root.Path(), "--out", root / "out"});
  EXPECT_EQ(notOne.status, 1);
  EXPECT_THAT(notOne.err, testing::HasSubstr("it holds the backups " + root / "a/b/one/"));

  auto info = RunKeldra({"info", root / "a/b/one", "--json"});
  ASSERT_EQ(info.status, 0) << info.err;
  rapidjson::Document described;
  described.Parse(info.out.c_str());
  EXPECT_EQ(described["Manifest"]["files"].GetUint64(), 2u);
  EXPECT_EQ(described["Manifest"]["directories"].GetUint64(), 1u);
}

}  // namespace
