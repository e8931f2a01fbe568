#include "Keldra.h"

#include <glog/logging.h>

#include <cstring>
#include <exception>

#include "Commands.h"
#include "common/Channel.h"
#include "keldra/Names.h"
#include "mivo/Utils.h"
#include "vorn/QoTask.h"

namespace keldra {
namespace {

using CommandFunction = void (*)(PluginMessage&);

struct CommandEntry {
  const char* name;
  CommandFunction run;
  // Whether a command that throws still owes its caller a failed status.
  bool sendsStatus;
  bool notifiesTask;
};

// Compared in this order, whole names only.
const CommandEntry kCommands[] = {
    {names::kDoScan, &DoScan, true, true},
    {names::kGetBackupList, &GetBackupList, false, true},
    {names::kAddOneBackup, &AddOneBackup, false, true},
    {names::kQueryNoteList, &QueryNoteList, true, true},
    {names::kQueryRecordingList, &QueryRecordingList, false, false},
    {names::kExportEncryptFile, &ExportEncryptFile, true, false},
    {names::kUnlockWithPassword, &UnlockWithPasswordCommand, true, false},
    {names::kQueryManifestDbSupport, &QueryManifestDbSupportCommand, false, false},
    {names::kQueryWhatsAppMediaItem, &QueryWhatsAppMediaItem, false, false},
};

}  // namespace

std::string TaskIdOf(const PluginMessage& message) {
  return message.taskId ? std::string(message.taskId) : std::string();
}

void NotifyTask(const std::string& taskId, CommandStatus status) {
  std::shared_ptr<QoTask> task = QoTaskSchedular::Get().FindTask(taskId);
  if (task) QoTask::NotifySchedular(task, static_cast<QoTaskStatus1>(ToInt(status)));
}

bool ParsePayloadText(const PluginMessage& message, rapidjson::Document& document) {
  if (message.payloadForm != kPayloadText || !message.payload) return false;
  document.Parse(static_cast<const char*>(message.payload));
  return !document.HasParseError();
}

rapidjson::Document* PayloadDocument(const PluginMessage& message) {
  if (message.payloadForm != kPayloadDocument) return nullptr;
  return static_cast<rapidjson::Document*>(message.payload);
}

const rapidjson::Value* StringMember(const rapidjson::Value& object, const char* name) {
  if (!object.IsObject()) return nullptr;
  auto member = object.FindMember(name);
  if (member == object.MemberEnd() || !member->value.IsString()) return nullptr;
  return &member->value;
}

std::string NormaliseBackupDir(const rapidjson::Value& backupDir) {
  std::string folder(backupDir.GetString(), backupDir.GetStringLength());
  if (folder.empty() || (folder.back() != '/' && folder.back() != '\\'))
    folder += Utils::GetPathSeperatorLine();
  return folder;
}

// A command that throws still owes its caller what it would have sent had it
// failed cleanly. Sending can itself throw (memory), and nothing may leave
// the module through the host's call.
void SettleFailedCommand(const CommandEntry& entry, const PluginMessage& message) noexcept {
  try {
    if (entry.sendsStatus) SendCommandStatus(message.taskId, entry.name, CommandStatus::kFailed, 0);
    if (entry.notifiesTask) NotifyTask(TaskIdOf(message), CommandStatus::kFinished);
  } catch (...) {
    LOG(ERROR) << entry.name << ": the failed status could not be sent";
  }
}

void ReceiveCommand(PluginMessage* message) noexcept {
  if (!message || !message->target) return;
  for (const CommandEntry& entry : kCommands) {
    if (std::strcmp(entry.name, message->target) != 0) continue;
    try {
      entry.run(*message);
    } catch (const std::exception& error) {
      LOG(ERROR) << entry.name << " failed: " << error.what();
      SettleFailedCommand(entry, *message);
    } catch (...) {
      LOG(ERROR) << entry.name << " failed";
      SettleFailedCommand(entry, *message);
    }
    return;
  }
}

}  // namespace keldra
