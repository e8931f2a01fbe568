// Reader of Manifest.mbdb. Produces the same records, index and
// notifications as ManifestDb; stored files lie directly in the backup folder
// under the SHA-1 of domain + "-" + path, which the reader computes.
#ifndef KELDRA_BACKUP_MBDB_H_
#define KELDRA_BACKUP_MBDB_H_

#include <string>

#include "backup/DbBase.h"

namespace keldra {

class Mbdb : public DbBase {
 public:
  // Encryption is ignored when loading unless this was asked for: the
  // records of an encrypted legacy backup then say their stored files must be
  // deciphered (by the decrypt module, into the run's temporary folder).
  void DecipherStoredFiles(bool on) { decipher_ = on; }
  const char* CommandType() const override { return kManifestMbdbCommandType; }

 protected:
  Status ReadManifest(bool isEncrypted) override;
  bool StoredInSubfolder() const override { return false; }

 private:
  bool decipher_ = false;
};

}  // namespace keldra

#endif  // KELDRA_BACKUP_MBDB_H_
