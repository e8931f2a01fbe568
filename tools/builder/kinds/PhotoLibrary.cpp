#include "builder/kinds/PhotoLibrary.h"

#include <cstdio>
#include <utility>

#include "builder/BinaryPlist.h"
#include "builder/kinds/SqlFile.h"

namespace builder {
namespace {

constexpr char kDomain[] = "CameraRollDomain";
constexpr char kDatabasePath[] = "Media/PhotoData/Photos.sqlite";

// Core Data's entity table of one generation, and the numbers that name the
// membership table and its columns.
struct Generation {
  const char* assetTable;
  std::vector<std::pair<const char*, int>> entities;  // name, super entity (0: a root)
  int assetEntity;                                    // Z_ENT of the asset rows
  int assetColumnEntity;  // the asset entity named by the membership columns
  int albumEntity;        // Z_ENT of user albums, and the membership table's number
  int rootFolderEntity;
};

// Entities numbered from 1 in list order.
const Generation& GenerationOf(PhotoSchema schema) {
  static const Generation kGeneric = {
      "ZGENERICASSET",
      {{"AdditionalAssetAttributes", 0},
       {"Adjustment", 0},
       {"AlbumList", 0},
       {"CloudFeedEntry", 0},
       {"CloudFeedAssetsEntry", 4},
       {"CloudFeedCommentsEntry", 4},
       {"CloudMaster", 0},
       {"CloudMasterMediaMetadata", 0},
       {"CloudResource", 0},
       {"CloudSharedAlbumInvitationRecord", 0},
       {"CloudSharedComment", 0},
       {"ComputedAssetAttributes", 0},
       {"DeferredRebuildFace", 0},
       {"DetectedFace", 0},
       {"DetectedFaceGroup", 0},
       {"DetectedFacePrint", 0},
       {"FaceCrop", 0},
       {"FileSystemBookmark", 0},
       {"FileSystemVolume", 0},
       {"Keyword", 0},
       {"LegacyFace", 0},
       {"GenericAlbum", 0},
       {"Album", 22},
       {"CloudSharedAlbum", 23},
       {"FetchingAlbum", 22},
       {"Folder", 22},
       {"ImportSession", 22},
       {"LegacyFaceAlbum", 23},
       {"ProjectAlbum", 23},
       {"GenericAsset", 0},
       {"Asset", 30},
       {"Memory", 0},
       {"Moment", 0},
       {"MomentList", 0},
       {"Person", 0},
       {"SidecarFile", 0}},
      31,
      30,
      23,
      26,
  };
  static const Generation kAsset = {
      "ZASSET",
      {{"AdditionalAssetAttributes", 0},
       {"Adjustment", 0},
       {"Asset", 0},
       {"AssetAnalysisState", 0},
       {"AssetDescription", 0},
       {"AssetResourceUploadJob", 0},
       {"CloudFeedEntry", 0},
       {"CloudFeedAssetsEntry", 7},
       {"CloudFeedCommentsEntry", 7},
       {"CloudMaster", 0},
       {"CloudMasterMediaMetadata", 0},
       {"CloudResource", 0},
       {"CloudSharedAlbumInvitationRecord", 0},
       {"CloudSharedComment", 0},
       {"CodecRenderHints", 0},
       {"ComputedAssetAttributes", 0},
       {"DeferredRebuildFace", 0},
       {"DetectedFace", 0},
       {"DetectedFaceGroup", 0},
       {"DetectedFaceprint", 0},
       {"ExtendedAttributes", 0},
       {"FaceCrop", 0},
       {"FileSystemBookmark", 0},
       {"FileSystemVolume", 0},
       {"FeaturedState", 0},
       {"FileHash", 0},
       {"GenericAlbum", 0},
       {"Album", 27},
       {"CloudSharedAlbum", 28},
       {"FetchingAlbum", 27},
       {"Folder", 27},
       {"ImportSession", 27},
       {"Keyword", 0},
       {"Memory", 0},
       {"Moment", 0}},
      3,
      3,
      28,
      31,
  };
  return schema == PhotoSchema::kAsset ? kAsset : kGeneric;
}

std::string Number(int value) {
  return std::to_string(value);
}

std::string MetadataPlist() {
  BinaryPlistWriter writer;
  BinaryPlistWriter::Ref key = writer.String("NSStoreType");
  BinaryPlistWriter::Ref value = writer.String("SQLite");
  BinaryPlistWriter::Ref modelKey = writer.String("NSStoreModelVersionIdentifiers");
  BinaryPlistWriter::Ref modelValue = writer.Array({writer.String("")});
  std::string out;
  writer.Write(writer.Dict({{key, value}, {modelKey, modelValue}}), out);
  return out;
}

void WriteCoreData(SqlFile& file, const Generation& generation, const PhotoLibrarySpec& library) {
  file.Exec(
      "CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME VARCHAR, Z_SUPER INTEGER, "
      "Z_MAX INTEGER)");
  file.Exec(
      "CREATE TABLE Z_METADATA (Z_VERSION INTEGER PRIMARY KEY, Z_UUID VARCHAR(255), "
      "Z_PLIST BLOB)");
  file.Exec("CREATE TABLE Z_MODELCACHE (Z_CONTENT BLOB)");
  int number = 0;
  for (const auto& [name, super] : generation.entities) {
    ++number;
    int64_t max = 0;
    if (number == generation.assetEntity) max = static_cast<int64_t>(library.assets.size());
    if (number == generation.albumEntity) max = static_cast<int64_t>(library.albums.size()) + 2;
    if (std::string(name) == "AdditionalAssetAttributes")
      max = static_cast<int64_t>(library.assets.size());
    file.Run("INSERT INTO Z_PRIMARYKEY VALUES (?, ?, ?, ?)",
             {int64_t{number}, std::string(name), int64_t{super}, max});
  }
  file.Run("INSERT INTO Z_METADATA VALUES (1, ?, ?)",
           {std::string("6B3F0D6E-2C1A-4F7B-9E55-1D2B8C4A7F10"), MetadataPlist()});
}

void WriteAssets(SqlFile& file, const Generation& generation, const PhotoLibrarySpec& library) {
  const std::string table = generation.assetTable;
  file.Exec("CREATE TABLE " + table +
            " (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, ZCOMPLETE INTEGER, "
            "ZFAVORITE INTEGER, ZHIDDEN INTEGER, ZKIND INTEGER, ZKINDSUBTYPE INTEGER, "
            "ZSAVEDASSETTYPE INTEGER, ZTRASHEDSTATE INTEGER, ZVISIBILITYSTATE INTEGER, "
            "ZHEIGHT INTEGER, ZWIDTH INTEGER, ZADDITIONALATTRIBUTES INTEGER, ZMOMENT INTEGER, "
            "ZADDEDDATE TIMESTAMP, ZDATECREATED TIMESTAMP, ZDURATION FLOAT, "
            "ZMODIFICATIONDATE TIMESTAMP, ZTRASHEDDATE TIMESTAMP, ZDIRECTORY VARCHAR, "
            "ZFILENAME VARCHAR, ZUNIFORMTYPEIDENTIFIER VARCHAR, ZUUID VARCHAR)");
  file.Exec("CREATE INDEX " + table + "_ZDATECREATED ON " + table + " (ZDATECREATED)");
  file.Exec(
      "CREATE TABLE ZADDITIONALASSETATTRIBUTES (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, "
      "Z_OPT INTEGER, ZORIGINALFILESIZE INTEGER, ZORIGINALHEIGHT INTEGER, ZORIGINALWIDTH "
      "INTEGER, ZASSET INTEGER, ZORIGINALFILENAME VARCHAR, ZTIMEZONENAME VARCHAR)");
  const std::string insert = "INSERT INTO " + table +
                             " VALUES (?, ?, 1, 1, ?, ?, ?, 0, ?, ?, ?, ?, ?, ?, NULL, ?, ?, ?, ?, "
                             "?, ?, ?, ?, ?)";
  for (size_t i = 0; i < library.assets.size(); ++i) {
    const PhotoAsset& asset = library.assets[i];
    const int64_t pk = static_cast<int64_t>(i) + 1;
    char uuid[64];
    std::snprintf(uuid, sizeof uuid, "A1B2C3D4-0000-4000-8000-%012lld", static_cast<long long>(pk));
    std::string type = asset.kind == 1 ? "com.apple.quicktime-movie" : "public.jpeg";
    file.Run(insert, {pk,
                      int64_t{generation.assetEntity},
                      int64_t{asset.favorite},
                      int64_t{asset.hidden},
                      int64_t{asset.kind},
                      int64_t{asset.savedAssetType},
                      int64_t{asset.trashed},
                      int64_t{asset.visibility},
                      asset.height,
                      asset.width,
                      pk,
                      asset.created,
                      asset.created,
                      asset.duration,
                      asset.created,
                      asset.trashed ? SqlValue(asset.created + 86400) : SqlValue(nullptr),
                      asset.directory,
                      asset.fileName,
                      type,
                      std::string(uuid)});
    int64_t size = asset.originalFileSize >= 0 ? asset.originalFileSize
                                               : static_cast<int64_t>(PhotoContent(asset).size());
    file.Run(
        "INSERT INTO ZADDITIONALASSETATTRIBUTES VALUES (?, 1, 1, ?, ?, ?, ?, ?, ?)",
        {pk, size, asset.height, asset.width, pk, asset.fileName, std::string("Europe/Zurich")});
  }
}

void WriteAlbums(SqlFile& file, const Generation& generation, const PhotoLibrarySpec& library) {
  const std::string album = Number(generation.albumEntity);
  const std::string asset = Number(generation.assetColumnEntity);
  file.Exec(
      "CREATE TABLE ZGENERICALBUM (Z_PK INTEGER PRIMARY KEY, Z_ENT INTEGER, Z_OPT INTEGER, "
      "ZCACHEDCOUNT INTEGER, ZCACHEDPHOTOSCOUNT INTEGER, ZCACHEDVIDEOSCOUNT INTEGER, ZKIND "
      "INTEGER, ZTRASHEDSTATE INTEGER, ZPARENTFOLDER INTEGER, Z_FOK_PARENTFOLDER INTEGER, "
      "ZCREATIONDATE TIMESTAMP, ZTITLE VARCHAR, ZUUID VARCHAR)");
  file.Exec("CREATE TABLE Z_" + album + "ASSETS (Z_" + album + "ALBUMS INTEGER, Z_" + asset +
            "ASSETS INTEGER, Z_FOK_" + asset + "ASSETS INTEGER, PRIMARY KEY (Z_" + album +
            "ALBUMS, Z_" + asset + "ASSETS))");
  file.Exec("CREATE INDEX Z_" + album + "ASSETS_Z_" + asset + "ASSETS_INDEX ON Z_" + album +
            "ASSETS (Z_" + asset + "ASSETS, Z_" + album + "ALBUMS)");
  // A key-asset table beside it, which shares the naming but is no membership.
  file.Exec("CREATE TABLE Z_" + album + "KEYASSETS (Z_" + album + "ALBUMS INTEGER, Z_" + asset +
            "KEYASSETS INTEGER)");

  const std::string insertAlbum =
      "INSERT INTO ZGENERICALBUM VALUES (?, ?, 1, ?, ?, 0, ?, ?, ?, NULL, 700000000, ?, ?)";
  // The root of the album tree first, as on a device; it holds no photos.
  file.Run(insertAlbum, {int64_t{1}, int64_t{generation.rootFolderEntity}, int64_t{0}, int64_t{0},
                         int64_t{3999}, int64_t{0}, nullptr, nullptr, std::string("ROOT-FOLDER")});
  int64_t pk = 1;
  for (const PhotoAlbum& entry : library.albums) {
    ++pk;
    const int64_t count = static_cast<int64_t>(entry.members.size());
    file.Run(insertAlbum,
             {pk, int64_t{generation.albumEntity}, count, count, entry.kind, int64_t{entry.trashed},
              int64_t{1}, entry.title.empty() ? SqlValue(nullptr) : SqlValue(entry.title),
              "ALBUM-" + Number(static_cast<int>(pk))});
    int64_t position = 0;
    for (size_t member : entry.members) {
      position += 1024;
      file.Run("INSERT INTO Z_" + album + "ASSETS VALUES (?, ?, ?)",
               {pk, static_cast<int64_t>(member) + 1, position});
    }
  }
  // A smart album the device computes; it has no membership rows.
  file.Run(insertAlbum, {pk + 1, int64_t{generation.rootFolderEntity}, int64_t{0}, int64_t{0},
                         int64_t{1602}, int64_t{0}, int64_t{1}, nullptr, std::string("SMART")});
}

}  // namespace

std::string PhotoContent(const PhotoAsset& asset) {
  if (!asset.content.empty()) return asset.content;
  // A JPEG or QuickTime start, then bytes that differ from photo to photo.
  std::string bytes = asset.kind == 1 ? std::string(
                                            "\0\0\0\x14"
                                            "ftypqt  ",
                                            12)
                                      : std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0", 11);
  bytes += asset.directory + "/" + asset.fileName;
  bytes.append(100 + asset.fileName.size() * 7, 'x');
  return bytes;
}

std::vector<PhotoAsset> NumberedPhotos(size_t count, const std::string& directory) {
  std::vector<PhotoAsset> assets(count);
  for (size_t i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%04zu.JPG", i + 1);
    assets[i].directory = directory;
    assets[i].fileName = name;
    assets[i].created = 700000000 + 60.0 * static_cast<double>(i);
  }
  return assets;
}

void WritePhotosDatabase(const std::string& path, const PhotoLibrarySpec& library) {
  const Generation& generation = GenerationOf(library.schema);
  SqlFile file(path);
  WriteCoreData(file, generation, library);
  WriteAssets(file, generation, library);
  WriteAlbums(file, generation, library);
  file.Close();
}

void AddPhotoLibrary(BackupBuilder& backup, const PhotoLibrarySpec& library) {
  ScratchPath database("Photos.sqlite");
  WritePhotosDatabase(database.Path(), library);
  backup.AddFileFromDisk(kDomain, kDatabasePath, database.Path());
  for (const PhotoAsset& asset : library.assets) {
    const std::string path = asset.directory + "/" + asset.fileName;
    if (asset.stored) backup.AddFile(kDomain, "Media/" + path, PhotoContent(asset));
    if (asset.thumbnail)
      backup.AddFile(kDomain, "Media/PhotoData/Thumbnails/V2/" + path + "/5003.JPG",
                     "\xFF\xD8\xFF\xE0 thumbnail of " + path);
  }
}

PhotoLibrarySpec SamplePhotoLibrary(PhotoSchema schema) {
  PhotoLibrarySpec library;
  library.schema = schema;
  library.assets = NumberedPhotos(12);
  PhotoAsset& video = library.assets[3];
  video.fileName = "IMG_0004.MOV";
  video.kind = 1;
  video.duration = 12.5;
  library.assets[5].trashed = true;
  library.assets[6].hidden = true;
  library.assets[7].favorite = true;
  library.assets[8].originalFileSize = 0;  // the size comes from the stored file
  library.assets[9].stored = false;        // kept in iCloud only
  for (size_t i = 0; i < library.assets.size(); i += 2) library.assets[i].thumbnail = true;
  library.albums.push_back({2, "Holidays", {0, 2, 4, 3}});
  library.albums.push_back({2, "Empty album", {}});
  library.albums.push_back({1505, "Shared with family", {7, 1}});
  if (schema == PhotoSchema::kGenericAsset) {
    PhotoAlbum cameraRoll{1000, "", {}};
    for (size_t i = 0; i < library.assets.size(); ++i) cameraRoll.members.push_back(i);
    library.albums.insert(library.albums.begin(), cameraRoll);
  }
  return library;
}

// A device has one photo library: a sample asked for after another gives way,
// so that every sample can go into one backup.
void AddSamplePhotosGenericAsset(BackupBuilder& backup) {
  if (!backup.Lists(kDomain, kDatabasePath))
    AddPhotoLibrary(backup, SamplePhotoLibrary(PhotoSchema::kGenericAsset));
}

void AddSamplePhotosAsset(BackupBuilder& backup) {
  if (!backup.Lists(kDomain, kDatabasePath))
    AddPhotoLibrary(backup, SamplePhotoLibrary(PhotoSchema::kAsset));
}

}  // namespace builder
