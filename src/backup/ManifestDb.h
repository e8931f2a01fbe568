// Reader of Manifest.db, the SQLite manifest of current backups, for plain
// and encrypted backups.
#ifndef KELDRA_BACKUP_MANIFESTDB_H_
#define KELDRA_BACKUP_MANIFESTDB_H_

#include <string>

#include "backup/DbBase.h"

namespace keldra {

class ManifestDb : public DbBase {
 public:
  bool Load(const std::string& backupDir, bool isEncrypted, const std::string& unused) override;
  const char* CommandType() const override { return kManifestDbCommandType; }
  bool IsEncrypted() const { return encrypted_; }
  const std::string& TempDir() const { return tempDir_; }

 protected:
  bool StoredInSubfolder() const override { return true; }

 private:
  bool LoadPlain();
  // Has the decrypt module decipher Manifest.db into the backup's temporary
  // folder and reads the copy.
  bool LoadEncrypted();
  // Reads a decrypted copy; false when it cannot be opened or queried.
  bool ReadDecryptedManifest(const std::string& path);

  bool encrypted_ = false;
};

}  // namespace keldra

#endif  // KELDRA_BACKUP_MANIFESTDB_H_
