// LIBPLATFORM_DECOMPRESS_ZIP_STREAM: inflates the raw bytes of the payload
// (gzip or zlib header, detected) and appends them to the byte string the
// module preset in replyData.
#include <zlib.h>

#include <cstring>
#include <new>
#include <string>

#include "platform/Platform.h"

namespace host {
namespace {

// A hostile stream must not exhaust memory: output stops here.
constexpr size_t kMaxInflated = size_t{256} << 20;
constexpr size_t kChunk = 64 * 1024;
constexpr uInt kMaxFeed = 1u << 30;  // zlib counts input in uInt

class Inflater {
 public:
  Inflater() { std::memset(&stream_, 0, sizeof stream_); }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  bool Init() { return ready_ = inflateInit2(&stream_, 15 + 32) == Z_OK; }
  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_;
  bool ready_ = false;
};

enum class Outcome { kComplete, kCapped, kDamaged };

// Inflates into `output` (appending) until the stream ends, the cap is met or
// the stream breaks off. A gzip member followed by another is inflated on
// into it, as gzip(1) does; any other trailing bytes are ignored.
Outcome InflateInto(const Bytef* input, uint64_t length, std::string& output, size_t& produced) {
  Inflater inflater;
  if (!inflater.Init()) return Outcome::kDamaged;
  z_stream& stream = inflater.Stream();
  uint64_t fed = 0;
  unsigned char chunk[kChunk];
  for (;;) {
    if (stream.avail_in == 0 && fed < length) {
      uInt take = length - fed > kMaxFeed ? kMaxFeed : static_cast<uInt>(length - fed);
      stream.next_in = const_cast<Bytef*>(input + fed);
      stream.avail_in = take;
      fed += take;
    }
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    int status = inflate(&stream, Z_NO_FLUSH);
    size_t got = sizeof chunk - stream.avail_out;
    size_t room = kMaxInflated - produced;
    output.append(reinterpret_cast<char*>(chunk), got < room ? got : room);
    if (got >= room) {
      produced = kMaxInflated;
      if (got > room || status != Z_STREAM_END) return Outcome::kCapped;
    } else {
      produced += got;
    }
    if (status == Z_STREAM_END) {
      uint64_t left = stream.avail_in + (length - fed);
      if (left >= 2 && stream.next_in[0] == 0x1f && stream.next_in[1] == 0x8b &&
          inflateReset(&stream) == Z_OK)
        continue;  // next_in and avail_in already point at the next member
      return Outcome::kComplete;
    }
    if (status == Z_OK) continue;
    // Z_BUF_ERROR: no progress without input; any more is fed next round.
    if (status == Z_BUF_ERROR && stream.avail_in == 0 && fed < length) continue;
    return Outcome::kDamaged;  // truncated, corrupt, or wanting a dictionary
  }
}

}  // namespace

bool AnswerDecompressZipStream(PluginMessage& message, const PlatformOptions&) {
  auto* output = static_cast<std::string*>(message.replyData);
  if (!output || (!message.payload && message.payloadLength)) return false;
  size_t produced = 0;
  Outcome outcome;
  try {
    outcome = InflateInto(static_cast<const Bytef*>(message.payload), message.payloadLength,
                          *output, produced);
  } catch (const std::bad_alloc&) {
    return false;  // what was appended stays; the request counts as unanswered
  }
  // Whatever inflated before a truncation or corruption is handed over: a
  // damaged note body still yields the text it holds. A stream that yields
  // nothing at all is not answered.
  if (outcome == Outcome::kDamaged && produced == 0) return false;
  message.replyPresent = 1;
  return true;
}

}  // namespace host
