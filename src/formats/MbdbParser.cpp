#include "formats/MbdbParser.h"

#include <algorithm>
#include <cstring>

namespace keldra {
namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kFixedBlock = 40;

uint64_t BigEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return value;
}

}  // namespace

ByteReader::ByteReader(FILE* file) : file_(file), buffer_(new uint8_t[kChunk]) {
  next_ = end_ = buffer_.get();
}

ByteReader::ByteReader(const uint8_t* data, size_t size) : next_(data), end_(data + size) {}

bool ByteReader::Refill() {
  if (!file_) return false;
  size_t got = std::fread(buffer_.get(), 1, kChunk, file_);
  next_ = buffer_.get();
  end_ = next_ + got;
  return got > 0;
}

bool ByteReader::Read(void* out, size_t count) {
  auto* target = static_cast<uint8_t*>(out);
  while (count) {
    if (next_ == end_ && !Refill()) return false;
    size_t take = std::min(count, static_cast<size_t>(end_ - next_));
    std::memcpy(target, next_, take);
    target += take;
    next_ += take;
    count -= take;
  }
  return true;
}

bool ByteReader::Skip(size_t count) {
  while (count) {
    if (next_ == end_ && !Refill()) return false;
    size_t take = std::min(count, static_cast<size_t>(end_ - next_));
    next_ += take;
    count -= take;
  }
  return true;
}

bool ByteReader::Append(std::string& out, size_t count) {
  while (count) {
    if (next_ == end_ && !Refill()) return false;
    size_t take = std::min(count, static_cast<size_t>(end_ - next_));
    out.append(reinterpret_cast<const char*>(next_), take);
    next_ += take;
    count -= take;
  }
  return true;
}

bool MbdbParser::ReadHeader() {
  uint8_t header[6];
  return reader_.Read(header, sizeof header) && std::memcmp(header, "mbdb\x05\x00", 6) == 0;
}

bool MbdbParser::ReadString(std::string& out) {
  out.clear();
  uint8_t length[2];
  if (!reader_.Read(length, 2)) return false;
  size_t count = static_cast<size_t>(BigEndian(length, 2));
  if (count == 0xFFFF || count == 0) return true;
  return reader_.Append(out, count);
}

bool MbdbParser::Next(MbdbEntry& entry) {
  if (!ReadString(entry.domain) || !ReadString(entry.path) || !ReadString(entry.linkTarget) ||
      !ReadString(entry.dataHash) || !ReadString(entry.encryptionKey))
    return false;
  uint8_t block[kFixedBlock];
  if (!reader_.Read(block, sizeof block)) return false;
  entry.mode = static_cast<uint16_t>(BigEndian(block, 2));
  entry.length = BigEndian(block + 30, 8);
  entry.flags = block[38];
  size_t propertyCount = block[39];
  entry.properties.resize(propertyCount);
  for (auto& property : entry.properties) {
    if (!ReadString(property.first) || !ReadString(property.second)) return false;
  }
  return true;
}

}  // namespace keldra
