// Where a stored file's wrapped key is found: the `file` archives of
// Manifest.db (decrypted into memory, or read in place when the backup left
// it plain) or the records of Manifest.mbdb.
#ifndef VEXA_KEYINDEX_H_
#define VEXA_KEYINDEX_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "SecureBytes.h"

namespace vexa {

struct StoredFileKey {
  enum class Kind { kFile, kDirectory, kSymlink, kOther };
  Kind kind = Kind::kOther;
  bool metadataReadable = true;  // false: the row's archive could not be decoded
  std::string wrappedKey;        // class prefix and wrap; empty when the row has none
  int64_t protectionClass = -1;  // as the row records it; -1 when it does not
  std::optional<uint64_t> recordedSize;
};

class KeyIndex {
 public:
  virtual ~KeyIndex() = default;
  // The row of `fileId` (40 lowercase hex digits), or nullopt when there is
  // none. Not safe to call from two threads at once.
  virtual std::optional<StoredFileKey> Find(const std::string& fileId) = 0;
};

// A decrypted Manifest.db held in memory; the index keeps the bytes and wipes
// them when it goes.
std::unique_ptr<KeyIndex> OpenDbIndexInMemory(SecureBytes database);
// A plain Manifest.db on disk, opened read-only and immutable.
std::unique_ptr<KeyIndex> OpenDbIndexFile(const std::string& path);
// Manifest.mbdb, read once; file ids are the SHA-1 of domain-path.
std::unique_ptr<KeyIndex> OpenLegacyIndex(const std::string& path);

}  // namespace vexa

#endif  // VEXA_KEYINDEX_H_
