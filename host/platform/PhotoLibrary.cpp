#include "platform/PhotoLibrary.h"

#include <map>
#include <string_view>

#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"

namespace host {
namespace {

constexpr char kAttributes[] = "ZADDITIONALASSETATTRIBUTES";
constexpr char kAlbums[] = "ZGENERICALBUM";
constexpr int64_t kSyncedLibraryKind = 1552;
constexpr int64_t kSyncedAssetType = 256;

// The decimal digits between `prefix` and `suffix` that make up the whole of
// `name` ("Z_28ASSETS" -> "28"), or "".
std::string EntityNumberIn(std::string_view name, std::string_view prefix,
                           std::string_view suffix) {
  if (name.size() <= prefix.size() + suffix.size() || name.substr(0, prefix.size()) != prefix ||
      name.substr(name.size() - suffix.size()) != suffix)
    return "";
  std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (digits.size() > 9) return "";
  for (char c : digits)
    if (c < '0' || c > '9') return "";
  return std::string(digits);
}

// Core Data's entity numbers by entity name.
std::map<std::string, int64_t> EntityNumbers(const StoredDatabase& database) {
  std::map<std::string, int64_t> numbers;
  std::set<std::string> columns = database.Columns("Z_PRIMARYKEY");
  if (!columns.count("Z_ENT") || !columns.count("Z_NAME")) return numbers;
  Query query(database, "SELECT Z_ENT, Z_NAME FROM Z_PRIMARYKEY");
  while (query.Step()) numbers.emplace(std::string(query.Text(1)), query.Int64(0));
  return numbers;
}

// Seconds of a real column as whole seconds; 0 when out of range.
int64_t WholeSeconds(double seconds) {
  if (!(seconds > -9.2e18 && seconds < 9.2e18)) return 0;
  return static_cast<int64_t>(seconds);
}

void AddPhoto(const Query& row, rapidjson::Value& photos, PhotoLibrary::Allocator& allocator) {
  std::string_view directory = row.Text(1);
  std::string_view fileName = row.Text(2);
  // A photo without both cannot be found in a backup.
  if (directory.empty() || fileName.empty()) return;
  std::string path;
  path.reserve(directory.size() + 1 + fileName.size());
  path.append(directory).append(1, '/').append(fileName);
  int64_t size = row.Int64(3);
  int64_t created = WholeSeconds(row.Real(4));

  rapidjson::Value photo(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictInt64Value(photo, allocator, "Z_PK", row.Int64(0));
  PimJsonUtil::AddJsonDictStringValue(photo, allocator, "PATH", path);
  PimJsonUtil::AddJsonDictStringValue(photo, allocator, "FILENAME", fileName.data(),
                                      fileName.size());
  PimJsonUtil::AddJsonDictInt64Value(photo, allocator, "ZORIGINALFILESIZE", size > 0 ? size : 0);
  PimJsonUtil::AddJsonDictStringValue(photo, allocator, "DATE_CREATED",
                                      created ? Utils::Convert2001GMTtoDate(created) : "");
  PimJsonUtil::AddJsonDictInt64Value(photo, allocator, "WIDTH", row.Int64(5));
  PimJsonUtil::AddJsonDictInt64Value(photo, allocator, "HEIGHT", row.Int64(6));
  PimJsonUtil::AddJsonDictStringValue(photo, allocator, "KIND",
                                      row.Int64(7) == 1 ? "video" : "photo");
  photo.AddMember("DURATION", rapidjson::Value(row.Real(8)), allocator);
  PimJsonUtil::AddJsonDictBooleanValue(photo, allocator, "FAVORITE", row.Int64(9) != 0);
  PimJsonUtil::AddJsonDictBooleanValue(photo, allocator, "HIDDEN", row.Int64(10) != 0);
  PimJsonUtil::AddJsonDictBooleanValue(photo, allocator, "TRASHED", row.Int64(11) != 0);
  photos.PushBack(photo, allocator);
}

}  // namespace

std::unique_ptr<PhotoLibrary> PhotoLibrary::Open(const std::string& path,
                                                 const PlatformOptions& options) {
  std::unique_ptr<StoredDatabase> database = StoredDatabase::Open(path, options);
  if (!database) return nullptr;
  std::unique_ptr<PhotoLibrary> library(new PhotoLibrary(std::move(database)));
  if (!library->DiscoverSchema()) return nullptr;
  return library;
}

PhotoLibrary::PhotoLibrary(std::unique_ptr<StoredDatabase> database)
    : database_(std::move(database)) {}

bool PhotoLibrary::DiscoverSchema() {
  // iOS 14 renamed ZGENERICASSET to ZASSET.
  for (const char* table : {"ZASSET", "ZGENERICASSET"}) {
    std::set<std::string> columns = database_->Columns(table);
    if (columns.count("ZDIRECTORY") && columns.count("ZFILENAME")) {
      assetTable_ = table;
      assetColumns_ = std::move(columns);
      break;
    }
  }
  if (assetTable_.empty()) return false;
  attributeColumns_ = database_->Columns(kAttributes);
  albumColumns_ = database_->Columns(kAlbums);
  std::map<std::string, int64_t> entities = EntityNumbers(*database_);
  if (entities.count("Asset") && assetColumns_.count("Z_ENT")) {
    for (const auto& [name, number] : entities)
      if (name != "Asset" && name != "GenericAsset") otherEntities_.push_back(number);
  }
  DiscoverAlbumJoin();
  return true;
}

void PhotoLibrary::DiscoverAlbumJoin() {
  if (!assetColumns_.count("Z_PK")) return;
  join_ = JoinFromEntities();
  if (!join_) join_ = JoinFromTableScan();
}

// Z_<album entity>ASSETS with Z_<album entity>ALBUMS and Z_<asset entity>ASSETS.
std::optional<AlbumJoin> PhotoLibrary::JoinFromEntities() const {
  std::map<std::string, int64_t> entities = EntityNumbers(*database_);
  std::set<std::string> assetNumbers;
  for (const char* name : {"Asset", "GenericAsset"}) {
    auto found = entities.find(name);
    if (found != entities.end()) assetNumbers.insert(std::to_string(found->second));
  }
  for (const char* name : {"Album", "GenericAlbum"}) {
    auto found = entities.find(name);
    if (found == entities.end()) continue;
    std::string number = std::to_string(found->second);
    if (auto join = JoinIfValid("Z_" + number + "ASSETS", number, assetNumbers)) return join;
  }
  return std::nullopt;
}

// Entity numbers that do not lead to the table: any Z_<n>ASSETS table whose
// columns are Z_<n>ALBUMS and some Z_<m>ASSETS is the membership table.
std::optional<AlbumJoin> PhotoLibrary::JoinFromTableScan() const {
  for (const std::string& table : database_->Tables()) {
    std::string number = EntityNumberIn(table, "Z_", "ASSETS");
    if (number.empty()) continue;
    if (auto join = JoinIfValid(table, number, {})) return join;
  }
  return std::nullopt;
}

std::optional<AlbumJoin> PhotoLibrary::JoinIfValid(
    const std::string& table, const std::string& albumNumber,
    const std::set<std::string>& assetNumbers) const {
  std::set<std::string> columns = database_->Columns(table);
  AlbumJoin join;
  join.table = table;
  join.albumColumn = "Z_" + albumNumber + "ALBUMS";
  if (!columns.count(join.albumColumn)) return std::nullopt;
  std::string assetNumber;
  for (const std::string& column : columns) {
    std::string number = EntityNumberIn(column, "Z_", "ASSETS");
    if (number.empty()) continue;
    // One of the asset entities' own numbers wins over any other.
    if (assetNumber.empty() || assetNumbers.count(number)) assetNumber = number;
    if (assetNumbers.count(number)) break;
  }
  if (assetNumber.empty()) return std::nullopt;
  join.assetColumn = "Z_" + assetNumber + "ASSETS";
  std::string order = "Z_FOK_" + assetNumber + "ASSETS";
  if (columns.count(order)) join.orderColumn = order;
  return join;
}

std::string PhotoLibrary::AssetColumn(const char* column) const {
  return assetColumns_.count(column) ? std::string("a.") + column : "NULL";
}

std::string PhotoLibrary::AttributeColumn(const char* column) const {
  if (!attributeColumns_.count(column)) return "NULL";
  std::string select = std::string("(SELECT aa.") + column + " FROM " + kAttributes + " aa WHERE ";
  if (assetColumns_.count("ZADDITIONALATTRIBUTES") && attributeColumns_.count("Z_PK"))
    return select + "aa.Z_PK = a.ZADDITIONALATTRIBUTES LIMIT 1)";
  if (attributeColumns_.count("ZASSET") && assetColumns_.count("Z_PK"))
    return select + "aa.ZASSET = a.Z_PK LIMIT 1)";
  return "NULL";
}

// Columns in the order AddPhoto reads them.
std::string PhotoLibrary::PhotoSelectList() const {
  // iOS 7 keeps the duration with the additional attributes.
  std::string duration =
      assetColumns_.count("ZDURATION") ? "a.ZDURATION" : AttributeColumn("ZDURATION");
  return "SELECT " + AssetColumn("Z_PK") + ", a.ZDIRECTORY, a.ZFILENAME, " +
         AttributeColumn("ZORIGINALFILESIZE") + ", " + AssetColumn("ZDATECREATED") + ", " +
         AssetColumn("ZWIDTH") + ", " + AssetColumn("ZHEIGHT") + ", " + AssetColumn("ZKIND") +
         ", " + duration + ", " + AssetColumn("ZFAVORITE") + ", " + AssetColumn("ZHIDDEN") + ", " +
         AssetColumn("ZTRASHEDSTATE");
}

void PhotoLibrary::AppendPhotos(const std::string& sql, const int64_t* albumId,
                                rapidjson::Value& photos, Allocator& allocator) const {
  Query query(*database_, sql);
  if (albumId) query.Bind(1, *albumId);
  while (query.Step()) AddPhoto(query, photos, allocator);
}

void PhotoLibrary::CameraRoll(rapidjson::Value& photos, Allocator& allocator) const {
  std::string sql = PhotoSelectList() + " FROM " + QuoteIdentifier(assetTable_) +
                    " a WHERE a.ZDIRECTORY IS NOT NULL AND a.ZFILENAME IS NOT NULL";
  if (!otherEntities_.empty()) {
    sql += " AND IFNULL(a.Z_ENT, -1) NOT IN (";
    for (size_t i = 0; i < otherEntities_.size(); ++i)
      sql += (i ? "," : "") + std::to_string(otherEntities_[i]);
    sql += ")";
  }
  // Burst frames that were not picked are not shown by the device either.
  if (assetColumns_.count("ZVISIBILITYSTATE")) sql += " AND IFNULL(a.ZVISIBILITYSTATE, 0) = 0";
  sql += " ORDER BY ";
  if (assetColumns_.count("ZDATECREATED")) sql += "a.ZDATECREATED, ";
  sql += assetColumns_.count("Z_PK") ? "a.Z_PK" : "a.rowid";
  AppendPhotos(sql, nullptr, photos, allocator);
}

std::string PhotoLibrary::AlbumSource(int64_t albumId, int64_t albumType, bool counting) const {
  const std::string asset = QuoteIdentifier(assetTable_);
  const std::string located = " AND a.ZDIRECTORY IS NOT NULL AND a.ZFILENAME IS NOT NULL";
  if (join_) {
    const std::string table = QuoteIdentifier(join_->table);
    const std::string albumColumn = "j." + QuoteIdentifier(join_->albumColumn);
    const std::string assetColumn = "j." + QuoteIdentifier(join_->assetColumn);
    Query members(*database_, "SELECT count(*) FROM " + table + " j WHERE " + albumColumn + " = ?");
    members.Bind(1, albumId);
    if (members.Step() && members.Int64(0) > 0) {
      std::string source = " FROM " + table + " j JOIN " + asset + " a ON a.Z_PK = " + assetColumn +
                           " WHERE " + albumColumn + " = ?1" + located;
      if (counting) return source;
      if (!join_->orderColumn.empty())
        source += " ORDER BY j." + QuoteIdentifier(join_->orderColumn) + ", " + assetColumn;
      else
        source += " ORDER BY " + assetColumn;
      return source;
    }
  }
  // Older devices listed a computer-synced library by the assets' origin.
  if (albumType == kSyncedLibraryKind && assetColumns_.count("ZSAVEDASSETTYPE")) {
    std::string source = " FROM " + asset +
                         " a WHERE a.ZSAVEDASSETTYPE = " + std::to_string(kSyncedAssetType) +
                         " AND ?1 IS NOT NULL" + located;
    if (!counting) source += assetColumns_.count("Z_PK") ? " ORDER BY a.Z_PK" : " ORDER BY a.rowid";
    return source;
  }
  return "";
}

int64_t PhotoLibrary::CountAlbumPhotos(int64_t albumId, int64_t albumType) const {
  std::string source = AlbumSource(albumId, albumType, true);
  if (source.empty()) return 0;
  Query query(*database_, "SELECT count(*)" + source);
  query.Bind(1, albumId);
  return query.Step() ? query.Int64(0) : 0;
}

void PhotoLibrary::AlbumPhotos(int64_t albumId, int64_t albumType, rapidjson::Value& photos,
                               Allocator& allocator) const {
  std::string source = AlbumSource(albumId, albumType, false);
  if (source.empty()) return;
  AppendPhotos(PhotoSelectList() + source, &albumId, photos, allocator);
}

void PhotoLibrary::Albums(rapidjson::Value& albums, Allocator& allocator) const {
  if (!albumColumns_.count("Z_PK") || !albumColumns_.count("ZKIND")) return;
  std::string kinds;
  for (int64_t kind : kListedAlbumKinds) kinds += (kinds.empty() ? "" : ",") + std::to_string(kind);
  std::string sql = std::string("SELECT g.Z_PK, g.ZKIND, ") +
                    (albumColumns_.count("ZTITLE") ? "g.ZTITLE" : "NULL") + " FROM " + kAlbums +
                    " g WHERE g.ZKIND IN (" + kinds + ")";
  if (albumColumns_.count("ZTRASHEDSTATE")) sql += " AND IFNULL(g.ZTRASHEDSTATE, 0) = 0";
  sql += " ORDER BY g.Z_PK";
  Query query(*database_, sql);
  while (query.Step()) {
    int64_t id = query.Int64(0);
    int64_t kind = query.Int64(1);
    std::string_view title = query.Text(2);
    rapidjson::Value album(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictInt64Value(album, allocator, "Z_PK", id);
    PimJsonUtil::AddJsonDictInt64Value(album, allocator, "TYPE", kind);
    PimJsonUtil::AddJsonDictStringValue(album, allocator, "TITLE", title.data(), title.size());
    PimJsonUtil::AddJsonDictInt64Value(album, allocator, "COUNT", CountAlbumPhotos(id, kind));
    albums.PushBack(album, allocator);
  }
}

}  // namespace host
