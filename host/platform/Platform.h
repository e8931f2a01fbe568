// The host platform: answers the LIBPLATFORM_* requests of the modules in
// place. Each request has one handler; a request without a handler, or one the
// handler cannot serve, stays unanswered (replyPresent 0, payload untouched).
#ifndef HOST_PLATFORM_PLATFORM_H_
#define HOST_PLATFORM_PLATFORM_H_

#include <string>

#include "keldra/Plugin.h"

namespace host {

struct PlatformOptions {
  std::string tempDir;  // overrides the default project temporary folder when set
};

class Platform {
 public:
  bool Handle(PluginMessage& message, const PlatformOptions& options);
};

// Handlers, one per request (each in its own file).
bool AnswerProjectTempDir(PluginMessage& message, const PlatformOptions& options);
bool AnswerDecompressZipStream(PluginMessage& message, const PlatformOptions& options);
bool AnswerPhotoCameraRollList(PluginMessage& message, const PlatformOptions& options);
bool AnswerPhotoAlbumList(PluginMessage& message, const PlatformOptions& options);
bool AnswerPhotoFromAlbum(PluginMessage& message, const PlatformOptions& options);
bool AnswerRecordingQueryList(PluginMessage& message, const PlatformOptions& options);

// The project temporary folder: the option, else $XDG_CACHE_HOME/keldra/, else
// $HOME/.cache/keldra/; created 0700; ends in "/". Empty when it cannot be made.
std::string ProjectTempDir(const PlatformOptions& options);

}  // namespace host

#endif  // HOST_PLATFORM_PLATFORM_H_
