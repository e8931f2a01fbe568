#include <memory>

#include "keldra/Names.h"
#include "platform/Platform.h"
#include "platform/RunFolder.h"
#include "vorn/VRNUtilityString.h"

namespace host {
namespace {

// A caller that named no folder still gets one of its own, made when first
// asked for and removed when the process ends.
const RunFolder* ProcessRunFolder() {
  static const std::unique_ptr<RunFolder> folder = [] {
    std::string error;
    return RunFolder::Create("", false, &error);
  }();
  return folder.get();
}

}  // namespace

std::string ProjectTempDir(const PlatformOptions& options) {
  if (options.tempDir.empty()) {
    const RunFolder* folder = ProcessRunFolder();
    return folder ? folder->Path() : "";
  }
  std::string folder = options.tempDir;
  if (folder.back() != '/') folder += '/';
  if (!MakePrivateFolders(folder)) return "";
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
