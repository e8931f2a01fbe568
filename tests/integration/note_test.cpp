// The notes kind through the host code: both note databases in backups the
// builder writes, the body rules on device-encoded and hostile bodies,
// attachment files from the manifest, the host's inflation, and the note-list
// command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/NoteProtobuf.h"
#include "builder/kinds/NoteStores.h"
#include "support/TestSupport.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilitySys.h"

namespace {

using builder::BackupBuilder;
using builder::notes::AttachmentRef;
using builder::notes::kNotesDomain;
using builder::notes::kObjectReplacement;
using builder::notes::LegacyNote;
using builder::notes::NoteStoreContent;
using builder::notes::StoreAttachment;
using builder::notes::StoreNote;
using testing_support::Json;
using testing_support::ResultTexts;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kNoteList[] = "LIBMODEL_KELDRA_QUERY_NOTE_LIST";
constexpr char kDecompress[] = "LIBPLATFORM_DECOMPRESS_ZIP_STREAM";
const std::string kMark = kObjectReplacement;

using testing_support::Quoted;

std::string ScanPayload(const std::string& folder) {
  return "{\"backupDir\":" + Quoted(folder) + ",\"types\":[5]}";
}

// The note kind's three stage messages of a recording, which it keeps alive
// when given a temporary.
struct NoteResults {
  std::shared_ptr<host::Recorder> owned;
  std::vector<const rapidjson::Value*> stages;
  const rapidjson::Value& Summary() const { return (*stages.at(0))["result"]; }
  const rapidjson::Value& Notes() const { return (*stages.at(1))["result"]; }
  const rapidjson::Value& Note(size_t i) const {
    return Notes()[static_cast<rapidjson::SizeType>(i)];
  }
};

NoteResults NoteStages(const host::Recorder& recorder) {
  NoteResults results;
  for (const rapidjson::Value* payload : recorder.Payloads("result"))
    if (payload->HasMember("type") && (*payload)["type"].GetInt() == 5)
      results.stages.push_back(payload);
  EXPECT_EQ(results.stages.size(), 3u);
  return results;
}

NoteResults NoteStages(host::Recorder&& recorder) {
  auto owned = std::make_shared<host::Recorder>(std::move(recorder));
  NoteResults results = NoteStages(*owned);
  results.owned = owned;
  return results;
}

std::string Member(const rapidjson::Value& object, const char* name) {
  auto member = object.FindMember(name);
  if (member == object.MemberEnd()) return "<absent>";
  if (!member->value.IsString()) return Json(member->value);
  return std::string(member->value.GetString(), member->value.GetStringLength());
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

std::string Date(int64_t seconds) {
  return VRNUtilitySys::DateText2001(seconds);
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

TEST(Notes, BothDatabasesInOneBackupGiveTheirNotesInOrder) {
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    LegacyNote untitled;
    untitled.created = 0;  // 0 and NULL give ""
    untitled.modified.reset();
    builder::notes::AddLegacyNotes(backup, {Legacy("Shopping", "<div>Milk</div>"), untitled});
    NoteStoreContent store;
    store.notes = {TextNote("Older", "Older\nfirst written", 700000000.0),
                   TextNote("Newer", "Newer\nwritten later", 710000000.0)};
    store.notes[1].plainCreated = 700000000.0;
    store.notes[0].title.reset();
    builder::notes::AddNoteStore(backup, store);
  }
  // Numbering, member order and the stage messages are in the golden
  // output; what it has no case of is checked here.
  NoteResults results = NoteStages(Send(kScan, ScanPayload(root.Path())));
  ASSERT_EQ(results.Notes().Size(), 4u);
  std::vector<std::string> subjects;
  for (const auto& note : results.Notes().GetArray())
    subjects.push_back(note["subject"].GetString());
  // notes.sqlite first, in table order; then the store, newest first.
  EXPECT_THAT(subjects, testing::ElementsAre("Shopping", "", "Newer", ""));
  EXPECT_EQ(Member(results.Note(1), "dateCreated"), "");
  EXPECT_EQ(Member(results.Note(1), "dateModified"), "");
  EXPECT_EQ(Member(results.Note(2), "dateCreated"), Date(700000000));
  EXPECT_EQ(Member(results.Note(2), "dateModified"), Date(710000000));
  // A record under 128 bytes: the cut starts one byte into the text.
  EXPECT_EQ(Member(results.Note(2), "content"), "ewer\nwritten later");
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
      TextNote("OATS", "OATS\nbuy", 780000000.0),      // byte 13 'A'
      TextNote("U+0145", "\xC5\x85ote", 770000000.0),  // byte 13 0x85
      BodyNote("No end", WithoutEndMarker("No end\nof text"), 760000000.0),
      BodyNote("Not gzip", "plain bytes, no stream", 750000000.0),
      BodyNote("Truncated", builder::notes::StoredBody(twoObjects).substr(0, 12), 740000000.0),
      BodyNote("Empty blob", "", 730000000.0)};
  StoreNote nullBody = TextNote("Null body", "", 720000000.0);
  nullBody.nullBody = true;
  StoreNote locked = TextNote("Locked", "Locked\nsecret", 710000000.0);
  locked.locked = true;
  store.notes.push_back(nullBody);
  store.notes.push_back(locked);
  {
    BackupBuilder backup(root.Path());
    builder::notes::AddNoteStore(backup, store);
  }
  host::Recorder recorder = Send(kScan, ScanPayload(root.Path()));
  NoteResults results = NoteStages(recorder);
  ASSERT_EQ(results.Notes().Size(), 9u);  // the NULL body is not selected
  std::vector<std::string> contents;
  for (const auto& note : results.Notes().GetArray()) contents.push_back(Member(note, "content"));
  EXPECT_THAT(contents, testing::ElementsAre("Two\nbefore [Attachment] between [Attachment] after",
                                             "Orphan\nmark [Attachment] without a record",
                                             "ATS\nbuy", "ote", "", "", "", "", ""));
  std::vector<std::string> keys;
  for (const auto& attachment : results.Note(0)["attachments"].GetArray()) {
    keys.push_back(attachment["key"].GetString());
    EXPECT_STREQ(attachment["note_id"].GetString(), "Note-1");
  }
  EXPECT_THAT(keys, testing::ElementsAre(Uuid(1), Uuid(2)));
  EXPECT_EQ(Json(results.Note(1)["attachments"]), "[]");
  for (size_t i = 2; i < 9; ++i) EXPECT_FALSE(results.Note(i).HasMember("attachments")) << i;
  // Bodies the module's inflater cannot take go to the host; what it cannot
  // inflate stays unanswered.
  // (The body of "Two" outgrows its 256-byte buffer.) The cut stream yields
  // a byte or two, but the module's inflater left no length: no text.
  EXPECT_THAT(DecompressAnswers(recorder), testing::ElementsAre(true, false, true, false, false));
  EXPECT_EQ(recorder.Count("violation"), 0u);
}

TEST(Notes, AttachmentKeysListEveryManifestFileHoldingThem) {
  TempFolder root;
  NoteStoreContent store;
  StoreNote photo = TextNote("Photo", "Photo\n" + kMark, 800000000.0);
  // The media folder is named by another identifier than the body's.
  photo.attachments = {Attachment(Uuid(7), Uuid(8))};
  store.notes = {photo};
  // A hand-made record with an empty key after the text end.
  std::string emptyKeyBody = std::string("\x08\x00\x12\x70\x08\x00\x10\x00\x1A\x6A\x12\x05xQ", 14) +
                             "x" + kMark + "\x1A\x10\x0A\x04" + "b\x02\x0A$\x12";
  store.notes.push_back(BodyNote("Empty key", builder::notes::Gzip(emptyKeyBody), 700000000.0));
  std::string keyPathID;
  {
    BackupBuilder backup(root.Path());
    builder::notes::AddNoteStore(backup, store);
    // A path that is the key alone, in another domain.
    keyPathID = backup.AddFile("AppDomain-com.example.viewer", Uuid(7), "copy");
  }
  NoteResults results = NoteStages(Send(kScan, ScanPayload(root.Path())));
  const rapidjson::Value& info = results.Note(0)["attachments"][0]["info"];
  std::vector<std::string> titles;
  for (const auto& file : info.GetArray()) titles.push_back(file["title"].GetString());
  // Map order (by relative path): the key alone sorts before "Accounts/";
  // the previews are found, not the media file named by the media's own id.
  EXPECT_THAT(titles, testing::ElementsAre(Uuid(7), Uuid(7) + "-1-192x144-0.png",
                                           Uuid(7) + "-1-768x576-0.png"));
  EXPECT_EQ(Json(info[0]), "{\"title\":\"" + Uuid(7) + "\",\"path\":" +
                               Quoted(root.Path() + keyPathID.substr(0, 2) + "/" + keyPathID) +
                               ",\"size\":4}");
  std::string previewID = BackupBuilder::FileID(
      kNotesDomain,
      "Accounts/5A0B6C1D-2E3F-4A5B-8C7D-9E0F1A2B3C4D/Previews/" + Uuid(7) + "-1-192x144-0.png");
  EXPECT_EQ(std::string(info[1]["path"].GetString()),
            root.Path() + previewID.substr(0, 2) + "/" + previewID);
  EXPECT_EQ(info[1]["size"].GetInt64(), 18);
  // The empty key is in every relative path: every file of the map, directories too.
  const rapidjson::Value& everything = results.Note(1)["attachments"][0];
  EXPECT_STREQ(everything["key"].GetString(), "");
  // The domain root, the store, five folders, the media file, two previews
  // and the key's own file.
  EXPECT_EQ(everything["info"].Size(), 11u);
}

TEST(Notes, LegacyManifestsNameStoredFilesByTheirIdAlone) {
  TempFolder root;
  builder::BackupOptions options;
  options.manifest = builder::ManifestFormat::kMbdb;
  NoteStoreContent store;
  StoreNote photo = TextNote("Photo", "Photo\n" + kMark, 800000000.0);
  photo.attachments = {Attachment(Uuid(9), "", "public.jpeg", 1)};
  store.notes = {photo};
  {
    BackupBuilder backup(root.Path(), options);
    builder::notes::AddNoteStore(backup, store);
  }
  NoteResults results = NoteStages(Send(kScan, ScanPayload(root.Path())));
  std::string previewID = BackupBuilder::FileID(
      kNotesDomain,
      "Accounts/5A0B6C1D-2E3F-4A5B-8C7D-9E0F1A2B3C4D/Previews/" + Uuid(9) + "-1-192x144-0.png");
  EXPECT_EQ(std::string(results.Note(0)["attachments"][0]["info"][0]["path"].GetString()),
            root.Path() + previewID);
  EXPECT_EQ(std::string(results.Summary()["note_store_db_path"].GetString()),
            root.Path() + "4f98687d8ab0d6d1a371110e6b7300f6e465bef2");
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
  {
    BackupBuilder backup(root.Path());
    builder::notes::AddNoteStore(backup, store);
  }
  host::Recorder recorder = Send(kScan, ScanPayload(root.Path()));
  NoteResults results = NoteStages(recorder);
  // Long length fields put byte 13 above 0x7F: the text is cut from 14, with
  // the tail of the length fields before it (repaired where not UTF-8).
  size_t marker = bigBody.find(std::string("\x1A\x10\x0A\x04", 4));
  std::string expected = PimJsonUtil::RepairUtf8(bigBody.data() + 14, marker - 14);
  std::string content = Member(results.Note(0), "content");
  EXPECT_EQ(content.size(), expected.size());
  EXPECT_TRUE(content == expected);
  EXPECT_EQ(content.substr(content.size() - text.size()), text);
  EXPECT_EQ(Member(results.Note(1), "content"), "omb\nhello");
  EXPECT_THAT(DecompressAnswers(recorder), testing::ElementsAre(true, true));

  host::SendOptions refused = testing_support::BuildTreeOptions();
  refused.refuse.insert(kDecompress);
  NoteResults without = NoteStages(Send(kScan, ScanPayload(root.Path()), refused));
  EXPECT_EQ(Member(without.Note(0), "content"), "");
  EXPECT_EQ(Member(without.Note(1), "content"), "");
}

TEST(Notes, NoteListReadsTheGivenDatabasesWithoutAttachmentFiles) {
  TempFolder root;
  NoteStoreContent store;
  StoreNote photo = TextNote("Photo", "Photo\n" + kMark, 800000000.0);
  photo.attachments = {Attachment(Uuid(3), Uuid(4))};
  store.notes = {photo};
  builder::notes::WriteNoteStore(store, root / "NoteStore.sqlite");
  builder::notes::WriteLegacyNotes({Legacy("Old", "body")}, root / "notes.sqlite");
  host::Recorder recorder =
      Send(kNoteList, "{\"note_db_path\":" + Quoted(root / "notes.sqlite") +
                          ",\"note_store_db_path\":" + Quoted(root / "NoteStore.sqlite") + "}");
  NoteResults results = NoteStages(recorder);
  EXPECT_EQ(Json(results.Summary()),
            "{\"count\":2,\"note_db_path\":\"\",\"note_store_db_path\":\"\"}");
  EXPECT_STREQ((*results.stages[0])["sub_command_type"].GetString(), kNoteList);
  EXPECT_EQ(Json(results.Note(1)["attachments"][0]["info"]), "[]");
  std::vector<std::string> texts = ResultTexts(recorder);
  EXPECT_EQ(texts.back(), "{\"stage\":3,\"status\":1,\"sub_command_type\":\"" +
                              std::string(kNoteList) + "\",\"error_code\":0}");
  ASSERT_EQ(recorder.Count("notify"), 1u);
  EXPECT_EQ((*recorder.Payloads("notify")[0])["status"].GetInt(), 1);

  // Paths that are missing, not strings, or name no note database: three
  // stage messages with no notes, and the command still finishes.
  for (const std::string& payload :
       {std::string("{}"), std::string("[1,2]"),
        std::string("{\"note_db_path\":5,\"note_store_db_path\":null}"),
        "{\"note_db_path\":" + Quoted(root / "missing.sqlite") +
            ",\"note_store_db_path\":" + Quoted(root / "notes.sqlite") + "}"}) {
    host::Recorder empty = Send(kNoteList, payload);
    EXPECT_EQ(Json(NoteStages(empty).Summary()),
              "{\"count\":0,\"note_db_path\":\"\",\"note_store_db_path\":\"\"}")
        << payload;
    EXPECT_EQ(ResultTexts(empty).size(), 4u) << payload;
  }
}

}  // namespace
