#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "keldra/Names.h"
#include "platform/Platform.h"
#include "vorn/VRNUtilityString.h"

namespace host {
namespace {

// mkdir -p with mode 0700 for the folders it creates.
bool MakeFolders(const std::string& path) {
  std::string partial;
  for (size_t i = 0; i < path.size(); ++i) {
    partial += path[i];
    if (path[i] != '/' && i + 1 != path.size()) continue;
    if (partial == "/") continue;
    if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::string ProjectTempDir(const PlatformOptions& options) {
  std::string folder = options.tempDir;
  if (folder.empty()) {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache && *cache) {
      folder = std::string(cache) + "/keldra/";
    } else {
      const char* home = std::getenv("HOME");
      if (!home || !*home) return "";
      folder = std::string(home) + "/.cache/keldra/";
    }
  }
  if (folder.back() != '/') folder += '/';
  if (!MakeFolders(folder)) return "";
  return folder;
}

bool AnswerProjectTempDir(PluginMessage& message, const PlatformOptions& options) {
  std::string folder = ProjectTempDir(options);
  if (folder.empty()) return false;
  char16_t* wide = VRNUtilityString::ConvertUtf8ToUnicode(folder.c_str());
  if (!wide) return false;
  message.replyData = wide;  // malloc'd; the module frees it
  message.replyPresent = 1;
  return true;
}

}  // namespace host
