#include "kind/recording/RecordingPaths.h"

#include "mivo/Utils.h"
#include "vorn/VRNUtilityString.h"

namespace keldra {
namespace {

// "[0-9]{8} [0-9]{6}" + "." + "composition/manifest.plist", in bytes.
constexpr size_t kCompositionTail = 8 + 1 + 6 + 1 + 26;

const RecordingPaths kNewer = {
    "Library/Recordings/Recordings.db",
    "Library/Recordings/AssetManifest.plist",
    "^Library/Recordings/[0-9]{8} [0-9]{6}.composition/manifest.plist$",
    "Library/Recordings/CloudRecordings.db",
    "Library",
    "Library/Recordings/",
};

const RecordingPaths kOlder = {
    "Media/Recordings/Recordings.db",
    "Media/Recordings/AssetManifest.plist",
    "^Media/Recordings/[0-9]{8} [0-9]{6}.composition/manifest.plist$",
    "Media/Recordings/CloudRecordings.db",
    "Media",
    "Media/Recordings/",
};

}  // namespace

const RecordingPaths& RecordingPathsFor(const std::string& productVersion) {
  return VRNUtilityString::CompareVersion(productVersion.c_str(), "15.0") == -1 ? kOlder : kNewer;
}

const RecordingPaths& NewerRecordingPaths() {
  return kNewer;
}

bool IsCompositionManifest(std::string_view relativePath, const RecordingPaths& paths) {
  if (relativePath.size() != paths.folder.size() + kCompositionTail ||
      relativePath.compare(0, paths.folder.size(), paths.folder) != 0)
    return false;
  return Utils::MatchString(std::string(relativePath), paths.composition);
}

}  // namespace keldra
