// Decoder of Manifest.mbdb, the length-prefixed manifest of older backups.
//
// File: "mbdb" 0x05 0x00, then entries to the end of the file (no count).
// Integers are big-endian. A string is a 2-byte length N and N bytes; N of
// 0xFFFF or 0 is empty with nothing following.
//
// Entry:  domain, path, link target, data hash, encryption key  (strings)
//         fixed block of 40 bytes:
//           0 mode(2) 2 inode(8) 10 uid(4) 14 gid(4) 18 mtime(4) 22 atime(4)
//           26 ctime(4) 30 length(8) 38 flags(1) 39 property count(1)
//         property count x (name, value)                       (strings)
//
// Every field is read through a bounds-checked reader: a truncated entry ends
// the file, the entries before it stand.
#ifndef KELDRA_FORMATS_MBDBPARSER_H_
#define KELDRA_FORMATS_MBDBPARSER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "formats/ByteReader.h"

namespace keldra {

struct MbdbEntry {
  std::string domain;
  std::string path;
  std::string linkTarget;
  std::string dataHash;
  std::string encryptionKey;
  uint16_t mode = 0;
  uint64_t length = 0;
  uint8_t flags = 0;
  std::vector<std::pair<std::string, std::string>> properties;
};

class MbdbParser {
 public:
  explicit MbdbParser(ByteReader& reader) : reader_(reader) {}

  // Reads and checks the 6-byte header.
  bool ReadHeader();
  // The next complete entry; false at the end of the file or on a truncated entry.
  bool Next(MbdbEntry& entry);

 private:
  bool ReadString(std::string& out);

  ByteReader& reader_;
};

}  // namespace keldra

#endif  // KELDRA_FORMATS_MBDBPARSER_H_
