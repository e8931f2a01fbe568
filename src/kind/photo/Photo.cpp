#include "kind/photo/Photo.h"

#include "backup/DbBase.h"
#include "common/PeerRequest.h"
#include "keldra/Kinds.h"
#include "keldra/Names.h"
#include "kind/photo/PhotoFiles.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

constexpr int kType = 6;
constexpr const char* kDatabaseName = kKinds[kType].database;
constexpr int kCameraRoll = 0;
constexpr int kAlbumList = 1;
constexpr int kAlbumPhotos = 2;
constexpr rapidjson::SizeType kSlice = 100;

using Allocator = rapidjson::Document::AllocatorType;

// The array member `name` of a reply; a reply without it has an empty list,
// which `empty` stands for.
rapidjson::Value& ListOf(rapidjson::Document& reply, const char* name, rapidjson::Value& empty) {
  if (!reply.IsObject()) return empty;
  auto member = reply.FindMember(name);
  if (member == reply.MemberEnd() || !member->value.IsArray()) return empty;
  return member->value;
}

int64_t AlbumId(const rapidjson::Value& album) {
  if (!album.IsObject()) return 0;
  auto member = album.FindMember("Z_PK");
  return member != album.MemberEnd() && member->value.IsInt64() ? member->value.GetInt64() : 0;
}

int AlbumType(const rapidjson::Value& album) {
  if (!album.IsObject()) return 0;
  auto member = album.FindMember("TYPE");
  return member != album.MemberEnd() && member->value.IsInt() ? member->value.GetInt() : 0;
}

// The stage messages of one kind run, shaped per sub-type: summary, slices
// of photos, closing.
class Series {
 public:
  Series(Kind& kind, const std::string& taskId) : kind_(kind), stages_(kind, taskId, kType) {}

  void Send(Allocator& allocator, rapidjson::Value& result, int stage, int subType) {
    stages_.Send(stage, allocator, result, subType);
  }

  void Summary(Allocator& allocator, rapidjson::SizeType count, const std::string& databasePath,
               int subType, const int64_t* albumId = nullptr, int albumType = 0) {
    rapidjson::Value summary(rapidjson::kObjectType);
    PimJsonUtil::AddJsonDictIntValue(summary, allocator, "count", static_cast<int32_t>(count));
    if (albumId) {
      PimJsonUtil::AddJsonDictInt64Value(summary, allocator, "albumId", *albumId);
      PimJsonUtil::AddJsonDictIntValue(summary, allocator, "albumType", albumType);
    }
    PimJsonUtil::AddJsonDictStringValue(summary, allocator, "photo_db_path", databasePath);
    Send(allocator, summary, 1, subType);
  }

  void Close(Allocator& allocator, int subType) {
    rapidjson::Value empty(rapidjson::kObjectType);
    // The album photos close the run last: problems ride there.
    if (subType == kAlbumPhotos) kind_.AttachProblems(empty, allocator);
    Send(allocator, empty, 3, subType);
  }

  // Stage 2 messages of up to 100 photos each, in list order. The photos
  // are moved out of the list.
  template <typename Wrap>
  void Slices(Allocator& allocator, rapidjson::Value& photos, int subType, Wrap&& wrap) {
    rapidjson::SizeType total = photos.Size();
    for (rapidjson::SizeType start = 0; start < total; start += kSlice) {
      rapidjson::Value slice(rapidjson::kArrayType);
      for (rapidjson::SizeType i = start; i < total && i < start + kSlice; ++i)
        slice.PushBack(photos[i], allocator);
      rapidjson::Value result = wrap(slice);
      Send(allocator, result, 2, subType);
    }
  }

 private:
  Kind& kind_;
  const StageSender stages_;
};

// One run: the request object, the photo lookups and the three series.
class PhotoRun {
 public:
  PhotoRun(Kind& kind, const std::string& taskId, const FileMap& map,
           const std::string& databasePath, const std::string& productVersion)
      : taskId_(taskId), databasePath_(databasePath), files_(map), series_(kind, taskId) {
    PimJsonUtil::AddJsonDictStringValue(request_, request_.GetAllocator(), "path", databasePath);
    PimJsonUtil::AddJsonDictStringValue(request_, request_.GetAllocator(), "productVersion",
                                        productVersion);
    text_ = PimJsonUtil::ToString(request_);
    if (kind.CompleteReading()) files_.MeasureContent();
  }

  // The camera-roll series; false when the host did not answer.
  bool SendCameraRoll() {
    ReplyDocument reply = QueryPlatform(names::kPhotoQueryCameraRollList, text_);
    if (!reply) return false;
    auto& allocator = reply->GetAllocator();
    rapidjson::Value none(rapidjson::kArrayType);
    rapidjson::Value& photos = ListOf(*reply, "photos", none);
    files_.ResolveAll(photos, allocator);
    series_.Summary(allocator, photos.Size(), databasePath_, kCameraRoll);
    series_.Slices(allocator, photos, kCameraRoll,
                   [](rapidjson::Value& slice) { return std::move(slice); });
    series_.Close(allocator, kCameraRoll);
    return true;
  }

  // The album-list series, then each album's photos, closed once at the
  // end; false when the host did not answer.
  bool SendAlbums() {
    ReplyDocument reply = QueryPlatform(names::kPhotoQueryAlbumList, text_);
    if (!reply) return false;
    auto& allocator = reply->GetAllocator();
    rapidjson::Value none(rapidjson::kArrayType);
    rapidjson::Value& albums = ListOf(*reply, "albums", none);
    series_.Summary(allocator, albums.Size(), databasePath_, kAlbumList);
    series_.Send(allocator, albums, 2, kAlbumList);
    series_.Close(allocator, kAlbumList);
    for (const rapidjson::Value& album : albums.GetArray()) SendAlbumPhotos(album);
    series_.Close(allocator, kAlbumPhotos);
    return true;
  }

 private:
  // One album's photos; an album the host does not answer sends nothing.
  void SendAlbumPhotos(const rapidjson::Value& album) {
    const int64_t albumId = AlbumId(album);
    const int albumType = AlbumType(album);
    // The previous album's members give way to this one's.
    request_.EraseMember("albumId");
    request_.EraseMember("albumType");
    PimJsonUtil::AddJsonDictInt64Value(request_, request_.GetAllocator(), "albumId", albumId);
    PimJsonUtil::AddJsonDictIntValue(request_, request_.GetAllocator(), "albumType", albumType);
    ReplyDocument reply = QueryPlatform(names::kPhotoQueryPhotoFromAlbum,
                                        PimJsonUtil::ToString(request_), taskId_.c_str());
    if (!reply) return;
    auto& allocator = reply->GetAllocator();
    rapidjson::Value none(rapidjson::kArrayType);
    rapidjson::Value& photos = ListOf(*reply, "photos", none);
    files_.ResolveAll(photos, allocator);
    series_.Summary(allocator, photos.Size(), databasePath_, kAlbumPhotos, &albumId, albumType);
    series_.Slices(allocator, photos, kAlbumPhotos, [&](rapidjson::Value& slice) {
      rapidjson::Value wrapped(rapidjson::kObjectType);
      PimJsonUtil::AddJsonDictInt64Value(wrapped, allocator, "albumId", albumId);
      PimJsonUtil::AddJsonDictIntValue(wrapped, allocator, "albumType", albumType);
      PimJsonUtil::AddJsonDictObjectValue(wrapped, allocator, "photos", slice);
      return wrapped;
    });
  }

  const std::string& taskId_;
  const std::string& databasePath_;
  rapidjson::Document request_{rapidjson::kObjectType};
  std::string text_;  // the request without an album
  PhotoFiles files_;
  Series series_;
};

}  // namespace

Photo::Photo() : results_(rapidjson::kArrayType), databaseWatch_(WatchDatabase(kDatabaseName)) {}

void Photo::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  databasePath_ = Locate(databaseWatch_);
  bool closed = false;
  if (!databasePath_.empty()) {
    if (DbBase* reader = scan.manifest) {
      PhotoRun run(*this, scan.taskId, reader->GetFileMap(), databasePath_,
                   scan.info.ProductVersion);
      closed = run.SendCameraRoll() && run.SendAlbums();
      if (!closed)
        AddProblem(WatchLabel(databaseWatch_), "unreadable", "the platform did not read it");
    }
  }
  if (!closed) stages.SendProblemsAlone(3, kAlbumPhotos);
  ResetResults();
}

}  // namespace keldra
