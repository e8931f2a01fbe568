#include "platform/Platform.h"

#include <cstring>

#include "keldra/Names.h"

namespace host {
namespace {

using Handler = bool (*)(PluginMessage&, const PlatformOptions&);

struct Route {
  const char* name;
  Handler handler;
};

const Route kRoutes[] = {
    {keldra::names::kGetProjectTempDir, &AnswerProjectTempDir},
    {keldra::names::kDecompressZipStream, &AnswerDecompressZipStream},
    {keldra::names::kPhotoQueryCameraRollList, &AnswerPhotoCameraRollList},
    {keldra::names::kPhotoQueryAlbumList, &AnswerPhotoAlbumList},
    {keldra::names::kPhotoQueryPhotoFromAlbum, &AnswerPhotoFromAlbum},
    {keldra::names::kRecordingQueryList, &AnswerRecordingQueryList},
    {keldra::names::kSmsQueryConversationList, &AnswerSmsQueryConversationList},
};

}  // namespace

bool Platform::Handle(PluginMessage& message, const PlatformOptions& options) noexcept {
  if (!message.subCommand) return false;
  for (const Route& route : kRoutes) {
    if (std::strcmp(route.name, message.subCommand) != 0) continue;
    try {
      return route.handler(message, options);
    } catch (...) {
      message.replyPresent = 0;
      return false;
    }
  }
  return false;
}

}  // namespace host
