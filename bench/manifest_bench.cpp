// Manifest load benchmark: ManifestDb::Load and Mbdb::Load of one synthetic
// backup with eleven observers attached, against the sqlite3 shell reading
// the same columns of the same Manifest.db.
//
// Every timed run is a fresh process (this program re-executed), so its
// peak resident size is that of the load alone and no run warms another's
// heap. The backups are built once per row count and seed and reused.
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "BenchCache.h"
#include "BenchChild.h"
#include "backup/Discovery.h"
#include "backup/ManifestDb.h"
#include "backup/Mbdb.h"
#include "builder/BackupBuilder.h"
#include "builder/Synthetic.h"
#include "kind/KindTable.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::MillisecondsSince;
using bench::PeakRssKb;

// What a kind's Update does while the manifest loads: compare each record's
// path with the databases it reads and keep the first match. Stands in for
// kinds that are not built yet.
class StandInObserver : public keldra::VRNObserver {
 public:
  explicit StandInObserver(std::vector<std::string_view> paths) : paths_(std::move(paths)) {}
  void Update(void* argument, const char* commandType) override {
    if (found_ || !argument || !commandType) return;
    const auto* record = static_cast<const keldra::ManifestFile*>(argument);
    for (std::string_view path : paths_) {
      if (record->relativePath == path && IsRecord(commandType)) {
        found_ = record;
        return;
      }
    }
  }
  bool Found() const { return found_ != nullptr; }

 private:
  static bool IsRecord(const char* commandType) {
    return std::strcmp(commandType, keldra::kManifestDbCommandType) == 0 ||
           std::strcmp(commandType, keldra::kManifestMbdbCommandType) == 0;
  }

  std::vector<std::string_view> paths_;
  const keldra::ManifestFile* found_ = nullptr;
};

// The databases of kinds 0 to 10, by number.
std::vector<std::string_view> DatabasesOfKind(int number) {
  switch (number) {
    case 0:
      return {"Library/AddressBook/AddressBook.sqlitedb",
              "Library/AddressBook/AddressBookImages.sqlitedb"};
    case 1:
    case 2:
      return {"Library/SMS/sms.db"};
    case 3:
      return {"Library/Calendar/Calendar.sqlitedb", "Library/Calendar/Extras.db"};
    case 4:
      return {"Library/CallHistoryDB/CallHistory.storedata", "Library/CallHistory/call_history.db"};
    case 5:
      return {"NoteStore.sqlite", "Library/Notes/notes.sqlite"};
    case 6:
      return {"Media/PhotoData/Photos.sqlite"};
    case 7:
      return {"Media/Recordings/Recordings.db", "Library/Recordings/CloudRecordings.db"};
    case 8:
      return {"Library/Safari/Bookmarks.db"};
    case 9:
      return {"Library/Safari/History.db"};
    default:
      return {"ChatStorage.sqlite"};
  }
}

// ---- child side -----------------------------------------------------------

// Loads the manifest of `folder` the way a scan does and prints
// "<load ms> <records> <peak kB after load> <index ms> <stand-ins> <matches>".
int RunChild(const std::string& format, const std::string& folder) {
  if (format == "none") {
    std::printf("0 0 %ld 0 0 0\n", PeakRssKb());
    return 0;
  }
  int type = keldra::DetectBackupType(folder);
  std::unique_ptr<keldra::BackupInfo> info = keldra::ReadBackupInfo(folder, type);
  std::shared_ptr<keldra::DbBase> reader;
  if (format == "mbdb")
    reader = std::make_shared<keldra::Mbdb>();
  else
    reader = std::make_shared<keldra::ManifestDb>();

  std::vector<std::shared_ptr<keldra::Kind>> kinds;
  std::vector<std::unique_ptr<StandInObserver>> standIns;
  for (int number = 0; number < keldra::kKindCount; ++number) {
    keldra::KindObject object = keldra::CreateKind(number);
    if (!object.kind) {
      standIns.push_back(std::make_unique<StandInObserver>(DatabasesOfKind(number)));
      reader->Attach(standIns.back().get());
      continue;
    }
    object.kind->Configure(*info);
    kinds.push_back(object.kind);
    if (object.observer) reader->Attach(object.observer);
  }

  Clock::time_point start = Clock::now();
  bool loaded = reader->Load(info->BackupPath, info->IsEncrypted != 0, "").IsOk();
  double loadMs = MillisecondsSince(start);
  long loadRss = PeakRssKb();
  start = Clock::now();
  reader->GetFileMap();
  double indexMs = MillisecondsSince(start);
  int matches = 0;
  for (const auto& standIn : standIns) matches += standIn->Found();
  std::printf("%.3f %zu %ld %.3f %zu %d\n", loadMs, loaded ? reader->Records().size() : 0, loadRss,
              indexMs, standIns.size(), matches);
  std::fflush(stdout);
  // The benchmark measures the load, not the teardown of what it built.
  std::_Exit(loaded ? 0 : 1);
}

// ---- parent side ----------------------------------------------------------

// The whole process as the parent saw it (its peak includes the index); the
// load as the child saw it.
struct Sample : bench::Usage {
  explicit Sample(const bench::Usage& usage = {}) : bench::Usage(usage) {}
  double loadMs = 0;
  double indexMs = 0;
  size_t records = 0;
  long loadRssKb = 0;  // peak right after Load
  size_t standIns = 0;
  int matches = 0;
};

Sample RunFloor(const std::string& database) {
  return Sample(bench::RunProcess(
      {"sqlite3", database, "select fileID,domain,relativePath,flags from Files"}, nullptr));
}

Sample RunLoad(const std::string& format, const std::string& folder) {
  std::string output;
  Sample sample(bench::RunProcess({"/proc/self/exe", "--child", format, folder}, &output));
  std::istringstream fields(output);
  fields >> sample.loadMs >> sample.records >> sample.loadRssKb >> sample.indexMs >>
      sample.standIns >> sample.matches;
  if (!fields) sample.ok = false;
  return sample;
}

// A backup of `rows` synthetic rows.
std::string BuildBackup(const std::string& folder, builder::ManifestFormat format, size_t rows,
                        uint64_t seed) {
  builder::BackupOptions options;
  options.manifest = format;
  builder::BackupBuilder backup(folder, options);
  builder::AddSyntheticFiles(backup, rows, seed);
  backup.Finish();
  return std::to_string(rows) + " rows, seed " + std::to_string(seed);
}

void PrintRow(const char* name, double ms, size_t rows, double floorMs, double rssKb) {
  std::printf("%-28s %10.1f %12.0f %9.2f %14.1f\n", name, ms, rows / (ms / 1000), ms / floorMs,
              rssKb / 1024);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child") == 0) return RunChild(argv[2], argv[3]);

  size_t rows = 300000;
  int repeat = 5;
  uint64_t seed = 1;
  std::string cache = "/tmp/keldra-manifest-bench";
  CLI::App app{"Times ManifestDb::Load and Mbdb::Load against the sqlite3 shell."};
  app.add_option("--rows", rows, "synthetic manifest rows")->check(CLI::Range(1000, 2000000));
  app.add_option("--repeat", repeat, "runs of each measurement (median reported)")
      ->check(CLI::Range(1, 100));
  app.add_option("--seed", seed, "seed of the synthetic rows");
  app.add_option("--cache", cache, "folder keeping the built backups");
  CLI11_PARSE(app, argc, argv);

  std::string base = cache + "/rows" + std::to_string(rows) + "-seed" + std::to_string(seed);
  std::string dbFolder = base + "-db/";
  std::string mbdbFolder = base + "-mbdb/";
  auto build = [&](builder::ManifestFormat format) {
    return [=](const std::string& folder) { return BuildBackup(folder, format, rows, seed); };
  };
  if (!bench::EnsureBuilt(base + "-db", build(builder::ManifestFormat::kDb)) ||
      !bench::EnsureBuilt(base + "-mbdb", build(builder::ManifestFormat::kMbdb)))
    return 1;

  // Interleaved, so that every measurement sees the same machine state.
  std::vector<Sample> floors, dbLoads, mbdbLoads, empties;
  for (int i = 0; i < repeat; ++i) {
    floors.push_back(RunFloor(dbFolder + "Manifest.db"));
    dbLoads.push_back(RunLoad("db", dbFolder));
    mbdbLoads.push_back(RunLoad("mbdb", mbdbFolder));
    empties.push_back(RunLoad("none", dbFolder));
  }
  for (const auto* samples : {&floors, &dbLoads, &mbdbLoads, &empties}) {
    for (const Sample& sample : *samples) {
      if (!sample.ok) {
        std::fprintf(stderr, "manifest_bench: a measured run failed (is sqlite3 installed?)\n");
        return 1;
      }
    }
  }
  for (const auto* samples : {&dbLoads, &mbdbLoads}) {
    if (samples->front().records != rows) {
      std::fprintf(stderr, "manifest_bench: loaded %zu records of %zu\n", samples->front().records,
                   rows);
      return 1;
    }
  }

  double floorMs = Median(floors, &Sample::wallMs);
  std::printf("\nManifest load: %zu rows (seed %llu), median of %d, %ld CPUs, %s\n", rows,
              static_cast<unsigned long long>(seed), repeat, sysconf(_SC_NPROCESSORS_ONLN),
              bench::CpuModel().c_str());
  std::printf("eleven observers attached, %zu of them stand-ins; %d stand-ins matched a path\n\n",
              dbLoads.front().standIns, dbLoads.front().matches);
  std::printf("%-28s %10s %12s %9s %14s\n", "", "time (ms)", "rows/s", "x floor", "peak RSS (MB)");
  PrintRow("sqlite3 shell (floor)", floorMs, rows, floorMs, Median(floors, &Sample::peakRssKb));
  PrintRow("ManifestDb::Load", Median(dbLoads, &Sample::loadMs), rows, floorMs,
           Median(dbLoads, &Sample::loadRssKb));
  PrintRow("Mbdb::Load", Median(mbdbLoads, &Sample::loadMs), rows, floorMs,
           Median(mbdbLoads, &Sample::loadRssKb));
  std::printf("\n%-28s %10s %14s\n", "relative-path index", "time (ms)", "peak RSS (MB)");
  std::printf("%-28s %10.1f %14.1f\n", "after ManifestDb::Load", Median(dbLoads, &Sample::indexMs),
              Median(dbLoads, &Sample::peakRssKb) / 1024);
  std::printf("%-28s %10.1f %14.1f\n", "after Mbdb::Load", Median(mbdbLoads, &Sample::indexMs),
              Median(mbdbLoads, &Sample::peakRssKb) / 1024);
  std::printf(
      "\nLoad times exclude process start and exit; the floor is the whole sqlite3 run.\n"
      "Peak RSS includes the %.1f MB of a child process that loads nothing.\n",
      Median(empties, &Sample::peakRssKb) / 1024);
  return 0;
}
