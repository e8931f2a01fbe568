#include "cli/SafePath.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

namespace cli {

bool IsContainedPath(const std::string& relative) {
  if (relative.empty() || relative.front() == '/' || relative.find('\0') != std::string::npos)
    return false;
  std::stringstream stream(relative);
  std::string part;
  while (std::getline(stream, part, '/')) {
    if (part.empty() || part == "." || part == "..") return false;
  }
  return relative.back() != '/';
}

std::string PrepareFolders(const std::string& root, const std::string& relative) {
  std::string path = root;
  size_t start = 0;
  while (true) {
    size_t slash = relative.find('/', start);
    if (slash == std::string::npos) break;
    path += relative.substr(start, slash - start);
    if (mkdir(path.c_str(), 0755) != 0) {
      struct stat info;
      if (errno != EEXIST || lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "";
    }
    path += '/';
    start = slash + 1;
  }
  return path + relative.substr(start);
}

}  // namespace cli
