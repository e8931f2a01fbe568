// Bytes read front to back from a file, in bounded chunks so a manifest of
// any size costs the same memory, or from memory. Fixed-width fields read
// through it are decoded with ByteCursor.
#ifndef KELDRA_FORMATS_BYTEREADER_H_
#define KELDRA_FORMATS_BYTEREADER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace keldra {

class ByteReader {
 public:
  explicit ByteReader(FILE* file);
  ByteReader(const uint8_t* data, size_t size);

  // Copies exactly `count` bytes; false (and the rest consumed) when fewer remain.
  bool Read(void* out, size_t count);
  bool Skip(size_t count);
  // Appends exactly `count` bytes to `out`.
  bool Append(std::string& out, size_t count);

 private:
  bool Refill();

  FILE* file_ = nullptr;
  std::unique_ptr<uint8_t[]> buffer_;
  const uint8_t* next_ = nullptr;
  const uint8_t* end_ = nullptr;
};

}  // namespace keldra

#endif  // KELDRA_FORMATS_BYTEREADER_H_
