// The backup scan: opens the manifest, creates the requested kinds, links
// them to the manifest reader, runs them in the order asked and sends the
// final status.
#include <glog/logging.h>

#include <exception>
#include <memory>
#include <vector>

#include "Commands.h"
#include "backup/Discovery.h"
#include "backup/ManifestDb.h"
#include "backup/Mbdb.h"
#include "common/Channel.h"
#include "keldra/Names.h"
#include "kind/KindTable.h"
#include "vorn/QoTask.h"

namespace keldra {
namespace {

// The "types" array when every element is an integer; null otherwise.
const rapidjson::Value* KindNumbers(const rapidjson::Document& document) {
  auto types = document.FindMember("types");
  if (types == document.MemberEnd() || !types->value.IsArray()) return nullptr;
  for (const auto& element : types->value.GetArray()) {
    if (!element.IsInt64() && !element.IsUint64()) return nullptr;
  }
  return &types->value;
}

// Elements past the last kind (compared unsigned, so negatives too) name no kind.
int KindNumber(const rapidjson::Value& element) {
  if (element.IsUint64() && element.GetUint64() < static_cast<uint64_t>(kKindCount))
    return static_cast<int>(element.GetUint64());
  return -1;
}

// Steps 4 to 10; returns the status and sets the error code.
// "complete": true asks every kind to read all the device holds.
bool CompleteReadingAsked(const rapidjson::Document& document) {
  auto complete = document.FindMember("complete");
  return complete != document.MemberEnd() && complete->value.IsBool() && complete->value.GetBool();
}

CommandStatus RunScan(const std::string& taskId, const std::string& folder,
                      const rapidjson::Value& numbers, bool complete, int& errorCode) {
  int type = DetectBackupType(folder);
  if (type == kNotABackup) return CommandStatus::kFailed;
  std::unique_ptr<BackupInfo> info = ReadBackupInfo(folder, type);
  if (!info) return CommandStatus::kFailed;

  std::shared_ptr<DbBase> reader;
  if (info->BackupType == kBackupTypeMbdb) {
    auto legacy = std::make_shared<Mbdb>();
    legacy->DecipherStoredFiles(complete);
    reader = legacy;
  } else
    reader = std::make_shared<ManifestDb>();
  const ScanContext scan{taskId, *info, reader.get(), complete};

  std::vector<std::shared_ptr<Kind>> kinds;
  for (const auto& element : numbers.GetArray()) {
    KindObject object = CreateKind(KindNumber(element));
    if (!object.kind) continue;
    object.kind->SetCompleteReading(scan.complete);
    object.kind->Configure(scan.info);
    kinds.push_back(object.kind);
    reader->Attach(object.observer);
  }

  CommandStatus status = CommandStatus::kFinished;
  if (Status loaded = reader->Load(info->BackupPath, info->IsEncrypted != 0, ""); !loaded) {
    LOG(WARNING) << "the manifest could not be read: " << loaded.Message();
    status = CommandStatus::kFailed;
    errorCode = reader->GetLastError();
  } else if (std::shared_ptr<QoTask> task = QoTaskSchedular::Get().FindTask(taskId)) {
    for (const auto& kind : kinds) {
      if (task->GetStatus() == kQoTaskStopRequested) break;
      try {
        kind->Run(scan);
      } catch (const std::exception& error) {
        // A kind's own failure does not stop the scan.
        LOG(ERROR) << "kind failed: " << error.what();
      }
    }
  }
  // Kinds hold plain pointers into the reader: release them first, in order.
  for (auto& kind : kinds) kind.reset();
  reader.reset();
  return status;
}

}  // namespace

void DoScan(PluginMessage& message) {
  std::string taskId = TaskIdOf(message);
  CommandStatus status = CommandStatus::kFailed;
  int errorCode = 0;
  rapidjson::Document document;
  if (ParsePayloadText(message, document) && document.IsObject()) {
    const rapidjson::Value* backupDir = StringMember(document, "backupDir");
    const rapidjson::Value* numbers = KindNumbers(document);
    if (backupDir && numbers)
      status = RunScan(taskId, NormaliseBackupDir(*backupDir), *numbers,
                       CompleteReadingAsked(document), errorCode);
  }
  SendCommandStatus(message.taskId, names::kDoScan, status, errorCode);
  NotifyTask(taskId, CommandStatus::kFinished);
}

}  // namespace keldra
