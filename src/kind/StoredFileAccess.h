// What is wrong with a record's stored file, in the words a kind's problems use.
#ifndef KELDRA_KIND_STOREDFILEACCESS_H_
#define KELDRA_KIND_STOREDFILEACCESS_H_

#include "backup/ManifestFile.h"

namespace keldra {

// Null when the record's stored file opens as a regular file; otherwise the
// problem's `what`: "missing", "not a regular file" (links and file ids that
// name no stored file included) or "unreadable".
const char* StoredFileFault(const ManifestFile& record);

}  // namespace keldra

#endif  // KELDRA_KIND_STOREDFILEACCESS_H_
