// Completes the host's photo objects with where the photo and its thumbnail
// lie in the backup, and their sizes.
#ifndef KELDRA_KIND_PHOTO_PHOTOFILES_H_
#define KELDRA_KIND_PHOTO_PHOTOFILES_H_

#include <map>
#include <string>
#include <string_view>

#include "backup/FileMap.h"
#include "kind/PlaintextSizes.h"
#include "kind/photo/ThumbnailSearch.h"
#include "vorn/Json.h"

namespace keldra {

// A photo's "RELATIVE_PATH" -> the record found for it as its thumbnail by
// the search of the whole map; one per run.
using ThumbnailCache = std::map<std::string, const ManifestFile*, std::less<>>;

class PhotoFiles {
 public:
  using Allocator = rapidjson::Document::AllocatorType;

  explicit PhotoFiles(const FileMap& map) : map_(map), search_(map) {}

  // Looks up, in one pass over the map, every photo of the list that will
  // need the whole-map search, so that Resolve finds its answer waiting.
  void PrepareThumbnails(const rapidjson::Value& photos);

  // Completes one photo object whose "PATH", as the host sent it, is
  // `photoPath`: "PATH" becomes the stored file, "ZORIGINALFILESIZE" its size
  // when the host gave 0, "RELATIVE_PATH" and the thumbnail members are
  // appended.
  void Resolve(rapidjson::Value& photo, std::string_view photoPath, Allocator& allocator);

  // Resolves every object of the list that carries a string "PATH"; other
  // elements pass unchanged.
  void ResolveAll(rapidjson::Value& photos, Allocator& allocator);

  const ThumbnailSearch& Search() const { return search_; }

  // Complete reading: sizes are of the content, not of the padded ciphertext
  // an encrypted backup stores.
  void MeasureContent() { measureContent_ = true; }

 private:
  // First rule that gives a record: the cache, the 5003.JPG beside the
  // photo's thumbnail folder, the whole-map search.
  const ManifestFile* FindThumbnail(const std::string& relativePath, std::string_view photoPath);
  int64_t SizeOf(const ManifestFile& record);

  const FileMap& map_;
  ThumbnailCache cache_;
  ThumbnailSearch search_;
  bool measureContent_ = false;
  PlaintextSizes sizes_;
};

// The V2 thumbnail a device keeps for a photo whose host path is P.
std::string V2ThumbnailPath(std::string_view photoPath);

}  // namespace keldra

#endif  // KELDRA_KIND_PHOTO_PHOTOFILES_H_
