#include "UnlockRegistry.h"

namespace vexa {

UnlockRegistry& UnlockRegistry::Get() {
  static UnlockRegistry registry;
  return registry;
}

void UnlockRegistry::Keep(std::shared_ptr<UnlockedBackup> backup) {
  if (!backup) return;
  std::lock_guard<std::mutex> lock(mutex_);
  backups_[backup->Folder()] = std::move(backup);
}

std::shared_ptr<UnlockedBackup> UnlockRegistry::Find(const std::string& folder) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = backups_.find(folder);
  return found == backups_.end() ? nullptr : found->second;
}

}  // namespace vexa
