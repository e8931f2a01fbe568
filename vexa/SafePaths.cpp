#include "SafePaths.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace vexa {
namespace {

constexpr size_t kFileIdLength = 40;

bool Fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

bool HasParentComponent(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (path.compare(start, end - start, "..") == 0 && end - start == 2) return true;
    start = end + 1;
  }
  return false;
}

struct FreeDeleter {
  void operator()(char* p) const { free(p); }
};

std::string RealPath(const std::string& path) {
  std::unique_ptr<char, FreeDeleter> resolved(::realpath(path.c_str(), nullptr));
  return resolved ? std::string(resolved.get()) + "/" : std::string();
}

bool IsWithin(const std::string& resolved, const std::string& folder) {
  std::string resolvedFolder = RealPath(folder);
  return !resolved.empty() && !resolvedFolder.empty() &&
         resolved.compare(0, resolvedFolder.size(), resolvedFolder) == 0;
}

}  // namespace

std::string NormaliseFolder(std::string_view folder) {
  std::string normalised(folder);
  if (normalised.empty() || (normalised.back() != '/' && normalised.back() != '\\'))
    normalised += '/';
  return normalised;
}

std::optional<std::string> ParseFileId(std::string_view text) {
  if (text.size() != kFileIdLength) return std::nullopt;
  std::string id(text);
  for (char& c : id) {
    if (c >= 'A' && c <= 'F') c = static_cast<char>(c - 'A' + 'a');
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return std::nullopt;
  }
  return id;
}

std::optional<std::string> StoredFileId(const std::string& folder, const std::string& path,
                                        bool subfolders) {
  if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0)
    return std::nullopt;
  std::string_view rest(path);
  rest.remove_prefix(folder.size());
  if (!subfolders) return ParseFileId(rest);
  if (rest.size() != kFileIdLength + 3 || rest[2] != '/' || rest.substr(0, 2) != rest.substr(3, 2))
    return std::nullopt;
  return ParseFileId(rest.substr(3));
}

bool IsUsableTempDir(const std::string& tempDir, const std::string& backupDir, std::string* why) {
  if (tempDir.empty() || tempDir.front() != '/') return Fail(why, "not an absolute path");
  if (HasParentComponent(tempDir)) return Fail(why, "has a .. component");
  std::string folder = tempDir;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  struct stat info;
  if (::lstat(folder.c_str(), &info) != 0) return Fail(why, "does not exist");
  if (!S_ISDIR(info.st_mode)) return Fail(why, "is not a directory");
  if (info.st_uid != ::geteuid()) return Fail(why, "is owned by another user");
  if ((info.st_mode & 077) != 0) return Fail(why, "is open to other users (not 0700)");
  std::string resolved = RealPath(folder);
  if (resolved.empty()) return Fail(why, "cannot be resolved");
  if (IsWithin(resolved, backupDir)) return Fail(why, "lies inside the backup folder");
  return true;
}

bool LiesInside(const std::string& path, const std::string& folder) {
  size_t slash = path.rfind('/');
  std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  return IsWithin(RealPath(parent), folder);
}

}  // namespace vexa
