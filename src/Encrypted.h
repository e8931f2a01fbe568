// The module's part of encrypted backups: unlocking through the decrypt
// module, exporting deciphered files, and answering which stored files hold
// given device paths.
#ifndef KELDRA_ENCRYPTED_H_
#define KELDRA_ENCRYPTED_H_

#include <cstdint>
#include <string>

#include "keldra/Plugin.h"
#include "keldra/Status.h"
#include "vorn/Json.h"

namespace keldra {

// 0 unlocked; 1 the decrypt module refused with code 1; -1 any other failure.
int32_t UnlockWithPassword(const PluginMessage& message);

// Finished when all files are handled; stop requested when the task was
// cancelled; failed when the payload does not parse or has no "backupDir".
CommandStatus ExportEncryptedFiles(const PluginMessage& message);

// {"status":2,"sub_command_type":EXPORT,"result":{"path":path,"id":id}}
void SendExportPath(const char* taskId, const std::string& path, const std::string& id);
// Form 2: {"status":2,"sub_command_type":EXPORT,"result":{"id":id}} with the bytes.
void SendExportData(const char* taskId, const uint8_t* data, uint64_t size, const std::string& id);

// Fills "isEncrypted" (when present) and the file ids of known
// "queryRelativePaths" in the caller's document.
void QueryManifestDbSupport(rapidjson::Document& document);

}  // namespace keldra

#endif  // KELDRA_ENCRYPTED_H_
