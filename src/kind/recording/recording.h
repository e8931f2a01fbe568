// Kind 7: voice memos. The kind collects the voice-memo files of a backup
// (Recordings.db, AssetManifest.plist, composition manifests,
// CloudRecordings.db), has the host platform list the recordings they name,
// and turns each into the stored audio file in the backup.
#ifndef KELDRA_KIND_RECORDING_RECORDING_H_
#define KELDRA_KIND_RECORDING_RECORDING_H_

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "common/Observer.h"
#include "common/PeerRequest.h"
#include "kind/kind.h"
#include "kind/recording/RecordingPaths.h"
#include "vorn/Json.h"

namespace keldra {

class Recording : public Kind {
 public:
  // The platform's reply and the list of recording entries, whose values
  // live in the reply's allocator: declared after it, the list goes first.
  struct List {
    ReplyDocument reply;
    std::unique_ptr<rapidjson::Value> entries;
  };
  static constexpr int kSourceCount = 5;

  Recording();
  ~Recording() override = default;

  // The product version decides which paths Update looks for; the scan hands
  // it over before the manifest is read.
  void Configure(const BackupInfo& info) override;
  void Update(void* argument, const char* commandType) override;
  void Run(const ScanContext& scan) override;

  // The backup domain the platform's "source" number stands for.
  void SetSourceDomain(int source, const std::string& domain);
  const std::string& SourceDomain(int source) const { return sourceDomains_.at(source); }

  // Asks the platform for the recordings the request's four paths name and
  // locates each one's stored audio file below `backupDir`. Empty when a
  // member of the request is missing or of another type, or the platform
  // does not answer.
  List QueryRecordingList(const rapidjson::Value& request, const std::string& backupDir,
                          bool newer);
  void SendRecordingResults(List& list, const std::string& taskId);

  const std::string& RecordingDbPath() const { return recordingDbPath_; }
  const std::string& AssetManifestPath() const { return assetManifestPath_; }
  const std::string& CloudDbPath() const { return cloudDbPath_; }
  const rapidjson::Value& CompositionPaths() const { return compositions_; }

 private:
  // Locates one entry of the reply; false for an entry of another shape.
  bool LocateEntry(rapidjson::Value& entry, const std::string& backupDir, const char* prefix,
                   rapidjson::Document::AllocatorType& allocator) const;
  void LocateSource(size_t watch, int source, std::string& path);
  void MeasureContent(rapidjson::Value& entries, DbBase* reader);

  rapidjson::Document work_;
  std::string recordingDbPath_;
  std::string assetManifestPath_;
  std::string cloudDbPath_;
  rapidjson::Value compositions_;
  std::string productVersion_;
  const RecordingPaths* paths_;
  std::array<std::string, kSourceCount> sourceDomains_;
  // Where complete reading finds the files; set with the product version.
  size_t recordingDbWatch_ = SIZE_MAX;
  size_t assetManifestWatch_ = SIZE_MAX;
  size_t cloudDbWatch_ = SIZE_MAX;
};

}  // namespace keldra

#endif  // KELDRA_KIND_RECORDING_RECORDING_H_
