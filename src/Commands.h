// One function per command of the dispatcher's table.
#ifndef KELDRA_COMMANDS_H_
#define KELDRA_COMMANDS_H_

#include <string>

#include "keldra/Plugin.h"
#include "keldra/Status.h"
#include "vorn/Json.h"

namespace keldra {

void DoScan(PluginMessage& message);
void GetBackupList(PluginMessage& message);
void AddOneBackup(PluginMessage& message);
void QueryNoteList(PluginMessage& message);
void QueryRecordingList(PluginMessage& message);
void ExportEncryptFile(PluginMessage& message);
void UnlockWithPasswordCommand(PluginMessage& message);
void QueryManifestDbSupportCommand(PluginMessage& message);
void QueryWhatsAppMediaItem(PluginMessage& message);

// Helpers the commands share.

// The message's task id as a string ("" when absent).
std::string TaskIdOf(const PluginMessage& message);
// Looks the task up by id and, when found, notifies the scheduler.
void NotifyTask(const std::string& taskId, CommandStatus status);
// Parses a form-0 text payload. False when there is none or it is not JSON.
bool ParsePayloadText(const PluginMessage& message, rapidjson::Document& document);
// The caller's document of a form-1 payload, or null.
rapidjson::Document* PayloadDocument(const PluginMessage& message);
// A string member of an object, or null when missing or not a string.
const rapidjson::Value* StringMember(const rapidjson::Value& object, const char* name);
// "backupDir" with a separator appended unless it ends in "/" or "\\".
std::string NormaliseBackupDir(const rapidjson::Value& backupDir);

}  // namespace keldra

#endif  // KELDRA_COMMANDS_H_
