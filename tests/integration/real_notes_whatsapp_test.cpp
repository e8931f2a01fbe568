// Real note stores, chat stores and note bodies from public repositories,
// read through the host code. Samples cut out of device file systems keep
// recent rows in their -wal file: those are merged into a scratch copy first,
// and the backup is built from the merged copy. Expected counts come from
// the samples' own tables; personal contents are not asserted.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/ChatStorage.h"
#include "builder/kinds/NoteStores.h"
#include "support/TestSupport.h"
#include "support/ZipEntries.h"
#include "vorn/VRNUtilityFile.h"
#include "vorn/VRNUtilityString.h"
#include "vorn/VRNUtilitySys.h"

namespace {

using builder::BackupBuilder;
using testing_support::FixturesDir;
using testing_support::Json;
using testing_support::ReadFile;
using testing_support::Send;
using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kNoteList[] = "LIBMODEL_KELDRA_QUERY_NOTE_LIST";
constexpr char kMediaQuery[] = "LIBMODEL_KELDRA_QUERY_WHATSAPP_MEDIAITEM";

using testing_support::Quoted;

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

// Subject -> byte length of "content" ("" for empty), for every note.
std::multimap<std::string, size_t> ContentLengths(const rapidjson::Value& notes) {
  std::multimap<std::string, size_t> lengths;
  for (const auto& note : notes.GetArray()) {
    EXPECT_FALSE(note.HasMember("attachments")) << note["subject"].GetString();
    lengths.emplace(note["subject"].GetString(), note["content"].GetStringLength());
  }
  return lengths;
}

// Writes the zip's `name` and its -wal beside it into `folder`, and folds
// the log into the main file there.
std::string MergedDatabase(const std::string& zipPath, const std::string& name,
                           const std::string& folder) {
  std::map<std::string, std::string> entries = testing_support::ZipEntries(ReadFile(zipPath));
  std::string target = folder + name;
  for (const auto& [entry, bytes] : entries) {
    for (const char* suffix : {"", "-wal"}) {
      std::string wanted = "/" + name + suffix;
      if (entry.size() >= wanted.size() &&
          entry.compare(entry.size() - wanted.size(), wanted.size(), wanted) == 0)
        WriteFile(target + suffix, bytes);
    }
  }
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open(target.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  return target;
}

// One store read both ways. Exact reading: three readable notes; four
// password-protected ones and one without text give "" (the host cannot
// inflate ciphertext either). Complete reading: every note with its creation
// date, locked notes flagged and never sent to the host's inflater, and the
// lock reported as a problem of the store. (The iOS 17 store is checked
// against its answer key with the other real samples.)
TEST(RealNoteStores, PlasoSampleGivesItsEightNotesExactlyAndCompletely) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::notes::kNotesDomain, "NoteStore.sqlite",
                           fixtures + "log2timeline__plaso/test_data/ios/NoteStore.sqlite");
  }
  std::string scan = "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[5]";
  host::Recorder exact = Send(kScan, scan + "}");
  EXPECT_THAT(ContentLengths(Notes(exact)),
              testing::UnorderedElementsAre(
                  testing::Pair("", 0u), testing::Pair("Secure iOS 15 Note", 0u),
                  testing::Pair("iOS 15 Note", 43u), testing::Pair("iOS 14 Locked Note", 0u),
                  testing::Pair("iOS 14 Note", 74u), testing::Pair("My Super Secret Note", 0u),
                  testing::Pair("My Secret Note", 0u), testing::Pair("My First Note", 57u)));
  EXPECT_EQ(exact.Count("violation"), 0u);

  host::Recorder complete = Send(kScan, scan + ",\"complete\":true}");
  const rapidjson::Value& notes = Notes(complete);
  ASSERT_EQ(notes.Size(), 8u);
  size_t locked = 0, readable = 0, deleted = 0;
  for (const auto& note : notes.GetArray()) {
    EXPECT_STRNE(note["dateCreated"].GetString(), "") << note["subject"].GetString();
    locked += note.HasMember("locked");
    deleted += note.HasMember("deleted");
    readable += note["content"].GetStringLength() > 0;
  }
  EXPECT_EQ(locked, 4u);
  EXPECT_EQ(readable, 3u);
  EXPECT_EQ(deleted, 1u);
  // The module inflates every readable body itself (exact reading sends each
  // to the host's inflater).
  EXPECT_EQ(complete.Count("request"), 0u);
  const rapidjson::Value& closing = (*KindMessages(complete, {5})[2])["result"];
  ASSERT_EQ(closing["problems"].Size(), 1u);
  EXPECT_STREQ(closing["problems"][0]["what"].GetString(), "locked");
}

TEST(RealNoteStores, IleappSampleGivesItsThirteenNotesAfterItsLogIsMerged) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  TempFolder scratch, root;
  std::string merged = MergedDatabase(fixtures +
                                          "abrignoni__iLEAPP/admin/test/cases/data/notes/"
                                          "testdata.notes.notes.josh_ios17_ffs.zip",
                                      "NoteStore.sqlite", scratch.Path());
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::notes::kNotesDomain, "NoteStore.sqlite", merged);
  }
  host::Recorder recorder =
      Send(kScan, "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[5]}");
  std::multimap<std::string, size_t> lengths = ContentLengths(Notes(recorder));
  EXPECT_EQ(lengths.size(), 13u);
  std::map<std::string, size_t> readable;
  for (const auto& [subject, length] : lengths)
    if (length) readable[subject] = length;
  EXPECT_THAT(readable,
              testing::ElementsAre(
                  testing::Pair("My First Note", 57u), testing::Pair("My iOS 17 Note", 26u),
                  testing::Pair("Shared iOS 17 Note", 41u), testing::Pair("iOS 14 Note", 74u),
                  testing::Pair("iOS 15 Note", 43u), testing::Pair("iOS 16 Note", 86u)));
}

// Expected of each exported body, inflated (by the module or the host) and
// cut: its content's byte count, how many "[Attachment]" marks, and how many
// attachment keys (-1: no "attachments" member).
struct BodyExpectation {
  const char* file;
  size_t contentBytes;  // 0: "" (not a stream, or no text); SIZE_MAX: not checked
  int marks;
  int keys;
};

TEST(RealNoteBodies, ExportedBodiesGoThroughInflateAndCutting) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  const std::string folder =
      fixtures + "threeplanetssoftware__apple_cloud_notes_parser/spec/data/exported_blobs/";
  const BodyExpectation kBodies[] = {
      // Text cut from byte 14 up to the first edit record.
      {"block_quotes_gzipped.bin", 92, 0, -1},
      {"color_formatting_gzipped.bin", 253, 0, -1},  // a length byte (0x01) leads the text
      {"emoji_formatting_1_gzipped.bin", 364, 0, -1},
      {"emoji_formatting_2_gzipped.bin", 118, 0, -1},
      {"emoji_formatting_3_gzipped.bin", 262, 0, -1},
      {"html_gzipped.bin", 177, 0, -1},
      {"list_indents_gzipped.bin", 212, 0, -1},
      {"text_decorations_gzipped.bin", 110, 0, -1},
      {"url_gzipped.bin", 169, 0, -1},
      {"wide_characters_gzipped.bin", 94, 1, 1},
      // Tables: the record begins with other fields; bytes from 14 on are cut.
      {"right_to_left_table_gzipped.bin", 202, 0, -1},
      {"table_formats_gzipped.bin", 206, 0, -1},
      {"table_gzipped.bin", SIZE_MAX, 2, 0},  // binary bytes, repaired to valid UTF-8
      // A tiny record: the text sits at 12 and the cut starts at 13.
      {"simple_note_protobuf_gzipped.bin", 4, 0, -1},
      // No gzip stream: neither inflater takes them.
      {"simple_note_protobuf.bin", 0, 0, -1},
      {"ZSERVERRECORDDATA.bin", 0, 0, -1},
      {"ZSERVERSHAREDATA.bin", 0, 0, -1},
  };
  builder::notes::NoteStoreContent store;
  double modified = 800000000.0;
  for (const BodyExpectation& body : kBodies) {
    builder::notes::StoreNote note;
    note.title = body.file;
    note.body = ReadFile(folder + body.file);
    ASSERT_FALSE(note.body->empty()) << body.file;
    note.modified = modified--;  // newest first: the list keeps this order
    store.notes.push_back(note);
  }
  TempFolder scratch;
  builder::notes::WriteNoteStore(store, scratch / "NoteStore.sqlite");
  host::Recorder recorder =
      Send(kNoteList, "{\"note_store_db_path\":" + Quoted(scratch / "NoteStore.sqlite") + "}");
  const rapidjson::Value& notes = Notes(recorder);
  ASSERT_EQ(notes.Size(), std::size(kBodies));
  for (rapidjson::SizeType i = 0; i < notes.Size(); ++i) {
    const BodyExpectation& expected = kBodies[i];
    const rapidjson::Value& note = notes[i];
    ASSERT_STREQ(note["subject"].GetString(), expected.file);
    std::string content(note["content"].GetString(), note["content"].GetStringLength());
    if (expected.contentBytes != SIZE_MAX) {
      EXPECT_EQ(content.size(), expected.contentBytes) << expected.file;
    }
    int marks = 0;
    for (size_t at = content.find("[Attachment]"); at != std::string::npos;
         at = content.find("[Attachment]", at + 1))
      ++marks;
    EXPECT_EQ(marks, expected.marks) << expected.file;
    int keys = note.HasMember("attachments") ? static_cast<int>(note["attachments"].Size()) : -1;
    EXPECT_EQ(keys, expected.keys) << expected.file;
  }
  EXPECT_STREQ(notes[13]["content"].GetString(), "itle");
  EXPECT_EQ(notes[9]["attachments"][0]["key"].GetStringLength(), 36u);
  EXPECT_EQ(recorder.Count("violation"), 0u);
}

// A date of the module as UTC text: "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcText(const rapidjson::Value& date) {
  char* utc = VRNUtilitySys::ConvertLocalTimeToUtc(nullptr, date.GetString());
  std::string text(utc);
  VRNUtilityString::Free(utc);
  return text;
}

// Complete reading decodes each exported body whole: the expected byte
// counts and SHA-1 values were computed from the bodies by separate tooling
// and its texts checked by eye (tables as tab-separated rows).
TEST(RealNoteBodies, CompleteReadingGivesEveryBodyWholeAndNothingElse) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  const std::string folder =
      fixtures + "threeplanetssoftware__apple_cloud_notes_parser/spec/data/exported_blobs/";
  struct Expected {
    const char* file;
    size_t bytes;
    int marks;
    const char* sha1;
  };
  const Expected kBodies[] = {
      {"block_quotes_gzipped.bin", 92, 0, "9118f7967fe74412aa74094979157e2d531e0990"},
      {"color_formatting_gzipped.bin", 252, 0, "feaea989a6d44fa7be6f13c8968de6444c879214"},
      {"emoji_formatting_1_gzipped.bin", 363, 0, "bad6129cc4cc16661a9abb299f3179719cce8a92"},
      {"emoji_formatting_2_gzipped.bin", 118, 0, "f35130b4d28e83c54da70eeb0422ff5462037b61"},
      {"emoji_formatting_3_gzipped.bin", 261, 0, "f759218a74ea20d789affd8891f14584985a5f5e"},
      {"html_gzipped.bin", 176, 0, "728f5a634653c4eb2aefb1dbf46c118a52694fce"},
      {"list_indents_gzipped.bin", 211, 0, "263b7a3fa83bad82f41573d3b9a7905327d6276f"},
      {"right_to_left_table_gzipped.bin", 20, 0, "c6837c180d0ce58e0aca4dbbf217d4047c99efff"},
      {"simple_note_protobuf.bin", 5, 0, "768e0c1c69573fb588f61f1308a015c11468e05f"},
      {"simple_note_protobuf_gzipped.bin", 5, 0, "768e0c1c69573fb588f61f1308a015c11468e05f"},
      {"table_formats_gzipped.bin", 66, 0, "6302168c71f7a1a098716f86caae2bc1d35c8c3d"},
      {"table_gzipped.bin", 60, 0, "cdd54a50b045b4a5fee87a498dfc4b10747ccda6"},
      {"text_decorations_gzipped.bin", 110, 0, "ed99bfbab85aba7a04a9f01db7c6f6dbffab7328"},
      {"url_gzipped.bin", 168, 0, "8e9f985ecb50a52ad60a71b460f7d8ee2306f3ff"},
      {"wide_characters_gzipped.bin", 94, 1, "4a29c75d01d0a5dd47df0780226daad392a76012"},
  };
  builder::notes::NoteStoreContent store;
  double modified = 800000000.0;
  for (const Expected& body : kBodies) {
    builder::notes::StoreNote note;
    note.title = body.file;
    note.body = ReadFile(folder + body.file);
    note.modified = modified--;  // newest first: the list keeps this order
    store.notes.push_back(note);
  }
  TempFolder scratch, root;
  builder::notes::WriteNoteStore(store, scratch / "NoteStore.sqlite");
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::notes::kNotesDomain, "NoteStore.sqlite",
                           scratch / "NoteStore.sqlite");
  }
  host::Recorder recorder =
      Send(kScan, "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[5],\"complete\":true}");
  const rapidjson::Value& notes = Notes(recorder);
  ASSERT_EQ(notes.Size(), std::size(kBodies));
  for (rapidjson::SizeType i = 0; i < notes.Size(); ++i) {
    const Expected& expected = kBodies[i];
    const rapidjson::Value& note = notes[i];
    ASSERT_STREQ(note["subject"].GetString(), expected.file);
    std::string content(note["content"].GetString(), note["content"].GetStringLength());
    EXPECT_EQ(content.size(), expected.bytes) << expected.file;
    EXPECT_EQ(VRNUtilityFile::Sha1Hex(content.data(), content.size()), expected.sha1)
        << expected.file;
    int keys = note.HasMember("attachments") ? static_cast<int>(note["attachments"].Size()) : 0;
    EXPECT_EQ(keys, expected.marks) << expected.file;
  }
  EXPECT_EQ(recorder.Count("request"), 0u);
}

// One store read both ways. Exact reading gives its sessions and media
// items; complete reading gives every message of the sample's answer key:
// system events flagged, locations with their coordinates, and senders by
// readable name, never by what ZPUSHNAME stores.
TEST(RealChatStores, IleappSampleExactlyAndEveryMessageOfTheAnswerKeyCompletely) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  const std::string ileapp = fixtures + "abrignoni__iLEAPP/admin/test/";
  TempFolder scratch, root;
  std::string merged = MergedDatabase(
      ileapp + "cases/data/whatsApp/testdata.whatsApp.whatsAppMessages.josh_ios15_ffs.zip",
      "ChatStorage.sqlite", scratch.Path());
  std::set<std::string> stored;  // the raw ZPUSHNAME values
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(merged.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "SELECT ZPUSHNAME FROM ZWAMESSAGE WHERE ZPUSHNAME <> ''", -1, &statement,
                       nullptr);
    while (sqlite3_step(statement) == SQLITE_ROW)
      stored.emplace(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
  }
  ASSERT_FALSE(stored.empty());
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::whatsapp::kDomain, "ChatStorage.sqlite", merged);
  }
  std::string scan = "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[10]";
  host::Recorder exact = Send(kScan, scan + "}");
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

  host::Recorder recorder = Send(kScan, scan + ",\"complete\":true}");
  std::multiset<std::string> dates, coordinates;
  size_t system = 0, incoming = 0, members = 0;
  for (const rapidjson::Value* stage : KindMessages(recorder, {10})) {
    if ((*stage)["stage"].GetInt() == 2 && (*stage)["result"].HasMember("members"))
      members += (*stage)["result"]["members"].Size();
    if ((*stage)["stage"].GetInt() == 0) EXPECT_EQ(Json((*stage)["result"]), "{\"problems\":[]}");
    if ((*stage)["stage"].GetInt() != 3) continue;
    for (const auto& message : (*stage)["result"].GetArray()) {
      dates.insert(UtcText(message["date"]));
      if (message.HasMember("system")) ++system;
      if (message.HasMember("latitude"))
        coordinates.insert(std::to_string(message["latitude"].GetDouble()) + " " +
                           std::to_string(message["longitude"].GetDouble()));
      EXPECT_EQ(stored.count(message["push_name"].GetString()), 0u);
      if (message["is_from_me"].GetInt()) continue;
      ++incoming;
      std::string sender = message["sender_name"].GetString();
      EXPECT_FALSE(sender.empty());
      EXPECT_EQ(stored.count(sender), 0u);
    }
  }
  rapidjson::Document key;
  key.Parse(
      ReadFile(ileapp +
               "results/whatsApp/whatsApp.whatsAppMessages.josh_ios15_ffs.20250621193412.json")
          .c_str());
  std::multiset<std::string> keyDates, keyCoordinates;
  size_t keyIncoming = 0;
  for (const auto& row : key["data"].GetArray()) {
    time_t seconds = row[0].GetInt64();
    struct tm utc {};
    gmtime_r(&seconds, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    keyDates.insert(text);
    if (row[11].IsNumber())
      keyCoordinates.insert(std::to_string(row[11].GetDouble()) + " " +
                            std::to_string(row[12].GetDouble()));
    if (std::string(row[3].GetString()) == "Local User") ++keyIncoming;  // the receiver
  }
  EXPECT_EQ(dates.size(), 32u);
  EXPECT_EQ(dates, keyDates);
  EXPECT_EQ(coordinates, keyCoordinates);
  EXPECT_EQ(system, 11u);
  EXPECT_EQ(incoming, keyIncoming);
  EXPECT_EQ(members, 8u);  // two in each of the four groups
}

// The hand-made store lacks the columns the fixed message statement names,
// so exact reading lists its chats without messages; complete reading
// builds its statements from the columns there and gives all three.
TEST(RealChatStores, CompleteReadingReadsAStoreWithoutMostColumns) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::whatsapp::kDomain, "ChatStorage.sqlite",
                           fixtures +
                               "mvt-project__mvt/tests/artifacts/ios_backup/7c/"
                               "7c7fba66680ef796b916b067077cc246adacf01d");
  }
  host::Recorder recorder =
      Send(kScan, "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[10],\"complete\":true}");
  size_t listed = 0;
  for (const rapidjson::Value* stage : KindMessages(recorder, {10})) {
    if ((*stage)["stage"].GetInt() == 3) listed += (*stage)["result"].Size();
    if ((*stage)["stage"].GetInt() == 0) EXPECT_EQ(Json((*stage)["result"]), "{\"problems\":[]}");
  }
  EXPECT_EQ(listed, 3u);
}

TEST(RealChatStores, MvtStoreWithoutMostColumnsAnswersTheMediaQuery) {
  std::string fixtures = FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  // A hand-made store: no local paths, no push names, no ZMEDIAITEM column
  // in its message table. Read in place (immutable, nothing is written).
  std::string folder = fixtures + "mvt-project__mvt/tests/artifacts/ios_backup/";
  std::string database = folder + "7c/7c7fba66680ef796b916b067077cc246adacf01d";
  std::string before = testing_support::TreeSnapshot(folder);
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
  EXPECT_EQ(testing_support::TreeSnapshot(folder), before);
}

}  // namespace
