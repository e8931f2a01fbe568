// Real samples from public repositories (../shared/fixtures/real; see
// SOURCES.md there): single files wrapped into a backup the way a device
// ships them (a database's -wal log as a row of its own beside it) and read
// by `keldra scan` as a person runs it; the databases of whole devices read
// exactly; note stores, note bodies and chat stores read through the host
// code in both readings. What a reading must deliver comes from the samples
// themselves: counts over their tables (the log merged in), and for the
// forensic cut-outs the answer key published beside them. Personal contents
// are never asserted, only counts and dates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/Wrap.h"
#include "builder/kinds/ChatStorage.h"
#include "builder/kinds/NoteStores.h"
#include "integration/KindScanSupport.h"
#include "support/Process.h"
#include "support/TestSupport.h"
#include "support/ZipEntries.h"
#include "vorn/VRNUtilityFile.h"

namespace {

using builder::BackupBuilder;
using testing_support::Json;
using testing_support::Quoted;
using testing_support::ReadFile;
using testing_support::Send;
using testing_support::TempFolder;
using testing_support::WriteFile;

// The sample's file, and its -wal when it has one, written into `folder`
// under its own name; returns that path.
std::string PlaceSample(const std::string& fixtures, const std::string& source,
                        const std::string& folder) {
  size_t bar = source.find('|');
  std::string name = source.substr(source.find_last_of("/|") + 1);
  testing_support::MakeFolders(folder);
  if (bar == std::string::npos) {
    for (const std::string suffix : {"", "-wal"})
      if (std::ifstream(fixtures + source + suffix))
        WriteFile(folder + name + suffix, ReadFile(fixtures + source + suffix));
    return folder + name;
  }
  for (const auto& [entry, bytes] :
       testing_support::ZipEntries(ReadFile(fixtures + source.substr(0, bar))))
    for (const std::string suffix : {"", "-wal"})
      if (testing::Value(entry, testing::EndsWith("/" + name + suffix)))
        WriteFile(folder + name + suffix, bytes);
  return folder + name;
}

// A copy of the sample with its log folded in, for readers that open a
// database immutable and so would not see the log's rows.
std::string MergedSample(const std::string& fixtures, const std::string& source,
                         const std::string& folder) {
  std::string merged = PlaceSample(fixtures, source, folder);
  testing_support::ExecSql(merged, "PRAGMA wal_checkpoint(TRUNCATE)");
  return merged;
}

// Checks values of a kind's output; `database` is the wrapped sample's copy.
using SpotCheck = void (*)(const rapidjson::Value& output, const std::string& fixtures,
                           const std::string& database);

struct Expectation {
  std::string kind;
  uint64_t items;  // in the kind's own unit (events, messages, every bookmark), as the sample's
                   // tables count them
  SpotCheck spot = nullptr;
  std::string status = "complete";
};

// A sample: a file (or "archive.zip|member") wrapped under its device path,
// or, with a password, an encrypted backup folder scanned as it is.
struct Sample {
  std::string name;
  std::string source;
  std::string domain;
  std::string relativePath;
  const char* password;  // nullptr: a plain file to wrap
  std::vector<Expectation> expected;
};

rapidjson::Document ParseText(const std::string& text) {
  rapidjson::Document document;
  document.Parse(text.c_str(), text.size());
  return document;
}

// The first column of `query` over a copy of a database, its log folded in first.
std::vector<std::string> QueryColumn(const std::string& path, const std::string& query) {
  std::vector<std::string> values;
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
      sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr) == SQLITE_OK)
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(statement, 0);
      values.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return values;
}

std::string Text(const rapidjson::Value& object, const char* name) {
  auto member = object.FindMember(name);
  return member != object.MemberEnd() && member->value.IsString() ? member->value.GetString() : "";
}

size_t Members(const rapidjson::Value& items, const char* name) {
  size_t total = 0;
  for (const auto& item : items.GetArray())
    if (item.IsObject() && item.HasMember(name) && item[name].IsArray()) total += item[name].Size();
  return total;
}

size_t TreeNodes(const rapidjson::Value& nodes) {
  size_t total = 0;
  for (const auto& node : nodes.GetArray())
    if (node.IsObject())
      total += 1 + (node.HasMember("children") && node["children"].IsArray()
                        ? TreeNodes(node["children"])
                        : 0);
  return total;
}

size_t ItemsOf(const std::string& kind, const rapidjson::Value& output) {
  if (kind == "messages") return Members(output, "messages");
  if (kind == "calendar") return Members(output, "events");
  if (kind == "bookmarks") return TreeNodes(output);
  if (kind == "photos") return output["camera_roll"].Size();
  if (kind == "whatsapp") return Members(output["chats"], "messages");
  return output.Size();
}

// "2024-07-28T14:20:50+02:00", or UTC as "2024-07-28 12:20:50", as seconds since 1970.
int64_t UnixSeconds(const std::string& text) {
  std::tm time{};
  char sign = '+';
  int hours = 0, minutes = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%*c%2d:%2d:%2d%c%2d:%2d", &time.tm_year, &time.tm_mon,
                  &time.tm_mday, &time.tm_hour, &time.tm_min, &time.tm_sec, &sign, &hours,
                  &minutes) < 6)
    return -1;
  time.tm_year -= 1900;
  time.tm_mon -= 1;
  int64_t offset = (hours * 60 + minutes) * 60;
  return static_cast<int64_t>(timegm(&time)) - (sign == '-' ? -offset : offset);
}

// The rows of an answer key published beside the iLEAPP samples.
rapidjson::Document AnswerKey(const std::string& fixtures, const char* file) {
  return ParseText(ReadFile(fixtures + "abrignoni__iLEAPP/admin/test/results/" + file));
}

void NoteCreationDatesMatchTheAnswerKey(const rapidjson::Value& notes, const std::string& fixtures,
                                        const std::string&) {
  rapidjson::Document key =
      AnswerKey(fixtures, "notes/notes.notes.josh_ios17_ffs.20260725222859.json");
  std::multiset<int64_t> expected, found;
  for (const auto& row : key["data"].GetArray()) expected.insert(UnixSeconds(row[0].GetString()));
  for (const auto& note : notes.GetArray()) found.insert(UnixSeconds(Text(note, "dateCreated")));
  EXPECT_EQ(found, expected);
}

// Every message at its time and place, system events flagged, two members
// in each of the four groups, and every name as people read it (never an
// encoded form): a name of the answer key, or a push name as the store's
// profile table keeps it.
void ChatMessagesMatchTheAnswerKey(const rapidjson::Value& output, const std::string& fixtures,
                                   const std::string& database) {
  rapidjson::Document key =
      AnswerKey(fixtures, "whatsApp/whatsApp.whatsAppMessages.josh_ios15_ffs.20250621193412.json");
  auto place = [](const rapidjson::Value& latitude, const rapidjson::Value& longitude) {
    return std::to_string(latitude.GetDouble()) + " " + std::to_string(longitude.GetDouble());
  };
  std::multiset<int64_t> expectedTimes, times;
  std::multiset<std::string> expectedPlaces, places;
  std::set<std::string> readable;
  size_t expectedReceived = 0;
  for (const auto& row : key["data"].GetArray()) {
    expectedTimes.insert(row[0].GetInt64());
    expectedReceived += std::string(row[3].GetString()) == "Local User";  // the receiver
    readable.insert(row[1].GetString());
    if (row[11].IsNumber()) expectedPlaces.insert(place(row[11], row[12]));
  }
  for (const std::string& name : QueryColumn(database, "SELECT ZPUSHNAME FROM ZWAPROFILEPUSHNAME"))
    readable.insert(name);
  size_t received = 0, unreadable = 0, system = 0, members = 0;
  for (const auto& chat : output["chats"].GetArray()) {
    if (chat.HasMember("members")) members += chat["members"].Size();
    for (const auto& message : chat["messages"].GetArray()) {
      times.insert(UnixSeconds(Text(message, "date")));
      system += message.HasMember("system");
      if (message.HasMember("latitude"))
        places.insert(place(message["latitude"], message["longitude"]));
      std::string pushName = Text(message, "push_name");
      unreadable += !pushName.empty() && readable.count(pushName) == 0;
      auto fromMe = message.FindMember("is_from_me");
      if (fromMe != message.MemberEnd() && (fromMe->value.IsTrue() || fromMe->value == 1)) continue;
      ++received;
      std::string sender = Text(message, "sender_name");
      unreadable += readable.count(sender.empty() ? pushName : sender) == 0;
    }
  }
  EXPECT_EQ(times, expectedTimes);
  EXPECT_EQ(places, expectedPlaces);
  EXPECT_EQ(system, 11u);
  EXPECT_EQ(members, 8u);
  EXPECT_EQ(received, expectedReceived);
  // Counted, so that no name reaches the test's output.
  EXPECT_EQ(unreadable, 0u) << "of " << received << " received messages";
}

// All-day events are dates, not instants shifted by the reader's zone.
void AllDayEventsArePlainDates(const rapidjson::Value& calendars, const std::string&,
                               const std::string&) {
  size_t allDay = 0;
  for (const auto& calendar : calendars.GetArray()) {
    if (!calendar.HasMember("events")) continue;
    for (const auto& event : calendar["events"].GetArray()) {
      auto flag = event.FindMember("all_day");
      if (flag == event.MemberEnd() || !(flag->value.IsTrue() || flag->value == 1)) continue;
      ++allDay;
      EXPECT_THAT(Text(event, "start_date"), testing::MatchesRegex("[0-9]{4}-[0-9]{2}-[0-9]{2}"));
    }
  }
  EXPECT_GT(allDay, 0u);
}

const std::vector<Sample>& Samples() {
  const std::string ileapp = "abrignoni__iLEAPP/admin/test/cases/data/";
  // clang-format off
  static const std::vector<Sample> samples = {
      {"ios5_sms_in_its_log", "eichbaumj__Presentations/sms.db", "HomeDomain", "Library/SMS/sms.db",
       nullptr, {{"messages", 4}}},
      {"contacts_in_their_log",
       ileapp + "addressBook/testdata.addressBook.addressBook.belkasoft_ctf6_ios_device1.zip|AddressBook.sqlitedb",
       "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb", nullptr, {{"contacts", 1}}},
      {"ios5_calls", "shamsulchowdhury__Unit-21-Homework-Final-Report/call_history.db",
       "WirelessDomain", "Library/CallHistory/call_history.db", nullptr, {{"calls", 5}}},
      {"ios7_calendar", "OTAPKI__iphone/HomeDomain/Library/Calendar/Calendar.sqlitedb",
       "HomeDomain", "Library/Calendar/Calendar.sqlitedb",
       nullptr, {{"calendar", 130, AllDayEventsArePlainDates}}},
      // Fourteen notes with a body; six are locked with a notes password: read, but not whole.
      {"ios17_notes", ileapp + "notes/testdata.notes.notes.josh_ios17_ffs.zip|NoteStore.sqlite",
       "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
       nullptr, {{"notes", 14, NoteCreationDatesMatchTheAnswerKey, "incomplete"}}},
      {"ios15_whatsapp",
       ileapp + "whatsApp/testdata.whatsApp.whatsAppMessages.josh_ios15_ffs.zip|ChatStorage.sqlite",
       "AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite",
       nullptr, {{"whatsapp", 32, ChatMessagesMatchTheAnswerKey}}},
      // A hand-made store without most columns the fixed statements name:
      // complete reading builds its own from the columns there.
      {"whatsapp_without_most_columns",
       "mvt-project__mvt/tests/artifacts/ios_backup/7c/7c7fba66680ef796b916b067077cc246adacf01d",
       "AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite",
       nullptr, {{"whatsapp", 3}}},
      {"ios7_safari_history", "OTAPKI__iphone/App - com.apple.mobilesafari/Library/Safari/History.plist",
       "HomeDomain", "Library/Safari/History.plist", nullptr, {{"history", 7}}},
      // Counted in the decrypted copies published beside it: persons,
      // calendar items, generic assets and bookmarks below the root.
      {"encrypted_legacy_backup", "multifreded__hv20/day23/Backup/", "", "", "20201225",
       {{"contacts", 2}, {"calendar", 43}, {"photos", 2}, {"bookmarks", 8}}},
  };
  // clang-format on
  return samples;
}

void PrintTo(const Sample& sample, std::ostream* out) {
  *out << sample.name;
}

class RealSampleScan : public testing::TestWithParam<Sample> {};

TEST_P(RealSampleScan, ScanDeliversWhatTheSampleHolds) {
  const std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  const Sample& sample = GetParam();
  TempFolder root;
  std::string backup = fixtures + sample.source, wrapped;
  if (!sample.password) {
    wrapped = PlaceSample(fixtures, sample.source, root / "sample/");
    backup = root / "backup";
    builder::BackupBuilder builder(backup);
    builder::AddAsShipped(builder, sample.domain, sample.relativePath, wrapped);
    builder.Finish();
  }
  std::vector<std::string> arguments = {"scan", backup, "--out", root / "out", "-q", "--types", ""};
  for (const Expectation& expected : sample.expected)
    arguments.back() += (arguments.back().empty() ? "" : ",") + expected.kind;
  if (sample.password) {
    WriteFile(root / "password", std::string(sample.password) + "\n");
    arguments.insert(arguments.end(), {"--password-file", root / "password"});
  }
  testing_support::ProcessOptions options;
  options.environment = {"TZ=XST8", "XDG_CACHE_HOME=" + root / "cache"};
  auto run = testing_support::RunKeldra(arguments, options);
  bool incomplete = false;
  for (const Expectation& expected : sample.expected) incomplete |= expected.status == "incomplete";
  EXPECT_EQ(run.status, incomplete ? 3 : 0) << run.err;

  rapidjson::Document summary = ParseText(ReadFile(root / "out/summary.json"));
  ASSERT_TRUE(summary.IsObject()) << run.err;
  for (size_t i = 0; i < sample.expected.size(); ++i) {
    const Expectation& expected = sample.expected[i];
    SCOPED_TRACE(expected.kind);
    EXPECT_EQ(summary["kinds"][static_cast<unsigned>(i)]["status"].GetString(), expected.status);
    rapidjson::Document output = ParseText(ReadFile(root / ("out/" + expected.kind + ".json")));
    ASSERT_FALSE(output.HasParseError());
    EXPECT_EQ(ItemsOf(expected.kind, output), expected.items);
    if (expected.spot) expected.spot(output, fixtures, wrapped);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealSampleScan, testing::ValuesIn(Samples()),
                         [](const testing::TestParamInfo<Sample>& info) {
                           return info.param.name;
                         });

// SHA-1 of the texts, one per line: what a reading of a real sample gives,
// pinned without its contents entering the repository.
std::string Digest(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) joined += text + "\n";
  return VRNUtilityFile::Sha1Hex(joined.data(), joined.size());
}

// The five SQLite kinds, read exactly through the host code, against the
// databases of real devices. The scan opens stored files immutable, which
// ignores a -wal file, and some of these samples keep their newest rows (or
// all of them) in the log: it is folded into the copy the backup stores.

struct StoredSample {
  std::string domain;
  std::string relativePath;
  std::string source;
};

struct Case {
  const char* name;
  std::vector<StoredSample> files;
  const char* types;
  const char* digest;  // of the masked result payloads
};

TEST(RealSqliteSamples, ExactReadingReportsWhatTheDevicesHold) {
  const std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  const std::string book = "Library/AddressBook/AddressBook.sqlitedb";
  const std::string calendar = "Library/Calendar/Calendar.sqlitedb";
  const std::string bookmarks = "Library/Safari/Bookmarks.db";
  const std::string calls = "Library/CallHistory/call_history.db";
  const std::string store = "Library/CallHistoryDB/CallHistory.storedata";
  const std::string ios7 = "OTAPKI__iphone/";
  const std::string ios5 = "shamsulchowdhury__Unit-21-Homework-Final-Report/";
  const std::string ios9 = "multifreded__hv20/day23/Decrypted_Backup/HomeDomain/";
  const std::string books =
      "abrignoni__iLEAPP/admin/test/cases/data/addressBook/testdata.addressBook.addressBook.";
  // clang-format off
  const Case cases[] = {
      // Freshly set up: no contacts, holiday calendars, stock bookmarks, no
      // calls. 5 calendars; alarms of this generation point at their item through
      // owner_id, so the alarm statement does not prepare; the 22 recurring
      // holidays all belong to one calendar. Bookmarks: the root's 7
      // children, BookmarksBar's 4 and the empty reading list.
      {"iOS 7", {{"HomeDomain", book, ios7 + "HomeDomain/" + book},
                 {"HomeDomain", calendar, ios7 + "HomeDomain/" + calendar},
                 {"HomeDomain", bookmarks, ios7 + "HomeDomain/" + bookmarks},
                 {"WirelessDomain", calls, ios7 + "WirelessDomain/" + calls}},
       "[0, 3, 4, 8]", "3aa8aaa931585d79ba0ee1367ca7b76dce2745e5"},
      // A staged forensic image: 6 contacts with 2 e-mail addresses, 4 phone
      // numbers, 2 street addresses and a URL. The call table has 5 rows but
      // no network_code column: the call statement does not prepare.
      {"iOS 5", {{"HomeDomain", book, ios5 + "AddressBook.sqlitedb"},
                 {"WirelessDomain", calls, ios5 + "call_history.db"}},
       "[0, 4]", "620b2d80de797159d8f8cdb0dc4e05f23a6fccf8"},
      // Address books of iOS 15 and 16 cut out of forensic images (9, 1 and 0
      // contacts); two of the three main files are a bare header with every
      // row in the log.
      {"iOS 15 address book", {{"HomeDomain", book, books + "josh_ios15_ffs.zip|AddressBook.sqlitedb"}},
       "[0]", "55b950b05624ca5e4d7e30022909f8f354d6cc5a"},
      {"iOS 16 address book", {{"HomeDomain", book, books + "belkasoft_ctf6_ios_device1.zip|AddressBook.sqlitedb"}},
       "[0]", "69182dec9549247cfa8ae7da75d127ff8db214ca"},
      {"iOS 16 empty address book", {{"HomeDomain", book, books + "mvs_ios_2023.zip|AddressBook.sqlitedb"}},
       "[0]", "55bddd99c1636c9597ddff2cf2c15d1849dfe4ea"},
      // Safari of about 2017: 19 pages, 25 visits.
      {"Safari history", {{"HomeDomain", "Library/Safari/History.db", "log2timeline__plaso/test_data/safari/History.db"}},
       "[9]", "1046d2f480801013fd1246fd480f6a38c7e23051"},
      // The decrypted copies of an encrypted backup: 2 contacts, 6 calendars
      // with 13 recurring events and
      // no alarms, an empty call store without the provider column (read
      // through the fallback statement), 8 bookmark rows below the root, 4 of
      // them directly.
      {"iOS 9", {{"HomeDomain", book, ios9 + book}, {"HomeDomain", calendar, ios9 + calendar},
                 {"HomeDomain", store, ios9 + store}, {"HomeDomain", bookmarks, ios9 + bookmarks}},
       "[0, 3, 4, 8]", "6228c9add583c2a3617eb314b47b4f2b7e27ac12"},
  };
  // clang-format on
  testing_support::ScopedTimeZone zone;
  for (const Case& c : cases) {
    testing_support::TempFolder scratch, folder;
    {
      builder::BackupBuilder backup(folder.Path());
      for (const StoredSample& file : c.files) {
        backup.AddFileFromDisk(file.domain, file.relativePath,
                               MergedSample(fixtures, file.source, scratch.Path()));
      }
    }
    EXPECT_EQ(Digest(kind_scan::ScanResults(folder.Path(), c.types)), c.digest) << c.name;
  }
}

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

// The notes scan of `root`, read completely.
host::Recorder ScanNotesCompletely(const std::string& root) {
  return Send(kind_scan::kScan,
              "{\"backupDir\":" + Quoted(root) + ",\"types\":[5],\"complete\":true}");
}

// Each store read both ways. Exact reading lists every note with a body but
// gives text only for the readable ones: password-protected notes give ""
// (the host cannot inflate ciphertext either), and no attachment lists.
// Complete reading: every note with its creation date, locked notes flagged
// and never sent to the host's inflater, and the lock reported as the
// store's one problem. Plaso's store: 8 notes, 3 readable, 4 locked, 1
// deleted. iLEAPP's (its answer key beside it): 14 notes, one without a
// title and one without a body yet, 6 readable, 6 locked, 2 deleted.
TEST(RealNoteStores, SamplesGiveTheirNotesExactlyAndCompletely) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  testing_support::ScopedTimeZone zone;
  const std::pair<std::string, std::string> stores[] = {
      {"log2timeline__plaso/test_data/ios/NoteStore.sqlite",
       "28ff6c05a44a034944ef7cf349e6754bfc575d46"},
      {"abrignoni__iLEAPP/admin/test/cases/data/notes/"
       "testdata.notes.notes.josh_ios17_ffs.zip|NoteStore.sqlite",
       "4160ce930c8dbca155a6dc06ebfca2e648e19070"}};
  for (const auto& [source, digest] : stores) {
    TempFolder scratch, root;
    {
      BackupBuilder backup(root.Path());
      backup.AddFileFromDisk(builder::notes::kNotesDomain, "NoteStore.sqlite",
                             MergedSample(fixtures, source, scratch.Path()));
    }
    host::Recorder complete = ScanNotesCompletely(root.Path());
    EXPECT_EQ(complete.Count("request"), 0u);  // the module inflates every readable body itself
    std::vector<std::string> texts = kind_scan::ScanResults(root.Path(), "[5]");
    for (const std::string& text : kind_scan::MaskedResults(complete, root.Path()))
      texts.push_back(text);
    EXPECT_EQ(Digest(texts), digest) << source;
  }
}

// Each exported body read both ways. Exact reading is inflated by the host
// and cut where the original cuts: from byte 14 up to the first edit record
// (a length byte 0x01 leads some texts; tables begin with other fields; a
// tiny record has its text at 12 and the cut at 13), binary bytes repaired
// to valid UTF-8, an "[Attachment]" mark per attachment with its 36-byte
// key, and nothing for bodies without a gzip stream, which the host's
// inflater does not take. Complete reading decodes each body whole,
// inflating it itself: text checked by eye and against SHA-1s computed from
// the bodies by separate tooling (tables as tab-separated rows), one key
// per attachment.
TEST(RealNoteBodies, ExportedBodiesAreCutExactlyAndDecodedWholeCompletely) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  testing_support::ScopedTimeZone zone;
  // The sample project keeps its exported bodies a few folders down.
  std::string folder;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(
           fixtures + "threeplanetssoftware__apple_cloud_notes_parser/"))
    if (entry.is_directory() && entry.path().filename() == "exported_blobs")
      folder = entry.path().string() + "/";
  ASSERT_FALSE(folder.empty());
  builder::notes::NoteStoreContent store;
  double modified = 800000000.0;
  for (const char* file :
       {"block_quotes_gzipped.bin", "color_formatting_gzipped.bin",
        "emoji_formatting_1_gzipped.bin", "emoji_formatting_2_gzipped.bin",
        "emoji_formatting_3_gzipped.bin", "html_gzipped.bin", "list_indents_gzipped.bin",
        "text_decorations_gzipped.bin", "url_gzipped.bin", "wide_characters_gzipped.bin",
        "right_to_left_table_gzipped.bin", "table_formats_gzipped.bin", "table_gzipped.bin",
        "simple_note_protobuf_gzipped.bin", "simple_note_protobuf.bin", "ZSERVERRECORDDATA.bin",
        "ZSERVERSHAREDATA.bin"}) {
    builder::notes::StoreNote& note = store.notes.emplace_back();
    note.title = file;
    note.body = ReadFile(folder + file);
    ASSERT_FALSE(note.body->empty()) << file;
    note.modified = modified--;  // newest first: the list keeps this order
  }
  TempFolder scratch, root;
  const std::string database = scratch / "NoteStore.sqlite";
  builder::notes::WriteNoteStore(store, database);
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::notes::kNotesDomain, "NoteStore.sqlite", database);
  }
  host::Recorder exact = Send(kNoteList, "{\"note_store_db_path\":" + Quoted(database) + "}");
  host::Recorder complete = ScanNotesCompletely(root.Path());
  EXPECT_EQ(complete.Count("request"), 0u);
  EXPECT_EQ(Digest(kind_scan::MaskedResults(exact, scratch.Path())),
            "0f9f6def1cebf0eff88074f756ef961dcaffa5d4");
  EXPECT_EQ(Digest(kind_scan::MaskedResults(complete, root.Path())),
            "b5e10312ea33b34d44fc6a225f27848823736b30");
}

// Exact reading of the chat sample: seven media items, two with a local
// path (their files are not in this backup); five sessions, of which only
// the newest has messages with text or media (21 of its 22 rows). (Complete
// reading is checked against its answer key with the other real samples.)
TEST(RealChatStores, IleappSampleGivesItsSessionsAndMediaItemsExactly) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  testing_support::ScopedTimeZone zone;
  TempFolder scratch, root;
  std::string merged = MergedSample(fixtures,
                                    "abrignoni__iLEAPP/admin/test/cases/data/whatsApp/"
                                    "testdata.whatsApp.whatsAppMessages.josh_ios15_ffs.zip|"
                                    "ChatStorage.sqlite",
                                    scratch.Path());
  {
    BackupBuilder backup(root.Path());
    backup.AddFileFromDisk(builder::whatsapp::kDomain, "ChatStorage.sqlite", merged);
  }
  EXPECT_EQ(Digest(kind_scan::ScanResults(root.Path(), "[10]")),
            "5c3ad13291a77b119098c5d7ed0250961a35926d");
}

TEST(RealChatStores, MvtStoreWithoutMostColumnsAnswersTheMediaQuery) {
  std::string fixtures = testing_support::FixturesDir();
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
