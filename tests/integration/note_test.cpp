// The notes kind through the host code: both note databases in backups the
// builder writes, the body rules on device-encoded and hostile bodies,
// attachment files from the manifest, the host's inflation, and the note-list
// command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/NoteProtobuf.h"
#include "builder/kinds/NoteStores.h"
#include "integration/KindScanSupport.h"
#include "support/TestSupport.h"
#include "vorn/PimJsonUtil.h"

namespace {

using builder::BackupBuilder;
using builder::notes::kObjectReplacement;
using builder::notes::LegacyNote;
using builder::notes::NoteStoreContent;
using builder::notes::StoreAttachment;
using builder::notes::StoreNote;
using kind_scan::ExpectGolden;
using kind_scan::kScan;
using kind_scan::MaskedResults;
using kind_scan::ScanPayload;
using testing_support::Quoted;
using testing_support::ResultTexts;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kNoteList[] = "LIBMODEL_KELDRA_QUERY_NOTE_LIST";
constexpr char kDecompress[] = "LIBPLATFORM_DECOMPRESS_ZIP_STREAM";
const std::string kMark = kObjectReplacement;

// The notes of a scan's list stage.
rapidjson::Document Notes(const std::vector<std::string>& results) {
  rapidjson::Document stage, notes;
  stage.Parse(results.at(1).c_str());
  notes.CopyFrom(stage["result"], notes.GetAllocator());
  return notes;
}

std::string Uuid(int n) {
  char tail[16];
  std::snprintf(tail, sizeof tail, "%012d", n);
  return std::string("A1B2C3D4-0000-4000-8000-") + tail;
}

// Request events of the platform's decompression, answered or not.
std::vector<bool> DecompressAnswers(const host::Recorder& recorder) {
  std::vector<bool> answers;
  for (const auto& event : recorder.Events())
    if (std::string((*event)["event"].GetString()) == "request")
      answers.push_back((*event)["answered"].GetBool());
  return answers;
}

// Builds a backup with these notes in `root` and scans it for notes.
host::Recorder ScanStore(const TempFolder& root, const NoteStoreContent& store,
                         const builder::BackupOptions& options = {}) {
  {
    BackupBuilder backup(root.Path(), options);
    builder::notes::AddNoteStore(backup, store);
  }
  return Send(kScan, ScanPayload(root.Path(), "[5]"));
}

LegacyNote Legacy(const std::string& title, const std::string& content) {
  LegacyNote note;
  note.title = title;
  note.content = content;
  return note;
}

StoreAttachment Attachment(const std::string& identifier, const std::string& media,
                           const std::string& type = "public.jpeg", int previews = 2) {
  StoreAttachment attachment;
  attachment.ref.identifier = identifier;
  attachment.ref.typeUti = type;
  attachment.mediaIdentifier = media;
  attachment.previews = previews;
  return attachment;
}

StoreNote TextNote(const std::string& title, const std::string& text, double modified) {
  StoreNote note;
  note.title = title;
  note.text = text;
  note.modified = modified;
  return note;
}

StoreNote BodyNote(const std::string& title, const std::string& body, double modified) {
  StoreNote note = TextNote(title, "", modified);
  note.body = body;
  return note;
}

// One body with its protobuf bytes changed: the first edit record's length
// byte is not 0x10, as happens on devices.
std::string WithoutEndMarker(const std::string& text) {
  builder::notes::NoteContent content;
  content.text = text;
  std::string body = builder::notes::EncodeNoteBody(content);
  const std::string marker("\x1A\x10\x0A\x04", 4);
  for (size_t at = body.find(marker); at != std::string::npos; at = body.find(marker, at))
    body[at + 1] = 0x11;
  return builder::notes::Gzip(body);
}

// notes.sqlite first, in table order, then the store, newest first; 0 and
// NULL dates give "", and a record under 128 bytes is cut from one byte into
// its text.
TEST(Notes, BothDatabasesInOneBackupGiveTheirNotesInOrder) {
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    LegacyNote untitled;
    untitled.created = 0;
    untitled.modified.reset();
    builder::notes::AddLegacyNotes(backup, {Legacy("Shopping", "<div>Milk</div>"), untitled});
    NoteStoreContent store;
    store.notes = {TextNote("Older", "Older\nfirst written", 700000000.0),
                   TextNote("Newer", "Newer\nwritten later", 710000000.0)};
    store.notes[1].plainCreated = 700000000.0;
    store.notes[0].title.reset();
    builder::notes::AddNoteStore(backup, store);
  }
  kind_scan::ScopedTimeZone zone;
  ExpectGolden("cases/notes-both-databases.jsonl", kind_scan::ScanResults(root.Path(), "[5]"));
}

TEST(Notes, BodyRulesOnDeviceShapedAndDamagedBodies) {
  TempFolder root;
  NoteStoreContent store;
  StoreNote twoObjects =
      TextNote("Two", "Two\nbefore " + kMark + " between " + kMark + " after", 800000000.0);
  twoObjects.attachments = {Attachment(Uuid(1), Uuid(101)),
                            Attachment(Uuid(2), Uuid(102), "com.apple.drawing.2")};
  StoreNote orphanMark =
      TextNote("Orphan", "Orphan\nmark " + kMark + " without a record", 790000000.0);
  store.notes = {
      twoObjects,
      orphanMark,
      BodyNote("No end", WithoutEndMarker("No end\nof text"), 760000000.0),
      BodyNote("Not gzip", "plain bytes, no stream", 750000000.0),
      BodyNote("Truncated", builder::notes::StoredBody(twoObjects).substr(0, 12), 740000000.0),
      BodyNote("Empty blob", "", 730000000.0)};
  StoreNote nullBody = TextNote("Null body", "", 720000000.0);
  nullBody.nullBody = true;  // not selected
  StoreNote locked = TextNote("Locked", "Locked\nsecret", 710000000.0);
  locked.locked = true;
  store.notes.push_back(nullBody);
  store.notes.push_back(locked);
  kind_scan::ScopedTimeZone zone;
  host::Recorder recorder = ScanStore(root, store);
  ExpectGolden("cases/notes-body-rules.jsonl", MaskedResults(recorder, root.Path()));
  // Bodies the module's inflater cannot take go to the host; what it cannot
  // inflate stays unanswered. (The body of "Two" outgrows its 256-byte
  // buffer.) The cut stream yields a byte or two, but the module's inflater
  // left no length: no text.
  EXPECT_THAT(DecompressAnswers(recorder), testing::ElementsAre(true, false, true, false, false));
}

// The media folder is named by another identifier than the body's; a path
// that is the key alone, in another domain, sorts first; a hand-made record
// with an empty key after the text end matches every file of the map,
// directories too.
TEST(Notes, AttachmentKeysListEveryManifestFileHoldingThem) {
  TempFolder root;
  NoteStoreContent store;
  StoreNote photo = TextNote("Photo", "Photo\n" + kMark, 800000000.0);
  photo.attachments = {Attachment(Uuid(7), Uuid(8))};
  store.notes = {photo};
  std::string emptyKeyBody = std::string("\x08\x00\x12\x70\x08\x00\x10\x00\x1A\x6A\x12\x05xQ", 14) +
                             "x" + kMark + "\x1A\x10\x0A\x04" + "b\x02\x0A$\x12";
  store.notes.push_back(BodyNote("Empty key", builder::notes::Gzip(emptyKeyBody), 700000000.0));
  {
    BackupBuilder backup(root.Path());
    builder::notes::AddNoteStore(backup, store);
    backup.AddFile("AppDomain-com.example.viewer", Uuid(7), "copy");
  }
  kind_scan::ScopedTimeZone zone;
  ExpectGolden("cases/notes-attachment-keys.jsonl", kind_scan::ScanResults(root.Path(), "[5]"));
}

TEST(Notes, LegacyManifestsNameStoredFilesByTheirIdAlone) {
  TempFolder root;
  builder::BackupOptions options;
  options.manifest = builder::ManifestFormat::kMbdb;
  NoteStoreContent store;
  StoreNote photo = TextNote("Photo", "Photo\n" + kMark, 800000000.0);
  photo.attachments = {Attachment(Uuid(9), "", "public.jpeg", 1)};
  store.notes = {photo};
  kind_scan::ScopedTimeZone zone;
  ExpectGolden("cases/notes-legacy-manifest.jsonl",
               MaskedResults(ScanStore(root, store, options), root.Path()));
}

TEST(Notes, LargeBodiesGoThroughTheHostAndBombsAreCapped) {
  TempFolder root;
  const std::string text(5 << 20, 't');  // above the 4 MiB buffer once inflated
  builder::notes::NoteContent big;
  big.text = "Big\n" + text;
  std::string bigBody = builder::notes::EncodeNoteBody(big);
  builder::notes::NoteContent small;
  small.text = "Bomb\nhello";
  // Valid note bytes followed by 320 MiB of zeros, in a stream of 320 KiB.
  std::string bomb =
      builder::notes::GzipFilled(builder::notes::EncodeNoteBody(small), uint64_t{320} << 20, '\0');
  NoteStoreContent store;
  store.notes = {BodyNote("Big", builder::notes::Gzip(bigBody), 800000000.0),
                 BodyNote("Bomb", bomb, 700000000.0)};
  host::Recorder recorder = ScanStore(root, store);
  rapidjson::Document notes = Notes(MaskedResults(recorder, root.Path()));
  // Long length fields put byte 13 above 0x7F: the text is cut from 14, with
  // the tail of the length fields before it (repaired where not UTF-8).
  size_t marker = bigBody.find(std::string("\x1A\x10\x0A\x04", 4));
  std::string expected = PimJsonUtil::RepairUtf8(bigBody.data() + 14, marker - 14);
  std::string content(notes[0]["content"].GetString(), notes[0]["content"].GetStringLength());
  EXPECT_EQ(content.size(), expected.size());
  EXPECT_TRUE(content == expected);
  EXPECT_EQ(content.substr(content.size() - text.size()), text);
  EXPECT_STREQ(notes[1]["content"].GetString(), "omb\nhello");
  EXPECT_THAT(DecompressAnswers(recorder), testing::ElementsAre(true, true));

  host::SendOptions refused = testing_support::BuildTreeOptions();
  refused.refuse.insert(kDecompress);
  notes = Notes(kind_scan::ScanResults(root.Path(), "[5]", refused));
  EXPECT_STREQ(notes[0]["content"].GetString(), "");
  EXPECT_STREQ(notes[1]["content"].GetString(), "");
}

TEST(Notes, NoteListReadsTheGivenDatabasesWithoutAttachmentFiles) {
  TempFolder root;
  NoteStoreContent store;
  StoreNote photo = TextNote("Photo", "Photo\n" + kMark, 800000000.0);
  photo.attachments = {Attachment(Uuid(3), Uuid(4))};
  store.notes = {photo};
  builder::notes::WriteNoteStore(store, root / "NoteStore.sqlite");
  builder::notes::WriteLegacyNotes({Legacy("Old", "body")}, root / "notes.sqlite");
  kind_scan::ScopedTimeZone zone;
  host::Recorder recorder =
      Send(kNoteList, "{\"note_db_path\":" + Quoted(root / "notes.sqlite") +
                          ",\"note_store_db_path\":" + Quoted(root / "NoteStore.sqlite") + "}");
  std::vector<std::string> results = MaskedResults(recorder, root.Path());
  ASSERT_EQ(recorder.Count("notify"), 1u);
  EXPECT_EQ((*recorder.Payloads("notify")[0])["status"].GetInt(), 1);

  // Paths that are missing, not strings, or name no note database: three
  // stage messages with no notes, and the command still finishes.
  for (const std::string& payload :
       {std::string("{}"), std::string("[1,2]"),
        std::string("{\"note_db_path\":5,\"note_store_db_path\":null}"),
        "{\"note_db_path\":" + Quoted(root / "missing.sqlite") +
            ",\"note_store_db_path\":" + Quoted(root / "notes.sqlite") + "}"}) {
    std::vector<std::string> empty = ResultTexts(Send(kNoteList, payload));
    results.insert(results.end(), empty.begin(), empty.end());
  }
  ExpectGolden("cases/note-list.jsonl", results);
}

}  // namespace
