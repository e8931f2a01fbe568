// The recording list request: {"1": Recordings.db, "2": AssetManifest.plist,
// "3": [composition manifest.plist, …], "4": CloudRecordings.db}, every
// member optional. Answered with one entry per recording for any request
// object, also when no file could be read.
#include "platform/Platform.h"
#include "platform/PlatformReply.h"
#include "platform/VoiceMemoList.h"

namespace host {

bool AnswerRecordingQueryList(PluginMessage& message, const PlatformOptions& options) {
  rapidjson::Document request;
  if (!ParseRequest(message, request)) return false;
  VoiceMemoList list;
  // The richest source first: a recording keeps the source that named it first.
  if (std::optional<std::string> cloud = StringMember(request, "4"))
    list.ReadDatabase(*cloud, VoiceMemoList::kCloudDb, options);
  if (std::optional<std::string> recordings = StringMember(request, "1"))
    list.ReadDatabase(*recordings, VoiceMemoList::kRecordingDb, options);
  if (std::optional<std::string> manifest = StringMember(request, "2"))
    list.ReadAssetManifest(*manifest);
  auto compositions = request.FindMember("3");
  if (compositions != request.MemberEnd() && compositions->value.IsArray()) {
    for (const rapidjson::Value& path : compositions->value.GetArray()) {
      if (path.IsString())
        list.ReadComposition(std::string(path.GetString(), path.GetStringLength()));
    }
  }
  return Answer(message, list.ToReply());
}

}  // namespace host
