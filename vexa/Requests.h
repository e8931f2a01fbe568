// The three requests the decrypt module answers. Each reads its members
// from the request object and either answers in place (replyPresent 1 with
// replyData and payloadForm as below) or leaves the message unanswered; a
// backup folder that was not unlocked is never answered.
//
//   LIBMODEL_VEXA_UNLOCK_WITH_PASSWORD {"backupDir","password"}
//     answered when the password unwraps the keybag; else replyCode
//     kUnlockWrongPassword or kUnlockUnreadable.
//   LIBMODEL_VEXA_DECRYPT_MANIFEST {"backupDir","tempDir"}
//     replyData: malloc'd path of the decrypted Manifest.db in tempDir.
//   LIBMODEL_VEXA_DECRYPT_FILE {"backupDir","tempDir","encryptFilePath"}
//     replyData: malloc'd path of a decrypted copy in tempDir, named by file id.
//   LIBMODEL_VEXA_DECRYPT_FILE {"backupDir","encryptFilePath","decryptFilePath"}
//     decryptFilePath set: the plaintext goes to that new file; payloadForm 0,
//     replyData a malloc'd copy of the path. Empty: payloadForm 2, replyData
//     a new std::string with the plaintext (at most kMaxBytesAnswer bytes).
#ifndef VEXA_REQUESTS_H_
#define VEXA_REQUESTS_H_

#include <cstdint>

#include "keldra/Plugin.h"
#include "vorn/Json.h"

namespace vexa {

// Exports answered with the bytes themselves stay below this size, so that
// memory stays bounded; larger files must be exported to a path.
inline constexpr uint64_t kMaxBytesAnswer = uint64_t{256} << 20;

void AnswerUnlock(PluginMessage& message, const rapidjson::Value& request);
void AnswerDecryptManifest(PluginMessage& message, const rapidjson::Value& request);
void AnswerDecryptFile(PluginMessage& message, const rapidjson::Value& request);

}  // namespace vexa

#endif  // VEXA_REQUESTS_H_
