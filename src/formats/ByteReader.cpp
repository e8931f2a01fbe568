#include "formats/ByteReader.h"

#include <algorithm>
#include <cstring>

namespace keldra {
namespace {

constexpr size_t kChunk = 64 * 1024;

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

}  // namespace keldra
