#include "backup/Discovery.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

#include "common/StoredFile.h"
#include "common/UniqueDir.h"
#include "mivo/PlistUtil.h"
#include "vorn/VRNUtilityFile.h"
#include "vorn/VRNUtilitySys.h"

namespace keldra {
namespace {

bool IsDirectory(const std::string& root, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return false;
  struct stat info;
  return stat((root + entry.d_name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A string value, taken only when present and a string.
void TakeString(plist_t dict, const char* key, std::string& field) {
  if (auto value = PlistUtil::GetString(dict, key)) field = *value;
}

// The same, but only into a field that is still empty.
void FillString(plist_t dict, const char* key, std::string& field) {
  if (!field.empty()) return;
  TakeString(dict, key, field);
}

// A present key whose value is not a date counts as 0 seconds.
void TakeDate(plist_t dict, const char* key, std::string& field) {
  if (!plist_dict_get_item(dict, key)) return;
  int64_t seconds = PlistUtil::GetDateSeconds(dict, key).value_or(0);
  field = VRNUtilitySys::DateText2001(seconds);
}

// A plist of the backup folder itself, read like every stored file.
PlistPtr ReadBackupPlist(const BackupInfo& info, const char* name) {
  std::optional<std::string> bytes =
      ReadRegularFile(info.BackupPath + name, PlistUtil::kMaxFileSize);
  if (!bytes) return nullptr;
  return PlistUtil::ParseBytes(bytes->data(), bytes->size());
}

void ReadInfoPlist(BackupInfo& info) {
  PlistPtr plist = ReadBackupPlist(info, "Info.plist");
  plist_t root = plist.get();
  if (!root || plist_get_node_type(root) != PLIST_DICT) return;
  TakeString(root, "Build Version", info.BuildVersion);
  TakeString(root, "Product Name", info.ProductName);
  TakeString(root, "Product Version", info.ProductVersion);
  TakeString(root, "Product Type", info.ProductType);
  TakeString(root, "Unique Identifier", info.UniqueIdentifier);
  TakeString(root, "Device Name", info.DeviceName);
  TakeString(root, "Serial Number", info.SerialNumber);
  TakeDate(root, "Last Backup Date", info.LastBackupDate);
}

void ReadManifestPlist(BackupInfo& info) {
  PlistPtr plist = ReadBackupPlist(info, "Manifest.plist");
  plist_t root = plist.get();
  if (!root || plist_get_node_type(root) != PLIST_DICT) return;
  if (auto encrypted = PlistUtil::GetBool(root, "IsEncrypted")) info.IsEncrypted = *encrypted;
  if (info.LastBackupDate.empty()) TakeDate(root, "Date", info.LastBackupDate);
  plist_t lockdown = PlistUtil::GetDict(root, "Lockdown");
  if (!lockdown) return;
  FillString(lockdown, "DeviceName", info.DeviceName);
  FillString(lockdown, "SerialNumber", info.SerialNumber);
  FillString(lockdown, "ProductType", info.ProductType);
  FillString(lockdown, "UniqueDeviceID", info.UniqueIdentifier);
  FillString(lockdown, "ProductVersion", info.ProductVersion);
}

}  // namespace

std::string GetBackupRoot() {
  std::string base;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return "";
    base = std::string(home) + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/Apple Computer/MobileSync/Backup/";
}

BackupList EnumerateBackups() {
  BackupList backups;
  std::string root = GetBackupRoot();
  if (root.empty()) return backups;
  UniqueDir dir(opendir(root.c_str()));
  if (!dir) return backups;
  while (const dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || !IsDirectory(root, *entry)) continue;
    std::string folder = root + name + "/";
    int type = DetectBackupType(folder);
    if (type != kNotABackup) backups.push_back(ReadBackupInfo(folder, type));
  }
  return backups;
}

int DetectBackupType(const std::string& folder) {
  bool plist = VRNUtilityFile::IsFileExist((folder + "Manifest.plist").c_str());
  if (VRNUtilityFile::IsFileExist((folder + "Manifest.db").c_str()) && plist) return kBackupTypeDb;
  if (VRNUtilityFile::IsFileExist((folder + "Manifest.mbdb").c_str()) && plist)
    return kBackupTypeMbdb;
  return kNotABackup;
}

std::unique_ptr<BackupInfo> ReadBackupInfo(const std::string& folder, int type) {
  auto info = std::make_unique<BackupInfo>();
  info->BackupPath = folder;
  info->BackupType = type;
  ReadPlists(*info);
  return info;
}

void ReadPlists(BackupInfo& info) {
  ReadInfoPlist(info);
  ReadManifestPlist(info);
}

}  // namespace keldra
