// The `file` column of Manifest.db: a keyed archive (binary property list) of
// one MBFile object describing the row.
#ifndef KELDRA_BUILDER_FILEARCHIVE_H_
#define KELDRA_BUILDER_FILEARCHIVE_H_

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/BinaryPlist.h"

namespace builder {

// Reusable: keeps its tables between rows, so encoding allocates only while
// the first few rows grow them.
class FileArchiveEncoder {
 public:
  // Replaces `out` with the archive of `entry`, whose defaults are filled in.
  void Encode(const ManifestEntry& entry, std::string& out);

 private:
  BinaryPlistWriter writer_;
  std::vector<BinaryPlistWriter::Ref> objects_;  // of $objects, by UID
  std::vector<BinaryPlistWriter::Pair> fields_;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_FILEARCHIVE_H_
