// Reads the entries of a zip archive (stored or deflated) into memory, for
// tests whose real samples come zipped. Only what those archives use: no
// zip64, no encryption, no spanning.
#ifndef TESTS_SUPPORT_ZIPENTRIES_H_
#define TESTS_SUPPORT_ZIPENTRIES_H_

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

namespace testing_support {

namespace zip_detail {

inline uint32_t Le(const std::string& bytes, size_t at, size_t width) {
  if (at + width > bytes.size()) throw std::runtime_error("zip: truncated");
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i)
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  return value;
}

inline std::string Inflate(const std::string& raw, size_t size) {
  std::string out(size, '\0');
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (inflateInit2(&stream, -15) != Z_OK) throw std::runtime_error("zip: inflateInit2");
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  stream.avail_in = static_cast<uInt>(raw.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  int status = inflate(&stream, Z_FINISH);
  inflateEnd(&stream);
  if (status != Z_STREAM_END) throw std::runtime_error("zip: bad deflate data");
  return out;
}

}  // namespace zip_detail

// Entry name -> content, from the archive's central directory.
inline std::map<std::string, std::string> ZipEntries(const std::string& archive) {
  using zip_detail::Le;
  // The end record is the last one: the comment after it holds none.
  const size_t end = archive.rfind(std::string("PK\5\6", 4));
  if (end == std::string::npos) throw std::runtime_error("zip: no end record");
  size_t count = Le(archive, end + 10, 2);
  size_t at = Le(archive, end + 16, 4);
  std::map<std::string, std::string> entries;
  for (size_t i = 0; i < count; ++i) {
    if (Le(archive, at, 4) != 0x02014b50) throw std::runtime_error("zip: bad directory");
    uint32_t method = Le(archive, at + 10, 2);
    uint32_t packed = Le(archive, at + 20, 4);
    uint32_t size = Le(archive, at + 24, 4);
    size_t nameLength = Le(archive, at + 28, 2);
    size_t extra = Le(archive, at + 30, 2);
    size_t comment = Le(archive, at + 32, 2);
    size_t local = Le(archive, at + 42, 4);
    std::string name = archive.substr(at + 46, nameLength);
    at += 46 + nameLength + extra + comment;
    if (Le(archive, local, 4) != 0x04034b50) throw std::runtime_error("zip: bad local header");
    size_t data = local + 30 + Le(archive, local + 26, 2) + Le(archive, local + 28, 2);
    if (data + packed > archive.size()) throw std::runtime_error("zip: truncated entry");
    std::string raw = archive.substr(data, packed);
    if (method == 0)
      entries[name] = raw;
    else if (method == 8)
      entries[name] = zip_detail::Inflate(raw, size);
    else
      throw std::runtime_error("zip: unsupported method");
  }
  return entries;
}

}  // namespace testing_support

#endif  // TESTS_SUPPORT_ZIPENTRIES_H_
