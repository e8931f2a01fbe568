#include "platform/RunFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "common/UniqueDir.h"

namespace host {
namespace {

constexpr char kRunPrefix[] = "run-";
constexpr char kKeptPrefix[] = "kept-";
constexpr char kLockName[] = "lock";
// Our folders are two or three levels deep; anything deeper was not made by us.
constexpr int kMaxRemovalDepth = 64;

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

bool RemoveAt(int parent, const char* name, int depth) {
  if (unlinkat(parent, name, 0) == 0 || errno == ENOENT) return true;
  if (errno != EISDIR && errno != EPERM) return false;
  if (depth > kMaxRemovalDepth) return false;
  keldra::UniqueDir dir = keldra::ListFolder(
      keldra::UniqueFd(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)));
  if (!dir) return false;
  bool removed = true;
  while (dirent* entry = readdir(dir.get())) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    removed = RemoveAt(dirfd(dir.get()), entry->d_name, depth + 1) && removed;
  }
  dir.reset();
  return unlinkat(parent, name, AT_REMOVEDIR) == 0 && removed;
}

// The pid a run folder's name carries ("run-<pid>-XXXXXX"), or 0.
pid_t OwnerOf(const std::string& name) {
  size_t start = std::strlen(kRunPrefix);
  size_t end = name.find('-', start);
  if (end == std::string::npos || end == start || end - start > 9) return 0;
  pid_t pid = 0;
  for (size_t i = start; i < end; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

// A run holds its folder's lock for as long as it lives, so a lock we can
// take belongs to a run that is gone, whatever process now has its pid. A
// folder without a lock was cut short while being made: its pid decides.
void RemoveIfRunEnded(int parent, const std::string& name) {
  struct stat info;
  if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return;
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) return;
  keldra::UniqueFd folder(
      openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder) return;
  keldra::UniqueFd lock(
      openat(folder.get(), kLockName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  int lockError = errno;
  folder.Reset();
  if (!lock) {
    pid_t owner = OwnerOf(name);
    if (lockError == ENOENT && owner > 0 && kill(owner, 0) != 0 && errno == ESRCH)
      RemoveAt(parent, name.c_str(), 0);
    return;
  }
  // Removed while we hold the lock, so no other run can claim it meanwhile.
  if (flock(lock.get(), LOCK_EX | LOCK_NB) == 0) RemoveAt(parent, name.c_str(), 0);
}

// Creates the lock under another name and takes it before it becomes visible
// as "lock", so no other run ever sees it free.
keldra::UniqueFd TakeLock(const std::string& folder) {
  std::string fresh = folder + kLockName + ".new";
  keldra::UniqueFd lock(
      open(fresh.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock) return lock;
  if (flock(lock.get(), LOCK_EX | LOCK_NB) != 0 ||
      std::rename(fresh.c_str(), (folder + kLockName).c_str()) != 0)
    return keldra::UniqueFd();
  return lock;
}

std::string ModeText(mode_t mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

}  // namespace

bool MakePrivateFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i < path.size(); ++i) {
    partial += path[i];
    if (path[i] != '/' && i + 1 != path.size()) continue;
    if (partial == "/") continue;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return false;
  if (!S_ISDIR(info.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  return true;
}

std::string DefaultTempParent() {
  // Per the XDG rules, a relative XDG_CACHE_HOME is ignored.
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') return WithSeparator(cache) + "keldra/";
  const char* home = std::getenv("HOME");
  if (!home || !*home) return "";
  return WithSeparator(home) + ".cache/keldra/";
}

bool RemoveTree(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t slash = path.rfind('/');
  std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  keldra::UniqueFd parentFd(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!parentFd) return errno == ENOENT;
  return RemoveAt(parentFd.get(), name.c_str(), 0);
}

void RemoveStaleRunFolders(const std::string& parent) {
  keldra::UniqueDir dir = keldra::ListFolder(
      keldra::UniqueFd(open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)));
  if (!dir) return;
  std::vector<std::string> candidates;
  while (dirent* entry = readdir(dir.get())) {
    if (std::strncmp(entry->d_name, kRunPrefix, std::strlen(kRunPrefix)) == 0)
      candidates.push_back(entry->d_name);
  }
  for (const std::string& name : candidates) RemoveIfRunEnded(dirfd(dir.get()), name);
}

std::unique_ptr<RunFolder> RunFolder::Create(const std::string& parent, bool keep,
                                             std::string* error) {
  std::string base = parent.empty() ? DefaultTempParent() : WithSeparator(parent);
  if (base.empty()) {
    Fail(error,
         "no folder for deciphered copies: neither XDG_CACHE_HOME nor HOME is set; "
         "give --temp-dir");
    return nullptr;
  }
  if (base.front() != '/') {
    Fail(error, "the temporary folder " + base + " is a relative path; give an absolute one");
    return nullptr;
  }
  if (!MakePrivateFolders(base)) {
    Fail(error, "cannot create the temporary folder " + base + ": " + std::strerror(errno));
    return nullptr;
  }
  RemoveStaleRunFolders(base);

  std::string pattern =
      base + (keep ? kKeptPrefix : kRunPrefix) + std::to_string(getpid()) + "-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) {
    bool denied = errno == EACCES || errno == EROFS || errno == EPERM;
    Fail(error, "the temporary folder " + base +
                    (denied ? " is not writable" : std::string(": ") + std::strerror(errno)));
    return nullptr;
  }
  std::string path = WithSeparator(name.data());
  // Some file systems (FAT, some network mounts) ignore the mode mkdtemp asks for.
  struct stat info {};
  if (lstat(name.data(), &info) != 0 || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    mode_t mode = info.st_mode;
    RemoveTree(path);
    Fail(error, "the temporary folder " + base +
                    " cannot hold private files (a folder made there " + "has mode " +
                    ModeText(mode) + "); give another with --temp-dir");
    return nullptr;
  }
  keldra::UniqueFd lock;
  if (!keep && !(lock = TakeLock(path))) {
    std::string cause = std::strerror(errno);
    RemoveTree(path);
    Fail(error, "cannot lock the temporary folder " + path + ": " + cause);
    return nullptr;
  }
  return std::unique_ptr<RunFolder>(new RunFolder(path, std::move(lock), keep));
}

RunFolder::~RunFolder() {
  Release();
}

void RunFolder::Release() {
  std::lock_guard<std::mutex> guard(releaseMutex_);
  if (released_) return;
  released_ = true;
  if (!keep_) RemoveTree(path_);
  lock_.Reset();
}

}  // namespace host
