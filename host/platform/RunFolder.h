// The private folder of one run of the program, where the deciphered copies
// of an encrypted backup live. It exists only while the run does: its owner
// removes it at the end, and a run that was killed before it could is
// cleaned up by the next one, which finds the folder's lock free.
#ifndef HOST_PLATFORM_RUNFOLDER_H_
#define HOST_PLATFORM_RUNFOLDER_H_

#include <memory>
#include <mutex>
#include <string>

#include "common/UniqueFd.h"

namespace host {

class RunFolder {
 public:
  // Makes "run-<pid>-XXXXXX" (or "kept-<pid>-XXXXXX" when `keep`) with mode
  // 0700 below `parent`, after removing the folders there whose run is gone.
  // An empty parent means $XDG_CACHE_HOME/keldra/, else ~/.cache/keldra/.
  // Null with `error` naming the cause when it cannot be made private.
  static std::unique_ptr<RunFolder> Create(const std::string& parent, bool keep,
                                           std::string* error);
  ~RunFolder();
  RunFolder(const RunFolder&) = delete;
  RunFolder& operator=(const RunFolder&) = delete;

  // The folder, ending in "/".
  const std::string& Path() const { return path_; }
  bool Kept() const { return keep_; }
  // Removes the folder now (a kept one stays); later calls do nothing. Safe
  // to call from another thread while the run is being cut short.
  void Release();

 private:
  RunFolder(std::string path, keldra::UniqueFd lock, bool keep)
      : path_(std::move(path)), lock_(std::move(lock)), keep_(keep) {}

  std::string path_;
  keldra::UniqueFd lock_;
  bool keep_;
  std::mutex releaseMutex_;
  bool released_ = false;
};

// mkdir -p with mode 0700 for the folders it creates; errno is kept on failure.
bool MakePrivateFolders(const std::string& path);

// $XDG_CACHE_HOME/keldra/, else $HOME/.cache/keldra/; "" without either.
std::string DefaultTempParent();

// Removes the run folders below `parent` whose owning run has ended.
void RemoveStaleRunFolders(const std::string& parent);

// Removes a folder and everything below it without following any link;
// false when something could not be removed.
bool RemoveTree(const std::string& folder);

}  // namespace host

#endif  // HOST_PLATFORM_RUNFOLDER_H_
