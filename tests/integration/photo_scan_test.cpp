// The photo kind in a scan, through the host code and its real photo
// reader: the three series and their slices, what each refused request
// leaves out, and where photos and thumbnails are found in the backup.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/PhotoLibrary.h"
#include "integration/KindScanSupport.h"
#include "support/TestSupport.h"

namespace {

using builder::PhotoSchema;
using testing_support::Json;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kCameraRoll[] = "LIBPLATFORM_PHOTO_QUERY_CAMERA_ROLL_LIST";
constexpr char kAlbumList[] = "LIBPLATFORM_PHOTO_QUERY_ALBUM_LIST";
constexpr char kFromAlbum[] = "LIBPLATFORM_PHOTO_QUERY_PHOTO_FROM_ALBUM";

struct Message {
  int subType;
  int stage;
  const rapidjson::Value* result;
};

// The photo kind's messages, in order, after checking what they all share.
std::vector<Message> PhotoMessages(const host::Recorder& recorder) {
  std::vector<Message> messages;
  for (const rapidjson::Value* payload : recorder.Payloads("result")) {
    if (!payload->HasMember("type") || (*payload)["type"].GetInt() != 6) continue;
    EXPECT_EQ((*payload)["stage_total"].GetInt(), 3);
    EXPECT_EQ((*payload)["status"].GetInt(), 2);
    EXPECT_STREQ((*payload)["sub_command_type"].GetString(), kScan);
    messages.push_back(
        {(*payload)["sub_type"].GetInt(), (*payload)["stage"].GetInt(), &(*payload)["result"]});
  }
  return messages;
}

// "subType.stage" of each message: the shape of the series.
std::vector<std::string> Shape(const std::vector<Message>& messages) {
  std::vector<std::string> shape;
  for (const Message& m : messages)
    shape.push_back(std::to_string(m.subType) + "." + std::to_string(m.stage));
  return shape;
}

// The request events of one name.
std::vector<const rapidjson::Value*> Requests(const host::Recorder& recorder, const char* name) {
  std::vector<const rapidjson::Value*> requests;
  for (const auto& event : recorder.Events()) {
    if (std::string((*event)["event"].GetString()) == "request" &&
        (*event)["subCommand"].IsString() &&
        (*event)["subCommand"].GetString() == std::string(name))
      requests.push_back(event.get());
  }
  return requests;
}

class PhotoScan : public testing::Test {
 protected:
  host::Recorder Scan(host::SendOptions options = testing_support::BuildTreeOptions()) {
    options.tempDir = temp_.Path();
    host::Recorder recorder =
        Send(kScan, "{\"backupDir\":\"" + folder_.Path() + "\",\"types\":[6]}", options);
    EXPECT_EQ(recorder.Count("violation"), 0u);
    return recorder;
  }
  // Where CameraRollDomain Media/PhotoData/Photos.sqlite is stored.
  std::string DatabasePath() const {
    return folder_.Path() + "12/12b144c0bd44f2b3dffd9186d3f9c05b917cee25";
  }
  TempFolder folder_;
  TempFolder temp_;
};

TEST_F(PhotoScan, SendsTheCameraRollInSlicesOfAHundred) {
  {
    builder::BackupBuilder backup(folder_.Path());
    backup.Device().productVersion = "16.1";
    builder::PhotoLibrarySpec library;
    library.assets = builder::NumberedPhotos(250);
    for (auto& asset : library.assets) asset.stored = false;
    builder::AddPhotoLibrary(backup, library);
  }
  host::Recorder recorder = Scan();
  std::vector<Message> messages = PhotoMessages(recorder);
  EXPECT_THAT(Shape(messages),
              testing::ElementsAre("0.1", "0.2", "0.2", "0.2", "0.3", "1.1", "1.2", "1.3", "2.3"));
  const std::string database = DatabasePath();
  EXPECT_EQ(Json(*messages[0].result), "{\"count\":250,\"photo_db_path\":\"" + database + "\"}");
  EXPECT_EQ(messages[1].result->Size(), 100u);
  EXPECT_EQ(messages[2].result->Size(), 100u);
  EXPECT_EQ(messages[3].result->Size(), 50u);
  EXPECT_STREQ((*messages[1].result)[0]["RELATIVE_PATH"].GetString(),
               "Media/DCIM/100APPLE/IMG_0001.JPG");
  EXPECT_STREQ((*messages[3].result)[49]["RELATIVE_PATH"].GetString(),
               "Media/DCIM/100APPLE/IMG_0250.JPG");
  EXPECT_EQ(Json(*messages[4].result), "{}");
  EXPECT_EQ(Json(*messages[5].result), "{\"count\":0,\"photo_db_path\":\"" + database + "\"}");
  EXPECT_EQ(Json(*messages[6].result), "[]");

  // The requests carry the database and the device's version; none carries
  // the task, as no album was listed.
  std::vector<const rapidjson::Value*> requests = Requests(recorder, kCameraRoll);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(Json((*requests[0])["payload"]),
            "{\"path\":\"" + database + "\",\"productVersion\":\"16.1\"}");
  EXPECT_TRUE((*requests[0])["answered"].GetBool());
  EXPECT_TRUE(Requests(recorder, kFromAlbum).empty());
}

TEST_F(PhotoScan, NoPhotosGiveASummaryAndTheClosingMessageOnly) {
  {
    builder::BackupBuilder backup(folder_.Path());
    builder::AddPhotoLibrary(backup, builder::PhotoLibrarySpec{});
  }
  host::Recorder recorder = Scan();
  std::vector<Message> messages = PhotoMessages(recorder);
  ASSERT_THAT(Shape(messages), testing::ElementsAre("0.1", "0.3", "1.1", "1.2", "1.3", "2.3"));
  EXPECT_EQ((*messages[0].result)["count"].GetInt(), 0);
}

TEST_F(PhotoScan, AlbumSeriesClosesOnceAfterTheLastAlbum) {
  {
    builder::BackupBuilder backup(folder_.Path());
    builder::AddPhotoLibrary(backup, builder::SamplePhotoLibrary(PhotoSchema::kGenericAsset));
  }
  // The series itself is in the golden output of the sample content.
  host::Recorder recorder = Scan();
  // Each album request replaces the previous album's members and carries the task.
  std::vector<const rapidjson::Value*> requests = Requests(recorder, kFromAlbum);
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(Json((*requests[1])["payload"]),
            "{\"path\":\"" + DatabasePath() +
                "\",\"productVersion\":\"17.5.1\",\"albumId\":3,\"albumType\":2}");
  EXPECT_STREQ((*requests[1])["taskId"].GetString(), "task-1");

  // No album answered: the series still closes, once.
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.refuse = {kFromAlbum};
  host::Recorder refused = Scan(options);
  EXPECT_THAT(Shape(PhotoMessages(refused)),
              testing::ElementsAre("0.1", "0.2", "0.3", "1.1", "1.2", "1.3", "2.3"));
  EXPECT_EQ(Requests(refused, kFromAlbum).size(), 4u);
}

TEST_F(PhotoScan, ARefusedListEndsThatSeriesAndAllLaterOnes) {
  {
    builder::BackupBuilder backup(folder_.Path());
    builder::AddPhotoLibrary(backup, builder::SamplePhotoLibrary(PhotoSchema::kAsset));
  }
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.refuse = {kCameraRoll};
  host::Recorder noCameraRoll = Scan(options);
  EXPECT_THAT(PhotoMessages(noCameraRoll), testing::IsEmpty());
  EXPECT_EQ(noCameraRoll.Count("request"), 1u);

  options.refuse = {kAlbumList};
  host::Recorder noAlbums = Scan(options);
  EXPECT_THAT(Shape(PhotoMessages(noAlbums)), testing::ElementsAre("0.1", "0.2", "0.3"));
  EXPECT_EQ(noAlbums.Count("request"), 2u);
  // The scan itself ends as usual.
  EXPECT_EQ(Json(*noAlbums.Payloads("result").back()),
            "{\"stage\":3,\"status\":1,\"sub_command_type\":\"" + std::string(kScan) +
                "\",\"error_code\":0}");
}

// Thumbnails in order of preference: a photo's 5003.JPG (though other files
// contain its path too), else the first regular file in path order that
// contains its path, past a directory that sorts earlier, never its own file
// (IMG_0001 to 0003); the size from the stored file where the database has
// none (IMG_0002), kept where it differs (IMG_0003); a photo not in the backup
// (IMG_0004); only an edited render (IMG_0005). The album's copies are
// completed the same way.
TEST_F(PhotoScan, FindsStoredFilesSizesAndThumbnailsInOrderOfPreference) {
  {
    builder::BackupBuilder backup(folder_.Path());
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
  const std::string before = testing_support::TreeSnapshot(folder_.Path());
  kind_scan::ScopedTimeZone zone;
  kind_scan::ExpectGolden("cases/photo-thumbnails.jsonl",
                          kind_scan::MaskedResults(Scan(), folder_.Path()));
  EXPECT_EQ(testing_support::TreeSnapshot(folder_.Path()), before);
}

}  // namespace
