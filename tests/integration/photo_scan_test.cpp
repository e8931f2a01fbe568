// The photo kind in a scan, through the host code and its real photo
// reader: the three series and their slices, what each refused request
// leaves out, and where photos and thumbnails are found in the backup.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/PhotoLibrary.h"
#include "integration/KindScanSupport.h"
#include "support/TestSupport.h"

namespace {

using builder::PhotoSchema;
using testing_support::TempFolder;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";

// A scan for photos with a temporary folder of its own, the named platform
// request refused.
host::Recorder ScanPhotos(const std::string& folder, const char* refused = "") {
  TempFolder temp;
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.tempDir = temp.Path();
  if (*refused) options.refuse = {refused};
  return testing_support::Send(kScan, kind_scan::ScanPayload(folder, "[6]"), options);
}

// Every event of a recording, the backup folder masked and lists of more
// than two items cut to their first and last.
std::vector<std::string> Events(const host::Recorder& recorder, const std::string& folder) {
  EXPECT_EQ(recorder.Count("violation"), 0u);
  std::vector<std::string> lines;
  for (const auto& event : recorder.Events()) {
    rapidjson::Document copy;
    copy.CopyFrom(*event, copy.GetAllocator());
    if (copy.HasMember("payload") && copy["payload"].IsObject() &&
        copy["payload"].HasMember("result") && copy["payload"]["result"].IsArray()) {
      rapidjson::Value& list = copy["payload"]["result"];
      const size_t size = list.Size();
      if (size > 2) {
        list.Erase(list.Begin() + 1, list.End() - 1);
        std::string cut = std::to_string(size - 2) + " more";
        list.PushBack(rapidjson::Value(cut.c_str(), copy.GetAllocator()), copy.GetAllocator());
      }
    }
    lines.push_back(testing_support::Json(copy));
    kind_scan::ReplaceAll(lines.back(), folder, "<backup>/");
  }
  return lines;
}

// Every event of scans of 250 photos none of which is stored (the camera
// roll in slices of a hundred, no album request carrying the task as none was
// listed), of a library without photos, and of the sample libraries, one with
// each request refused: the album series closes once after the last album,
// answered or not, each album request carrying the task and replacing the
// previous album's members; a refused list ends that series and all later
// ones, and the scan itself ends as usual.
TEST(PhotoScan, SeriesSliceAndCloseWhateverThePlatformRefuses) {
  const struct {
    int photos;  // -1: the sample library
    PhotoSchema schema;
    const char* refused;
  } kCases[] = {{250, PhotoSchema::kAsset, ""},
                {0, PhotoSchema::kAsset, ""},
                {-1, PhotoSchema::kGenericAsset, ""},
                {-1, PhotoSchema::kGenericAsset, "LIBPLATFORM_PHOTO_QUERY_PHOTO_FROM_ALBUM"},
                {-1, PhotoSchema::kAsset, "LIBPLATFORM_PHOTO_QUERY_CAMERA_ROLL_LIST"},
                {-1, PhotoSchema::kAsset, "LIBPLATFORM_PHOTO_QUERY_ALBUM_LIST"}};
  std::vector<std::string> events;
  kind_scan::ScopedTimeZone zone;
  for (const auto& c : kCases) {
    TempFolder folder;
    {
      builder::BackupBuilder backup(folder.Path());
      builder::PhotoLibrarySpec library = builder::SamplePhotoLibrary(c.schema);
      if (c.photos >= 0) {
        backup.Device().productVersion = "16.1";
        library = {};
        library.assets = builder::NumberedPhotos(c.photos);
        for (auto& asset : library.assets) asset.stored = false;
      }
      builder::AddPhotoLibrary(backup, library);
    }
    std::vector<std::string> scan = Events(ScanPhotos(folder.Path(), c.refused), folder.Path());
    events.insert(events.end(), scan.begin(), scan.end());
  }
  kind_scan::ExpectGolden("cases/photo-series.jsonl", events);
}

// Thumbnails in order of preference: a photo's 5003.JPG (though other files
// contain its path too), else the first regular file in path order that
// contains its path, past a directory that sorts earlier, never its own file
// (IMG_0001 to 0003); the size from the stored file where the database has
// none (IMG_0002), kept where it differs (IMG_0003); a photo not in the backup
// (IMG_0004); only an edited render (IMG_0005). The album's copies are
// completed the same way.
TEST(PhotoScan, FindsStoredFilesSizesAndThumbnailsInOrderOfPreference) {
  TempFolder folder;
  {
    builder::BackupBuilder backup(folder.Path());
    builder::PhotoLibrarySpec library;
    library.assets = builder::NumberedPhotos(6);
    library.assets[0].thumbnail = true;
    library.assets[1].originalFileSize = 0;
    library.assets[2].originalFileSize = 99999;
    library.assets[3].stored = false;
    library.assets[4].directory = "DCIM";
    library.albums.push_back({2, "All", {0, 1, 2, 3, 4, 5}});
    builder::AddPhotoLibrary(backup, library);
    backup.AddFile("CameraRollDomain", "Media/AAA/DCIM/100APPLE/IMG_0001.JPG.bak", "b");
    backup.AddDirectory("CameraRollDomain", "Media/0DIR/DCIM/100APPLE/IMG_0002.JPG");
    backup.AddFile("CameraRollDomain", "Media/AAA/DCIM/100APPLE/IMG_0002.JPG.bak", "bb");
    backup.AddFile("CameraRollDomain",
                   "Media/PhotoData/Mutations/DCIM/IMG_0005.JPG/Adjustments/Render.jpg", "render");
  }
  const std::string before = testing_support::TreeSnapshot(folder.Path());
  kind_scan::ScopedTimeZone zone;
  kind_scan::ExpectGolden("cases/photo-thumbnails.jsonl",
                          kind_scan::MaskedResults(ScanPhotos(folder.Path()), folder.Path()));
  EXPECT_EQ(testing_support::TreeSnapshot(folder.Path()), before);
}

}  // namespace
