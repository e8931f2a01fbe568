// The size of a backed-up file's content. An encrypted backup stores padded
// ciphertext, a few bytes longer than the content: there the manifest's own
// record of the size is read (the file archive of the deciphered Manifest.db),
// and only without one the size of a deciphered copy.
#ifndef KELDRA_KIND_PLAINTEXTSIZES_H_
#define KELDRA_KIND_PLAINTEXTSIZES_H_

#include <cstdint>
#include <optional>
#include <string>

#include "backup/ManifestFile.h"
#include "common/Sqlite.h"

namespace keldra {

class PlaintextSizes {
 public:
  // The content size of `record`'s stored file; the stored size when the
  // decrypt module does not answer either.
  int64_t Of(const ManifestFile& record);

 private:
  std::optional<int64_t> FromManifest(const ManifestFile& record);

  std::string manifestFolder_;  // the temporary folder the open manifest is in
  sqlite::Statement query_;
};

// The "Size" of the file archive (a keyed archive of an MBFile) of a
// Manifest.db row; nullopt when the bytes are not such an archive.
std::optional<int64_t> ArchivedFileSize(const void* data, size_t length);

}  // namespace keldra

#endif  // KELDRA_KIND_PLAINTEXTSIZES_H_
