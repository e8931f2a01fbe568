// The record of one backed-up file, as both manifest readers produce it.
#ifndef KELDRA_BACKUP_MANIFESTFILE_H_
#define KELDRA_BACKUP_MANIFESTFILE_H_

#include <cstdint>
#include <deque>
#include <memory_resource>
#include <string>
#include <string_view>

namespace keldra {

// The texts are views into storage owned by the manifest reader that made the
// record; they stay valid while that reader lives.
struct ManifestFile {
  std::string_view fileID;
  std::string_view domain;        // "" when the manifest has none
  std::string_view relativePath;  // "/" separators; "" when the manifest has none
  int32_t flags = 0;
  std::string_view tempDir;    // encrypted backups: where decrypted copies go
  std::string_view backupDir;  // ends in a separator
  std::string_view filePath;   // where the stored file lies below backupDir; "" for none
  uint8_t encrypted = 0;       // 1: read from a decrypted manifest

  // backupDir followed directly by filePath; "" when the record names no
  // stored file.
  std::string StoredPath() const {
    if (filePath.empty()) return {};
    std::string path;
    path.reserve(backupDir.size() + filePath.size());
    path.append(backupDir).append(filePath);
    return path;
  }
};

// The records of a manifest, in the order read. A deque: records never move
// once stored, so views and pointers to them stay valid as more arrive.
using ManifestRecords = std::pmr::deque<ManifestFile>;

}  // namespace keldra

#endif  // KELDRA_BACKUP_MANIFESTFILE_H_
