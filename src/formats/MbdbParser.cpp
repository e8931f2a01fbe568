#include "formats/MbdbParser.h"

#include <cstring>

#include "formats/ByteCursor.h"

namespace keldra {
namespace {

constexpr size_t kFixedBlock = 40;

}  // namespace

bool MbdbParser::ReadHeader() {
  uint8_t header[6];
  return reader_.Read(header, sizeof header) && std::memcmp(header, "mbdb\x05\x00", 6) == 0;
}

bool MbdbParser::ReadString(std::string& out) {
  out.clear();
  uint8_t length[2];
  if (!reader_.Read(length, 2)) return false;
  size_t count = static_cast<size_t>(ReadBigEndian(length, 2));
  if (count == 0xFFFF || count == 0) return true;
  return reader_.Append(out, count);
}

bool MbdbParser::Next(MbdbEntry& entry) {
  if (!ReadString(entry.domain) || !ReadString(entry.path) || !ReadString(entry.linkTarget) ||
      !ReadString(entry.dataHash) || !ReadString(entry.encryptionKey))
    return false;
  uint8_t block[kFixedBlock];
  if (!reader_.Read(block, sizeof block)) return false;
  // mode, inode, uid, gid, three times, length, flags, property count.
  ByteCursor fields(block, sizeof block);
  uint64_t mode = 0, propertyCount = 0;
  uint8_t flags = 0;
  fields.ReadBigEndian(2, mode);
  fields.Skip(28);
  fields.ReadBigEndian(8, entry.length);
  fields.ReadByte(flags);
  fields.ReadBigEndian(1, propertyCount);
  entry.mode = static_cast<uint16_t>(mode);
  entry.flags = flags;
  entry.properties.resize(propertyCount);
  for (auto& property : entry.properties) {
    if (!ReadString(property.first) || !ReadString(property.second)) return false;
  }
  return true;
}

}  // namespace keldra
