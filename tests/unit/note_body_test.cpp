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
#include "builder/kinds/NoteStores.h"
#include "kind/note/Note.h"
#include "kind/note/NoteBody.h"
#include "kind/note/NoteRecord.h"
#include "support/TestSupport.h"
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
  std::string Keys() const {
    if (!note.HasMember("attachments")) return "-";
    std::string keys;
    for (const auto& attachment : note["attachments"].GetArray())
      keys += (keys.empty() ? "" : ",") + std::string(attachment["key"].GetString());
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

// What each body gives: its content ("<none>": the body is refused and the
// note left untouched) and its attachment keys ("-": no attachment list).
TEST(NoteBody, TextStartEndAndAttachmentKeysFollowTheByteRules) {
  NoteContent longNote;  // both length fields take two bytes: byte 12 is 0x12
  longNote.text = "Holiday\nBeach " + kMark + " and hills " + kMark +
                  "\nthe end, with enough text to make the note record longer than one "
                  "length byte can say";
  longNote.attachments = {{Uuid('A'), "public.jpeg"}, {Uuid('B'), "com.apple.drawing.2"}};
  NoteContent oats, nonAscii;
  oats.text = "OATS\nbuy";        // short record: byte 13 is 'A'
  nonAscii.text = "\xC5\x85ote";  // U+0145: byte 13 is 0x85
  // Records after the text: a good one, one without the 'b' tag, one whose
  // key runs to the next 0x12 far behind, an empty key, and one with no 0x12
  // after it at all.
  const std::string records = kEnd + "junk" + "b\x40\x0A$KEY-ONE\x12" + "uti" +
                              "c\x40\x0A$NOT-A-KEY\x12" + "b\x40\x0A$" + "\x12" + "b\x40\x0A$last";
  const struct {
    std::string body, content, keys;
  } kCases[] = {
      {EncodeNoteBody(longNote),
       "Holiday\nBeach [Attachment] and hills [Attachment]\nthe end, with enough text to make "
       "the note record longer than one length byte can say",
       Uuid('A') + "," + Uuid('B')},
      {EncodeNoteBody(oats), "ATS\nbuy", "-"},
      {EncodeNoteBody(nonAscii), "ote", "-"},
      // The rule starts at 13 unless byte 13 is a control character or not
      // ASCII, or byte 12 is 0x12.
      {Handmade('x', '\x1F', "abc" + kEnd), "abc", "-"},
      {Handmade('\x12', 'Q', "abc" + kEnd), "abc", "-"},
      {Handmade('x', 'Q', "abc" + kEnd), "Qabc", "-"},
      {Handmade('x', 'Q', "\xFF\xFE ok" + kEnd), "Q\xEF\xBF\xBD\xEF\xBF\xBD ok", "-"},
      {Handmade('x', 'Q', "a" + kMark + "b" + records), "Qa[Attachment]b", "KEY-ONE,"},
      {Handmade('x', 'Q', "a" + kMark + "b" + kEnd), "Qa[Attachment]b", ""},
      {Handmade('x', 'Q', "plain" + kEnd + "b\x40\x0A$KEY\x12"), "Qplain", "-"},
      // "\n$" inside the text itself is not searched.
      {Handmade('x', 'Q', kMark + "b\x01\x0A$INSIDE\x12" + kEnd),
       "Q[Attachment]b\x01\x0A$INSIDE\x12", ""},
      {"", "<none>", "-"},
      {std::string(13, 'a'), "<none>", "-"},
      {Handmade('x', '\x01', ""), "<none>", "-"},  // 14 bytes, start 14
      {Handmade('x', 'Q', "text without its end"), "<none>", "-"},
      {Handmade('x', '\x1A', "\x10\x0A\x04 tail"), "<none>", "-"},  // marker at 13, text at 14
      {Handmade('\x12', 'Q', kEnd), "<none>", "-"},                 // marker at the start 14
      // The marker counts only from the text start on.
      {kEnd + std::string(8, 'h') + "xQtext", "<none>", "-"},
  };
  for (const auto& c : kCases) {
    auto cut = CutBody(c.body);
    SCOPED_TRACE(testing::PrintToString(c.body));
    EXPECT_EQ(cut->ok, c.content != "<none>");
    EXPECT_EQ(cut->Content(), c.content);
    EXPECT_EQ(cut->Keys(), c.keys);
  }
  // Each key names its note.
  EXPECT_THAT(
      CutBody(EncodeNoteBody(longNote))->Json(),
      testing::EndsWith("{\"key\":\"" + Uuid('B') + "\",\"note_id\":\"Note-7\",\"info\":[]}]}"));
}

TEST(NoteBody, EveryPrefixIsSafe) {
  NoteContent content;
  content.text = "Title\n" + kMark + kMark + " body text";
  content.attachments = {{Uuid('C')}, {Uuid('D')}};
  std::string body = EncodeNoteBody(content);
  for (size_t length = 0; length <= body.size(); ++length) CutBody(body.substr(0, length));
}

}  // namespace

// Complete reading decodes the record itself. A table is built here as the
// object graph devices store: rows and columns are ordered sets whose
// positions differ from the order of their entries, so an ordering fault
// shows.
std::string TableRecord() {
  using builder::notes::ProtoWriter;
  auto ref = [](uint64_t entry) { return ProtoWriter().Varint(6, entry); };
  auto item = [](uint64_t key, const ProtoWriter& value) {
    return ProtoWriter().Varint(1, key).Message(2, value);
  };
  auto uuidObject = [&](uint64_t uuid) {  // type 0, key 0 "UUIDIndex"
    ProtoWriter map;
    map.Varint(1, 0).Message(3, item(0, ProtoWriter().Varint(2, uuid)));
    return ProtoWriter().Message(13, map);
  };
  auto pair = [&](uint64_t key, uint64_t value) {
    return ProtoWriter().Message(1, ref(key)).Message(2, ref(value));
  };
  auto uuidBytes = [](char c) { return std::string(16, c); };
  // Ordered set over slots (position, slot uuid index); `contents` maps slot
  // objects to identity objects.
  auto orderedSet = [&](std::vector<std::pair<uint64_t, char>> slots,
                        std::vector<std::pair<uint64_t, uint64_t>> contents) {
    ProtoWriter array, dictionary;
    for (const auto& [position, uuid] : slots)
      array.Message(2, ProtoWriter().Varint(1, position).Bytes(2, uuidBytes(uuid)));
    for (const auto& [slot, identity] : contents) dictionary.Message(1, pair(slot, identity));
    return ProtoWriter().Message(
        16, ProtoWriter().Message(1, ProtoWriter().Message(1, array).Message(2, dictionary)));
  };
  auto dictionary = [&](std::vector<std::pair<uint64_t, uint64_t>> pairs) {
    ProtoWriter elements;
    for (const auto& [key, value] : pairs) elements.Message(1, pair(key, value));
    return ProtoWriter().Message(6, elements);
  };
  auto cell = [](const char* text) {
    return ProtoWriter().Message(10, ProtoWriter().Bytes(2, text));
  };
  // uuid list: 0..3 row slots/identities, 4..7 column slots/identities.
  std::vector<ProtoWriter> entries = {
      /*0 root*/ ProtoWriter().Message(13, ProtoWriter()
                                               .Varint(1, 1)
                                               .Message(3, item(1, ref(1)))
                                               .Message(3, item(2, ref(2)))
                                               .Message(3, item(3, ref(3)))),
      /*1 rows*/ orderedSet({{1, 'a'}, {0, 'b'}}, {{4, 5}, {6, 7}}),
      /*2 cols*/ orderedSet({{0, 'c'}, {1, 'z'}}, {{8, 9}, {10, 11}}),
      /*3 cells by column*/ dictionary({{9, 12}, {11, 13}}),
      /*4..11*/ uuidObject(0),
      uuidObject(1),
      uuidObject(2),
      uuidObject(3),
      uuidObject(4),
      uuidObject(5),
      uuidObject(6),
      uuidObject(7),
      /*12 column 5*/ dictionary({{5, 14}, {7, 15}}),
      /*13 column 7*/ dictionary({{5, 16}}),
      /*14..16*/ cell("r1c1"),
      cell("r0c1"),
      cell("r1c2")};
  ProtoWriter graph;
  for (const ProtoWriter& entry : entries) graph.Message(3, entry);
  graph.Bytes(4, "UUIDIndex").Bytes(4, "crRows").Bytes(4, "crColumns").Bytes(4, "cellColumns");
  graph.Bytes(5, "com.apple.CRDT.NSUUID").Bytes(5, "com.apple.notes.ICTable");
  for (char c : std::string("axbycdzw")) graph.Bytes(6, uuidBytes(c));
  // Row slots 'a','b' are uuids 0 and 2 (identities 1, 3); column slots
  // 'c','z' are 4 and 6 (identities 5, 7).
  return ProtoWriter().Varint(1, 0).Message(2, ProtoWriter().Message(3, graph)).Data();
}

TEST(NoteRecord, DecodesWholeRecordsAndRejectsBrokenOnes) {
  NoteContent content;
  content.text = "Holiday\n" + kMark + " long enough " + std::string(200, 'x') + kMark;
  content.attachments = {{Uuid('A'), "public.jpeg"}, {Uuid('B'), "com.apple.notes.table"}};
  const std::string note = EncodeNoteBody(content);
  ASSERT_EQ(static_cast<uint8_t>(note[12]), 0x12);  // the lengths took two bytes

  auto decoded = keldra::DecodeNoteRecord(note);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->text, content.text);
  ASSERT_EQ(decoded->attachments.size(), 2u);
  EXPECT_EQ(decoded->attachments[1].identifier, Uuid('B'));
  EXPECT_EQ(decoded->attachments[1].uti, "com.apple.notes.table");

  // Row positions 1,0 put the row of identity 3 first; its second cell is
  // missing and stays empty.
  auto table = keldra::DecodeNoteRecord(TableRecord());
  ASSERT_TRUE(table);
  EXPECT_EQ(table->text, "r0c1\t\nr1c1\tr1c2\n");

  // Every cut short record, and records broken in each way the wire allows.
  for (size_t length = 0; length < note.size(); ++length)
    EXPECT_FALSE(keldra::DecodeNoteRecord(note.substr(0, length))) << length;
  const std::string broken[] = {
      std::string("\x08\x00\x12\x03\x00\x00\x00", 7),        // field number 0
      std::string("\x08\x00\x12\x02\x1B\x00", 6),            // a group
      "\x08" + std::string(10, '\xFF') + "\x01",             // an eleven-byte varint
      std::string("\x12\xFF\xFF\xFF\xFF\x0F", 6) + "short",  // length past the end
      std::string("\x12\x04\x1A\x02\x12\x05", 6),            // inner length past its parent
  };
  for (const std::string& body : broken)
    EXPECT_FALSE(keldra::DecodeNoteRecord(body)) << testing::PrintToString(body);
}

// A note store's embedded table: its cells live in the table's own row,
// gzipped in the mergeable-data column, and complete reading gives them as
// the attachment's "text".
TEST(NoteRecord, EmbeddedTablesOfAStoreGiveTheirRows) {
  builder::notes::NoteStoreContent store;
  builder::notes::StoreNote withTable;
  withTable.title = "Plan";
  withTable.text = "Plan\n" + kMark;
  builder::notes::StoreAttachment table;
  table.ref = {Uuid('T'), "com.apple.notes.table"};
  withTable.attachments = {table};
  store.notes.push_back(withTable);
  testing_support::TempFolder folder;
  const std::string path = folder / "NoteStore.sqlite";
  builder::notes::WriteNoteStore(store, path);
  std::string hex;
  for (unsigned char byte : builder::notes::Gzip(TableRecord())) {
    static const char kDigits[] = "0123456789ABCDEF";
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  testing_support::ExecSql(path,
                           "ALTER TABLE ZICCLOUDSYNCINGOBJECT ADD COLUMN ZMERGEABLEDATA1 BLOB;"
                           "UPDATE ZICCLOUDSYNCINGOBJECT SET ZMERGEABLEDATA1 = x'" +
                               hex + "' WHERE ZIDENTIFIER = '" + Uuid('T') + "'");

  keldra::Note kind;
  kind.SetCompleteReading(true);
  ASSERT_TRUE(kind.ReadNoteStoreDb(path));
  const rapidjson::Value& attachment = kind.Results()[0]["attachments"][0];
  EXPECT_STREQ(attachment["uti"].GetString(), "com.apple.notes.table");
  EXPECT_STREQ(attachment["text"].GetString(), "r0c1\t\nr1c1\tr1c2\n");
}
