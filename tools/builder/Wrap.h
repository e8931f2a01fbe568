// Wraps files taken from a device (or a copy of its file system) into a
// backup the way the device ships them: each under its domain and relative
// path, and an SQLite database's write-ahead log beside it as a row of its
// own, so a reader meets the log exactly where a real backup puts it.
#ifndef KELDRA_BUILDER_WRAP_H_
#define KELDRA_BUILDER_WRAP_H_

#include <string>

#include "builder/BackupBuilder.h"

namespace builder {

// Stores `sourcePath` as `domain` / `relativePath`, and `sourcePath`-wal,
// when it exists, as `relativePath`-wal. Returns how many rows were added.
int AddAsShipped(BackupBuilder& backup, const std::string& domain, const std::string& relativePath,
                 const std::string& sourcePath);

}  // namespace builder

#endif  // KELDRA_BUILDER_WRAP_H_
