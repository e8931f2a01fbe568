#include "Encrypted.h"

#include <glog/logging.h>

#include <cstring>
#include <memory>

#include "Commands.h"
#include "backup/Discovery.h"
#include "backup/ManifestDb.h"
#include "common/Channel.h"
#include "common/PeerRequest.h"
#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/QoTask.h"

namespace keldra {
namespace {

rapidjson::Value ExportEnvelope(rapidjson::Value& result, rapidjson::Document::AllocatorType& a) {
  rapidjson::Value object(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictIntValue(object, a, "status", ToInt(CommandStatus::kPartial));
  PimJsonUtil::AddJsonDictStringValue(object, a, "sub_command_type", names::kExportEncryptFile);
  PimJsonUtil::AddJsonDictObjectValue(object, a, "result", result);
  return object;
}

// Element `index` of a member's array when it is a string.
const rapidjson::Value* ArrayString(const rapidjson::Value& array, rapidjson::SizeType index) {
  if (!array.IsArray() || array.Size() <= index || !array[index].IsString()) return nullptr;
  return &array[index];
}

}  // namespace

int32_t UnlockWithPassword(const PluginMessage& message) {
  rapidjson::Document document;
  if (!ParsePayloadText(message, document)) return -1;
  DecryptAnswer answer = SendDecryptRequest(names::kVexaUnlockWithPassword, document);
  if (answer.answered) return 0;
  return answer.replyCode == 1 ? 1 : -1;
}

void SendExportPath(const char* taskId, const std::string& path, const std::string& id) {
  rapidjson::Document document;
  auto& a = document.GetAllocator();
  rapidjson::Value result(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(result, a, "path", path);
  PimJsonUtil::AddJsonDictStringValue(result, a, "id", id);
  rapidjson::Value object = ExportEnvelope(result, a);
  SendResultText(taskId, PimJsonUtil::ToString(object), true);
}

void SendExportData(const char* taskId, const uint8_t* data, uint64_t size, const std::string& id) {
  rapidjson::Document document;
  auto& a = document.GetAllocator();
  rapidjson::Value result(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(result, a, "id", id);
  rapidjson::Value object = ExportEnvelope(result, a);

  DataPayload payload{&object, data, size};
  PluginMessage message;
  std::memset(&message, 0, sizeof message);
  message.taskId = taskId;
  message.payloadForm = kPayloadData;
  message.target = names::kCommandReceive;
  message.subCommand = names::kSendResult;
  message.payload = &payload;
  SendToHost(message);
}

CommandStatus ExportEncryptedFiles(const PluginMessage& message) {
  rapidjson::Document document;
  if (!ParsePayloadText(message, document) || !document.IsObject()) return CommandStatus::kFailed;
  const rapidjson::Value* backupDir = StringMember(document, "backupDir");
  if (!backupDir) return CommandStatus::kFailed;

  rapidjson::Document request(rapidjson::kObjectType);
  auto& a = request.GetAllocator();
  PimJsonUtil::AddJsonDictStringValue(request, a, "backupDir", backupDir->GetString(),
                                      backupDir->GetStringLength());
  PimJsonUtil::AddJsonDictStringValue(request, a, "encryptFilePath", "");
  PimJsonUtil::AddJsonDictStringValue(request, a, "decryptFilePath", "");

  auto files = document.FindMember("files");
  if (files == document.MemberEnd() || !files->value.IsObject()) return CommandStatus::kFinished;
  std::shared_ptr<QoTask> task = QoTaskSchedular::Get().FindTask(TaskIdOf(message));
  for (const auto& file : files->value.GetObject()) {
    if (task && task->GetStatus() == kQoTaskStopRequested) return CommandStatus::kStopRequested;
    const rapidjson::Value* encryptFilePath = ArrayString(file.value, 0);
    const rapidjson::Value* decryptFilePath = ArrayString(file.value, 1);
    if (!encryptFilePath || !decryptFilePath) continue;
    // The strings are referenced, not copied.
    request["encryptFilePath"].SetString(
        rapidjson::StringRef(encryptFilePath->GetString(), encryptFilePath->GetStringLength()));
    request["decryptFilePath"].SetString(
        rapidjson::StringRef(decryptFilePath->GetString(), decryptFilePath->GetStringLength()));

    DecryptAnswer answer = SendDecryptRequest(names::kVexaDecryptFile, request);
    if (!answer.answered) continue;
    std::string id(file.name.GetString(), file.name.GetStringLength());
    if (answer.payloadForm == kPayloadText) {
      MallocText path(static_cast<char*>(answer.replyData));
      if (path) SendExportPath(message.taskId, path.get(), id);
    } else if (answer.payloadForm == kPayloadData) {
      std::unique_ptr<std::string> bytes(static_cast<std::string*>(answer.replyData));
      if (bytes)
        SendExportData(message.taskId, reinterpret_cast<const uint8_t*>(bytes->data()),
                       bytes->size(), id);
    }
  }
  return CommandStatus::kFinished;
}

void QueryManifestDbSupport(rapidjson::Document& document) {
  if (!document.IsObject()) return;
  const rapidjson::Value* backupDir = StringMember(document, "backupDir");
  if (!backupDir) return;
  BackupInfo info;
  info.BackupPath.assign(backupDir->GetString(), backupDir->GetStringLength());
  ReadPlists(info);

  auto isEncrypted = document.FindMember("isEncrypted");
  if (isEncrypted != document.MemberEnd()) isEncrypted->value.SetBool(info.IsEncrypted != 0);

  ManifestDb reader;
  // A failed load leaves the map empty, which is the answer then.
  static_cast<void>(reader.Load(info.BackupPath, info.IsEncrypted != 0, ""));
  const FileMap& map = reader.GetFileMap();

  auto paths = document.FindMember("queryRelativePaths");
  if (paths == document.MemberEnd() || !paths->value.IsObject()) return;
  auto& a = document.GetAllocator();
  for (auto& member : paths->value.GetObject()) {
    std::string_view name(member.name.GetString(), member.name.GetStringLength());
    if (const ManifestFile* record = map.Find(name))
      member.value = PimJsonUtil::MakeString(record->fileID.data(), record->fileID.size(), a);
  }
}

void UnlockWithPasswordCommand(PluginMessage& message) {
  int32_t result = UnlockWithPassword(message);
  if (result == 0)
    SendCommandStatus(message.taskId, names::kUnlockWithPassword, CommandStatus::kFinished, 0);
  else
    SendCommandStatus(message.taskId, names::kUnlockWithPassword, CommandStatus::kFailed, result);
}

void ExportEncryptFile(PluginMessage& message) {
  CommandStatus status = ExportEncryptedFiles(message);
  SendCommandStatus(message.taskId, names::kExportEncryptFile, status, 0);
}

void QueryManifestDbSupportCommand(PluginMessage& message) {
  rapidjson::Document* document = PayloadDocument(message);
  if (!document) return;
  QueryManifestDbSupport(*document);
  LOG(INFO) << PimJsonUtil::ToString(*document);
  message.replyPresent = 1;
}

}  // namespace keldra
