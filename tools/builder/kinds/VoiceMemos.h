// Voice memos in their two generations of files, with the audio stored:
//  - older devices: Media/Recordings/Recordings.db (ZRECORDING) and
//    Media/Recordings/AssetManifest.plist;
//  - newer devices: Library/Recordings/CloudRecordings.db (ZCLOUDRECORDING,
//    with ZFOLDER and an empty legacy ZRECORDING) and one
//    "<YYYYMMDD HHMMSS>.composition/manifest.plist" per edited memo.
#ifndef KELDRA_BUILDER_KINDS_VOICEMEMOS_H_
#define KELDRA_BUILDER_KINDS_VOICEMEMOS_H_

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"

namespace builder {

enum class VoiceMemoLayout { kLegacy, kCloud };

struct VoiceMemoSpec {
  std::string fileName;  // "20150101 120000.m4a"
  std::string title;
  double date = 600000000;  // seconds since 2001
  double duration = 30;
  bool inDatabase = true;       // a row of the layout's database
  bool inAssetManifest = true;  // older layout: a key of AssetManifest.plist
  bool composition = false;     // newer layout: a composition folder with its manifest
  bool evicted = false;         // newer layout: in "Recently Deleted"
  bool stored = true;           // the audio file is in the backup
  std::string audio;            // "" : a few bytes made from the name
};

struct VoiceMemoLibrary {
  VoiceMemoLayout layout = VoiceMemoLayout::kCloud;
  std::string root;  // "" : "Media" for the older layout, "Library" for the newer
  std::string domain = "MediaDomain";
  std::vector<VoiceMemoSpec> memos;
};

VoiceMemoSpec Memo(const std::string& fileName, const std::string& title, double date,
                   double duration);

// The files alone.
void WriteRecordingsDatabase(const std::string& path, const std::vector<VoiceMemoSpec>& memos);
void WriteCloudRecordingsDatabase(const std::string& path, const std::vector<VoiceMemoSpec>& memos);
std::string AssetManifestPlist(const std::vector<VoiceMemoSpec>& memos);
std::string CompositionManifestPlist(const VoiceMemoSpec& memo, const std::string& root);

// What a stored audio file holds when the memo gives none.
std::string MemoAudio(const VoiceMemoSpec& memo);
// "<root>/Recordings/"
std::string RecordingsFolder(const VoiceMemoLibrary& library);

// The layout's files and the stored audio files, in the library's domain.
void AddVoiceMemos(BackupBuilder& backup, const VoiceMemoLibrary& library);

// Three memos in either layout (one edited in the newer one, one listed only
// by the asset manifest in the older one).
VoiceMemoLibrary SampleVoiceMemos(VoiceMemoLayout layout);
void AddSampleVoiceMemosLegacy(BackupBuilder& backup);
void AddSampleVoiceMemosCloud(BackupBuilder& backup);

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_VOICEMEMOS_H_
