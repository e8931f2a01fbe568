#include "kind/StoredFileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace keldra {

const char* StoredFileFault(const std::string& path) {
  struct stat status {};
  if (path.empty()) return "missing";
  if (lstat(path.c_str(), &status) != 0)
    return errno == ENOENT || errno == ENOTDIR ? "missing" : "unreadable";
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  return nullptr;
}

int OpenStoredFileForReading(const std::string& path) {
  int descriptor = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return -1;
  struct stat status {};
  if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(descriptor);
    errno = EINVAL;
    return -1;
  }
  return descriptor;
}

}  // namespace keldra
