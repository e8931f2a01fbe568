#include "backup/BackupList.h"

#include "Commands.h"
#include "backup/Discovery.h"
#include "common/Channel.h"
#include "keldra/Names.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

rapidjson::Value BackupObject(const BackupInfo& info, rapidjson::Document::AllocatorType& a) {
  rapidjson::Value object(rapidjson::kObjectType);
  PimJsonUtil::AddJsonDictStringValue(object, a, "ProductVersion", info.ProductVersion);
  PimJsonUtil::AddJsonDictStringValue(object, a, "BuildVersion", info.BuildVersion);
  PimJsonUtil::AddJsonDictStringValue(object, a, "SerialNumber", info.SerialNumber);
  PimJsonUtil::AddJsonDictStringValue(object, a, "ProductName", info.ProductName);
  PimJsonUtil::AddJsonDictStringValue(object, a, "DeviceName", info.DeviceName);
  PimJsonUtil::AddJsonDictStringValue(object, a, "UniqueIdentifier", info.UniqueIdentifier);
  PimJsonUtil::AddJsonDictStringValue(object, a, "LastBackupDate", info.LastBackupDate);
  PimJsonUtil::AddJsonDictStringValue(object, a, "ProductType", info.ProductType);
  PimJsonUtil::AddJsonDictStringValue(object, a, "BackupPath", info.BackupPath);
  PimJsonUtil::AddJsonDictIntValue(object, a, "IsEncrypted", info.IsEncrypted);
  PimJsonUtil::AddJsonDictIntValue(object, a, "BackupType", info.BackupType);
  return object;
}

}  // namespace

void SendBackupList(const char* taskId, const BackupList& backups, const char* command) {
  rapidjson::Document document(rapidjson::kObjectType);
  auto& a = document.GetAllocator();
  PimJsonUtil::AddJsonDictIntValue(document, a, "status", ToInt(CommandStatus::kFinished));
  PimJsonUtil::AddJsonDictStringValue(document, a, "sub_command_type", command);
  rapidjson::Value result(rapidjson::kArrayType);
  for (const auto& info : backups) {
    rapidjson::Value object = BackupObject(*info, a);
    PimJsonUtil::PushJsonArrayObjectValue(result, a, object);
  }
  PimJsonUtil::AddJsonDictObjectValue(document, a, "result", result);
  SendResultText(taskId, PimJsonUtil::ToString(document), true);
}

void GetBackupList(PluginMessage& message) {
  BackupList backups = EnumerateBackups();
  SendBackupList(message.taskId, backups, names::kGetBackupList);
  NotifyTask(TaskIdOf(message), CommandStatus::kFinished);
}

void AddOneBackup(PluginMessage& message) {
  rapidjson::Document document;
  if (ParsePayloadText(message, document)) {
    if (const rapidjson::Value* dir = StringMember(document, "backupDir")) {
      std::string folder = NormaliseBackupDir(*dir);
      int type = DetectBackupType(folder);
      if (type != kNotABackup) {
        BackupList backups;
        backups.push_back(ReadBackupInfo(folder, type));
        SendBackupList(message.taskId, backups, names::kAddOneBackup);
      }
    }
  }
  NotifyTask(TaskIdOf(message), CommandStatus::kFinished);
}

}  // namespace keldra
