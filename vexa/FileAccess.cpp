#include "FileAccess.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace vexa {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

int UniqueFd::Release() {
  return std::exchange(fd_, -1);
}

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::optional<RegularFile> OpenRegularFile(const std::string& path) {
  // Non-blocking, so that opening a FIFO returns at once; cleared after.
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd) return std::nullopt;
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0)
    return std::nullopt;
  int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return std::nullopt;
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  RegularFile file;
  file.fd = std::move(fd);
  file.size = static_cast<uint64_t>(info.st_size);
  return file;
}

std::optional<OutputFile> OutputFile::Staged(const std::string& folder, const std::string& name) {
  std::string pattern = folder + "." + name + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  UniqueFd fd(::mkostemp(buffer.data(), O_CLOEXEC));  // created 0600
  if (!fd) return std::nullopt;
  return OutputFile(std::move(fd), std::string(buffer.data()), folder + name);
}

std::optional<OutputFile> OutputFile::Exclusive(const std::string& path) {
  if (path.empty()) return std::nullopt;
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd) return std::nullopt;
  return OutputFile(std::move(fd), path, path);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      writtenPath_(std::move(other.writtenPath_)),
      finalPath_(std::move(other.finalPath_)),
      done_(std::exchange(other.done_, true)) {}

OutputFile::~OutputFile() {
  if (done_) return;
  fd_.Reset();
  ::unlink(writtenPath_.c_str());
}

bool OutputFile::Commit() {
  if (done_) return false;
  int fd = fd_.Release();
  bool ok = ::close(fd) == 0;
  if (ok && writtenPath_ != finalPath_)
    ok = ::rename(writtenPath_.c_str(), finalPath_.c_str()) == 0;
  if (!ok) ::unlink(writtenPath_.c_str());
  done_ = true;
  return ok;
}

}  // namespace vexa
