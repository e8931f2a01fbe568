// The camera roll of a device: Photos.sqlite in one of its schema
// generations, with its Core Data metadata and album membership table, the
// original files and, for some photos, the V2 thumbnails.
#ifndef KELDRA_BUILDER_KINDS_PHOTOLIBRARY_H_
#define KELDRA_BUILDER_KINDS_PHOTOLIBRARY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"

namespace builder {

enum class PhotoSchema {
  kGenericAsset,  // ZGENERICASSET, as iOS 12 lays it out (join table Z_23ASSETS)
  kAsset,         // ZASSET, as iOS 16 lays it out (join table Z_28ASSETS)
};

struct PhotoAsset {
  std::string directory = "DCIM/100APPLE";
  std::string fileName;
  int kind = 0;  // 0 photo, 1 video
  int64_t width = 3024;
  int64_t height = 4032;
  double created = 700000000;  // seconds since 2001
  double duration = 0;
  bool favorite = false;
  bool hidden = false;
  bool trashed = false;
  int visibility = 0;             // 2: a burst frame that was not picked
  int savedAssetType = 3;         // 3: taken on the device
  int64_t originalFileSize = -1;  // -1: the stored content's size
  bool stored = true;             // the original is in the backup
  std::string content;            // "" : a few bytes made from the name
  bool thumbnail = false;         // Thumbnails/V2/<dir>/<file>/5003.JPG in the backup
};

struct PhotoAlbum {
  int64_t kind = 2;  // 2 a user album, 1000 the camera roll, 1552 a synced library, ...
  std::string title;
  std::vector<size_t> members;  // indexes into the assets, in album order
  bool trashed = false;
};

struct PhotoLibrarySpec {
  PhotoSchema schema = PhotoSchema::kAsset;
  std::vector<PhotoAsset> assets;
  std::vector<PhotoAlbum> albums;
};

// The database alone, written to `path`.
void WritePhotosDatabase(const std::string& path, const PhotoLibrarySpec& library);

// The database at CameraRollDomain Media/PhotoData/Photos.sqlite, the
// originals at Media/<dir>/<file> and the thumbnails asked for.
void AddPhotoLibrary(BackupBuilder& backup, const PhotoLibrarySpec& library);

// What a stored original holds when the asset gives no content.
std::string PhotoContent(const PhotoAsset& asset);

// `count` photos named IMG_0001.JPG onwards, one minute apart.
std::vector<PhotoAsset> NumberedPhotos(size_t count,
                                       const std::string& directory = "DCIM/100APPLE");

// A small library of either generation: photos and a video, a trashed and a
// hidden photo, two user albums, system albums, thumbnails for some. The
// samples add nothing to a backup that has a photo library already.
PhotoLibrarySpec SamplePhotoLibrary(PhotoSchema schema);
void AddSamplePhotosGenericAsset(BackupBuilder& backup);
void AddSamplePhotosAsset(BackupBuilder& backup);

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_PHOTOLIBRARY_H_
