#include "kind/StoredFileAccess.h"

#include <cerrno>
#include <string>

#include "common/StoredFile.h"

namespace keldra {

const char* StoredFileFault(const ManifestFile& record) {
  if (record.filePath.empty()) return "not a regular file";
  errno = 0;
  if (OpenStoredFile(std::string(record.backupDir), record.filePath)) return nullptr;
  switch (errno) {
    case ENOENT:
      return "missing";
    case EACCES:
    case EIO:
      return "unreadable";
    default:  // a link, FIFO, device, folder or a linked sub-folder
      return "not a regular file";
  }
}

}  // namespace keldra
