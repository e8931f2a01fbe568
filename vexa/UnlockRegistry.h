// The backups unlocked in this process, by folder (with its trailing
// separator), for the life of the process. Any thread may look up or add.
#ifndef VEXA_UNLOCKREGISTRY_H_
#define VEXA_UNLOCKREGISTRY_H_

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "UnlockedBackup.h"

namespace vexa {

class UnlockRegistry {
 public:
  static UnlockRegistry& Get();

  // Replaces whatever was kept for the backup's folder.
  void Keep(std::shared_ptr<UnlockedBackup> backup);
  // The unlocked backup of `folder` (normalised), or null.
  std::shared_ptr<UnlockedBackup> Find(const std::string& folder) const;

 private:
  UnlockRegistry() = default;

  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<UnlockedBackup>> backups_;
};

}  // namespace vexa

#endif  // VEXA_UNLOCKREGISTRY_H_
