// Real note stores, chat stores and note bodies from public repositories,
// read through the host code. Samples cut out of device file systems keep
// recent rows in their -wal file: those are merged into a scratch copy first,
// and the backup is built from the merged copy. Expected counts come from
// the samples' own tables; personal contents are not asserted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/ChatStorage.h"
#include "builder/kinds/NoteStores.h"
#include "support/TestSupport.h"
#include "support/ZipEntries.h"
#include "vorn/VRNUtilityFile.h"

namespace {

using builder::BackupBuilder;
using testing_support::FixturesDir;
using testing_support::Json;
using testing_support::Quoted;
using testing_support::ReadFile;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kNoteList[] = "LIBMODEL_KELDRA_QUERY_NOTE_LIST";
constexpr char kMediaQuery[] = "LIBMODEL_KELDRA_QUERY_WHATSAPP_MEDIAITEM";

std::vector<const rapidjson::Value*> KindMessages(const host::Recorder& recorder,
                                                  std::vector<int> types) {
  std::vector<const rapidjson::Value*> messages;
  for (const rapidjson::Value* payload : recorder.Payloads("result")) {
    if (!payload->HasMember("type")) continue;
    for (int type : types)
      if ((*payload)["type"].GetInt() == type) messages.push_back(payload);
  }
  return messages;
}

// The notes of the stage-2 message.
const rapidjson::Value& Notes(const host::Recorder& recorder) {
  std::vector<const rapidjson::Value*> stages = KindMessages(recorder, {5});
  if (stages.size() != 3) throw std::runtime_error("expected three note stages");
  return (*stages[1])["result"];
}

// Writes the zip's `name` and its -wal beside it into `folder`, and folds
// the log into the main file there.
std::string MergedDatabase(const std::string& zipPath, const std::string& name,
                           const std::string& folder) {
  for (const auto& [entry, bytes] : testing_support::ZipEntries(ReadFile(zipPath)))
    for (const std::string suffix : {"", "-wal"})
      if (testing::Value(entry, testing::EndsWith("/" + name + suffix)))
        testing_support::WriteFile(folder + name + suffix, bytes);
  testing_support::ExecSql(folder + name, "PRAGMA wal_checkpoint(TRUNCATE)");
  return folder + name;
}

// Each store read both ways. Exact reading lists every note with a body
// but gives text only for the readable ones: password-protected notes give
// "" (the host cannot inflate ciphertext either). Complete reading: every
// note with its creation date, locked notes flagged and never sent to the
// host's inflater, and the lock reported as the store's one problem.
TEST(RealNoteStores, SamplesGiveTheirNotesExactlyAndCompletely) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  struct Store {
    const char* zip;  // the store and its log are merged out of it; "": `file` as it is
    const char* file;
    size_t exact;
    std::map<std::string, size_t> readable;  // subject -> content bytes
    size_t complete, locked, deleted;
  };
  const Store stores[] = {
      {"",
       "log2timeline__plaso/test_data/ios/NoteStore.sqlite",
       8,
       {{"My First Note", 57}, {"iOS 14 Note", 74}, {"iOS 15 Note", 43}},
       8,
       4,
       1},
      // Answer key beside the sample: fourteen notes, one without a title
      // and one without a body yet.
      {"abrignoni__iLEAPP/admin/test/cases/data/notes/testdata.notes.notes.josh_ios17_ffs.zip",
       "NoteStore.sqlite",
       13,
       {{"My First Note", 57},
        {"My iOS 17 Note", 26},
        {"Shared iOS 17 Note", 41},
        {"iOS 14 Note", 74},
        {"iOS 15 Note", 43},
        {"iOS 16 Note", 86}},
       14,
       6,
       2},
  };
  for (const Store& store : stores) {
    SCOPED_TRACE(store.file);
    TempFolder scratch, root;
    {
      BackupBuilder backup(root.Path());
      backup.AddFileFromDisk(builder::notes::kNotesDomain, "NoteStore.sqlite",
                             *store.zip
                                 ? MergedDatabase(fixtures + store.zip, store.file, scratch.Path())
                                 : fixtures + store.file);
    }
    std::string scan = "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[5]";
    host::Recorder exact = Send(kScan, scan + "}");
    std::map<std::string, size_t> readable;
    for (const auto& note : Notes(exact).GetArray()) {
      EXPECT_FALSE(note.HasMember("attachments"));
      if (note["content"].GetStringLength())
        readable[note["subject"].GetString()] = note["content"].GetStringLength();
    }
    EXPECT_EQ(Notes(exact).Size(), store.exact);
    EXPECT_EQ(readable, store.readable);
    EXPECT_EQ(exact.Count("violation"), 0u);

    host::Recorder complete = Send(kScan, scan + ",\"complete\":true}");
    const rapidjson::Value& notes = Notes(complete);
    EXPECT_EQ(notes.Size(), store.complete);
    size_t locked = 0, deleted = 0, withText = 0;
    for (const auto& note : notes.GetArray()) {
      EXPECT_STRNE(note["dateCreated"].GetString(), "") << note["subject"].GetString();
      locked += note.HasMember("locked");
      deleted += note.HasMember("deleted");
      withText += note["content"].GetStringLength() > 0;
    }
    EXPECT_EQ(locked, store.locked);
    EXPECT_EQ(deleted, store.deleted);
    EXPECT_EQ(withText, store.readable.size());
    // The module inflates every readable body itself.
    EXPECT_EQ(complete.Count("request"), 0u);
    const rapidjson::Value& closing = (*KindMessages(complete, {5})[2])["result"];
    ASSERT_EQ(closing["problems"].Size(), 1u);
    EXPECT_STREQ(closing["problems"][0]["what"].GetString(), "locked");
  }
}

// Each exported body read both ways. Exact reading (inflated by the host,
// cut where the original cuts) gives `exact` bytes with `marks`
// "[Attachment]" marks and `keys` attachment keys (-1: no "attachments"
// member; SIZE_MAX: not checked). Complete reading decodes the body whole,
// inflating it itself: text whose SHA-1 was computed from the bodies by
// separate tooling (texts checked by eye, tables as tab-separated rows), one
// key per attachment.
TEST(RealNoteBodies, ExportedBodiesAreCutExactlyAndDecodedWholeCompletely) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  const std::string folder =
      fixtures + "threeplanetssoftware__apple_cloud_notes_parser/spec/data/exported_blobs/";
  struct Body {
    const char* file;
    size_t exact;
    int marks;
    int keys;
    const char* sha1;  // nullptr: not checked
  };
  const Body kBodies[] = {
      // Text cut from byte 14 up to the first edit record.
      {"block_quotes_gzipped.bin", 92, 0, -1, "9118f7967fe74412aa74094979157e2d531e0990"},
      // A length byte (0x01) leads the exact text.
      {"color_formatting_gzipped.bin", 253, 0, -1, "feaea989a6d44fa7be6f13c8968de6444c879214"},
      {"emoji_formatting_1_gzipped.bin", 364, 0, -1, "bad6129cc4cc16661a9abb299f3179719cce8a92"},
      {"emoji_formatting_2_gzipped.bin", 118, 0, -1, "f35130b4d28e83c54da70eeb0422ff5462037b61"},
      {"emoji_formatting_3_gzipped.bin", 262, 0, -1, "f759218a74ea20d789affd8891f14584985a5f5e"},
      {"html_gzipped.bin", 177, 0, -1, "728f5a634653c4eb2aefb1dbf46c118a52694fce"},
      {"list_indents_gzipped.bin", 212, 0, -1, "263b7a3fa83bad82f41573d3b9a7905327d6276f"},
      {"text_decorations_gzipped.bin", 110, 0, -1, "ed99bfbab85aba7a04a9f01db7c6f6dbffab7328"},
      {"url_gzipped.bin", 169, 0, -1, "8e9f985ecb50a52ad60a71b460f7d8ee2306f3ff"},
      {"wide_characters_gzipped.bin", 94, 1, 1, "4a29c75d01d0a5dd47df0780226daad392a76012"},
      // Tables: the record begins with other fields; exact reading cuts from byte 14 on.
      {"right_to_left_table_gzipped.bin", 202, 0, -1, "c6837c180d0ce58e0aca4dbbf217d4047c99efff"},
      {"table_formats_gzipped.bin", 206, 0, -1, "6302168c71f7a1a098716f86caae2bc1d35c8c3d"},
      // Exactly: binary bytes, repaired to valid UTF-8.
      {"table_gzipped.bin", SIZE_MAX, 2, 0, "cdd54a50b045b4a5fee87a498dfc4b10747ccda6"},
      // A tiny record: the text sits at 12 and the exact cut starts at 13.
      {"simple_note_protobuf_gzipped.bin", 4, 0, -1, "768e0c1c69573fb588f61f1308a015c11468e05f"},
      // No gzip stream: the host's inflater does not take them.
      {"simple_note_protobuf.bin", 0, 0, -1, "768e0c1c69573fb588f61f1308a015c11468e05f"},
      {"ZSERVERRECORDDATA.bin", 0, 0, -1, nullptr},
      {"ZSERVERSHAREDATA.bin", 0, 0, -1, nullptr},
  };
  builder::notes::NoteStoreContent store;
  double modified = 800000000.0;
  for (const Body& body : kBodies) {
    builder::notes::StoreNote note;
    note.title = body.file;
    note.body = ReadFile(folder + body.file);
    ASSERT_FALSE(note.body->empty()) << body.file;
    note.modified = modified--;  // newest first: the list keeps this order
    store.notes.push_back(note);
  }
  TempFolder scratch, root;
  const std::string database = scratch / "NoteStore.sqlite";
  builder::notes::WriteNoteStore(store, database);
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::notes::kNotesDomain, "NoteStore.sqlite", database);
  }
  host::Recorder exact = Send(kNoteList, "{\"note_store_db_path\":" + Quoted(database) + "}");
  host::Recorder complete =
      Send(kScan, "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[5],\"complete\":true}");
  const rapidjson::Value& exactNotes = Notes(exact);
  const rapidjson::Value& completeNotes = Notes(complete);
  ASSERT_EQ(exactNotes.Size(), std::size(kBodies));
  ASSERT_EQ(completeNotes.Size(), std::size(kBodies));
  auto keys = [](const rapidjson::Value& note) {
    return note.HasMember("attachments") ? static_cast<int>(note["attachments"].Size()) : -1;
  };
  for (rapidjson::SizeType i = 0; i < exactNotes.Size(); ++i) {
    const Body& expected = kBodies[i];
    SCOPED_TRACE(expected.file);
    const rapidjson::Value& note = exactNotes[i];
    ASSERT_STREQ(note["subject"].GetString(), expected.file);
    std::string content(note["content"].GetString(), note["content"].GetStringLength());
    EXPECT_EQ(expected.exact == SIZE_MAX ? SIZE_MAX : content.size(), expected.exact);
    int marks = 0;
    for (size_t at = content.find("[Attachment]"); at != std::string::npos;
         at = content.find("[Attachment]", at + 1))
      ++marks;
    EXPECT_EQ(marks, expected.marks);
    EXPECT_EQ(keys(note), expected.keys);

    const rapidjson::Value& whole = completeNotes[i];
    ASSERT_STREQ(whole["subject"].GetString(), expected.file);
    content.assign(whole["content"].GetString(), whole["content"].GetStringLength());
    if (expected.sha1) {
      EXPECT_EQ(VRNUtilityFile::Sha1Hex(content.data(), content.size()), expected.sha1);
    }
    EXPECT_EQ(std::max(keys(whole), 0), std::max(expected.keys, 0));
  }
  EXPECT_STREQ(exactNotes[13]["content"].GetString(), "itle");
  EXPECT_EQ(exactNotes[9]["attachments"][0]["key"].GetStringLength(), 36u);
  EXPECT_EQ(exact.Count("violation"), 0u);
  EXPECT_EQ(complete.Count("request"), 0u);
}

// Exact reading of the chat sample: its sessions and media items. (Complete
// reading is checked against its answer key with the other real samples.)
TEST(RealChatStores, IleappSampleGivesItsSessionsAndMediaItemsExactly) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  TempFolder scratch, root;
  std::string merged = MergedDatabase(fixtures +
                                          "abrignoni__iLEAPP/admin/test/cases/data/whatsApp/"
                                          "testdata.whatsApp.whatsAppMessages.josh_ios15_ffs.zip",
                                      "ChatStorage.sqlite", scratch.Path());
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::whatsapp::kDomain, "ChatStorage.sqlite", merged);
  }
  host::Recorder exact = Send(kScan, "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[10]}");
  std::vector<const rapidjson::Value*> messages = KindMessages(exact, {10, 11});
  // Seven media items, two with a local path (their files are not in this
  // backup); five sessions, of which only the newest has messages with text
  // or media (21 of its 22 rows).
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(Json((*messages[0])["result"]), "{\"count\":2}");
  for (const auto& item : (*messages[1])["result"].GetObject())
    EXPECT_STREQ(item.value["path"].GetString(), "") << item.name.GetString();
  EXPECT_EQ(Json((*messages[3])["result"]), "{\"count\":5}");
  std::vector<int64_t> counts;
  size_t listed = 0;
  for (const rapidjson::Value* message : messages) {
    if ((*message)["type"].GetInt() != 10) continue;
    int stage = (*message)["stage"].GetInt();
    if (stage == 2) counts.push_back((*message)["result"]["message_count"].GetInt64());
    if (stage == 3) listed += (*message)["result"].Size();
  }
  EXPECT_THAT(counts, testing::ElementsAre(21, 0, 0, 0, 0));
  EXPECT_EQ(listed, 21u);
  EXPECT_EQ(Json((*messages.back())["result"]), "{}");
  EXPECT_EQ((*messages.back())["stage"].GetInt(), 0);
}

TEST(RealChatStores, MvtStoreWithoutMostColumnsAnswersTheMediaQuery) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  // A hand-made store: no local paths, no push names, no ZMEDIAITEM column
  // in its message table. Read in place (immutable: the suite checks that
  // the samples are unchanged).
  std::string folder = fixtures + "mvt-project__mvt/tests/artifacts/ios_backup/";
  std::string database = folder + "7c/7c7fba66680ef796b916b067077cc246adacf01d";
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.document = true;
  host::Recorder recorder =
      Send(kMediaQuery,
           "{\"backupDir\":" + Quoted(folder) + ",\"chatStorageSqlite\":" + Quoted(database) + "}",
           options);
  std::vector<std::string> shape;
  for (const rapidjson::Value* message : KindMessages(recorder, {10, 11}))
    shape.push_back(std::to_string((*message)["type"].GetInt()) + "/" +
                    std::to_string((*message)["stage"].GetInt()) + " " +
                    Json((*message)["result"]).substr(0, 10));
  EXPECT_THAT(shape, testing::ElementsAre("11/1 {\"count\":0", "11/2 {}", "11/3 {}",
                                          "10/1 {\"count\":2", "10/2 {\"id\":2,\"n", "10/4 {}",
                                          "10/2 {\"id\":1,\"n", "10/4 {}", "10/0 {}"));
  const rapidjson::Value& reply = *recorder.Payloads("return")[0];
  EXPECT_EQ(reply["replyPresent"].GetInt(), 1);
  EXPECT_EQ(Json(reply["replyData"]["attachments"]), "{}");
}

}  // namespace
