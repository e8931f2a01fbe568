// What the keldra commands share: talking to the module for one backup,
// passwords, output files and the way errors are reported.
#ifndef HOST_CLI_COMMON_H_
#define HOST_CLI_COMMON_H_

#include <optional>
#include <string>

#include "Harness.h"
#include "vorn/Json.h"

namespace cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// A scan that finished but could not read some of the data it found.
inline constexpr int kExitIncomplete = 3;
inline constexpr int kExitInterrupted = 130;

// Prints "keldra: <text>" on stderr and returns kExitFailed.
int Fail(const std::string& text);

// A folder path ending in "/".
std::string WithSeparator(std::string folder);
// The absolute form of a folder given on the command line, ending in "/"
// (as given when it does not exist).
std::string BackupFolder(const std::string& argument);

// The module's description of a backup folder (one element of a backup
// list), or nullopt when the folder is no backup.
std::optional<rapidjson::Document> DescribeBackup(const host::SendOptions& options,
                                                  const std::string& folder);

// The password for an encrypted backup: the first line of `passwordFile`,
// else $KELDRA_PASSWORD, else a prompt without echo on the terminal. nullopt
// when none can be had (`error` says why).
std::optional<std::string> ObtainPassword(const std::string& passwordFile,
                                          const std::string& folder, std::string* error);

enum class UnlockResult { kUnlocked, kWrongPassword, kFailed };
// Unlocks the backup in this process (the decrypt module keeps the keys).
UnlockResult Unlock(const host::SendOptions& options, const std::string& folder,
                    const std::string& password);

// Unlocks `folder` when its description says it is encrypted; returns an
// exit status other than kExitOk after reporting the failure.
int UnlockIfEncrypted(const host::SendOptions& options, const std::string& folder,
                      const rapidjson::Value& description, const std::string& passwordFile);

// Writes a value as indented JSON, atomically (a temporary file renamed).
bool WriteJsonFile(const std::string& path, const rapidjson::Value& value);
// Makes a folder and its parents (0755); false when it cannot be made.
bool MakeFolders(const std::string& path);

// Member accessors that tolerate missing members.
std::string StringOf(const rapidjson::Value& object, const char* name);
int64_t IntOf(const rapidjson::Value& object, const char* name, int64_t fallback = 0);

bool StderrIsTerminal();

}  // namespace cli

#endif  // HOST_CLI_COMMON_H_
