// What the keldra commands share: talking to the module for one backup,
// passwords, output files and the way errors are reported.
#ifndef HOST_CLI_COMMON_H_
#define HOST_CLI_COMMON_H_

#include <initializer_list>
#include <optional>
#include <string>
#include <utility>

#include "Harness.h"
#include "vorn/Json.h"

namespace cli {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
// A scan that finished but could not read some of the data it found.
inline constexpr int kExitIncomplete = 3;
inline constexpr int kExitInterrupted = 130;  // SIGINT; SIGTERM gives 143

// Prints "keldra: <text>" on stderr, control characters escaped so that it
// stays one line, and returns kExitFailed.
int Fail(const std::string& text);

// Text from a backup or the command line, fit for a terminal: control
// characters (C0, DEL, C1) and bytes that are not UTF-8 become \xNN, so
// nothing printed can move the cursor, recolour the screen or forge a line.
std::string Printable(const std::string& text);

// A folder path ending in "/".
std::string WithSeparator(std::string folder);
// The absolute form of a folder given on the command line, ending in "/"
// (as given when it does not exist).
std::string BackupFolder(const std::string& argument);

// An output path given as an option ("--out", "--to", "--temp-dir") and its
// value; an empty value stands for an option not given.
using OutputOption = std::pair<const char*, std::string>;
// Nothing is ever written inside a backup: reports the first output that is
// the backup folder or lies inside it, once both are resolved (links
// included; an output that does not exist yet is judged by its nearest
// existing folder), and returns kExitFailed. kExitOk when none does.
int RefuseOutputsInBackup(const std::string& backupFolder,
                          std::initializer_list<OutputOption> outputs);

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

// Writes a value as indented JSON, atomically (a temporary file of this
// process renamed).
bool WriteJsonFile(const std::string& path, const rapidjson::Value& value);
// Makes a folder and its parents (0755 less the umask); false when it cannot be made.
bool MakeFolders(const std::string& path);

// What comes out of an encrypted backup is as private as the backup was:
// from now on this process creates files 0600 and folders 0700.
void KeepOutputPrivate();

// Makes `folder`, or takes an existing one that is empty. With `force`, the
// entries `isOwn` accepts are removed by `remove` (false with errno set) and
// the others stay; without, a folder that is not empty is refused, the
// message naming `own`.
bool PrepareOutputFolder(const std::string& folder, bool force, const char* own,
                         bool (*isOwn)(const std::string& name),
                         bool (*remove)(const std::string& path), std::string* error);

// Makes the scan's output folder, or takes an existing one that is empty. A
// folder with files in it is refused unless `force`, which first removes the
// files a scan writes there (so no earlier run's kind survives into this
// one) and keeps the rest. False with `error` saying why.
bool PrepareScanFolder(const std::string& folder, bool force, std::string* error);

// Member accessors that tolerate missing members.
std::string StringOf(const rapidjson::Value& object, const char* name);
int64_t IntOf(const rapidjson::Value& object, const char* name, int64_t fallback = 0);

bool StderrIsTerminal();

// The present instant as UTC text, "2026-12-06T20:00:00Z".
std::string UtcNow();

}  // namespace cli

#endif  // HOST_CLI_COMMON_H_
