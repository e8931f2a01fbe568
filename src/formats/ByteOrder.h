// Fixed-width integers in either byte order, the one implementation every
// decoder uses. The caller has made sure the bytes are there; ByteCursor is
// the checked way to get them.
#ifndef KELDRA_FORMATS_BYTEORDER_H_
#define KELDRA_FORMATS_BYTEORDER_H_

#include <cstddef>
#include <cstdint>

namespace keldra {

// Unsigned integer of `count` bytes (at most 8), most significant first.
inline uint64_t ReadBigEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

// Unsigned integer of `count` bytes (at most 8), least significant first.
inline uint64_t ReadLittleEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

inline void WriteBigEndian(uint64_t value, uint8_t* out, size_t count) {
  for (size_t i = count; i > 0; --i) {
    out[i - 1] = static_cast<uint8_t>(value & 0xFF);
    value >>= 8;
  }
}

}  // namespace keldra

#endif  // KELDRA_FORMATS_BYTEORDER_H_
