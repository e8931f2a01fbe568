// Photo benchmark: completing a camera roll of many photos that have no
// thumbnails, so that every photo needs the whole-map search, against a
// manifest of a million rows; and the photo kind's whole scan.
//
// Every timed run is a fresh process (this program re-executed), so its
// peak resident size is its own. The backup is built once and reused.
#include <unistd.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BenchCache.h"
#include "BenchChild.h"
#include "Harness.h"
#include "backup/ManifestDb.h"
#include "builder/BackupBuilder.h"
#include "builder/Synthetic.h"
#include "builder/kinds/PhotoLibrary.h"
#include "kind/photo/PhotoFiles.h"
#include "kind/photo/ThumbnailSearch.h"
#include "platform/PhotoLibrary.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::MedianField;
using bench::MedianRssMb;
using bench::MillisecondsSince;
using bench::PeakRssKb;
using bench::Sample;

std::string PhotoPath(size_t index) {
  char path[64];
  std::snprintf(path, sizeof path, "DCIM/%03zuBENCH/BENCH_%05zu.HEIC", 100 + index / 1000, index);
  return path;
}

// ---- child side -----------------------------------------------------------

// Loads the manifest, has the host reader list the camera roll, and
// completes every photo; prints
// "<load ms> <index ms> <host ms> <resolve ms> <photos> <thumbnails> <passes> <checked>
// <mismatches> <rss after resolve kB>". The results of every `checkEvery`-th photo are then
// compared with the plain rule.
int RunResolve(const std::string& folder, size_t checkEvery) {
  keldra::ManifestDb reader;
  Clock::time_point start = Clock::now();
  if (!reader.Load(folder, false, "")) return 1;
  double loadMs = MillisecondsSince(start);
  start = Clock::now();
  const keldra::FileMap& map = reader.GetFileMap();
  double indexMs = MillisecondsSince(start);

  const keldra::ManifestFile* database = map.Find("Media/PhotoData/Photos.sqlite");
  if (!database) return 1;
  start = Clock::now();
  host::PlatformOptions options;
  auto library = host::PhotoLibrary::Open(database->StoredPath(), options);
  if (!library) return 1;
  rapidjson::Document reply(rapidjson::kArrayType);
  library->CameraRoll(reply, reply.GetAllocator());
  double hostMs = MillisecondsSince(start);
  // The host paths, kept before the photos are completed.
  std::vector<std::string> paths;
  for (const auto& photo : reply.GetArray()) paths.push_back(photo["PATH"].GetString());

  keldra::PhotoFiles files(map);
  start = Clock::now();
  files.ResolveAll(reply, reply.GetAllocator());
  double resolveMs = MillisecondsSince(start);
  long rss = PeakRssKb();

  size_t thumbnails = 0;
  for (const auto& photo : reply.GetArray()) thumbnails += photo.HasMember("THUMBNAIL_PATH");
  size_t checked = 0, mismatches = 0;
  for (size_t i = 0; checkEvery && i < paths.size(); i += checkEvery) {
    const keldra::ManifestFile* plain = keldra::FirstContainingPlain(map, paths[i]);
    const rapidjson::Value& photo = reply[static_cast<rapidjson::SizeType>(i)];
    bool same =
        plain ? photo.HasMember("THUMBNAIL_RELATIVE_PATH") &&
                    photo["THUMBNAIL_RELATIVE_PATH"].GetString() == std::string(plain->relativePath)
              : !photo.HasMember("THUMBNAIL_RELATIVE_PATH");
    ++checked;
    mismatches += !same;
  }
  std::printf("%.3f %.3f %.3f %.3f %u %zu %zu %zu %zu %ld\n", loadMs, indexMs, hostMs, resolveMs,
              reply.Size(), thumbnails, files.Search().Passes(), checked, mismatches, rss);
  std::fflush(stdout);
  std::_Exit(0);
}

// The plain rule for `count` photos spread over the camera roll; prints
// "<ms> <count>".
int RunPlain(const std::string& folder, size_t count, size_t photos) {
  keldra::ManifestDb reader;
  if (!reader.Load(folder, false, "")) return 1;
  const keldra::FileMap& map = reader.GetFileMap();
  Clock::time_point start = Clock::now();
  size_t found = 0;
  for (size_t i = 0; i < count; ++i)
    found += keldra::FirstContainingPlain(map, PhotoPath(i * (photos / count))) != nullptr;
  std::printf("%.3f %zu %zu\n", MillisecondsSince(start), count, found);
  std::fflush(stdout);
  std::_Exit(0);
}

// The whole scan with kind 6 alone, through the host code; prints "<ms> <events>".
int RunScan(const std::string& folder) {
  host::SendOptions options;
  options.decryptModulePath = "none";
  std::string error;
  if (!host::LoadModules(options, &error)) {
    std::fprintf(stderr, "photo_bench: %s\n", error.c_str());
    return 1;
  }
  bench::CountingSink sink;
  Clock::time_point start = Clock::now();
  host::RunSend(options, "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP",
                "{\"backupDir\":\"" + folder + "\",\"types\":[6]}", sink, &error);
  std::printf("%.3f %zu\n", MillisecondsSince(start), sink.events);
  std::fflush(stdout);
  std::_Exit(0);
}

// ---- parent side ----------------------------------------------------------

// The backup: a photo library whose photos have no thumbnails (every other
// one has its own file listed, one in a hundred an edited render that the
// search finds), then synthetic rows up to `rows`.
std::string BuildBackup(const std::string& folder, size_t rows, size_t photos) {
  builder::BackupBuilder backup(folder);
  builder::PhotoLibrarySpec library;
  library.assets.resize(photos);
  for (size_t i = 0; i < photos; ++i) {
    std::string path = PhotoPath(i);
    builder::PhotoAsset& asset = library.assets[i];
    asset.directory = path.substr(0, path.rfind('/'));
    asset.fileName = path.substr(path.rfind('/') + 1);
    asset.created = 700000000 + static_cast<double>(i);
    asset.originalFileSize = 2000000 + static_cast<int64_t>(i);
    asset.stored = false;
  }
  builder::AddPhotoLibrary(backup, library);
  for (size_t i = 0; i < photos; ++i) {
    if (i % 2 == 0) backup.AddManifestEntry("CameraRollDomain", "Media/" + PhotoPath(i), 1);
    if (i % 100 == 0)
      backup.AddManifestEntry(
          "CameraRollDomain",
          "Media/PhotoData/Mutations/" + PhotoPath(i) + "/Adjustments/FullSizeRender.jpg", 1);
  }
  builder::AddSyntheticFiles(backup, rows - backup.RowCount(), 1);
  backup.Finish();
  return std::to_string(backup.RowCount()) + " rows, " + std::to_string(photos) + " photos";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--child-resolve") == 0)
    return RunResolve(argv[2], argc > 3 ? std::stoul(argv[3]) : 0);
  if (argc == 5 && std::strcmp(argv[1], "--child-plain") == 0)
    return RunPlain(argv[2], std::stoul(argv[3]), std::stoul(argv[4]));
  if (argc == 3 && std::strcmp(argv[1], "--child-scan") == 0) return RunScan(argv[2]);
  if (argc == 2 && std::strcmp(argv[1], "--child-none") == 0) {
    std::printf("0\n");
    return 0;
  }

  size_t rows = 1000000;
  size_t photos = 20000;
  int repeat = 5;
  size_t plainSample = 20;
  std::string cache = "/tmp/keldra-photo-bench";
  CLI::App app{"Times the photo kind's completion of a camera roll without thumbnails."};
  app.add_option("--rows", rows, "manifest rows")->check(CLI::Range(100000, 2000000));
  app.add_option("--photos", photos, "camera-roll photos")->check(CLI::Range(100, 100000));
  app.add_option("--repeat", repeat, "runs of each measurement (median reported)")
      ->check(CLI::Range(1, 100));
  app.add_option("--plain", plainSample, "photos timed with the plain rule")
      ->check(CLI::Range(1, 1000));
  app.add_option("--cache", cache, "folder keeping the built backup");
  CLI11_PARSE(app, argc, argv);

  std::string folder = cache + "/rows" + std::to_string(rows) + "-photos" + std::to_string(photos);
  if (!bench::EnsureBuilt(folder,
                          [&](const std::string& f) { return BuildBackup(f, rows, photos); }))
    return 1;
  folder += "/";
  const std::string self = "/proc/self/exe";
  char exe[4096];
  ssize_t length = readlink(self.c_str(), exe, sizeof exe - 1);
  if (length <= 0) return 1;
  const std::string program(exe, static_cast<size_t>(length));

  std::vector<Sample> resolves, scans, empties;
  for (int i = 0; i < repeat; ++i) {
    // The identity check runs once; it is not timed.
    resolves.push_back(
        bench::RunChild(program, {program, "--child-resolve", folder, i == 0 ? "40" : "0"}));
    scans.push_back(bench::RunChild(program, {program, "--child-scan", folder}));
    empties.push_back(bench::RunChild(program, {program, "--child-none"}));
  }
  Sample plain = bench::RunChild(program, {program, "--child-plain", folder,
                                           std::to_string(plainSample), std::to_string(photos)});
  for (const auto* samples : {&resolves, &scans, &empties}) {
    for (const Sample& sample : *samples) {
      if (!sample.ok || sample.fields.empty()) {
        std::fprintf(stderr, "photo_bench: a measured run failed\n");
        return 1;
      }
    }
  }
  if (!plain.ok || plain.fields.size() < 3) return 1;
  const Sample& first = resolves.front();
  if (first.fields.size() < 10) return 1;

  std::printf(
      "\nPhoto completion: %zu photos without thumbnails, %zu manifest rows, median of %d\n",
      photos, rows, repeat);
  std::printf("%-40s %10s %14s\n", "", "time (ms)", "peak RSS (MB)");
  std::printf("%-40s %10.1f\n", "manifest load (ManifestDb::Load)", MedianField(resolves, 0));
  std::printf("%-40s %10.1f\n", "relative-path index", MedianField(resolves, 1));
  std::printf("%-40s %10.1f\n", "host camera-roll reply", MedianField(resolves, 2));
  std::printf("%-40s %10.1f %14.1f\n", "completing the photos (ResolveAll)",
              MedianField(resolves, 3), Median([&] {
                std::vector<double> v;
                for (const Sample& s : resolves) v.push_back(s.fields[9] / 1024.0);
                return v;
              }()));
  std::printf("%-40s %10.1f %14.1f\n", "whole scan, kind 6 (host code)", MedianField(scans, 0),
              MedianRssMb(scans));
  std::printf("%-40s %10s %14.1f\n", "child that does nothing", "", MedianRssMb(empties));
  std::printf("\nphotos %.0f, thumbnails found %.0f, passes over the map %.0f\n", first.fields[4],
              first.fields[5], first.fields[6]);
  std::printf("identity with the plain rule: %.0f photos compared, %.0f differ\n", first.fields[7],
              first.fields[8]);
  double perPhoto = plain.fields[0] / plain.fields[1];
  std::printf(
      "plain rule: %.0f photos in %.1f ms (%.1f ms each); all %zu would take about %.0f s\n",
      plain.fields[1], plain.fields[0], perPhoto, photos, perPhoto * photos / 1000);
  std::printf(
      "resolve peak RSS column: the child's peak right after completing (index and reply "
      "included)\n");
  return first.fields[8] == 0 ? 0 : 1;
}
