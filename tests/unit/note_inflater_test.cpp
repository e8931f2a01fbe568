// The note store's decompression buffer: how it grows, when it falls back to
// the host, and that the length it hands on never passes what the host gave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "builder/kinds/NoteProtobuf.h"
#include "common/Channel.h"
#include "keldra/Names.h"
#include "kind/note/NoteBodyInflater.h"
#include "platform/Platform.h"

namespace {

using builder::notes::Gzip;
using builder::notes::GzipFilled;
using keldra::NoteBodyInflater;

enum class HostMode { kInflate, kRefuse, kShort };
HostMode g_mode = HostMode::kInflate;
int g_requests = 0;

// Answers the decompression request as the real platform does, refuses it,
// or delivers only a few bytes.
intptr_t FakeHost(PluginMessage* message) {
  if (!message->subCommand ||
      std::strcmp(message->subCommand, keldra::names::kDecompressZipStream) != 0)
    return 0;
  ++g_requests;
  if (g_mode == HostMode::kRefuse) return 0;
  if (g_mode == HostMode::kShort) {
    static_cast<std::string*>(message->replyData)->append("0123456789");
    message->replyPresent = 1;
    return 0;
  }
  host::AnswerDecompressZipStream(*message, host::PlatformOptions{});
  return 0;
}

class NoteInflater : public testing::Test {
 protected:
  void SetUp() override {
    registration_.hostSend = &FakeHost;
    registration_.moduleInstance = &registration_;
    keldra::SetRegistration(&registration_);
    g_mode = HostMode::kInflate;
    g_requests = 0;
  }
  void TearDown() override { keldra::SetRegistration(nullptr); }

  static std::string Inflate(NoteBodyInflater& inflater, const std::string& blob) {
    auto body = inflater.Inflate(reinterpret_cast<const uint8_t*>(blob.data()), blob.size());
    return body ? std::string(*body) : "<none>";
  }

  ModuleRegistration registration_{};
};

TEST_F(NoteInflater, TargetDoublesWithTheBlobSizeUpToTheCapAndNeverShrinks) {
  NoteBodyInflater inflater;
  EXPECT_EQ(inflater.TargetSize(), 256u);
  std::string small = Gzip("hello");
  EXPECT_EQ(Inflate(inflater, small), "hello");
  EXPECT_EQ(inflater.TargetSize(), 256u);
  Inflate(inflater, std::string(300, 'x'));  // not a stream; only its size matters here
  EXPECT_EQ(inflater.TargetSize(), 512u);
  Inflate(inflater, small);
  EXPECT_EQ(inflater.TargetSize(), 512u);
  Inflate(inflater, std::string(5 << 20, 'x'));
  EXPECT_EQ(inflater.TargetSize(), 4194304u);
  Inflate(inflater, std::string(9 << 20, 'x'));
  EXPECT_EQ(inflater.TargetSize(), 4194304u);
  EXPECT_EQ(Inflate(inflater, small), "hello");
  EXPECT_EQ(g_requests, 3);  // the three blobs that were no streams
}

TEST_F(NoteInflater, BodiesLargerThanTheBufferComeFromTheHostWhole) {
  NoteBodyInflater inflater;
  std::string text(1000, 'n');
  EXPECT_EQ(Inflate(inflater, Gzip(text)), text);  // 256 bytes offered: the host inflates
  EXPECT_EQ(g_requests, 1);

  // Above the 4 MiB cap.
  std::string big = GzipFilled("head", 5 << 20, 'z');
  std::string inflated = Inflate(inflater, big);
  EXPECT_EQ(inflated.size(), 4u + (5 << 20));
  EXPECT_EQ(inflated.substr(0, 6), "headzz");
  EXPECT_EQ(g_requests, 2);

  g_mode = HostMode::kRefuse;
  EXPECT_EQ(Inflate(inflater, big), "<none>");
  // The buffer still serves the next body.
  g_mode = HostMode::kInflate;
  EXPECT_EQ(Inflate(inflater, Gzip("after")), "after");
}

TEST_F(NoteInflater, TheLengthHandedOnNeverPassesWhatTheHostDelivered) {
  NoteBodyInflater inflater;
  g_mode = HostMode::kShort;  // reports success with ten bytes of a 1000-byte body
  EXPECT_EQ(Inflate(inflater, Gzip(std::string(1000, 'n'))), "0123456789");
  // A corrupt stream leaves a length of 0 behind: nothing is handed on.
  EXPECT_EQ(Inflate(inflater, "\x1f\x8b garbage"), "");
}

}  // namespace
