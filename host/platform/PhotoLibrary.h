// A reader of Photos.sqlite for every generation from iOS 7 on. The schema of
// the file at hand is found by inspection, never from the version alone: the
// asset table (ZASSET, or ZGENERICASSET before it), the columns each table
// has, and the album membership table, whose name and columns carry Core
// Data entity numbers that move between releases.
#ifndef HOST_PLATFORM_PHOTOLIBRARY_H_
#define HOST_PLATFORM_PHOTOLIBRARY_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/StoredDatabase.h"
#include "vorn/Json.h"

namespace host {

// The album <-> asset join table and its columns.
struct AlbumJoin {
  std::string table;
  std::string albumColumn;
  std::string assetColumn;
  std::string orderColumn;  // "" when the table keeps no order
};

// The album kinds listed: user albums, the camera roll album, photo stream,
// shared albums and albums synced from a computer.
inline constexpr int64_t kListedAlbumKinds[] = {2, 1000, 1500, 1505, 1550, 1552};

class PhotoLibrary {
 public:
  using Allocator = rapidjson::Document::AllocatorType;

  // Null when the file is no database or has no asset table with a
  // directory and a file name column.
  static std::unique_ptr<PhotoLibrary> Open(const std::string& path,
                                            const PlatformOptions& options);

  // Appends photo objects: every visible asset with a file, oldest first.
  void CameraRoll(rapidjson::Value& photos, Allocator& allocator) const;
  // Appends album objects {"Z_PK","TYPE","TITLE","COUNT"}.
  void Albums(rapidjson::Value& albums, Allocator& allocator) const;
  // Appends the photo objects of one album, in the album's order.
  void AlbumPhotos(int64_t albumId, int64_t albumType, rapidjson::Value& photos,
                   Allocator& allocator) const;

  const std::string& AssetTable() const { return assetTable_; }
  const std::optional<AlbumJoin>& Join() const { return join_; }

 private:
  explicit PhotoLibrary(std::unique_ptr<StoredDatabase> database);
  bool DiscoverSchema();
  void DiscoverAlbumJoin();
  std::optional<AlbumJoin> JoinFromEntities() const;
  std::optional<AlbumJoin> JoinFromTableScan() const;
  std::optional<AlbumJoin> JoinIfValid(const std::string& table, const std::string& albumNumber,
                                       const std::set<std::string>& assetNumbers) const;

  std::string AssetColumn(const char* column) const;
  std::string AttributeColumn(const char* column) const;
  std::string PhotoSelectList() const;
  // FROM and WHERE (and ORDER BY unless counting) of one album's photos;
  // its parameter 1 is the album id. Empty when the album has no source.
  std::string AlbumSource(int64_t albumId, int64_t albumType, bool counting) const;
  int64_t CountAlbumPhotos(int64_t albumId, int64_t albumType) const;
  void AppendPhotos(const std::string& sql, const int64_t* albumId, rapidjson::Value& photos,
                    Allocator& allocator) const;

  std::unique_ptr<StoredDatabase> database_;
  std::string assetTable_;
  std::set<std::string> assetColumns_;
  std::set<std::string> attributeColumns_;
  std::set<std::string> albumColumns_;
  // Entities of the asset table's other rows (wallpapers and the like); rows
  // of entities the metadata does not name are kept.
  std::vector<int64_t> otherEntities_;
  std::optional<AlbumJoin> join_;
};

}  // namespace host

#endif  // HOST_PLATFORM_PHOTOLIBRARY_H_
