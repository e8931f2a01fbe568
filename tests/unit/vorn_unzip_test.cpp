// Inflating gzip and zlib streams with VRNUtilityUnzip.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "builder/kinds/NoteProtobuf.h"
#include "vorn/VRNUtilityUnzip.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Gzip(const std::string& text) {
  std::string stream = builder::notes::Gzip(text, Z_BEST_COMPRESSION);
  return Bytes(stream.begin(), stream.end());
}

Bytes Zlib(const std::string& text) {
  uLongf size = compressBound(text.size());
  Bytes out(size);
  compress2(out.data(), &size, reinterpret_cast<const Bytef*>(text.data()), text.size(),
            Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
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

// A buffer too small gets the prefix that fits and the full inflated length.
TEST(VornUnzip, InflatesGzipAndZlibIntoBuffersOfAnySize) {
  for (size_t size : {size_t{0}, size_t{1000}, size_t{300000}}) {
    const std::string text = SampleText(size);
    for (const Bytes& stream : {Gzip(text), Zlib(text)}) {
      for (size_t capacity : {size + 1000, size, size - 1, size_t{4096}, size_t{1}, size_t{0}}) {
        if (capacity > size + 1000) continue;  // size - 1 of an empty text
        Outcome outcome = Inflate(stream, capacity);
        EXPECT_EQ(outcome.result,
                  capacity >= size ? VRNUtilityUnzip::kOk : VRNUtilityUnzip::kOutputTooSmall)
            << size << " into " << capacity;
        EXPECT_EQ(outcome.length, size);
        EXPECT_EQ(outcome.text, text.substr(0, capacity));
      }
    }
  }
  // Without any buffer at all: a size query.
  const Bytes stream = Gzip(SampleText(5000));
  size_t length = 0;
  EXPECT_EQ(VRNUtilityUnzip::GZDecompress(stream.data(), stream.size(), nullptr, &length),
            VRNUtilityUnzip::kOutputTooSmall);
  EXPECT_EQ(length, 5000u);
}

TEST(VornUnzip, CorruptAndTruncatedStreams) {
  const std::string text = SampleText(50000), plain = "not compressed at all";
  const Bytes gz = Gzip(text), truncated(gz.begin(), gz.begin() + gz.size() / 2);
  Bytes badCrc = gz, badData = gz, badAdler = Zlib(text);
  badCrc[badCrc.size() - 6] ^= 0xFF;
  for (size_t i = 20; i < 60; ++i) badData[i] = 0xFF;
  badAdler.back() ^= 0x01;
  // A truncated stream is corrupt even when the buffer is too small.
  const std::pair<Bytes, size_t> corrupt[] = {
      {truncated, 100000}, {truncated, 10},    {badCrc, 100000},
      {badData, 100000},   {badAdler, 100000}, {Bytes(plain.begin(), plain.end()), 100000}};
  for (size_t i = 0; i < std::size(corrupt); ++i) {
    Outcome outcome = Inflate(corrupt[i].first, corrupt[i].second);
    EXPECT_EQ(outcome.result, VRNUtilityUnzip::kCorrupt) << i;
    EXPECT_EQ(outcome.length, 0u) << i;
  }

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
