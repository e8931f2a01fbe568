// Opening what a backup holds and writing what the decrypt module produces.
// Inputs are opened so that a hostile backup cannot make a read block (a
// FIFO) or wander (a symbolic link); outputs are created 0600, never over an
// existing file, and appear under their final name only once complete.
#ifndef VEXA_FILEACCESS_H_
#define VEXA_FILEACCESS_H_

#include <cstdint>
#include <optional>
#include <string>

namespace vexa {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int Release();
  void Reset();

 private:
  int fd_ = -1;
};

struct RegularFile {
  UniqueFd fd;
  uint64_t size = 0;
};

// A regular file opened for reading (not through a symbolic link); nullopt
// for anything else or when it cannot be opened.
std::optional<RegularFile> OpenRegularFile(const std::string& path);

// A file being written. Until Commit it is either hidden under a temporary
// name in its folder (Staged) or, for a caller-chosen path (Exclusive),
// removed again if the writer gives up.
class OutputFile {
 public:
  // A hidden, uniquely named file in `folder` (ending in "/") that becomes
  // folder + name on Commit, replacing an earlier copy.
  static std::optional<OutputFile> Staged(const std::string& folder, const std::string& name);
  // `path` itself; fails when something exists there or its folder is missing.
  static std::optional<OutputFile> Exclusive(const std::string& path);

  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  ~OutputFile();

  int fd() const { return fd_.get(); }
  const std::string& FinalPath() const { return finalPath_; }
  // Closes the file and gives it its final name; false (and the file
  // removed) when that fails.
  bool Commit();

 private:
  OutputFile(UniqueFd fd, std::string writtenPath, std::string finalPath)
      : fd_(std::move(fd)),
        writtenPath_(std::move(writtenPath)),
        finalPath_(std::move(finalPath)) {}

  UniqueFd fd_;
  std::string writtenPath_;
  std::string finalPath_;
  bool done_ = false;
};

}  // namespace vexa

#endif  // VEXA_FILEACCESS_H_
