// The host platform: answers the LIBPLATFORM_* requests of the modules in
// place. Each request has one handler; a request without a handler, or one the
// handler cannot serve, stays unanswered (replyPresent 0, payload untouched).
#ifndef HOST_PLATFORM_PLATFORM_H_
#define HOST_PLATFORM_PLATFORM_H_

#include <string>

#include "keldra/Plugin.h"

namespace host {

struct PlatformOptions {
  // The project temporary folder itself when set (the commands set it to
  // their run's private folder); else a private folder of this process.
  std::string tempDir;
};

class Platform {
 public:
  // A handler that throws leaves the request unanswered, as one that cannot
  // serve it does.
  bool Handle(PluginMessage& message, const PlatformOptions& options) noexcept;
};

// Handlers, one per request (each in its own file).
bool AnswerProjectTempDir(PluginMessage& message, const PlatformOptions& options);
bool AnswerDecompressZipStream(PluginMessage& message, const PlatformOptions& options);
bool AnswerPhotoCameraRollList(PluginMessage& message, const PlatformOptions& options);
bool AnswerPhotoAlbumList(PluginMessage& message, const PlatformOptions& options);
bool AnswerPhotoFromAlbum(PluginMessage& message, const PlatformOptions& options);
bool AnswerRecordingQueryList(PluginMessage& message, const PlatformOptions& options);
bool AnswerSmsQueryConversationList(PluginMessage& message, const PlatformOptions& options);

// The project temporary folder: the option (created 0700 when absent), else a
// private folder of this process below $XDG_CACHE_HOME/keldra/ or
// $HOME/.cache/keldra/, removed when the process ends. Ends in "/"; empty when
// it cannot be made.
std::string ProjectTempDir(const PlatformOptions& options);

}  // namespace host

#endif  // HOST_PLATFORM_PLATFORM_H_
