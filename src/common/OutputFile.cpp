#include "common/OutputFile.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace keldra {

std::optional<OutputFile> OutputFile::Staged(const std::string& folder, const std::string& name,
                                             Existing existing) {
  if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  std::string pattern = folder + "." + name + ".XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  UniqueFd fd(::mkostemp(buffer.data(), O_CLOEXEC));  // created 0600
  if (!fd) return std::nullopt;
  return OutputFile(std::move(fd), std::string(buffer.data()), folder + name, existing);
}

std::optional<OutputFile> OutputFile::StagedAt(const std::string& path, Existing existing) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return Staged("", path, existing);
  return Staged(path.substr(0, slash + 1), path.substr(slash + 1), existing);
}

OutputFile::OutputFile(OutputFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      writtenPath_(std::move(other.writtenPath_)),
      finalPath_(std::move(other.finalPath_)),
      existing_(other.existing_),
      done_(std::exchange(other.done_, true)) {}

OutputFile::~OutputFile() {
  if (done_) return;
  fd_.Reset();
  ::unlink(writtenPath_.c_str());
}

bool OutputFile::Commit() {
  if (done_) return false;
  done_ = true;
  bool ok = ::close(fd_.Release()) == 0;
  if (ok && existing_ == Existing::kReplace) {
    ok = ::rename(writtenPath_.c_str(), finalPath_.c_str()) == 0;
    if (ok) return true;
  } else if (ok) {
    // A hard link fails when the name is taken, where rename would replace.
    ok = ::link(writtenPath_.c_str(), finalPath_.c_str()) == 0;
  }
  int error = errno;
  ::unlink(writtenPath_.c_str());
  errno = error;
  return ok;
}

}  // namespace keldra
