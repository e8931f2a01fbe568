// Reading fixed-width integers out of untrusted bytes. The caller has checked
// that the bytes are there; nothing here looks past `count`.
#ifndef VEXA_BYTEORDER_H_
#define VEXA_BYTEORDER_H_

#include <cstddef>
#include <cstdint>

namespace vexa {

// Big-endian unsigned integer of `count` bytes (at most 8).
inline uint64_t ReadBigEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

inline uint32_t ReadBe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(ReadBigEndian(bytes, 4));
}

inline uint32_t ReadLe32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

inline void WriteBigEndian(uint64_t value, uint8_t* out, size_t count) {
  for (size_t i = count; i > 0; --i) {
    out[i - 1] = static_cast<uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

}  // namespace vexa

#endif  // VEXA_BYTEORDER_H_
