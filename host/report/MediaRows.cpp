// The photos and the recordings of a report: each row names the report's
// copy of its file, so that the page shows the picture or plays the sound.
#include <map>
#include <string>
#include <vector>

#include "report/DataParts.h"
#include "report/KindRows.h"
#include "report/MediaFiles.h"
#include "report/ScanValues.h"

namespace report {
namespace {

double Number(const rapidjson::Value& object, const char* name) {
  const rapidjson::Value& value = Member(object, name);
  return value.IsNumber() ? value.GetDouble() : 0;
}

bool Flag(const rapidjson::Value& object, const char* name) {
  const rapidjson::Value& value = Member(object, name);
  return value.IsBool() ? value.GetBool() : value.IsNumber() && value.GetDouble() != 0;
}

bool Close(DataParts& parts, size_t* count, RowsTarget& target) {
  bool ok = parts.Finish();
  *count = parts.Parts();
  if (!ok && target.error.empty()) target.error = parts.Error();
  return ok;
}

}  // namespace

// The camera roll as rows (the picture, and a thumbnail where the device made
// one), each with the albums it is in; the albums as groups.
bool WritePhotoRows(const rapidjson::Value& scanFile, RowsTarget& target) {
  std::map<int64_t, std::vector<int>> albumsOf;  // photo key -> album numbers
  DataParts groups(target.dataFolder, target.kind + "-groups", kItemsPerPage);
  rapidjson::Document scratch;
  auto& a = scratch.GetAllocator();
  int number = 0;
  for (const auto& album : ArrayMember(scanFile, "albums").GetArray()) {
    if (!album.IsObject()) continue;
    const rapidjson::Value& photos = ArrayMember(album, "photos");
    for (const auto& photo : photos.GetArray()) {
      const rapidjson::Value& key = Member(photo, "Z_PK");
      if (key.IsInt64()) albumsOf[key.GetInt64()].push_back(number);
    }
    rapidjson::Value group(rapidjson::kObjectType);
    AddText(group, "title", Text(album, "TITLE"), a);
    group.AddMember("count", photos.Size(), a);
    groups.Add(group);
    ++number;
  }
  DataParts parts(target.dataFolder, target.kind, kItemsPerPage);
  for (const auto& photo : ArrayMember(scanFile, "camera_roll").GetArray()) {
    if (!photo.IsObject()) continue;
    scratch.GetAllocator().Clear();
    std::string name = Text(photo, "FILENAME");
    std::string full = target.media->Want(Text(photo, "PATH"), name);
    // Made from the original picture (HEIC too); a video's from the
    // still the device keeps of it.
    std::string thumb = target.media->ThumbnailOf(full);
    if (thumb.empty())
      thumb = target.media->ThumbnailOf(target.media->Want(Text(photo, "THUMBNAIL_PATH"),
                                                           Text(photo, "THUMBNAIL_RELATIVE_PATH")));
    rapidjson::Value row(rapidjson::kObjectType);
    AddText(row, "name", name, a);
    AddText(row, "at", Text(photo, "DATE_CREATED"), a);
    AddText(row, "kind", Text(photo, "KIND"), a);
    row.AddMember("width", Number(photo, "WIDTH"), a);
    row.AddMember("height", Number(photo, "HEIGHT"), a);
    row.AddMember("duration", Number(photo, "DURATION"), a);
    row.AddMember("favorite", Flag(photo, "FAVORITE"), a);
    row.AddMember("hidden", Flag(photo, "HIDDEN"), a);
    row.AddMember("trashed", Flag(photo, "TRASHED"), a);
    AddText(row, "full", full, a);
    AddText(row, "thumb", thumb, a);
    rapidjson::Value albums(rapidjson::kArrayType);
    const rapidjson::Value& key = Member(photo, "Z_PK");
    if (key.IsInt64())
      for (int album : albumsOf[key.GetInt64()]) albums.PushBack(album, a);
    row.AddMember("albums", albums, a);
    if (!parts.Add(row)) break;
  }
  bool ok = Close(groups, &target.written.groupParts, target);
  return Close(parts, &target.written.parts, target) && ok;
}

bool WriteRecordingRows(const rapidjson::Value& scanFile, RowsTarget& target) {
  DataParts parts(target.dataFolder, target.kind, kItemsPerPage);
  rapidjson::Document scratch;
  auto& a = scratch.GetAllocator();
  const rapidjson::Value& recordings = scanFile.IsArray() ? scanFile : ArrayMember(scanFile, "");
  for (const auto& recording : recordings.GetArray()) {
    if (!recording.IsObject()) continue;
    scratch.GetAllocator().Clear();
    rapidjson::Value row(rapidjson::kObjectType);
    AddText(row, "title", Text(recording, "title"), a);
    AddText(row, "at", Text(recording, "date"), a);
    row.AddMember("duration", Number(recording, "duration"), a);
    row.AddMember("deleted", Flag(recording, "deleted"), a);
    AddText(row, "media",
            target.media->Want(Text(recording, "path"), Text(recording, "relative_path")), a);
    if (!parts.Add(row)) break;
  }
  return Close(parts, &target.written.parts, target);
}

}  // namespace report
