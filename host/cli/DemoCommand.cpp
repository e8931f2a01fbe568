// keldra demo: builds two sample backups with the project's builder (a plain
// one and an encrypted one) unless they are there already, scans each into
// its own folder, and prints what every kind yielded.
#include <ftw.h>
#include <sys/stat.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <memory>
#include <sstream>

#include "builder/BackupBuilder.h"
#include "builder/ContentSets.h"
#include "builder/Encryption.h"
#include "cli/Commands.h"
#include "cli/Common.h"
#include "cli/KindNames.h"
#include "vorn/VRNUtilityFile.h"

namespace cli {
namespace {

// Low key-derivation counts keep the demo quick; devices use far higher ones.
constexpr uint32_t kDemoPasscodeIterations = 10000;
constexpr uint32_t kDemoIterations = 1000;

struct DemoBackup {
  const char* name;  // folder below backups/, and the scan's output folder
  const char* deviceName;
  bool encrypted;
};

constexpr DemoBackup kDemoBackups[] = {
    {"plain", "Demo iPhone", false},
    {"encrypted", "Demo iPhone (encrypted)", true},
};

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
  return ::remove(path);
}

// Removes a folder and everything below it, links not followed.
bool RemoveTree(const std::string& folder) {
  return !VRNUtilityFile::IsFileExist(folder.c_str()) ||
         nftw(folder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

// Builds into a side folder renamed into place at the end, so an interrupted
// build is never mistaken for a finished backup.
bool BuildBackup(const DemoBackup& demo, const std::string& folder, std::string* error) {
  std::string building = folder.substr(0, folder.size() - 1) + ".building/";
  if (!RemoveTree(building)) {
    *error = "cannot remove " + building;
    return false;
  }
  try {
    builder::BackupOptions options;
    options.isEncrypted = demo.encrypted;
    builder::BackupBuilder backup(building, options);
    backup.Device().deviceName = demo.deviceName;
    if (demo.encrypted) {
      builder::EncryptionOptions encryption;
      encryption.password = kDemoPassword;
      encryption.passcodeIterations = kDemoPasscodeIterations;
      encryption.iterations = kDemoIterations;
      backup.SetProtector(std::make_unique<builder::Encryption>(encryption));
    }
    builder::AddContentSet(backup, builder::kAllContentSets);
    backup.Finish();
  } catch (const std::exception& failure) {
    *error = "cannot build the sample backup " + folder + ": " + failure.what();
    return false;
  }
  if (std::rename(building.c_str(), folder.substr(0, folder.size() - 1).c_str()) != 0) {
    *error = "cannot move " + building + " to " + folder;
    return false;
  }
  return true;
}

std::optional<rapidjson::Document> ReadJsonFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  rapidjson::Document document;
  document.Parse(text.str().c_str());
  if (document.HasParseError() || !document.IsObject()) return std::nullopt;
  return document;
}

// The count of each kind by name, -1 where the kind wrote no file.
std::vector<int64_t> KindCounts(const rapidjson::Document& summary) {
  std::vector<int64_t> counts(std::size(kKindNames), -1);
  if (!summary.HasMember("kinds") || !summary["kinds"].IsArray()) return counts;
  for (const auto& entry : summary["kinds"].GetArray()) {
    std::string name = StringOf(entry, "name");
    for (size_t i = 0; i < std::size(kKindNames); ++i)
      if (name == kKindNames[i].name && entry.HasMember("count")) counts[i] = IntOf(entry, "count");
  }
  return counts;
}

void PrintSummary(const std::string& root, const std::vector<std::vector<int64_t>>& counts,
                  const std::vector<rapidjson::Document>& summaries) {
  std::printf("\n%-22s", "kind");
  for (const DemoBackup& demo : kDemoBackups) std::printf("%12s", demo.name);
  std::printf("\n");
  for (size_t i = 0; i < std::size(kKindNames); ++i) {
    std::printf("%-22s", kKindNames[i].name);
    for (const auto& column : counts) {
      if (column[i] < 0)
        std::printf("%12s", "-");
      else
        std::printf("%12lld", static_cast<long long>(column[i]));
    }
    std::printf("\n");
  }
  for (size_t b = 0; b < summaries.size(); ++b) {
    const rapidjson::Document& summary = summaries[b];
    if (!summary.HasMember("failures") || !summary["failures"].IsArray()) continue;
    for (const auto& failure : summary["failures"].GetArray())
      if (failure.IsString()) std::printf("%s: %s\n", kDemoBackups[b].name, failure.GetString());
  }
  std::printf("\nBackups:  %sbackups/plain, %sbackups/encrypted (password \"%s\")\n", root.c_str(),
              root.c_str(), kDemoPassword);
  std::printf(
      "Output:   %splain/, %sencrypted/ (one JSON file per kind, device.json, "
      "summary.json)\n",
      root.c_str(), root.c_str());
  std::printf("Reports:  %splain/report/index.html, %sencrypted/report/index.html\n", root.c_str(),
              root.c_str());
}

}  // namespace

int RunDemo(const host::SendOptions& options, const DemoArguments& arguments) {
  std::string root = WithSeparator(arguments.folder);
  std::string backups = root + "backups/";
  if (!MakeFolders(backups)) return Fail("cannot create " + backups);
  // The password travels as a file, the way a person would give it.
  std::string passwordFile = root + "password.txt";
  {
    std::ofstream out(passwordFile, std::ios::trunc);
    out << kDemoPassword << "\n";
    if (!out) return Fail("cannot write " + passwordFile);
  }

  std::vector<std::vector<int64_t>> counts;
  std::vector<rapidjson::Document> summaries;
  for (const DemoBackup& demo : kDemoBackups) {
    std::string folder = backups + demo.name + "/";
    if (!VRNUtilityFile::IsFileExist(folder.c_str())) {
      std::fprintf(stderr, "keldra demo: building the sample backup %s\n", folder.c_str());
      std::string error;
      if (!BuildBackup(demo, folder, &error)) return Fail(error);
    }
    ScanArguments scan;
    scan.backup = folder;
    scan.outDir = root + demo.name;
    scan.force = true;  // the demo's own output of an earlier run
    scan.passwordFile = demo.encrypted ? passwordFile : "";
    std::fprintf(stderr, "keldra demo: scanning %s into %s/\n", folder.c_str(),
                 scan.outDir.c_str());
    int status = RunScan(options, scan);
    // The sample notes include a locked one on purpose: its closing table
    // says so, and the demo goes on.
    if (status != kExitOk && status != kExitIncomplete) return status;
    // Its own report of an earlier run is replaced; the paths are printed below.
    ReportArguments reporting;
    reporting.scanFolder = scan.outDir;
    reporting.force = true;
    reporting.printPath = false;
    reporting.unlocked = true;  // by the scan
    if (int reported = RunReport(options, reporting)) return reported;
    std::optional<rapidjson::Document> summary =
        ReadJsonFile(WithSeparator(scan.outDir) + "summary.json");
    if (!summary) return Fail("cannot read " + WithSeparator(scan.outDir) + "summary.json");
    counts.push_back(KindCounts(*summary));
    summaries.push_back(std::move(*summary));
  }
  PrintSummary(root, counts, summaries);
  return kExitOk;
}

}  // namespace cli
