#include "LegacyManifest.h"

#include <cstring>

#include "ByteOrder.h"

namespace vexa {
namespace {

constexpr uint8_t kHeader[6] = {'m', 'b', 'd', 'b', 0x05, 0x00};
constexpr size_t kFixedBlock = 40;
constexpr size_t kSkipChunk = 4096;

}  // namespace

bool LegacyManifestReader::Read(void* out, size_t count) {
  return count == 0 || std::fread(out, 1, count, file_) == count;
}

bool LegacyManifestReader::ReadString(std::string* out) {
  uint8_t length[2];
  if (!Read(length, 2)) return false;
  size_t count = static_cast<size_t>(ReadBigEndian(length, 2));
  if (out) out->clear();
  if (count == 0xFFFF || count == 0) return true;
  if (out) {
    out->resize(count);
    return Read(out->data(), count);
  }
  char skipped[kSkipChunk];
  while (count > 0) {
    size_t piece = count < sizeof skipped ? count : sizeof skipped;
    if (!Read(skipped, piece)) return false;
    count -= piece;
  }
  return true;
}

bool LegacyManifestReader::ReadHeader() {
  uint8_t header[sizeof kHeader];
  return Read(header, sizeof header) && std::memcmp(header, kHeader, sizeof header) == 0;
}

bool LegacyManifestReader::Next(LegacyEntry& entry) {
  if (!ReadString(&entry.domain) || !ReadString(&entry.path) || !ReadString(nullptr) ||
      !ReadString(nullptr) || !ReadString(&entry.encryptionKey))
    return false;
  uint8_t block[kFixedBlock];
  if (!Read(block, sizeof block)) return false;
  entry.mode = static_cast<uint16_t>(ReadBigEndian(block, 2));
  entry.size = ReadBigEndian(block + 30, 8);
  entry.protectionClass = block[38];
  for (unsigned i = 0; i < block[39]; ++i)
    if (!ReadString(nullptr) || !ReadString(nullptr)) return false;
  return true;
}

}  // namespace vexa
