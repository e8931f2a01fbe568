#include "builder/Wrap.h"

#include <sys/stat.h>

namespace builder {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int AddAsShipped(BackupBuilder& backup, const std::string& domain, const std::string& relativePath,
                 const std::string& sourcePath) {
  if (!IsRegularFile(sourcePath)) throw BuildError("not a regular file: " + sourcePath);
  backup.AddFileFromDisk(domain, relativePath, sourcePath);
  // The log holds rows the main file may not have yet. The shared-memory
  // index is left out: SQLite rebuilds it from the log.
  if (!IsRegularFile(sourcePath + "-wal")) return 1;
  backup.AddFileFromDisk(domain, relativePath + "-wal", sourcePath + "-wal");
  return 2;
}

}  // namespace builder
