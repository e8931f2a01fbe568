// Reader of Manifest.db, the SQLite manifest of current backups, for plain
// and encrypted backups.
#ifndef KELDRA_BACKUP_MANIFESTDB_H_
#define KELDRA_BACKUP_MANIFESTDB_H_

#include <string>

#include "backup/DbBase.h"

namespace keldra {

class ManifestDb : public DbBase {
 public:
  const char* CommandType() const override { return kManifestDbCommandType; }
  bool IsEncrypted() const { return encrypted_; }
  const std::string& TempDir() const { return tempDir_; }

 protected:
  Status ReadManifest(bool isEncrypted) override;
  bool StoredInSubfolder() const override { return true; }

 private:
  Status LoadPlain();
  // Has the decrypt module decipher Manifest.db into the backup's temporary
  // folder and reads the copy.
  Status LoadEncrypted();
  // Reads a decrypted copy; fails when it cannot be opened or queried.
  Status ReadDecryptedManifest(const std::string& path);

  bool encrypted_ = false;
};

}  // namespace keldra

#endif  // KELDRA_BACKUP_MANIFESTDB_H_
