// A position in untrusted bytes held in memory. Every read checks that the
// bytes are there first and, when they are not, fails without moving, so a
// decoder built on it cannot read outside its input whatever lengths and
// offsets the input claims.
#ifndef KELDRA_FORMATS_BYTECURSOR_H_
#define KELDRA_FORMATS_BYTECURSOR_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/ByteOrder.h"

namespace keldra {

class ByteCursor {
 public:
  ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteCursor(std::string_view bytes)
      : ByteCursor(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()) {}

  size_t Position() const { return position_; }
  size_t Size() const { return size_; }
  size_t Remaining() const { return size_ - position_; }
  bool AtEnd() const { return position_ == size_; }

  // `count` bytes at `offset`, or null unless all of them are inside.
  // Does not move.
  const uint8_t* At(uint64_t offset, uint64_t count) const {
    if (offset > size_ || count > size_ - offset) return nullptr;
    return data_ + offset;
  }

  bool Seek(uint64_t offset) {
    if (offset > size_) return false;
    position_ = static_cast<size_t>(offset);
    return true;
  }

  bool Skip(uint64_t count) {
    if (count > Remaining()) return false;
    position_ += static_cast<size_t>(count);
    return true;
  }

  bool ReadByte(uint8_t& out) {
    if (position_ >= size_) return false;
    out = data_[position_++];
    return true;
  }

  // The next `count` bytes in place.
  bool ReadBytes(uint64_t count, const uint8_t*& out) {
    const uint8_t* bytes = At(position_, count);
    if (!bytes) return false;
    out = bytes;
    position_ += static_cast<size_t>(count);
    return true;
  }

  bool ReadView(uint64_t count, std::string_view& out) {
    const uint8_t* bytes = nullptr;
    if (!ReadBytes(count, bytes)) return false;
    out = std::string_view(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    return true;
  }

  // An unsigned integer of `count` bytes (at most 8) in the given order.
  bool ReadUnsigned(size_t count, bool bigEndian, uint64_t& out) {
    const uint8_t* bytes = nullptr;
    if (count > 8 || !ReadBytes(count, bytes)) return false;
    out = bigEndian ? keldra::ReadBigEndian(bytes, count) : keldra::ReadLittleEndian(bytes, count);
    return true;
  }
  bool ReadBigEndian(size_t count, uint64_t& out) { return ReadUnsigned(count, true, out); }
  bool ReadLittleEndian(size_t count, uint64_t& out) { return ReadUnsigned(count, false, out); }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

}  // namespace keldra

#endif  // KELDRA_FORMATS_BYTECURSOR_H_
