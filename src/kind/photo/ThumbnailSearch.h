// The last resort of the thumbnail rules: the first record of the file map,
// in map order, that is a regular file, is not the photo's own file and
// whose relative path contains the photo's path.
//
// Done plainly that is a pass over the whole map per photo; a camera roll of
// tens of thousands of photos against a manifest of a million rows would take
// hours. ThumbnailSearch answers a batch of photo paths with one pass and
// remembers every answer, found or not, for the rest of the run (the map does
// not change during a run), with the same results as the plain rule.
#ifndef KELDRA_KIND_PHOTO_THUMBNAILSEARCH_H_
#define KELDRA_KIND_PHOTO_THUMBNAILSEARCH_H_

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "backup/FileMap.h"
#include "backup/ManifestFile.h"

namespace keldra {

// Where a photo whose host path is P lies in the backup: "Media/" + P.
std::string PhotoRelativePath(std::string_view photoPath);

// The rule itself, one pass over the map: the reference the search is
// measured against.
const ManifestFile* FirstContainingPlain(const FileMap& map, std::string_view photoPath);

class ThumbnailSearch {
 public:
  explicit ThumbnailSearch(const FileMap& map) : map_(map) {}

  // Answers every path not answered before, in one pass over the map.
  void Prepare(const std::vector<std::string_view>& photoPaths);
  // FirstContainingPlain's answer; a path not prepared is prepared alone.
  const ManifestFile* Find(std::string_view photoPath);

  // Passes made over the map so far.
  size_t Passes() const { return passes_; }

 private:
  const FileMap& map_;
  std::unordered_map<std::string, const ManifestFile*> answers_;
  size_t passes_ = 0;
};

}  // namespace keldra

#endif  // KELDRA_KIND_PHOTO_THUMBNAILSEARCH_H_
