// Inflating gzip and zlib streams with VRNUtilityUnzip.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vorn/VRNUtilityUnzip.h"

namespace {

using Bytes = std::vector<uint8_t>;

// windowBits 15 gives a zlib stream, 15 + 16 a gzip member.
Bytes Deflate(const std::string& text, int windowBits) {
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY),
            Z_OK);
  Bytes out(deflateBound(&zs, text.size()) + 32);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  return out;
}
Bytes Gzip(const std::string& text) {
  return Deflate(text, 15 + 16);
}
Bytes Zlib(const std::string& text) {
  return Deflate(text, 15);
}

// A text large enough to need many passes through the inflater.
std::string SampleText(size_t size) {
  std::string text;
  text.reserve(size);
  uint32_t state = 12345;
  while (text.size() < size) {
    state = state * 1103515245 + 12345;
    text += "row " + std::to_string(state % 1000) + (state & 0x100 ? " sms\n" : " call\n");
  }
  text.resize(size);
  return text;
}

struct Outcome {
  int result;
  size_t length;
  std::string text;
};

// Inflates into a buffer of `capacity` bytes followed by guard bytes, and
// checks the guard is untouched.
Outcome Inflate(const Bytes& input, size_t capacity) {
  constexpr size_t kGuard = 64;
  Bytes buffer(capacity + kGuard, 0xA5);
  size_t length = capacity;
  const int result =
      VRNUtilityUnzip::GZDecompress(input.data(), input.size(), buffer.data(), &length);
  for (size_t i = capacity; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], 0xA5) << "byte " << i << " past the buffer was written";
  }
  const size_t kept = result == VRNUtilityUnzip::kOk ? length : capacity;
  return {result, length, std::string(buffer.begin(), buffer.begin() + kept)};
}

TEST(VornUnzip, InflatesGzipAndZlib) {
  for (size_t size : {size_t{1}, size_t{1000}, size_t{300000}}) {
    const std::string text = SampleText(size);
    for (const Bytes& stream : {Gzip(text), Zlib(text)}) {
      Outcome exact = Inflate(stream, text.size());
      EXPECT_EQ(exact.result, VRNUtilityUnzip::kOk);
      EXPECT_EQ(exact.length, text.size());
      EXPECT_EQ(exact.text, text);

      Outcome roomy = Inflate(stream, text.size() + 1000);
      EXPECT_EQ(roomy.result, VRNUtilityUnzip::kOk);
      EXPECT_EQ(roomy.length, text.size());
      EXPECT_EQ(roomy.text, text);
    }
  }
  // An empty payload is a valid stream.
  Outcome empty = Inflate(Gzip(""), 16);
  EXPECT_EQ(empty.result, VRNUtilityUnzip::kOk);
  EXPECT_EQ(empty.length, 0u);
}

TEST(VornUnzip, TooSmallBufferReportsTheFullSizeAndStaysInBounds) {
  const std::string text = SampleText(200000);
  for (const Bytes& stream : {Gzip(text), Zlib(text)}) {
    for (size_t capacity : {size_t{0}, size_t{1}, size_t{4096}, text.size() - 1}) {
      Outcome small = Inflate(stream, capacity);
      EXPECT_EQ(small.result, VRNUtilityUnzip::kOutputTooSmall) << capacity;
      EXPECT_EQ(small.length, text.size()) << capacity;
      EXPECT_EQ(small.text, text.substr(0, capacity));  // the prefix that fitted
    }
  }
  // Without any buffer at all: a size query.
  const Bytes stream = Gzip(text);
  size_t length = 0;
  EXPECT_EQ(VRNUtilityUnzip::GZDecompress(stream.data(), stream.size(), nullptr, &length),
            VRNUtilityUnzip::kOutputTooSmall);
  EXPECT_EQ(length, text.size());
}

TEST(VornUnzip, CorruptAndTruncatedStreams) {
  const std::string text = SampleText(50000);
  const Bytes gz = Gzip(text);

  auto expectCorrupt = [](const Bytes& input, const char* what) {
    Outcome outcome = Inflate(input, 100000);
    EXPECT_EQ(outcome.result, VRNUtilityUnzip::kCorrupt) << what;
    EXPECT_EQ(outcome.length, 0u) << what;
  };
  expectCorrupt(Bytes(gz.begin(), gz.begin() + gz.size() / 2), "truncated data");
  expectCorrupt(Bytes(gz.begin(), gz.end() - 4), "truncated trailer");
  expectCorrupt(Bytes(gz.begin(), gz.begin() + 5), "header only");
  Bytes badCrc = gz;
  badCrc[badCrc.size() - 6] ^= 0xFF;
  expectCorrupt(badCrc, "bad CRC");
  Bytes badData = gz;
  for (size_t i = 20; i < 60; ++i) badData[i] = 0xFF;
  expectCorrupt(badData, "garbled data");
  Bytes badZlib = Zlib(text);
  badZlib[badZlib.size() - 1] ^= 0x01;
  expectCorrupt(badZlib, "bad Adler-32");
  const std::string plain = "not compressed at all";
  expectCorrupt(Bytes(plain.begin(), plain.end()), "plain text");

  // A truncated stream is corrupt even when the buffer is too small.
  Outcome small = Inflate(Bytes(gz.begin(), gz.begin() + gz.size() / 2), 10);
  EXPECT_EQ(small.result, VRNUtilityUnzip::kCorrupt);
  EXPECT_EQ(small.length, 0u);

  uint8_t out[8];
  size_t length = sizeof out;
  EXPECT_EQ(VRNUtilityUnzip::GZDecompress(nullptr, 10, out, &length), VRNUtilityUnzip::kCorrupt);
  EXPECT_EQ(length, 0u);
  length = sizeof out;
  EXPECT_EQ(VRNUtilityUnzip::GZDecompress(gz.data(), 0, out, &length), VRNUtilityUnzip::kCorrupt);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(VRNUtilityUnzip::GZDecompress(gz.data(), gz.size(), out, nullptr),
            VRNUtilityUnzip::kCorrupt);
}

TEST(VornUnzip, ConcatenatedMembersAndTrailingBytes) {
  Bytes both = Gzip("first,");
  const Bytes second = Gzip("second");
  both.insert(both.end(), second.begin(), second.end());
  Outcome joined = Inflate(both, 100);
  EXPECT_EQ(joined.result, VRNUtilityUnzip::kOk);
  EXPECT_EQ(joined.text, "first,second");

  Bytes padded = Zlib("payload");
  padded.insert(padded.end(), 32, 0);  // padding after the stream is ignored
  Outcome outcome = Inflate(padded, 100);
  EXPECT_EQ(outcome.result, VRNUtilityUnzip::kOk);
  EXPECT_EQ(outcome.text, "payload");
}

}  // namespace
