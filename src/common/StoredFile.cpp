#include "common/StoredFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace keldra {
namespace {

bool IsPlainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

// Something is there, but nothing to read.
std::nullopt_t Refused() {
  errno = EINVAL;
  return std::nullopt;
}

// Non-blocking so that a FIFO answers at once; the flag is cleared again once
// the descriptor is known to be a regular file.
std::optional<RegularFile> AdoptIfRegular(UniqueFd fd) {
  if (!fd) return std::nullopt;
  struct stat info;
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) return Refused();
  int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return std::nullopt;
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);  // copied or deciphered front to back
  RegularFile file;
  file.fd = std::move(fd);
  file.size = static_cast<uint64_t>(info.st_size);
  return file;
}

constexpr int kReadFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

}  // namespace

bool NamesStoredFile(std::string_view fileId) {
  return IsPlainName(fileId) && fileId.substr(0, 2) != "..";
}

std::string StoredRelativePath(std::string_view fileId, bool inSubfolder) {
  if (!NamesStoredFile(fileId)) return {};
  std::string relative;
  if (inSubfolder) relative.append(fileId.substr(0, 2)).append("/");
  return relative.append(fileId);
}

std::optional<RegularFile> OpenRegularFile(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return Refused();
  return AdoptIfRegular(UniqueFd(::open(path.c_str(), kReadFlags)));
}

std::optional<RegularFile> OpenStoredFile(const std::string& folder, std::string_view relative) {
  if (folder.empty() || folder.find('\0') != std::string::npos) return Refused();
  // The backup folder itself is the user's choice and may be reached through
  // a link; nothing below it may.
  UniqueFd at(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!at) return std::nullopt;
  for (;;) {
    size_t slash = relative.find('/');
    std::string name(relative.substr(0, slash));
    if (!IsPlainName(name)) return Refused();
    if (slash == std::string_view::npos)
      return AdoptIfRegular(UniqueFd(::openat(at.get(), name.c_str(), kReadFlags)));
    at =
        UniqueFd(::openat(at.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!at) return std::nullopt;
    relative.remove_prefix(slash + 1);
  }
}

uint64_t StoredFileSize(const std::string& folder, std::string_view relative) {
  std::optional<RegularFile> file = OpenStoredFile(folder, relative);
  return file ? file->size : 0;
}

UniqueFile OpenRegularStream(const std::string& path) {
  std::optional<RegularFile> file = OpenRegularFile(path);
  if (!file) return nullptr;
  UniqueFile stream(::fdopen(file->fd.get(), "rb"));
  if (stream) file->fd.Release();  // the stream owns it now
  return stream;
}

std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t limit) {
  std::optional<RegularFile> file = OpenRegularFile(path);
  if (!file || file->size > limit) return std::nullopt;
  std::string bytes(static_cast<size_t>(file->size), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t got = ::read(file->fd.get(), bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;  // shrank while being read
    done += static_cast<size_t>(got);
  }
  return bytes;
}

}  // namespace keldra
