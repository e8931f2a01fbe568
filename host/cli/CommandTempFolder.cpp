#include "cli/CommandTempFolder.h"

#include <unistd.h>

#include <string>

#include "cli/Common.h"

namespace cli {

std::unique_ptr<CommandTempFolder> CommandTempFolder::Open(host::SendOptions& options,
                                                           std::string* error) {
  std::unique_ptr<host::RunFolder> folder =
      host::RunFolder::Create(options.tempDir, options.keepTemp, error);
  if (!folder) return nullptr;
  options.tempDir = folder->Path();
  return std::unique_ptr<CommandTempFolder>(new CommandTempFolder(std::move(folder)));
}

CommandTempFolder::CommandTempFolder(std::unique_ptr<host::RunFolder> folder)
    : folder_(std::move(folder)), cleanup_([this] { Release(); }) {}

CommandTempFolder::~CommandTempFolder() {
  Release();
}

// Also runs on the signal watcher's thread just before the process ends,
// hence write() rather than buffered streams.
void CommandTempFolder::Release() {
  if (released_.exchange(true)) return;
  folder_->Release();
  // A kept folder that received nothing is not worth mentioning.
  if (!folder_->Kept() || rmdir(folder_->Path().c_str()) == 0) return;
  std::string line = "keldra: deciphered copies kept in " + Printable(folder_->Path()) + "\n";
  if (write(STDERR_FILENO, line.data(), line.size()) < 0) {
  }
}

}  // namespace cli
