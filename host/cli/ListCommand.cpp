// keldra list and keldra info.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <set>
#include <vector>

#include "Events.h"
#include "Host.h"
#include "cli/CommandTempFolder.h"
#include "cli/Commands.h"
#include "cli/Common.h"
#include "cli/ManifestListing.h"
#include "common/UniqueDir.h"
#include "keldra/Names.h"
#include "platform/Platform.h"
#include "vorn/PimJsonUtil.h"

namespace cli {
namespace {

std::vector<std::string> Subfolders(const std::string& root) {
  std::vector<std::string> folders;
  keldra::UniqueDir dir(opendir(root.c_str()));
  if (!dir) return folders;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info;
    if (stat((root + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode))
      folders.push_back(root + name + "/");
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

// Bytes of every regular file below a folder (links not followed).
uint64_t FolderSize(const std::string& folder) {
  uint64_t total = 0;
  keldra::UniqueDir dir(opendir(folder.c_str()));
  if (!dir) return 0;
  while (dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + "/" + name;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) continue;
    if (S_ISDIR(info.st_mode))
      total += FolderSize(path);
    else if (S_ISREG(info.st_mode))
      total += static_cast<uint64_t>(info.st_size);
  }
  return total;
}

std::string HumanSize(uint64_t bytes) {
  const char* units[] = {"B", "KB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = 0;
  while (value >= 1000 && unit < 4) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
  return text;
}

std::string RealPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string result = WithSeparator(resolved);
  std::free(resolved);
  return result;
}

bool Exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Backups people keep are found one to three folders below where they look
// (a Backup folder, a disk, a copy of a machine's MobileSync). The module is
// asked only about folders holding Manifest.plist, which every backup has, and
// a backup's own subfolders are never searched.
constexpr int kBackupSearchDepth = 3;

void FindBackups(const host::SendOptions& options, const std::string& folder, int depth,
                 const std::function<void(const rapidjson::Value&)>& keep) {
  if (Exists(folder + "Manifest.plist")) {
    if (auto backup = DescribeBackup(options, folder)) {
      keep(*backup);
      return;
    }
  }
  if (depth >= kBackupSearchDepth) return;
  for (const std::string& child : Subfolders(folder)) FindBackups(options, child, depth + 1, keep);
}

// The backups the module finds itself, then those below the extra roots.
std::vector<rapidjson::Document> CollectBackups(const host::SendOptions& options,
                                                const std::vector<std::string>& roots) {
  std::vector<rapidjson::Document> backups;
  std::set<std::string> seen;
  auto keep = [&](const rapidjson::Value& backup) {
    if (!seen.insert(RealPath(StringOf(backup, "BackupPath"))).second) return;
    rapidjson::Document copy;
    copy.CopyFrom(backup, copy.GetAllocator());
    backups.push_back(std::move(copy));
  };
  host::Recorder recorder;
  std::string error;
  if (host::RunSend(options, keldra::names::kGetBackupList, std::nullopt, recorder, &error) == 0) {
    for (const rapidjson::Value* result : recorder.Payloads("result")) {
      auto list = result->FindMember("result");
      if (list != result->MemberEnd() && list->value.IsArray())
        for (const auto& backup : list->value.GetArray()) keep(backup);
    }
  }
  for (const std::string& root : roots) {
    std::string folder = WithSeparator(root);
    FindBackups(options, folder, 0, keep);
  }
  return backups;
}

// Cells come from backups: they are shown escaped.
void PrintTable(std::vector<std::vector<std::string>> rows) {
  for (auto& row : rows)
    for (std::string& cell : row) cell = Printable(cell);
  std::vector<size_t> widths;
  for (const auto& row : rows)
    for (size_t i = 0; i < row.size(); ++i) {
      if (widths.size() <= i) widths.push_back(0);
      widths[i] = std::max(widths[i], row[i].size());
    }
  for (const auto& row : rows) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
    }
    std::cout << line << "\n";
  }
}

}  // namespace

int FailNotABackup(const host::SendOptions& options, const std::string& argument) {
  std::vector<std::string> found;
  FindBackups(options, BackupFolder(argument), 0, [&found](const rapidjson::Value& backup) {
    found.push_back(StringOf(backup, "BackupPath"));
  });
  std::string text = "not a backup folder: " + argument;
  if (!found.empty()) {
    text += found.size() == 1 ? "; it holds the backup " : "; it holds the backups ";
    for (size_t i = 0; i < found.size(); ++i) text += (i ? ", " : "") + found[i];
  }
  return Fail(text);
}

int RunList(const host::SendOptions& options, const ListArguments& arguments) {
  // A root that is not there is a mistyped path, not a folder without backups.
  for (const std::string& root : arguments.roots) {
    struct stat info;
    if (stat(root.c_str(), &info) != 0)
      return Fail("cannot read " + root + ": " + std::strerror(errno));
    if (!S_ISDIR(info.st_mode)) return Fail(root + " is not a folder");
  }
  std::vector<std::string> roots = arguments.roots;
  if (const char* home = std::getenv("HOME"))
    roots.push_back(std::string(home) + "/Library/Application Support/MobileSync/Backup/");
  std::vector<rapidjson::Document> backups = CollectBackups(options, roots);

  if (arguments.json) {
    rapidjson::Document list(rapidjson::kArrayType);
    for (auto& backup : backups)
      list.PushBack(rapidjson::Value(backup, list.GetAllocator()), list.GetAllocator());
    std::cout << PimJsonUtil::ToString(list) << "\n";
    return kExitOk;
  }
  if (backups.empty()) {
    std::cout << "No backups found.\n";
    return kExitOk;
  }
  std::vector<std::vector<std::string>> rows = {
      {"DEVICE", "MODEL", "iOS", "DATE", "ENCRYPTED", "SIZE", "FOLDER"}};
  for (const auto& backup : backups) {
    std::string folder = StringOf(backup, "BackupPath");
    rows.push_back({StringOf(backup, "DeviceName"), StringOf(backup, "ProductType"),
                    StringOf(backup, "ProductVersion"), StringOf(backup, "LastBackupDate"),
                    IntOf(backup, "IsEncrypted") ? "yes" : "no", HumanSize(FolderSize(folder)),
                    folder});
  }
  PrintTable(rows);
  return kExitOk;
}

int RunInfo(const host::SendOptions& baseOptions, const InfoArguments& arguments) {
  host::SendOptions options = baseOptions;
  std::string folder = BackupFolder(arguments.backup);
  if (int refused = RefuseOutputsInBackup(folder, {{"--temp-dir", options.tempDir}}))
    return refused;
  std::optional<rapidjson::Document> description = DescribeBackup(options, folder);
  if (!description) return FailNotABackup(options, arguments.backup);
  bool legacy = IntOf(*description, "BackupType") == 1;
  bool encrypted = IntOf(*description, "IsEncrypted") != 0;

  // The manifest of a current encrypted backup is itself enciphered: count
  // its rows only when a password is at hand.
  std::optional<ManifestCounts> counts;
  std::string manifestPath = folder + (legacy ? "Manifest.mbdb" : "Manifest.db");
  std::string error;
  std::unique_ptr<CommandTempFolder> temp;  // the deciphered manifest lives there
  auto count = [&](const std::string& path) {
    ManifestCounts tally;
    auto visit = [&tally](const ListedFile& file) {
      Count(tally, file);
      return true;
    };
    bool ok =
        legacy ? ForEachMbdbEntry(path, visit, &error) : ForEachManifestDbRow(path, visit, &error);
    if (ok) counts = tally;
  };
  // A password at hand is checked for both formats, so a wrong one fails
  // here as it would in a scan; a legacy manifest itself is plain.
  bool passwordAtHand =
      !arguments.passwordFile.empty() || std::getenv("KELDRA_PASSWORD") || isatty(STDIN_FILENO);
  if (encrypted && passwordAtHand) {
    int unlocked = UnlockIfEncrypted(options, folder, *description, arguments.passwordFile);
    if (unlocked != kExitOk) return unlocked;
  }
  if (!encrypted || legacy) {
    count(manifestPath);
  } else if (passwordAtHand) {
    temp = CommandTempFolder::Open(options, &error);
    if (!temp) return Fail(error);
    std::string run = host::ProjectTempDir(host::PlatformOptions{options.tempDir});
    std::string name = folder.substr(0, folder.size() - 1);
    name = name.substr(name.rfind('/') + 1);
    std::string scratch = run + name + "-backup/";
    mkdir(scratch.c_str(), 0700);  // holds deciphered copies: owner only
    if (auto decrypted = host::Host::Get().DecryptManifest(folder, scratch)) count(*decrypted);
  }

  if (arguments.json) {
    rapidjson::Document info;
    info.CopyFrom(*description, info.GetAllocator());
    auto& a = info.GetAllocator();
    rapidjson::Value manifest(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictStringValue(manifest, a, "format",
                                        legacy ? "Manifest.mbdb" : "Manifest.db");
    if (counts) {
      manifest.AddMember("files", counts->files, a);
      manifest.AddMember("directories", counts->directories, a);
      manifest.AddMember("links", counts->links, a);
      manifest.AddMember("total", counts->Total(), a);
    }
    info.AddMember("Manifest", manifest, a);
    std::cout << PimJsonUtil::ToString(info) << "\n";
    return counts || encrypted ? kExitOk : Fail("manifest could not be read: " + error);
  }
  std::vector<std::vector<std::string>> rows;
  for (const char* name :
       {"DeviceName", "ProductName", "ProductType", "ProductVersion", "BuildVersion",
        "SerialNumber", "UniqueIdentifier", "LastBackupDate", "BackupPath"})
    rows.push_back({std::string(name) + ":", StringOf(*description, name)});
  rows.push_back({"Encrypted:", encrypted ? "yes" : "no"});
  rows.push_back({"Manifest:", legacy ? "Manifest.mbdb (legacy)" : "Manifest.db"});
  if (counts) {
    rows.push_back({"Files:", std::to_string(counts->files)});
    rows.push_back({"Directories:", std::to_string(counts->directories)});
    rows.push_back({"Links:", std::to_string(counts->links)});
    rows.push_back({"Manifest rows:", std::to_string(counts->Total())});
  } else if (encrypted) {
    rows.push_back(
        {"Manifest rows:", "unknown (encrypted; give --password-file or KELDRA_PASSWORD)"});
  }
  PrintTable(rows);
  if (!counts && !encrypted) return Fail("manifest could not be read: " + error);
  return kExitOk;
}

}  // namespace cli
