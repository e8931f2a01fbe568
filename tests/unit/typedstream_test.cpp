// The typedstream decoder: the real attributedBody samples, archives the
// builder's encoder writes (long texts, many runs, shared attribute sets),
// archives cut short at every byte, and hostile archives.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/kinds/TypedStreamWriter.h"
#include "formats/TypedStream.h"
#include "support/TestSupport.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilityFile.h"

namespace {

using host::typedstream::Archive;
using host::typedstream::Attribute;
using host::typedstream::AttributedString;
using host::typedstream::DecodeAttributedString;

constexpr char kPartKey[] = "__kIMMessagePartAttributeName";
constexpr char kTransferKey[] = "__kIMFileTransferGUIDAttributeName";
constexpr char kPlaceholder[] = "\xEF\xBF\xBC";

// Decodes both ways: the text alone must be the attributed string's text.
std::optional<AttributedString> Decode(const std::string& bytes) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  std::optional<AttributedString> decoded = DecodeAttributedString(data, bytes.size());
  std::optional<std::string> text = host::typedstream::DecodeText(data, bytes.size());
  EXPECT_EQ(text.has_value(), decoded.has_value());
  EXPECT_TRUE(!text || !decoded || *text == decoded->text);
  return decoded;
}

uint64_t RunTotal(const AttributedString& decoded) {
  uint64_t total = 0;
  for (const auto& run : decoded.runs) total += run.length;
  return total;
}

const Attribute* Find(const std::vector<Attribute>& attributes, const std::string& key) {
  for (const Attribute& attribute : attributes)
    if (attribute.key == key) return &attribute;
  return nullptr;
}

// The text and every run's length and attributes, as one digest.
std::string Digest(const AttributedString& decoded) {
  std::string dump = decoded.text;
  for (const auto& run : decoded.runs) {
    dump += "\n" + std::to_string(run.length);
    for (const Attribute& a : run.attributes)
      dump += " " + a.key + "=" + std::to_string(static_cast<int>(a.kind)) + "/" +
              std::to_string(a.integer) + "/" + std::to_string(a.real) + "/" + a.text;
  }
  return VRNUtilityFile::Sha1Hex(dump.data(), dump.size());
}

class RealBlobs : public testing::Test {
 protected:
  void SetUp() override {
    std::string root = testing_support::FixturesDir();
    if (root.empty()) GTEST_SKIP() << "real samples folder is absent";
    folder_ = root + "ReagentX__imessage-exporter/imessage-database/test_data/streamtyped/";
  }
  AttributedString Read(const std::string& name) {
    std::string bytes = testing_support::ReadFile(folder_ + name);
    std::optional<AttributedString> decoded = Decode(bytes);
    EXPECT_TRUE(decoded.has_value()) << name;
    return decoded.value_or(AttributedString{});
  }
  std::string folder_;
};

// The runs of an intact archive cover the text exactly (in UTF-16 units),
// which only holds when every length, reference and class was read right;
// ExtraData's string declares more bytes than follow: it is cut where the
// rest of the archive reads cleanly, while its run keeps the declared length.
// The digests pin every attribute: part numbers, a negative number stored in
// 64 bits, a link's NSURL, data-detector results as NSData, and attachment
// transfer GUIDs.
TEST_F(RealBlobs, IntactSamplesDecodeWithRunsCoveringTheText) {
  const struct {
    const char* name;
    size_t units;
    const char* digest;
  } samples[] = {{"AttributedBodyTextOnly", 10, "575c6ff30681f65ad1a4df3e5819f7626d4c9d34"},
                 {"AttributedBodyTextOnly2", 0, "8991558202c2ac12807f53f5e28174390ab6fb59"},
                 {"MultiPart", 0, "a955f2c23ec23a687983e50dfc2792b5933d41e0"},
                 {"URL", 0, "253e83d4b011ce3a5c60634311b842dd36b82c11"},
                 {"WeirdText", 21, "949842c9541695911f56d49e36ef6a60eb9e3b3e"},
                 {"ExtraData", 157, "7f211b6279538b4b127ab8266e1b3cee5983a341"},
                 {"Blank", 0, "da39a3ee5e6b4b0d3255bfef95601890afd80709"}};
  for (const auto& sample : samples) {
    AttributedString decoded = Read(sample.name);
    EXPECT_TRUE(decoded.complete) << sample.name;
    EXPECT_TRUE(PimJsonUtil::IsValidUtf8(decoded.text.data(), decoded.text.size()));
    EXPECT_EQ(RunTotal(decoded), sample.units ? sample.units : builder::Utf16Length(decoded.text))
        << sample.name;
    EXPECT_EQ(Digest(decoded), sample.digest) << sample.name;
  }
}

// Every prefix of a sample decodes without harm; once the string is whole
// the text is whole, before that it is a prefix of it.
TEST_F(RealBlobs, EveryPrefixGivesAPrefixOfTheText) {
  for (const char* name : {"AttributedBodyTextOnly", "MultiPart", "URL", "WeirdText"}) {
    std::string bytes = testing_support::ReadFile(folder_ + name);
    std::string full = Decode(bytes)->text;
    for (size_t length = 0; length < bytes.size(); ++length) {
      std::optional<AttributedString> part = Decode(bytes.substr(0, length));
      if (!part) continue;
      EXPECT_FALSE(part->complete) << name << " " << length;
      EXPECT_EQ(full.compare(0, part->text.size(), part->text), 0) << name << " " << length;
    }
  }
}

TEST(TypedStreamEncoder, RoundTripsTextsOfEveryLengthClass) {
  // One-byte, two-byte and four-byte length prefixes; NUL and non-ASCII.
  for (size_t length : {0, 1, 127, 128, 145, 146, 255, 256, 32767, 32768, 70000}) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    if (length > 3) text.replace(1, 3, std::string("\0\xC3\xA9", 3));
    std::optional<AttributedString> decoded = Decode(builder::EncodeAttributedBody(text));
    ASSERT_TRUE(decoded) << length;
    EXPECT_TRUE(decoded->complete) << length;
    EXPECT_EQ(decoded->text, text) << length;
    EXPECT_EQ(RunTotal(*decoded), builder::Utf16Length(text)) << length;
  }
}

TEST(TypedStreamEncoder, ManyRunsReferToSharedStringsClassesAndSets) {
  // More than 238 shared entries force two-byte reference numbers.
  std::string text;
  std::vector<std::string> guids;
  for (int i = 0; i < 150; ++i) {
    text += "part ";
    text += kPlaceholder;
    guids.push_back("at_" + std::to_string(2 * i + 1) + "_GUID" + std::to_string(i));
  }
  std::vector<builder::TextRun> runs = builder::MessageRuns(text, guids);
  // Two runs with the same attributes share one archived set.
  runs.push_back(runs[0]);
  text += "part ";
  std::optional<AttributedString> decoded = Decode(builder::EncodeAttributedBody(text, runs));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->complete);
  EXPECT_EQ(decoded->text, text);
  ASSERT_EQ(decoded->runs.size(), runs.size());
  for (size_t i = 0; i < runs.size(); ++i) {
    EXPECT_EQ(decoded->runs[i].length, runs[i].length) << i;
    const Attribute* part = Find(decoded->runs[i].attributes, kPartKey);
    ASSERT_NE(part, nullptr) << i;
    EXPECT_EQ(part->integer, runs[i].part) << i;
    const Attribute* guid = Find(decoded->runs[i].attributes, kTransferKey);
    EXPECT_EQ(guid ? guid->text : "", runs[i].fileTransferGuid) << i;
  }
}

// Bytes of a literal, NULs included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

// Hand-made archives: a header, then group bytes.
std::string Archived(const std::string& groups) {
  return Bytes("\x04\x0bstreamtyped\x81\xe8\x03") + groups;
}

TEST(TypedStreamDecoder, RefusesWhatIsNoArchiveAndSurvivesHostileOnes) {
  EXPECT_FALSE(Decode(""));
  EXPECT_FALSE(Decode("bplist00"));
  EXPECT_FALSE(Decode(std::string("\x04\x0btypedstreaX\x81\xe8\x03", 16)));
  EXPECT_FALSE(DecodeAttributedString(nullptr, 10));
  // A big-endian archive is read too.
  std::optional<Archive> big =
      Archive::Read(reinterpret_cast<const uint8_t*>("\x04\x0btypedstream\x81\x03\xe8"), 16);
  ASSERT_TRUE(big);
  EXPECT_TRUE(big->BigEndian());
  EXPECT_EQ(big->SystemVersion(), 1000);

  std::string nested = Bytes(
      "\x84\x01@\x84\x84\x84\x03"
      "Foo\x00\x85");
  for (int i = 0; i < 5000; ++i) nested += "\x92\x84\x93";  // an object in an object in ...
  const std::vector<std::string> hostile = {
      Archived(nested),
      // References to entries that do not exist.
      Archived("\x84\x01@\x84\xF0"),
      Archived("\x92"),
      Archived("\x84\x01@\x84\x81\xff\x7f"),
      // Arrays claiming more elements than there are bytes, or zero-size ones.
      Archived("\x84\x0b[999999999c]"),
      Archived("\x84\x07[99999{}]"),
      Archived("\x84\x06[9[9@]]" + std::string(200, '\x85')),
      // Unterminated and malformed type encodings.
      Archived("\x84\x03{a="),
      Archived("\x84\x02[c"),
      Archived("\x84\x01^"),
      Archived(Bytes("\x84\x00")),
      // A length prefix far beyond the archive.
      Archived("\x84\x01@\x84\x84\x84\x08NSString\x01\x85\x84\x01+\x82\xff\xff\xff\x7f"
               "abc"),
  };
  for (const std::string& bytes : hostile) {
    std::optional<Archive> archive =
        Archive::Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(archive);
    EXPECT_FALSE(archive->Complete());
  }
  // The string cut short keeps the bytes there are.
  std::optional<AttributedString> cut = Decode(hostile.back());
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->text, "abc");

  // A class that is its own superclass: complete, but names no string.
  std::string cycle = Archived(Bytes("\x84\x01@\x84\x84\x84\x05NSFoo\x00\x93\x84\x01+\x01x\x86"));
  std::optional<Archive> archive =
      Archive::Read(reinterpret_cast<const uint8_t*>(cycle.data()), cycle.size());
  ASSERT_TRUE(archive);
  EXPECT_TRUE(archive->Complete());
  EXPECT_FALSE(archive->IsKindOf(0, "NSString"));
  EXPECT_FALSE(Decode(cycle));
}

}  // namespace
