// The three photo requests. Each names the photo database in "path"; the
// album request adds "albumId" and "albumType". A database that does not
// open as a photo library is not answered.
#include <memory>

#include "platform/PhotoLibrary.h"
#include "platform/Platform.h"
#include "platform/PlatformReply.h"

namespace host {
namespace {

std::unique_ptr<PhotoLibrary> LibraryOf(const rapidjson::Document& request,
                                        const PlatformOptions& options) {
  std::optional<std::string> path = StringMember(request, "path");
  return path ? PhotoLibrary::Open(*path, options) : nullptr;
}

// A reply {name: []} whose array the caller fills.
std::unique_ptr<rapidjson::Document> ReplyWithList(const char* name, rapidjson::Value*& list) {
  std::unique_ptr<rapidjson::Document> reply = NewReply();
  reply->AddMember(rapidjson::StringRef(name), rapidjson::Value(rapidjson::kArrayType),
                   reply->GetAllocator());
  list = &(*reply)[name];
  return reply;
}

}  // namespace

bool AnswerPhotoCameraRollList(PluginMessage& message, const PlatformOptions& options) {
  rapidjson::Document request;
  if (!ParseRequest(message, request)) return false;
  std::unique_ptr<PhotoLibrary> library = LibraryOf(request, options);
  if (!library) return false;
  rapidjson::Value* photos = nullptr;
  std::unique_ptr<rapidjson::Document> reply = ReplyWithList("photos", photos);
  library->CameraRoll(*photos, reply->GetAllocator());
  return Answer(message, std::move(reply));
}

bool AnswerPhotoAlbumList(PluginMessage& message, const PlatformOptions& options) {
  rapidjson::Document request;
  if (!ParseRequest(message, request)) return false;
  std::unique_ptr<PhotoLibrary> library = LibraryOf(request, options);
  if (!library) return false;
  rapidjson::Value* albums = nullptr;
  std::unique_ptr<rapidjson::Document> reply = ReplyWithList("albums", albums);
  library->Albums(*albums, reply->GetAllocator());
  return Answer(message, std::move(reply));
}

bool AnswerPhotoFromAlbum(PluginMessage& message, const PlatformOptions& options) {
  rapidjson::Document request;
  if (!ParseRequest(message, request)) return false;
  auto albumId = request.FindMember("albumId");
  auto albumType = request.FindMember("albumType");
  if (albumId == request.MemberEnd() || !albumId->value.IsInt64() ||
      albumType == request.MemberEnd() || !albumType->value.IsInt64())
    return false;
  std::unique_ptr<PhotoLibrary> library = LibraryOf(request, options);
  if (!library) return false;
  rapidjson::Value* photos = nullptr;
  std::unique_ptr<rapidjson::Document> reply = ReplyWithList("photos", photos);
  library->AlbumPhotos(albumId->value.GetInt64(), albumType->value.GetInt64(), *photos,
                       reply->GetAllocator());
  return Answer(message, std::move(reply));
}

}  // namespace host
