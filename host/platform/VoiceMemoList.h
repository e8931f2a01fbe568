// The recordings named by a device's voice-memo files. Up to four sources
// name them: Recordings.db (1), AssetManifest.plist (2), the manifest.plist
// of each edited memo's composition folder (3) and CloudRecordings.db (4).
// A recording is known by its audio file name; the first source read that
// names it is its source, later ones only fill in what is still missing.
#ifndef HOST_PLATFORM_VOICEMEMOLIST_H_
#define HOST_PLATFORM_VOICEMEMOLIST_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include <plist/plist.h>

#include "platform/Platform.h"
#include "vorn/Json.h"

namespace host {

struct VoiceMemo {
  std::string fileName;  // the audio file, no folder
  int source = 0;
  std::string title;
  int64_t date = 0;  // seconds since 2001-01-01 UTC; 0 when unknown
  double duration = 0;
  int64_t size = 0;  // of an audio file found beside the source file
  bool deleted = false;
};

class VoiceMemoList {
 public:
  enum Source { kRecordingDb = 1, kAssetManifest = 2, kComposition = 3, kCloudDb = 4 };

  // Each reader adds what the file holds; an unreadable file adds nothing.
  void ReadDatabase(const std::string& path, int source, const PlatformOptions& options);
  void ReadAssetManifest(const std::string& path);
  void ReadComposition(const std::string& path);
  // The same for property lists already parsed; `folder` is where the audio
  // files would lie beside them ("" : nowhere to look).
  void AddAssetManifest(plist_t root, const std::string& folder);
  void AddComposition(plist_t root, const std::string& folder);

  void Add(VoiceMemo memo, const std::string& folder);

  const std::vector<VoiceMemo>& Memos() const { return memos_; }

  // {fileName: {"path","source","size","title","date","duration","deleted"}, …}
  std::unique_ptr<rapidjson::Document> ToReply() const;

 private:
  std::vector<VoiceMemo> memos_;
  std::unordered_map<std::string, size_t> byFileName_;
};

// The file name part of a device path or file URL; "" when that is no usable
// file name.
std::string AudioFileName(const std::string& path);

// "YYYY-MM-DDTHH:MM:SS" from a name that starts "YYYYMMDD HHMMSS" (the
// device's local time, zone unknown); "" for any other name.
std::string DateFromFileName(const std::string& fileName);

}  // namespace host

#endif  // HOST_PLATFORM_VOICEMEMOLIST_H_
