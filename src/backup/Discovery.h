// Finding backups and reading their device information.
#ifndef KELDRA_BACKUP_DISCOVERY_H_
#define KELDRA_BACKUP_DISCOVERY_H_

#include <memory>
#include <string>

#include "backup/BackupInfo.h"

namespace keldra {

// The per-user backup folder: $XDG_CONFIG_HOME (else $HOME/.config) +
// "/Apple Computer/MobileSync/Backup/"; empty when neither is set.
std::string GetBackupRoot();

// Every backup folder directly below the root, in directory order.
BackupList EnumerateBackups();

// 2 for Manifest.db + Manifest.plist, 1 for Manifest.mbdb + Manifest.plist,
// else 0. `folder` ends in a separator; names are appended directly.
int DetectBackupType(const std::string& folder);

// A new record for the folder and type, filled from its property lists.
std::unique_ptr<BackupInfo> ReadBackupInfo(const std::string& folder, int type);

// Fills the device fields and IsEncrypted from Info.plist and Manifest.plist
// in the record's BackupPath. A missing or malformed list leaves its fields.
void ReadPlists(BackupInfo& info);

}  // namespace keldra

#endif  // KELDRA_BACKUP_DISCOVERY_H_
