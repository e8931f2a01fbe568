// The private folder for the deciphered copies of one command: made below
// --temp-dir (or the cache folder) once the command knows its backup, handed
// to the modules through the options, and removed when the command ends or
// a signal cuts it short. With --keep-temp it stays, and stderr says where.
#ifndef HOST_CLI_COMMANDTEMPFOLDER_H_
#define HOST_CLI_COMMANDTEMPFOLDER_H_

#include <atomic>
#include <memory>
#include <string>

#include "Harness.h"
#include "cli/Interruption.h"
#include "platform/RunFolder.h"

namespace cli {

class CommandTempFolder {
 public:
  // Sets options.tempDir to the new folder; null with `error` saying why
  // none could be made.
  static std::unique_ptr<CommandTempFolder> Open(host::SendOptions& options, std::string* error);
  ~CommandTempFolder();
  CommandTempFolder(const CommandTempFolder&) = delete;
  CommandTempFolder& operator=(const CommandTempFolder&) = delete;

 private:
  explicit CommandTempFolder(std::unique_ptr<host::RunFolder> folder);
  void Release();

  std::unique_ptr<host::RunFolder> folder_;
  std::atomic<bool> released_{false};
  AbortCleanup cleanup_;  // goes before folder_
};

}  // namespace cli

#endif  // HOST_CLI_COMMANDTEMPFOLDER_H_
