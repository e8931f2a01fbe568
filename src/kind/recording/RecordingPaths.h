// Where a device keeps its voice-memo files: below "Library/Recordings/" from
// iOS 15.0 on, below "Media/Recordings/" before.
#ifndef KELDRA_KIND_RECORDING_RECORDINGPATHS_H_
#define KELDRA_KIND_RECORDING_RECORDINGPATHS_H_

#include <string>
#include <string_view>

namespace keldra {

struct RecordingPaths {
  const char* recordingDb;    // source 1
  const char* assetManifest;  // source 2
  const char* composition;    // source 3: a regular expression, anchored both ends
  const char* cloudDb;        // source 4
  const char* prefix;         // what the platform's "/Recordings/…" paths are below
  std::string_view folder;    // the fixed start of every composition manifest path
};

// Product versions lower than 15.0 (CompareVersion -1) use the older set.
const RecordingPaths& RecordingPathsFor(const std::string& productVersion);
const RecordingPaths& NewerRecordingPaths();

// Whether `relativePath` is a composition manifest of the set. The pattern
// matches exactly folder + 42 bytes ("YYYYMMDD HHMMSS" + one byte +
// "composition/manifest.plist"), so anything of another length or start is
// refused before the regular expression runs: a manifest holds up to
// millions of paths, and the answer is the same.
bool IsCompositionManifest(std::string_view relativePath, const RecordingPaths& paths);

}  // namespace keldra

#endif  // KELDRA_KIND_RECORDING_RECORDINGPATHS_H_
