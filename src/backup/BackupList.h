// The backup-list message of the two list commands.
#ifndef KELDRA_BACKUP_BACKUPLIST_H_
#define KELDRA_BACKUP_BACKUPLIST_H_

#include "backup/BackupInfo.h"

namespace keldra {

// {"status":1,"sub_command_type":command,"result":[one object per backup]}
void SendBackupList(const char* taskId, const BackupList& backups, const char* command);

}  // namespace keldra

#endif  // KELDRA_BACKUP_BACKUPLIST_H_
