#include "kind/photo/PhotoFiles.h"

#include "kind/kind.h"

#include <vector>

#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

// The host's "PATH" of a photo object, when it is a string.
bool PhotoPathOf(const rapidjson::Value& photo, std::string_view& path) {
  if (!photo.IsObject()) return false;
  auto member = photo.FindMember("PATH");
  if (member == photo.MemberEnd() || !member->value.IsString()) return false;
  path = std::string_view(member->value.GetString(), member->value.GetStringLength());
  return true;
}

bool IsZero(const rapidjson::Value& value) {
  return value.IsNumber() && value.GetDouble() == 0;
}

}  // namespace

std::string V2ThumbnailPath(std::string_view photoPath) {
  std::string path = "Media/PhotoData/Thumbnails/V2/";
  path.append(photoPath).append("/5003.JPG");
  return path;
}

void PhotoFiles::PrepareThumbnails(const rapidjson::Value& photos) {
  if (!photos.IsArray()) return;
  std::vector<std::string_view> pending;
  for (const rapidjson::Value& photo : photos.GetArray()) {
    std::string_view path;
    if (!PhotoPathOf(photo, path)) continue;
    if (cache_.count(PhotoRelativePath(path)) || map_.Find(V2ThumbnailPath(path))) continue;
    pending.push_back(path);
  }
  search_.Prepare(pending);
}

const ManifestFile* PhotoFiles::FindThumbnail(const std::string& relativePath,
                                              std::string_view photoPath) {
  auto cached = cache_.find(relativePath);
  if (cached != cache_.end()) return cached->second;
  if (const ManifestFile* v2 = map_.Find(V2ThumbnailPath(photoPath))) return v2;
  const ManifestFile* found = search_.Find(photoPath);
  if (found) cache_.emplace(relativePath, found);
  return found;
}

void PhotoFiles::Resolve(rapidjson::Value& photo, std::string_view photoPath,
                         Allocator& allocator) {
  // A copy: the host's text may live inside the value about to be replaced.
  const std::string path(photoPath);
  const std::string relativePath = PhotoRelativePath(path);

  std::string stored;
  const ManifestFile* record = map_.Find(relativePath);
  if (record) stored = record->StoredPath();
  auto pathMember = photo.FindMember("PATH");
  if (pathMember != photo.MemberEnd())
    pathMember->value = PimJsonUtil::MakeString(stored, allocator);
  if (record) {
    auto size = photo.FindMember("ZORIGINALFILESIZE");
    if (size != photo.MemberEnd() && IsZero(size->value)) size->value.SetInt64(SizeOf(*record));
  }
  PimJsonUtil::AddJsonDictStringValue(photo, allocator, "RELATIVE_PATH", relativePath);

  const ManifestFile* thumbnail = FindThumbnail(relativePath, path);
  if (!thumbnail) return;
  std::string thumbnailPath = thumbnail->StoredPath();
  PimJsonUtil::AddJsonDictStringValue(photo, allocator, "THUMBNAIL_PATH", thumbnailPath);
  PimJsonUtil::AddJsonDictStringValue(photo, allocator, "THUMBNAIL_RELATIVE_PATH",
                                      thumbnail->relativePath.data(),
                                      thumbnail->relativePath.size());
  PimJsonUtil::AddJsonDictInt64Value(photo, allocator, "THUMBNAIL_SIZE", SizeOf(*thumbnail));
}

int64_t PhotoFiles::SizeOf(const ManifestFile& record) {
  return measureContent_ ? sizes_.Of(record) : StoredSize(record);
}

void PhotoFiles::ResolveAll(rapidjson::Value& photos, Allocator& allocator) {
  if (!photos.IsArray()) return;
  PrepareThumbnails(photos);
  for (rapidjson::Value& photo : photos.GetArray()) {
    std::string_view path;
    if (PhotoPathOf(photo, path)) Resolve(photo, path, allocator);
  }
}

}  // namespace keldra
