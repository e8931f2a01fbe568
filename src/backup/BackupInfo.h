// One backup's device information, folder and manifest format.
#ifndef KELDRA_BACKUP_BACKUPINFO_H_
#define KELDRA_BACKUP_BACKUPINFO_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace keldra {

// Manifest formats (BackupType), also the result of DetectBackupType.
enum BackupTypeValue : int32_t {
  kNotABackup = 0,
  kBackupTypeMbdb = 1,  // Manifest.mbdb
  kBackupTypeDb = 2,    // Manifest.db
};

struct BackupInfo {
  std::string DeviceName;
  std::string LastBackupDate;
  std::string SerialNumber;
  std::string ProductName;
  std::string ProductType;
  std::string ProductVersion;
  std::string UniqueIdentifier;
  std::string BuildVersion;
  int32_t IsEncrypted = 0;
  std::string BackupPath;  // always ends in a separator
  int32_t BackupType = 0;
};

using BackupList = std::vector<std::unique_ptr<BackupInfo>>;

}  // namespace keldra

#endif  // KELDRA_BACKUP_BACKUPINFO_H_
