#include "kind/recording/recording.h"

#include <glog/logging.h>

#include "backup/DbBase.h"
#include "common/StoredFile.h"
#include "keldra/Names.h"
#include "kind/PlaintextSizes.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilityString.h"

namespace keldra {
namespace {

constexpr int kType = 7;

enum Source { kRecordingDb = 1, kAssetManifest = 2, kComposition = 3, kCloudDb = 4 };

const rapidjson::Value* MemberOfType(const rapidjson::Value& object, const char* name,
                                     rapidjson::Type type) {
  auto member = object.FindMember(name);
  if (member == object.MemberEnd() || member->value.GetType() != type) return nullptr;
  return &member->value;
}

std::string Text(const rapidjson::Value& value) {
  return std::string(value.GetString(), value.GetStringLength());
}

}  // namespace

Recording::Recording()
    : work_(rapidjson::kArrayType),
      compositions_(rapidjson::kArrayType),
      paths_(&RecordingPathsFor(productVersion_)) {}

void Recording::Configure(const BackupInfo& info) {
  productVersion_ = info.ProductVersion;
  paths_ = &RecordingPathsFor(productVersion_);
  recordingDbWatch_ = WatchDatabase(paths_->recordingDb);
  assetManifestWatch_ = WatchFile(paths_->assetManifest);
  cloudDbWatch_ = WatchDatabase(paths_->cloudDb);
}

// Complete reading: the located file of `watch` and the domain it was found in.
void Recording::LocateSource(size_t watch, int source, std::string& path) {
  path = Locate(watch);
  if (const ManifestFile* file = WatchedFile(watch))
    sourceDomains_[source] = std::string(file->domain);
}

void Recording::SetSourceDomain(int source, const std::string& domain) {
  if (source >= 0 && source < kSourceCount) sourceDomains_[source] = domain;
}

void Recording::Update(void* argument, const char* commandType) {
  (void)commandType;
  if (!argument) return;
  const auto* record = static_cast<const ManifestFile*>(argument);
  const std::string_view path = record->relativePath;
  // Compositions are many files, collected alike in both readings.
  if (TakeRecordInCompleteReading(argument)) {
    if (!IsCompositionManifest(path, *paths_)) return;
    sourceDomains_[kComposition] = std::string(record->domain);
    PimJsonUtil::PushJsonArrayStringValue(compositions_, work_.GetAllocator(),
                                          ReadablePath(*record).c_str());
    return;
  }
  // A later match replaces an earlier one: the last record notified wins.
  if (path == paths_->recordingDb) {
    recordingDbPath_ = ReadablePath(*record);
    sourceDomains_[kRecordingDb] = std::string(record->domain);
  } else if (path == paths_->assetManifest) {
    assetManifestPath_ = ReadablePath(*record);
    sourceDomains_[kAssetManifest] = std::string(record->domain);
  } else if (IsCompositionManifest(path, *paths_)) {
    sourceDomains_[kComposition] = std::string(record->domain);
    PimJsonUtil::PushJsonArrayStringValue(compositions_, work_.GetAllocator(),
                                          ReadablePath(*record).c_str());
  } else if (path == paths_->cloudDb) {
    cloudDbPath_ = ReadablePath(*record);
    sourceDomains_[kCloudDb] = std::string(record->domain);
  }
}

void Recording::Run(const ScanContext& scan) {
  const StageSender stages(*this, scan.taskId, kType);
  if (CompleteReading()) {
    LocateSource(recordingDbWatch_, kRecordingDb, recordingDbPath_);
    LocateSource(assetManifestWatch_, kAssetManifest, assetManifestPath_);
    LocateSource(cloudDbWatch_, kCloudDb, cloudDbPath_);
  }
  auto& allocator = work_.GetAllocator();
  rapidjson::Value request(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(request, allocator, "recording_db_path", recordingDbPath_);
  PimJsonUtil::AddJsonDictStringValue(request, allocator, "asset_manifest_path",
                                      assetManifestPath_);
  PimJsonUtil::AddJsonDictStringValue(request, allocator, "cloud_recordings_db_path", cloudDbPath_);
  PimJsonUtil::AddJsonDictObjectValue(request, allocator, "manifest_plist_path", compositions_);
  bool newer = VRNUtilityString::CompareVersion(productVersion_.c_str(), "15.0") >= 0;
  List list = QueryRecordingList(request, scan.info.BackupPath, newer);
  if (!list.entries) return stages.SendProblemsAlone(3);
  if (CompleteReading() && scan.info.IsEncrypted) MeasureContent(*list.entries, scan.manifest);
  SendRecordingResults(list, scan.taskId);
}

Recording::List Recording::QueryRecordingList(const rapidjson::Value& request,
                                              const std::string& backupDir, bool newer) {
  List list;
  if (!request.IsObject()) return list;
  const rapidjson::Value* recordingDb =
      MemberOfType(request, "recording_db_path", rapidjson::kStringType);
  const rapidjson::Value* assetManifest =
      MemberOfType(request, "asset_manifest_path", rapidjson::kStringType);
  const rapidjson::Value* cloudDb =
      MemberOfType(request, "cloud_recordings_db_path", rapidjson::kStringType);
  const rapidjson::Value* compositions =
      MemberOfType(request, "manifest_plist_path", rapidjson::kArrayType);
  if (!recordingDb || !assetManifest || !cloudDb || !compositions) return list;

  auto& allocator = work_.GetAllocator();
  rapidjson::Value platformRequest(rapidjson::kObjectType);
  for (auto [name, value] :
       {std::pair{"1", recordingDb}, std::pair{"2", assetManifest}, std::pair{"4", cloudDb}}) {
    if (value->GetStringLength() > 0)
      PimJsonUtil::AddJsonDictStringValue(platformRequest, allocator, name, value->GetString(),
                                          value->GetStringLength());
  }
  rapidjson::Value paths(rapidjson::kArrayType);
  for (const rapidjson::Value& path : compositions->GetArray()) {
    if (path.IsString())
      PimJsonUtil::PushJsonArrayStringValue(paths, allocator, path.GetString(),
                                            path.GetStringLength());
  }
  if (!paths.Empty()) PimJsonUtil::AddJsonDictObjectValue(platformRequest, allocator, "3", paths);

  list.reply = QueryPlatform(names::kRecordingQueryList, PimJsonUtil::ToString(platformRequest));
  if (!list.reply) return list;
  list.entries = std::make_unique<rapidjson::Value>(rapidjson::kArrayType);
  if (!list.reply->IsObject()) return list;
  auto& replyAllocator = list.reply->GetAllocator();
  const char* prefix = newer ? "Library" : "Media";
  for (auto& member : list.reply->GetObject()) {
    if (LocateEntry(member.value, backupDir, prefix, replyAllocator))
      list.entries->PushBack(member.value, replyAllocator);
  }
  return list;
}

bool Recording::LocateEntry(rapidjson::Value& entry, const std::string& backupDir,
                            const char* prefix,
                            rapidjson::Document::AllocatorType& allocator) const {
  if (!entry.IsObject()) return false;
  auto path = entry.FindMember("path");
  auto source = entry.FindMember("source");
  if (path == entry.MemberEnd() || !path->value.IsString() || source == entry.MemberEnd() ||
      !source->value.IsInt() || source->value.GetInt() < 0 ||
      source->value.GetInt() >= kSourceCount)
    return false;

  const std::string relativePath = prefix + Text(path->value);
  const std::string fileID =
      Utils::CalcFileID(sourceDomains_[source->value.GetInt()], relativePath);
  const std::string stored =
      backupDir + fileID.substr(0, 2) + Utils::GetPathSeperatorLine() + fileID;
  // A link or FIFO in the recording's place is no recording.
  const int64_t size =
      static_cast<int64_t>(StoredFileSize(backupDir, StoredRelativePath(fileID, true)));
  if (size == 0) {
    path->value.SetString("", 0, allocator);
  } else {
    auto sizeMember = entry.FindMember("size");
    if (sizeMember != entry.MemberEnd()) sizeMember->value.SetInt64(size);
    path->value = PimJsonUtil::MakeString(stored, allocator);
  }
  PimJsonUtil::AddJsonDictStringValue(entry, allocator, "relative_path", relativePath);
  return true;
}

// An encrypted backup stores padded ciphertext: the size given is the
// content's, found through the entry's manifest record.
void Recording::MeasureContent(rapidjson::Value& entries, DbBase* reader) {
  if (!reader) return;
  PlaintextSizes sizes;
  for (rapidjson::Value& entry : entries.GetArray()) {
    auto relativePath = entry.FindMember("relative_path");
    auto size = entry.FindMember("size");
    if (relativePath == entry.MemberEnd() || size == entry.MemberEnd() ||
        !relativePath->value.IsString() || !size->value.IsNumber() || size->value.GetDouble() == 0)
      continue;
    if (const ManifestFile* record = reader->GetFileMap().Find(Text(relativePath->value)))
      size->value.SetInt64(sizes.Of(*record));
  }
}

void Recording::SendRecordingResults(List& list, const std::string& taskId) {
  const StageSender stages(*this, taskId, kType);
  auto& allocator = list.reply->GetAllocator();
  rapidjson::Value summary(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(summary, allocator, "count",
                                   static_cast<int32_t>(list.entries->Size()));
  PimJsonUtil::AddJsonDictStringValue(summary, allocator, "recording_db_path", recordingDbPath_);
  PimJsonUtil::AddJsonDictStringValue(summary, allocator, "asset_manifest_path",
                                      assetManifestPath_);
  PimJsonUtil::AddJsonDictStringValue(summary, allocator, "cloud_recordings_db_path", cloudDbPath_);
  // The closing result is an array: problems travel in the summary.
  AttachProblems(summary, allocator);
  stages.Send(1, allocator, summary);
  stages.Send(2, allocator, *list.entries);
  LOG(INFO) << "Count Size: " << list.entries->Size() << "\n"
            << PimJsonUtil::ToString(*list.entries);
  rapidjson::Value closing(rapidjson::kArrayType);
  stages.Send(3, allocator, closing);
}

}  // namespace keldra
