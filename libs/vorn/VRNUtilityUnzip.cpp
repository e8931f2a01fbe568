#include "vorn/VRNUtilityUnzip.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr size_t kScratchSize = 32 * 1024;
constexpr size_t kChunk = UINT_MAX;  // zlib counts in uInt

class Inflater {
 public:
  Inflater() { std::memset(&stream_, 0, sizeof stream_); }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  bool Init() {
    ready_ = inflateInit2(&stream_, 15 + 32) == Z_OK;  // gzip or zlib header, detected
    return ready_;
  }
  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_;
  bool ready_ = false;
};

}  // namespace

// Bytes after the end of the first stream: another gzip member (1f 8b) is
// inflated too, as gzip(1) does with concatenated members; anything else
// (padding, junk) is ignored.
int VRNUtilityUnzip::GZDecompress(const uint8_t* input, size_t inputLength, uint8_t* output,
                                  size_t* outputLength) {
  if (!outputLength) return kCorrupt;
  const size_t capacity = output ? *outputLength : 0;
  *outputLength = 0;
  if (!input || inputLength == 0) return kCorrupt;

  Inflater inflater;
  if (!inflater.Init()) return kCorrupt;
  z_stream& zs = inflater.Stream();
  unsigned char scratch[kScratchSize];

  size_t inputUsed = 0;   // bytes handed to zlib so far
  uint64_t produced = 0;  // inflated bytes, stored or only counted
  size_t stored = 0;      // bytes written to the caller's buffer
  for (;;) {
    if (zs.avail_in == 0 && inputUsed < inputLength) {
      const size_t part = std::min(inputLength - inputUsed, kChunk);
      zs.next_in = const_cast<Bytef*>(input + inputUsed);
      zs.avail_in = static_cast<uInt>(part);
      inputUsed += part;
    }
    bool toCaller = stored < capacity;
    if (toCaller) {
      zs.next_out = output + stored;
      zs.avail_out = static_cast<uInt>(std::min(capacity - stored, kChunk));
    } else {
      zs.next_out = scratch;
      zs.avail_out = static_cast<uInt>(kScratchSize);
    }
    const uInt offered = zs.avail_out;
    const int ret = inflate(&zs, Z_NO_FLUSH);
    const size_t made = offered - zs.avail_out;
    produced += made;
    if (toCaller) stored += made;
    if (produced > kMaxCountedSize) return kCorrupt;

    if (ret == Z_STREAM_END) {
      const size_t left = zs.avail_in + (inputLength - inputUsed);
      const uint8_t* next = zs.next_in;
      if (left >= 2 && next[0] == 0x1f && next[1] == 0x8b) {
        if (inflateReset(&zs) != Z_OK) return kCorrupt;
        continue;  // next_in/avail_in still point at the next member
      }
      break;
    }
    if (ret == Z_OK) continue;
    // No progress possible: output space is always offered, so zlib wants
    // input; more input means another chunk, none means a truncated stream.
    if (ret == Z_BUF_ERROR && inputUsed < inputLength) continue;
    return kCorrupt;  // truncated, Z_DATA_ERROR, Z_NEED_DICT, Z_MEM_ERROR
  }

  *outputLength = static_cast<size_t>(produced);
  return produced <= capacity ? kOk : kOutputTooSmall;
}
