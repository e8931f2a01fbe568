// The owner of an open directory listing.
#ifndef KELDRA_COMMON_UNIQUEDIR_H_
#define KELDRA_COMMON_UNIQUEDIR_H_

#include <dirent.h>

#include <memory>

#include "common/UniqueFd.h"

namespace keldra {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

// A listing of the folder `fd` is open on. The listing takes the descriptor
// over; when it cannot be made the descriptor is closed with `fd`.
inline UniqueDir ListFolder(UniqueFd fd) {
  UniqueDir dir(fdopendir(fd.get()));
  if (dir) fd.Release();
  return dir;
}

}  // namespace keldra

#endif  // KELDRA_COMMON_UNIQUEDIR_H_
