// How a kind looks at a stored file before reading it: what is wrong with it,
// if anything, and the one way it is opened.
#ifndef KELDRA_KIND_STOREDFILEACCESS_H_
#define KELDRA_KIND_STOREDFILEACCESS_H_

#include <string>

namespace keldra {

// Null for a regular file; otherwise the problem's `what`: "missing",
// "not a regular file" (links included) or "unreadable".
const char* StoredFileFault(const std::string& path);

// A read-only descriptor of a regular file, never through a link and never
// blocking on a device or pipe; -1 with errno set otherwise. The caller
// closes it.
int OpenStoredFileForReading(const std::string& path);

}  // namespace keldra

#endif  // KELDRA_KIND_STOREDFILEACCESS_H_
