// The host's reader of Photos.sqlite: both generations the builder writes,
// the real iOS 7 library, membership tables found when the entity numbers
// mislead, damaged and odd databases, and a WAL beside the file.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "builder/kinds/PhotoLibrary.h"
#include "integration/KindScanSupport.h"
#include "platform/PhotoLibrary.h"
#include "support/TestSupport.h"
#include "vorn/VRNUtilityFile.h"

namespace {

using host::PhotoLibrary;
using testing_support::ExecSql;
using testing_support::Json;
using testing_support::TempFolder;

struct Lists {
  rapidjson::Document photos{rapidjson::kArrayType};
  rapidjson::Document albums{rapidjson::kArrayType};
};

Lists Read(const PhotoLibrary& library) {
  Lists lists;
  library.CameraRoll(lists.photos, lists.photos.GetAllocator());
  library.Albums(lists.albums, lists.albums.GetAllocator());
  return lists;
}

std::vector<std::string> Paths(const rapidjson::Value& photos) {
  std::vector<std::string> paths;
  for (const auto& photo : photos.GetArray()) paths.push_back(photo["PATH"].GetString());
  return paths;
}

std::vector<std::string> AlbumPaths(const PhotoLibrary& library, int64_t id, int64_t type) {
  rapidjson::Document photos(rapidjson::kArrayType);
  library.AlbumPhotos(id, type, photos, photos.GetAllocator());
  return Paths(photos);
}

class PhotoReader : public testing::Test {
 protected:
  std::unique_ptr<PhotoLibrary> Open(const std::string& path) {
    return PhotoLibrary::Open(path, options_);
  }
  std::string Written(builder::PhotoSchema schema, const std::string& name = "Photos.sqlite") {
    std::string path = folder_ / name;
    builder::WritePhotosDatabase(path, builder::SamplePhotoLibrary(schema));
    return path;
  }
  TempFolder folder_;
  TempFolder temp_;
  host::PlatformOptions options_{temp_.Path()};
};

// The older generation's reading is in the golden output of the sample
// content; the newer one must read alike but for its album list, which lacks
// one album.
TEST_F(PhotoReader, BothGenerationsTheBuilderWritesReadAlike) {
  auto older = Open(Written(builder::PhotoSchema::kGenericAsset, "older.sqlite"));
  auto newer = Open(Written(builder::PhotoSchema::kAsset, "newer.sqlite"));
  ASSERT_TRUE(older && newer);
  EXPECT_EQ(newer->AssetTable(), "ZASSET");
  Lists lists = Read(*newer);
  EXPECT_EQ(Json(lists.photos), Json(Read(*older).photos));
  // An album's photos come in album order, not date order.
  kind_scan::ExpectGolden("cases/photo-reader-albums.jsonl",
                          {Json(lists.albums), testing::PrintToString(AlbumPaths(*newer, 2, 2)),
                           testing::PrintToString(AlbumPaths(*newer, 999, 2))});
}

TEST_F(PhotoReader, ReadsTheRealIos7Library) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  testing_support::ScopedTimeZone zone;
  auto library = Open(fixtures + "OTAPKI__iphone/CameraRollDomain/Media/PhotoData/Photos.sqlite");
  ASSERT_TRUE(library);
  EXPECT_EQ(library->AssetTable(), "ZGENERICASSET");
  Lists lists = Read(*library);
  // Seven photos; the camera roll album holds them all (its members through
  // the join table Z_11ASSETS: album is entity 11, the generic asset 17,
  // though the asset rows are entity 18) and the synced library none. The
  // digest covers every field of both lists.
  EXPECT_EQ(lists.photos.Size(), 7u);
  EXPECT_EQ(AlbumPaths(*library, 4, 1000), Paths(lists.photos));
  const std::string all = Json(lists.photos) + Json(lists.albums);
  EXPECT_EQ(VRNUtilityFile::Sha1Hex(all.data(), all.size()),
            "0088e4e0cf4c3d745fb58ec3e929c78998e78074");
}

TEST_F(PhotoReader, FindsTheMembershipTableWhenEntityNumbersMislead) {
  for (const char* damage : {"DELETE FROM Z_PRIMARYKEY", "DROP TABLE Z_PRIMARYKEY",
                             "UPDATE Z_PRIMARYKEY SET Z_ENT = Z_ENT + 100",
                             "UPDATE Z_PRIMARYKEY SET Z_NAME = 'Something'"}) {
    std::string path = Written(builder::PhotoSchema::kGenericAsset);
    ExecSql(path, damage);
    auto library = Open(path);
    ASSERT_TRUE(library) << damage;
    ASSERT_TRUE(library->Join()) << damage;
    // Not its key-asset neighbour, which shares the naming.
    EXPECT_EQ(library->Join()->table, "Z_23ASSETS") << damage;
    EXPECT_EQ(library->Join()->assetColumn, "Z_30ASSETS") << damage;
    EXPECT_EQ(Read(*library).photos.Size(), 12u) << damage;
    EXPECT_EQ(AlbumPaths(*library, 3, 2).size(), 4u) << damage;
  }
  // Without any membership table the albums are still listed, empty.
  std::string path = Written(builder::PhotoSchema::kAsset);
  ExecSql(path, "DROP TABLE Z_28ASSETS");
  auto library = Open(path);
  ASSERT_TRUE(library);
  EXPECT_FALSE(library->Join());
  Lists lists = Read(*library);
  ASSERT_EQ(lists.albums.Size(), 3u);
  EXPECT_EQ(lists.albums[0]["COUNT"].GetInt64(), 0);
  EXPECT_THAT(AlbumPaths(*library, 2, 2), testing::IsEmpty());
}

TEST_F(PhotoReader, SurvivesDamagedAndOddDatabases) {
  testing_support::ScopedTimeZone zone;
  EXPECT_FALSE(Open(""));
  EXPECT_FALSE(Open(folder_ / "missing.sqlite"));
  EXPECT_FALSE(Open(folder_.Path()));  // a folder
  testing_support::WriteFile(folder_ / "text.sqlite",
                             "this is not a database at all, " + std::string(5000, 'x'));
  EXPECT_FALSE(Open(folder_ / "text.sqlite"));
  testing_support::WriteFile(folder_ / "empty.sqlite", "");
  EXPECT_FALSE(Open(folder_ / "empty.sqlite"));
  std::string other = folder_ / "other.sqlite";
  ExecSql(other, "CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZTITLE TEXT)");
  EXPECT_FALSE(Open(other));  // no file columns: not a photo library

  // The fewest columns a library can have, NULL everywhere, wrong types and
  // absurd values.
  std::string odd = folder_ / "odd.sqlite";
  ExecSql(
      odd,
      "CREATE TABLE ZASSET (Z_PK INTEGER PRIMARY KEY, ZDIRECTORY, ZFILENAME, ZWIDTH, ZKIND, "
      "ZDURATION, ZDATECREATED, ZTRASHEDSTATE, ZADDITIONALATTRIBUTES);"
      "CREATE TABLE ZADDITIONALASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, ZORIGINALFILESIZE);"
      "CREATE TABLE ZGENERICALBUM (Z_PK, ZKIND);"
      "INSERT INTO ZASSET VALUES (1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
      "INSERT INTO ZASSET VALUES (2, 'DCIM', '', 1, 1, 1, 1, 1, 1);"
      "INSERT INTO ZASSET VALUES (3, 'DCIM', 'a.JPG', NULL, NULL, NULL, NULL, NULL, NULL);"
      "INSERT INTO ZASSET VALUES (4, X'FF00FE', '../../etc/' || X'C3', 'wide', 'video', 9e999, "
      "-9e999, 'yes', 4);"
      "INSERT INTO ZASSET VALUES (5, 'DCIM', printf('%.5000c', 'n'), 1e300, 1, -3, 1e300, 0, 5);"
      "INSERT INTO ZADDITIONALASSETATTRIBUTES VALUES (4, -5), (5, 1e300);"
      "INSERT INTO ZGENERICALBUM VALUES ('two', 2), (NULL, NULL), (7, 1552);");
  auto library = Open(odd);
  ASSERT_TRUE(library);
  EXPECT_FALSE(library->Join());
  // Sizes and durations stay finite and non-negative, text that is not UTF-8
  // is repaired, 'two' reads as album id 0 and the NULL kind is no listed kind.
  Lists lists = Read(*library);
  kind_scan::ExpectGolden("cases/photo-reader-odd.jsonl", {Json(lists.photos), Json(lists.albums)});

  // A file cut short: whatever opens is read, nothing breaks.
  std::string cut = Written(builder::PhotoSchema::kAsset);
  std::string bytes = testing_support::ReadFile(cut);
  testing_support::WriteFile(cut, bytes.substr(0, bytes.size() / 2));
  if (auto damaged = Open(cut)) Read(*damaged);
}

TEST_F(PhotoReader, ReadsAWalBesideTheDatabaseFromAPrivateCopy) {
  std::string path = Written(builder::PhotoSchema::kAsset);
  // Rows that live only in the WAL, as a device leaves them.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  ASSERT_EQ(sqlite3_exec(db,
                         "INSERT INTO ZASSET (Z_PK, Z_ENT, ZDIRECTORY, ZFILENAME, ZDATECREATED) "
                         "VALUES (100, 3, 'DCIM/101APPLE', 'IMG_0100.HEIC', 800000000)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  unlink((path + "-shm").c_str());
  struct stat wal;
  ASSERT_EQ(stat((path + "-wal").c_str(), &wal), 0);
  ASSERT_GT(wal.st_size, 0);
  const std::string before = testing_support::TreeSnapshot(folder_.Path());

  {
    auto library = Open(path);
    ASSERT_TRUE(library);
    std::vector<std::string> scratch = testing_support::FolderEntries(temp_.Path());
    ASSERT_EQ(scratch.size(), 1u);
    struct stat info;
    ASSERT_EQ(stat((temp_ / scratch[0]).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    std::vector<std::string> paths = Paths(Read(*library).photos);
    ASSERT_EQ(paths.size(), 13u);
    EXPECT_EQ(paths.back(), "DCIM/101APPLE/IMG_0100.HEIC");
  }
  EXPECT_THAT(testing_support::FolderEntries(temp_.Path()),
              testing::IsEmpty());  // the copy is gone
  EXPECT_EQ(testing_support::TreeSnapshot(folder_.Path()), before);

  // Without a usable temporary folder the main file alone is read.
  host::PlatformOptions nowhere{"/proc/no-such-folder/"};
  auto library = PhotoLibrary::Open(path, nowhere);
  ASSERT_TRUE(library);
  EXPECT_EQ(Read(*library).photos.Size(), 12u);
  EXPECT_EQ(testing_support::TreeSnapshot(folder_.Path()), before);
}

}  // namespace
