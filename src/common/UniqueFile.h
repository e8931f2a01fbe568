// The owner of a stdio stream. A stream whose close result matters (a file
// being written) is closed with Close(), which says whether it succeeded.
#ifndef KELDRA_COMMON_UNIQUEFILE_H_
#define KELDRA_COMMON_UNIQUEFILE_H_

#include <cstdio>
#include <memory>

namespace keldra {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Closes the stream now; false when it was null or the close failed (a
// write still buffered may fail only here).
inline bool Close(UniqueFile& file) {
  std::FILE* stream = file.release();
  return stream && std::fclose(stream) == 0;
}

}  // namespace keldra

#endif  // KELDRA_COMMON_UNIQUEFILE_H_
