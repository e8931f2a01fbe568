// Note attachment resolution: thousands of attachment keys against a
// manifest of about a million rows. Times the resolution alone (the notes
// kind's pass over the file map, file objects included) in a fresh process,
// checks that it finds exactly what the plain rule finds (one pass over the
// map per key), and times the notes kind's whole share of a scan driven
// through the host code.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchCache.h"
#include "BenchChild.h"
#include "Harness.h"
#include "backup/Discovery.h"
#include "backup/ManifestDb.h"
#include "builder/BackupBuilder.h"
#include "builder/Synthetic.h"
#include "builder/kinds/Identifiers.h"
#include "builder/kinds/NoteStores.h"
#include "kind/note/KeyMatcher.h"
#include "kind/note/Note.h"

namespace {

using bench::Clock;
using bench::MillisecondsSince;

// ---- the backup --------------------------------------------------------------

// Notes of four attachments each, with two previews per attachment named by
// its identifier (what the keys find) and a media file named by another one.
void AddNotes(builder::BackupBuilder& backup, size_t attachments) {
  builder::notes::NoteStoreContent store;
  const std::string mark = builder::notes::kObjectReplacement;
  for (size_t made = 0, index = 0; made < attachments; ++index) {
    builder::notes::StoreNote note;
    note.title = "Note " + std::to_string(index);
    note.text = *note.title + "\nphotos of the day:";
    note.modified = 700000000.0 + static_cast<double>(index);
    for (int i = 0; i < 4 && made < attachments; ++i, ++made) {
      builder::notes::StoreAttachment attachment;
      attachment.ref.identifier = builder::UuidText("bench attachment " + std::to_string(made));
      attachment.mediaIdentifier = builder::UuidText("bench media " + std::to_string(made));
      attachment.previews = 2;
      note.attachments.push_back(attachment);
      note.text += " " + mark;
    }
    store.notes.push_back(note);
  }
  builder::notes::AddNoteStore(backup, store);
}

std::string BuildBackup(const std::string& folder, size_t rows, size_t attachments) {
  builder::BackupBuilder backup(folder);
  AddNotes(backup, attachments);
  builder::AddSyntheticFiles(backup, rows, 1);
  backup.Finish();
  return std::to_string(rows) + " rows, " + std::to_string(attachments) + " attachments";
}

// ---- child side -------------------------------------------------------------

// Loads the manifest, reads the note store, then times the resolution and
// compares the matcher with the plain rule on `verify` keys (0: all).
// Prints "<resolve ms> <keys> <files> <plain ms> <plain keys> <identical> <peak kB>
// <bare pass ms> <checksum digit>".
int RunResolveChild(const std::string& folder, size_t verify) {
  keldra::ManifestDb reader;
  if (!reader.Load(folder, false, "")) return 1;
  const keldra::FileMap& map = reader.GetFileMap();
  const keldra::ManifestFile* store = map.Find("NoteStore.sqlite");
  if (!store) return 1;
  keldra::Note note;
  note.ReadNoteStoreDb(store->StoredPath());

  // The floor of any pass over the map: reading every path's bytes once.
  Clock::time_point start = Clock::now();
  uint64_t checksum = 0;
  for (const keldra::FileMap::Entry& entry : map)
    for (unsigned char c : entry.first) checksum += c;
  double passMs = MillisecondsSince(start);

  keldra::BackupInfo info;
  info.BackupPath = folder;
  info.BackupType = keldra::kBackupTypeDb;
  start = Clock::now();
  note.ResolveAttachments(map, info);
  double resolveMs = MillisecondsSince(start);

  std::vector<std::string_view> keys;
  size_t files = 0;
  for (const auto& item : note.Results().GetArray()) {
    auto list = item.FindMember("attachments");
    if (list == item.MemberEnd()) continue;
    for (const auto& attachment : list->value.GetArray()) {
      keys.emplace_back(attachment["key"].GetString(), attachment["key"].GetStringLength());
      files += attachment["info"].Size();
    }
  }
  std::vector<std::string_view> sample = keys;
  if (verify && verify < sample.size()) sample.resize(verify);
  keldra::KeyMatches fast = keldra::MatchKeys(map, sample);
  start = Clock::now();
  keldra::KeyMatches plain = keldra::MatchKeysOneByOne(map, sample);
  double plainMs = MillisecondsSince(start);
  bool identical = true;
  for (size_t i = 0; i < sample.size(); ++i)
    identical = identical && fast.ForKey(i) == plain.ForKey(i);
  std::printf("%.3f %zu %zu %.3f %zu %d %ld %.3f %llu\n", resolveMs, keys.size(), files, plainMs,
              sample.size(), identical ? 1 : 0, bench::PeakRssKb(), passMs,
              static_cast<unsigned long long>(checksum % 10));
  std::fflush(stdout);
  std::_Exit(0);
}

// One scan through the host code; prints "<ms> <events> <bytes>".
int RunScanChild(const std::string& folder, const std::string& types) {
  host::SendOptions options;
  options.decryptModulePath = "none";
  std::string error;
  if (!host::LoadModules(options, &error)) {
    std::fprintf(stderr, "note_bench: %s\n", error.c_str());
    return 1;
  }
  bench::CountingSink sink;
  std::string payload = "{\"backupDir\":\"" + folder + "\",\"types\":" + types + "}";
  Clock::time_point start = Clock::now();
  host::RunSend(options, "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP", payload, sink, &error);
  double ms = MillisecondsSince(start);
  std::printf("%.3f %zu %zu\n", ms, sink.events, sink.bytes);
  std::fflush(stdout);
  std::_Exit(0);
}

// ---- parent side --------------------------------------------------------------

}  // namespace

int main(int argc, char** argv) {
  const std::string kSelf = "/proc/self/exe";
  if (argc == 4 && std::strcmp(argv[1], "--resolve") == 0)
    return RunResolveChild(argv[2], std::strtoul(argv[3], nullptr, 10));
  if (argc == 4 && std::strcmp(argv[1], "--scan") == 0) return RunScanChild(argv[2], argv[3]);

  size_t rows = 1000000;
  size_t attachments = 2000;
  size_t verify = 20;
  int repeat = 5;
  std::string cache = "/tmp/keldra-note-bench";
  CLI::App app{"Times note attachment resolution against a large manifest."};
  app.add_option("--rows", rows, "synthetic manifest rows")->check(CLI::Range(1000, 2000000));
  app.add_option("--attachments", attachments, "note attachments")->check(CLI::Range(1, 100000));
  app.add_option("--verify", verify, "keys compared with the plain rule (0: all)");
  app.add_option("--repeat", repeat, "runs of each measurement (median reported)")
      ->check(CLI::Range(1, 100));
  app.add_option("--cache", cache, "folder keeping the built backups");
  CLI11_PARSE(app, argc, argv);

  std::string base =
      cache + "/rows" + std::to_string(rows) + "-attachments" + std::to_string(attachments);
  if (!bench::EnsureBuilt(base,
                          [&](const std::string& f) { return BuildBackup(f, rows, attachments); }))
    return 1;
  std::string folder = base + "/";

  std::vector<bench::Sample> resolves, scans, loads;
  for (int i = 0; i < repeat; ++i) {
    resolves.push_back(
        bench::RunChild(kSelf, {"note_bench", "--resolve", folder, std::to_string(verify)}));
    scans.push_back(bench::RunChild(kSelf, {"note_bench", "--scan", folder, "[5]"}));
    loads.push_back(bench::RunChild(kSelf, {"note_bench", "--scan", folder, "[]"}));
  }
  for (const auto* samples : {&resolves, &scans, &loads})
    for (const bench::Sample& sample : *samples)
      if (!sample.ok || sample.fields.size() < 3) {
        std::fprintf(stderr, "note_bench: a measured run failed\n");
        return 1;
      }
  const bench::Sample& first = resolves.front();
  double keys = first.fields[1];
  double plainKeys = first.fields[4];
  double plainMs = bench::MedianField(resolves, 3);
  std::printf("\nNote attachments: %.0f keys, %zu synthetic manifest rows, median of %d\n", keys,
              rows, repeat);
  std::printf("%-44s %10s %14s\n", "", "time (ms)", "peak RSS (MB)");
  std::printf("%-44s %10.1f %14.1f\n", "resolution (one pass, file objects included)",
              bench::MedianField(resolves, 0), bench::MedianRssMb(resolves));
  std::printf("%-44s %10.1f\n", "bare pass reading every path once",
              bench::MedianField(resolves, 7));
  std::printf("%-44s %10.1f %14s   (%.0f keys: %.1f ms)\n", "plain rule, per-key passes, scaled",
              plainMs * keys / plainKeys, "", plainKeys, plainMs);
  std::printf("%-44s %10.1f %14.1f\n", "scan of kind 5 through the host",
              bench::MedianField(scans, 0), bench::MedianRssMb(scans));
  std::printf("%-44s %10.1f %14.1f\n", "scan of no kind (manifest load only)",
              bench::MedianField(loads, 0), bench::MedianRssMb(loads));
  std::printf("\nfiles found: %.0f; matcher identical to the plain rule on %.0f keys: %s\n",
              first.fields[2], plainKeys, first.fields[5] ? "yes" : "NO");
  return first.fields[5] ? 0 : 1;
}
