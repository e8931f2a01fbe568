// Cutting text and attachment keys out of inflated note bodies: the byte
// rules on bodies the builder encodes as devices do and on hand-made ones,
// and every prefix of a body (no read may leave it).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "builder/kinds/NoteProtobuf.h"
#include "kind/note/NoteBody.h"
#include "vorn/PimJsonUtil.h"

namespace {

using builder::notes::AttachmentRef;
using builder::notes::EncodeNoteBody;
using builder::notes::kObjectReplacement;
using builder::notes::NoteContent;

const std::string kMark = kObjectReplacement;
const std::string kEnd = "\x1A\x10\x0A\x04";

struct Cut {
  bool ok = false;
  rapidjson::Document note{rapidjson::kObjectType};
  std::string Json() const { return PimJsonUtil::ToString(note); }
  std::string Content() const {
    auto member = note.FindMember("content");
    return member == note.MemberEnd() ? "<none>" : member->value.GetString();
  }
  bool HasAttachments() const { return note.HasMember("attachments"); }
  std::vector<std::string> Keys() const {
    std::vector<std::string> keys;
    for (const auto& attachment : note["attachments"].GetArray())
      keys.push_back(attachment["key"].GetString());
    return keys;
  }
};

std::unique_ptr<Cut> CutBody(const std::string& body, const std::string& id = "Note-7") {
  auto cut = std::make_unique<Cut>();
  // A copy of exactly the body's size, so that ASan sees any read beyond it.
  std::unique_ptr<uint8_t[]> exact(new uint8_t[body.size() ? body.size() : 1]);
  std::memcpy(exact.get(), body.data(), body.size());
  cut->ok =
      keldra::ExtractNoteBody(exact.get(), body.size(), cut->note, cut->note.GetAllocator(), id);
  return cut;
}

// Twelve header bytes, then `at12`, `at13` and the rest.
std::string Handmade(char at12, char at13, const std::string& rest) {
  return std::string("\x08\x00\x12\x70\x08\x00\x10\x00\x1A\x6A\x12\x05", 12) + at12 + at13 + rest;
}

std::string Uuid(char fill) {
  return std::string(8, fill) + "-1111-2222-3333-444455556666";
}

TEST(NoteBody, EncodedBodiesGiveTheirTextAndKeysInOrder) {
  NoteContent content;
  content.text = "Holiday\nBeach " + kMark + " and hills " + kMark +
                 "\nthe end, with enough text "
                 "to make the note record longer than one length byte can say";
  content.attachments = {{Uuid('A'), "public.jpeg"}, {Uuid('B'), "com.apple.drawing.2"}};
  std::string body = EncodeNoteBody(content);
  ASSERT_EQ(static_cast<uint8_t>(body[12]), 0x12);  // both length fields took two bytes

  auto cut = CutBody(body);
  ASSERT_TRUE(cut->ok);
  EXPECT_EQ(cut->Content(),
            "Holiday\nBeach [Attachment] and hills [Attachment]\nthe end, with "
            "enough text to make the note record longer than one length byte "
            "can say");
  EXPECT_THAT(cut->Keys(), testing::ElementsAre(Uuid('A'), Uuid('B')));
  EXPECT_EQ(cut->Json().substr(cut->Json().find("\"attachments\"")),
            "\"attachments\":[{\"key\":\"" + Uuid('A') +
                "\",\"note_id\":\"Note-7\",\"info\":[]},"
                "{\"key\":\"" +
                Uuid('B') + "\",\"note_id\":\"Note-7\",\"info\":[]}]}");
}

TEST(NoteBody, TextStartFollowsBytesTwelveAndThirteen) {
  // Short records: the text sits at 12, and the rule starts at 13 unless
  // byte 13 is a control character or not ASCII.
  NoteContent shortNote;
  shortNote.text = "OATS\nbuy";
  std::string body = EncodeNoteBody(shortNote);
  ASSERT_EQ(body.substr(12, 2), "OA");
  EXPECT_EQ(CutBody(body)->Content(), "ATS\nbuy");

  shortNote.text = "\xC5\x85ote";  // U+0145: byte 13 is 0x85
  body = EncodeNoteBody(shortNote);
  ASSERT_EQ(static_cast<uint8_t>(body[13]), 0x85);
  EXPECT_EQ(CutBody(body)->Content(), "ote");

  EXPECT_EQ(CutBody(Handmade('x', '\x1F', "abc" + kEnd))->Content(), "abc");
  EXPECT_EQ(CutBody(Handmade('\x12', 'Q', "abc" + kEnd))->Content(), "abc");
  EXPECT_EQ(CutBody(Handmade('x', 'Q', "abc" + kEnd))->Content(), "Qabc");
}

TEST(NoteBody, NothingIsAddedWhenNoTextCanBeCut) {
  for (const std::string& body :
       {std::string(), std::string(13, 'a'), Handmade('x', '\x01', ""),  // 14 bytes, start 14
        Handmade('x', 'Q', "text without its end"),                      // no marker
        Handmade('x', '\x1A', "\x10\x0A\x04 tail"),  // marker begins at 13, text at 14
        Handmade('\x12', 'Q', kEnd)}) {              // marker at the start 14
    auto cut = CutBody(body);
    EXPECT_FALSE(cut->ok) << testing::PrintToString(body);
    EXPECT_EQ(cut->Json(), "{}");
  }
  // The marker counts only from the text start on.
  auto cut = CutBody(std::string("\x1A\x10\x0A\x04", 4) + std::string(8, 'h') + "xQtext");
  EXPECT_FALSE(cut->ok);
}

TEST(NoteBody, AttachmentRecordsNeedTheirTagTwoBytesBefore) {
  std::string text = "a" + kMark + "b";
  // Records after the text: a good one, one without the 'b' tag, one whose
  // key runs to the next 0x12 far behind, an empty key, and one with no 0x12
  // after it at all.
  std::string tail = kEnd + "junk" + "b\x40\x0A$KEY-ONE\x12" + "uti" + "c\x40\x0A$NOT-A-KEY\x12" +
                     "b\x40\x0A$" + "\x12" + "b\x40\x0A$last";
  auto cut = CutBody(Handmade('x', 'Q', text + tail));
  ASSERT_TRUE(cut->ok);
  EXPECT_EQ(cut->Content(), "Qa[Attachment]b");
  EXPECT_THAT(cut->Keys(), testing::ElementsAre("KEY-ONE", ""));

  // A mark with no record at all: an empty list.
  cut = CutBody(Handmade('x', 'Q', text + kEnd));
  EXPECT_EQ(cut->Json().substr(cut->Json().find("\"attachments\"")), "\"attachments\":[]}");
  // No mark: no list, whatever records follow.
  cut = CutBody(Handmade('x', 'Q', "plain" + kEnd + "b\x40\x0A$KEY\x12"));
  EXPECT_FALSE(cut->HasAttachments());
}

TEST(NoteBody, RecordsBeforeTheTextEndAreNotKeys) {
  // "\n$" inside the text itself is not searched.
  std::string text = kMark + "b\x01\x0A$INSIDE\x12";
  auto cut = CutBody(Handmade('x', 'Q', text + kEnd));
  ASSERT_TRUE(cut->ok);
  EXPECT_TRUE(cut->Keys().empty());
}

TEST(NoteBody, InvalidUtf8IsRepairedAndEveryPrefixIsSafe) {
  auto cut = CutBody(Handmade('x', 'Q', "\xFF\xFE ok" + kEnd));
  EXPECT_EQ(cut->Content(), "Q\xEF\xBF\xBD\xEF\xBF\xBD ok");

  NoteContent content;
  content.text = "Title\n" + kMark + kMark + " body text";
  content.attachments = {{Uuid('C')}, {Uuid('D')}};
  std::string body = EncodeNoteBody(content);
  for (size_t length = 0; length <= body.size(); ++length) CutBody(body.substr(0, length));
}

}  // namespace
