// Every command, run as a person runs it, against backups made to misbehave
// and against read-only copies of the four kinds of ordinary backup. Each run
// must end by itself within seconds, with 0 or with 1 and one line saying
// why; leave everything outside its output folder as it was, byte, mode and
// mtime; empty its temporary folder; and let nothing planted outside the
// backup into what it writes or prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "builder/Hostile.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
namespace hostile = builder::hostile;
using builder::ManifestFormat;
using builder::PlistFormat;
using hostile::Crafted;
using testing_support::ProcessResult;
using testing_support::TempFolder;
using testing_support::TreeSnapshot;

// Far above what these small backups need, short enough that a hang costs
// seconds, not the suite.
constexpr int kTimeLimitMs = 6000;
constexpr long long kFileSizeLimit = 256ll << 20;
constexpr long long kResidentLimit = 2048ll << 20;
// Same-named copies mix in some pairs of runs only; this many rounds see
// it nearly every time.
constexpr int kTwinRounds = 16;

// Command lines as a person types them: {B} stands for the backup folder,
// {R} for the folder that holds it, {O} for the run's own output folder.
// Each run gets a temporary folder of its own unless the line names one.
constexpr char kList[] = "list --root {R} --json";
constexpr char kInfo[] = "info {B} --json";
constexpr char kScan[] = "scan {B} --out {O} -q";
constexpr char kExport[] = "export {B} --to {O} --all";
// The backup and its same-named copy scanned at once.
constexpr char kScanTwins[] = "scan {B} --out {O} -q --types contacts,messages";

// `exit` 0, or 1 with exactly one line on stderr.
struct Step {
  const char* command;
  int exit;
};

struct Case {
  std::string name;
  std::function<Crafted(const std::string& site)> craft;
  std::vector<Step> runs;
  bool readOnly = false;  // the backup's files and folders lose their write bits
};

std::vector<Step> Every(int list, int info, int scan, int exportAll) {
  return {{kList, list}, {kInfo, info}, {kScan, scan}, {kExport, exportAll}};
}

std::vector<std::string> Arguments(const char* command, const std::string& backup,
                                   const Crafted& crafted, const std::string& out,
                                   const std::string& temp) {
  const std::string root = fs::path(crafted.neighbour).parent_path().parent_path().string();
  std::vector<std::string> arguments;
  std::istringstream words(command);
  for (std::string word; words >> word; arguments.push_back(word))
    for (const auto& [mark, value] : {std::pair("{B}", backup), {"{R}", root}, {"{O}", out}})
      if (word.rfind(mark, 0) == 0) word = value + word.substr(3);
  if (std::string(command).find("--temp-dir") == std::string::npos)
    arguments.insert(arguments.end(), {"--temp-dir", temp});
  if (!crafted.passwordFile.empty() && arguments[0] != "list")
    arguments.insert(arguments.end(), {"--password-file", crafted.passwordFile});
  return arguments;
}

ProcessResult RunWithin(const std::vector<std::string>& arguments, const std::string& site) {
  testing_support::ProcessOptions options;
  // Nothing of this machine's own backups or caches: defaults point into the site.
  options.environment = {"HOME=" + site + "home", "XDG_CACHE_HOME=" + site + "cache",
                         "XDG_CONFIG_HOME=" + site + "config"};
  options.timeLimitMs = kTimeLimitMs;
  options.fileSizeLimit = kFileSizeLimit;
  options.residentLimit = kResidentLimit;
  return testing_support::RunKeldra(arguments, options);
}

void ExpectExit(const ProcessResult& run, int exit) {
  EXPECT_EQ(run.killedFor, "") << run.err;
  EXPECT_EQ(run.status, exit) << run.err;
  if (exit == 1 || exit == 3) {  // failed, or finished with what could not be read
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_THAT(run.err, testing::EndsWith("\n"));
  }
}

// Names what holds a planted text: the streams, or a file written below
// `folder` (links are not followed).
void ExpectNothingPlanted(const std::vector<std::string>& planted, const ProcessResult& run,
                          const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> written = {
      {"the output streams", run.out + run.err}};
  std::error_code error;
  if (fs::is_directory(fs::symlink_status(folder, error))) {
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
      if (fs::is_regular_file(entry.symlink_status()))
        written.emplace_back(entry.path().string(),
                             testing_support::ReadFile(entry.path().string()));
    }
  }
  for (const auto& [where, bytes] : written) {
    for (const std::string& text : planted)
      EXPECT_EQ(bytes.find(text), std::string::npos) << where << " holds \"" << text << "\"";
  }
}

// A run's output and temporary folders are its own, outside the site;
// everything in the site must stay as it was.
struct RunFolders {
  TempFolder out;
  TempFolder temp;  // made 0700, as the platform wants
  std::string Out() const { return out / "out"; }
};

void ExpectLeftClean(const std::string& tempFolder, const std::string& out,
                     const ProcessResult& run, const std::vector<std::string>& planted) {
  // The snapshot's first line is the folder itself.
  std::string temp = TreeSnapshot(tempFolder);
  EXPECT_EQ(temp.find('\n') + 1, temp.size()) << "left in the temporary folder:\n" << temp;
  ExpectNothingPlanted(planted, run, out);
}

// Both copies at once, sharing one temporary folder across the rounds as
// every run shares the default one.
void RunTwins(const Crafted& crafted, const std::string& site) {
  TempFolder temp;
  for (int round = 0; round < kTwinRounds; ++round) {
    TempFolder outs;
    const std::string first = outs / "first", second = outs / "second";
    ProcessResult secondRun;
    std::thread secondScan([&] {
      secondRun =
          RunWithin(Arguments(kScanTwins, crafted.twin, crafted, second, temp.Path()), site);
    });
    ProcessResult firstRun =
        RunWithin(Arguments(kScanTwins, crafted.backup, crafted, first, temp.Path()), site);
    secondScan.join();
    ExpectExit(firstRun, 0);
    ExpectExit(secondRun, 0);
    ExpectLeftClean(temp.Path(), first, firstRun, crafted.planted);
    ExpectNothingPlanted(crafted.planted, secondRun, second);
    for (const auto& [out, own, other] : {std::tuple(first, crafted.ownText, crafted.twinText),
                                          std::tuple(second, crafted.twinText, crafted.ownText)}) {
      for (const char* file : {"/contacts.json", "/messages.json"}) {
        std::string written = testing_support::ReadFile(out + file);
        EXPECT_THAT(written, testing::HasSubstr(own)) << out + file;
        EXPECT_THAT(written, testing::Not(testing::HasSubstr(other))) << out + file;
      }
    }
  }
}

void RunCase(const Case& c) {
  TempFolder site;
  const Crafted crafted = c.craft(site.Path());
  if (c.readOnly) {
    ASSERT_EQ(system(("chmod -R a-w '" + crafted.backup + "'").c_str()), 0);
  }
  std::string before = TreeSnapshot(site.Path());
  for (const Step& run : c.runs) {
    RunFolders folders;
    std::vector<std::string> arguments =
        Arguments(run.command, crafted.backup, crafted, folders.Out(), folders.temp.Path());
    std::string line = c.name + ": keldra";
    for (const std::string& argument : arguments) line += " " + argument;
    SCOPED_TRACE(run.command == kScanTwins ? c.name + ": both copies at once" : line);
    if (run.command == kScanTwins) {
      RunTwins(crafted, site.Path());
    } else {
      ProcessResult result = RunWithin(arguments, site.Path());
      ExpectExit(result, run.exit);
      ExpectLeftClean(folders.temp.Path(), folders.Out(), result, crafted.planted);
      // One backup that cannot be read never hides the others.
      if (run.command == kList) {
        EXPECT_THAT(result.out, testing::HasSubstr(crafted.neighbour));
      }
    }
    // Each run is judged on what it changed itself (gtest shows the lines that differ).
    std::string after = TreeSnapshot(site.Path());
    EXPECT_EQ(before, after) << "changed around the backup";
    before = after;
  }
}

TEST(HostileBackup, EveryCommandEndsCleanlyAndKeepsToItsFolders) {
  using hostile::DeepPlace;
  using hostile::FifoPlace;
  auto fifo = [](FifoPlace place) {
    return [place](const std::string& site) { return hostile::FifoInPlaceOf(site, place); };
  };
  const std::vector<Step> refusedOutputs = {{"scan {B} --out {B}o -q", 1},
                                            {"export {B} --to {B}x --all", 1},
                                            {"export {B} --to {B} --all --force", 1},
                                            {"scan {B} --out {O} -q --temp-dir {B}t", 1}};
  // A stored file that cannot be read is a missing file: export copies the
  // rest, and a scan finishes with it among its problems (exit 3). A manifest
  // that cannot be read fails every command but list.
  std::vector<Case> cases = {
      {"file ids leaving the folder", hostile::EscapingFileIds, Every(0, 0, 3, 0)},
      {"FIFO as AddressBook.sqlitedb", fifo(FifoPlace::kAddressBook), Every(0, 0, 3, 0)},
      {"FIFO as sms.db", fifo(FifoPlace::kStoredDatabase), Every(0, 0, 3, 0)},
      {"FIFO as an encrypted sms.db", fifo(FifoPlace::kEncryptedDatabase), Every(0, 0, 3, 0)},
      {"FIFO as Manifest.db", fifo(FifoPlace::kManifestDb), Every(0, 1, 1, 1)},
      {"FIFO as Manifest.mbdb", fifo(FifoPlace::kManifestMbdb), Every(0, 1, 1, 1)},
      {"FIFO as Info.plist", fifo(FifoPlace::kInfoPlist), Every(0, 0, 0, 0)},
      {"stored links to outside files", hostile::SymlinksToOutsideFiles, Every(0, 0, 3, 0)},
      {"stored links to devices", hostile::SymlinksToDevices, Every(0, 0, 3, 0)},
      {"linked two-character folder", hostile::SymlinkedSubfolder, Every(0, 0, 3, 0)},
      {"same-named encrypted copies", hostile::SameNamedEncrypted, {{kScanTwins, 0}}},
      {"outputs inside the backup",
       [](const std::string& site) { return hostile::Ordinary(site, ManifestFormat::kDb, true); },
       refusedOutputs},
  };
  for (const auto& [place, what] :
       {std::pair(DeepPlace::kInfo, "Info.plist"),
        std::pair(DeepPlace::kManifest, "Manifest.plist"),
        std::pair(DeepPlace::kStatus, "Status.plist"),
        std::pair(DeepPlace::kVoiceMemoComposition, "voice-memo composition"),
        std::pair(DeepPlace::kVoiceMemoAssetManifest, "voice-memo asset manifest")})
    for (PlistFormat format : {PlistFormat::kXml, PlistFormat::kBinary})
      cases.push_back(
          {std::string("deep ") + (format == PlistFormat::kXml ? "XML " : "binary ") + what,
           [place = place, format](const std::string& site) {
             return hostile::DeepPlist(site, place, format);
           },
           Every(0, 0, 0, 0)});
  for (const Case& c : cases) RunCase(c);
}

TEST(ReadOnlyBackup, IsIdenticalAfterEveryCommand) {
  // The sample content holds a locked note: a scan finishes incomplete.
  for (ManifestFormat format : {ManifestFormat::kDb, ManifestFormat::kMbdb})
    for (bool encrypted : {false, true})
      RunCase({std::string(format == ManifestFormat::kDb ? "" : "legacy ") +
                   (encrypted ? "encrypted" : "plain"),
               [=](const std::string& site) { return hostile::Ordinary(site, format, encrypted); },
               Every(0, 0, 3, 0), true});
}

}  // namespace
