#include <zlib.h>

#include <string>

#include "platform/Platform.h"

namespace host {
namespace {

// A hostile stream must not exhaust memory: output stops here.
constexpr size_t kMaxInflated = size_t{256} << 20;

}  // namespace

bool AnswerDecompressZipStream(PluginMessage& message, const PlatformOptions&) {
  auto* output = static_cast<std::string*>(message.replyData);
  if (!output || (!message.payload && message.payloadLength)) return false;
  z_stream stream{};
  if (inflateInit2(&stream, 15 + 32) != Z_OK) return false;  // gzip or zlib header
  const auto* input = static_cast<const Bytef*>(message.payload);
  uint64_t remaining = message.payloadLength;
  unsigned char chunk[64 * 1024];
  int status = Z_OK;
  size_t produced = 0;
  while (status != Z_STREAM_END) {
    if (stream.avail_in == 0 && remaining) {
      uInt take = remaining > 0x40000000u ? 0x40000000u : static_cast<uInt>(remaining);
      stream.next_in = const_cast<Bytef*>(input);
      stream.avail_in = take;
      input += take;
      remaining -= take;
    }
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    status = inflate(&stream, Z_NO_FLUSH);
    size_t got = sizeof chunk - stream.avail_out;
    if (got) {
      size_t room = kMaxInflated - produced;
      output->append(reinterpret_cast<char*>(chunk), got < room ? got : room);
      produced += got < room ? got : room;
      if (got >= room) break;  // capped
    }
    if (status == Z_BUF_ERROR && stream.avail_in == 0 && remaining == 0) break;  // truncated
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) break;  // corrupt
  }
  inflateEnd(&stream);
  // Whatever inflated before a truncation or corruption is handed over: a
  // damaged note body still yields the text it holds. A stream that yields
  // nothing at all is not answered.
  if (produced == 0 && status != Z_STREAM_END) return false;
  message.replyPresent = 1;
  return true;
}

}  // namespace host
