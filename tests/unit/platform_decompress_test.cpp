// The host's LIBPLATFORM_DECOMPRESS_ZIP_STREAM handler: what it appends to
// the module's string, when it answers, and the cap on hostile streams.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include "builder/kinds/NoteProtobuf.h"
#include "keldra/Names.h"
#include "platform/Platform.h"

namespace {

using builder::notes::Gzip;
using builder::notes::GzipFilled;

struct Answer {
  bool answered = false;
  std::string output;
};

Answer Decompress(const std::string& input, std::string preset = "", bool withOutput = true) {
  Answer answer;
  answer.output = std::move(preset);
  PluginMessage message;
  std::memset(&message, 0, sizeof message);
  message.target = keldra::names::kCommandReceive;
  message.subCommand = keldra::names::kDecompressZipStream;
  message.payload = const_cast<char*>(input.data());
  message.payloadLength = input.size();
  message.replyData = withOutput ? &answer.output : nullptr;
  host::Platform platform;
  bool handled = platform.Handle(message, host::PlatformOptions{});
  answer.answered = handled && message.replyPresent != 0;
  EXPECT_EQ(handled, message.replyPresent != 0);
  return answer;
}

std::string Zlib(const std::string& bytes) {
  uLongf size = compressBound(bytes.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size,
           reinterpret_cast<const Bytef*>(bytes.data()), bytes.size());
  out.resize(size);
  return out;
}

TEST(PlatformDecompress, InflatesGzipAndZlibOntoWhatTheStringHolds) {
  Answer gzip = Decompress(Gzip("note body"), "kept:");
  EXPECT_TRUE(gzip.answered);
  EXPECT_EQ(gzip.output, "kept:note body");
  Answer zlib = Decompress(Zlib("zlib body"));
  EXPECT_TRUE(zlib.answered);
  EXPECT_EQ(zlib.output, "zlib body");
  // Two gzip members: both, as the module's own inflater reads them.
  EXPECT_EQ(Decompress(Gzip("one ") + Gzip("two")).output, "one two");
  // An empty stream is a complete answer too.
  Answer empty = Decompress(Gzip(""));
  EXPECT_TRUE(empty.answered);
  EXPECT_EQ(empty.output, "");
}

TEST(PlatformDecompress, DamagedStreamsGiveWhatInflatedBeforeTheDamage) {
  std::string text(100000, 'q');
  std::string stream = Gzip(text, 0);  // stored blocks: a cut leaves a clean prefix
  Answer cut = Decompress(stream.substr(0, stream.size() / 2));
  EXPECT_TRUE(cut.answered);
  EXPECT_GT(cut.output.size(), 0u);
  EXPECT_EQ(cut.output, text.substr(0, cut.output.size()));

  for (const std::string& bad : {std::string("not compressed at all"), std::string(),
                                 std::string("\x1f\x8b\x08\x00", 4), stream.substr(0, 10)}) {
    Answer answer = Decompress(bad, "kept");
    EXPECT_FALSE(answer.answered);
    EXPECT_EQ(answer.output, "kept");
  }
  EXPECT_FALSE(Decompress(Gzip("x"), "", false).answered);  // nowhere to put it
}

TEST(PlatformDecompress, AHostileStreamStopsAt256MiB) {
  std::string bomb = GzipFilled("", uint64_t{300} << 20, '\0');
  ASSERT_LT(bomb.size(), 1u << 20);
  Answer answer = Decompress(bomb);
  EXPECT_TRUE(answer.answered);
  EXPECT_EQ(answer.output.size(), size_t{256} << 20);
}

}  // namespace
