// Manifest.mbdb, the index of older backups, read for what decryption
// needs: each entry's domain, path, mode, recorded size, protection class
// and wrapped file key. The index itself is never encrypted.
//
// File: "mbdb" 0x05 0x00, then entries to the end of the file. Integers are
// big-endian; a string is a 2-byte length N and N bytes, N of 0xFFFF or 0
// meaning empty with nothing following.
//   domain, path, link target, data hash, encryption key   (strings)
//   mode(2) inode(8) uid(4) gid(4) mtime(4) atime(4) ctime(4) size(8)
//   protection class(1) property count(1)                 (40 bytes)
//   property count x (name, value)                          (strings)
// A truncated entry ends the file; the entries before it stand.
#ifndef VEXA_LEGACYMANIFEST_H_
#define VEXA_LEGACYMANIFEST_H_

#include <cstdint>
#include <cstdio>
#include <string>

namespace vexa {

struct LegacyEntry {
  std::string domain;
  std::string path;
  std::string encryptionKey;  // empty when the entry has none
  uint16_t mode = 0;
  uint64_t size = 0;
  uint8_t protectionClass = 0;
};

class LegacyManifestReader {
 public:
  // Reads from `file`, which stays owned by the caller.
  explicit LegacyManifestReader(std::FILE* file) : file_(file) {}

  // Reads and checks the 6-byte header.
  bool ReadHeader();
  // The next complete entry; false at the end or on a truncated entry.
  bool Next(LegacyEntry& entry);

 private:
  bool Read(void* out, size_t count);
  bool ReadString(std::string* out);  // null: skip the bytes

  std::FILE* file_;
};

}  // namespace vexa

#endif  // VEXA_LEGACYMANIFEST_H_
