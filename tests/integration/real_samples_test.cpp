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
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>
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

// The five SQLite kinds, read exactly through the host code, against the
// databases of real devices. The scan opens stored files immutable, which
// ignores a -wal file, and some of these samples keep their newest rows (or
// all of them) in the log: it is folded into the copy the backup stores.
using Documents = std::vector<std::unique_ptr<rapidjson::Document>>;

// Each kind's stage-1 count as "type:count", followed by what lies below
// it: every contact's multi-value entries by entity, the events of every
// calendar, the bookmarks sent at the top of the tree.
std::string Outline(const Documents& documents) {
  std::string outline;
  std::map<std::string, int> entries;
  int events = 0, topBookmarks = 0;
  for (const auto& document : documents) {
    if (!document->HasMember("type")) continue;
    const int type = (*document)["type"].GetInt(), stage = (*document)["stage"].GetInt();
    const rapidjson::Value& result = (*document)["result"];
    if (stage == 1)
      outline += " " + std::to_string(type) + ":" + std::to_string(result["count"].GetInt64());
    if (stage != 2) continue;
    if (type == 0)
      for (const auto& contact : result.GetObject())
        for (const auto& member : contact.value.GetObject())
          if (member.value.IsArray()) entries[member.name.GetString()] += member.value.Size();
    if (type == 3)
      for (const auto& calendar : result.GetArray())
        if (calendar.HasMember("events")) events += calendar["events"].Size();
    topBookmarks += type == 8;
  }
  for (const auto& [entity, count] : entries)
    outline += " " + entity.substr(entity.rfind('.') + 1) + "=" + std::to_string(count);
  if (events) outline += " events=" + std::to_string(events);
  if (topBookmarks) outline += " top=" + std::to_string(topBookmarks);
  return outline.substr(1);
}

struct StoredSample {
  std::string domain;
  std::string relativePath;
  std::string source;
};

struct Case {
  const char* name;
  std::vector<StoredSample> files;
  const char* types;
  const char* outline;
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
      // calls. Alarms of this generation point at their item through
      // owner_id, so the alarm statement does not prepare; the 22 recurring
      // holidays all belong to one calendar. Bookmarks: the root's 7
      // children, BookmarksBar's 4 and the empty reading list.
      {"iOS 7", {{"HomeDomain", book, ios7 + "HomeDomain/" + book},
                 {"HomeDomain", calendar, ios7 + "HomeDomain/" + calendar},
                 {"HomeDomain", bookmarks, ios7 + "HomeDomain/" + bookmarks},
                 {"WirelessDomain", calls, ios7 + "WirelessDomain/" + calls}},
       "[0, 3, 4, 8]", "0:0 3:5 4:0 8:10 events=22 top=7"},
      // A staged forensic image. The call table has 5 rows but no
      // network_code column: the call statement does not prepare.
      {"iOS 5", {{"HomeDomain", book, ios5 + "AddressBook.sqlitedb"},
                 {"WirelessDomain", calls, ios5 + "call_history.db"}},
       "[0, 4]", "0:6 4:0 Email Address=2 Phone Number=4 Street Address=2 URL=1"},
      // Address books of iOS 15 and 16 cut out of forensic images; two of the
      // three main files are a bare header with every row in the log.
      {"iOS 15 address book", {{"HomeDomain", book, books + "josh_ios15_ffs.zip|AddressBook.sqlitedb"}},
       "[0]", "0:9 Email Address=4 Phone Number=7 Street Address=1 URL=1"},
      {"iOS 16 address book", {{"HomeDomain", book, books + "belkasoft_ctf6_ios_device1.zip|AddressBook.sqlitedb"}},
       "[0]", "0:1 Email Address=1"},
      {"iOS 16 empty address book", {{"HomeDomain", book, books + "mvs_ios_2023.zip|AddressBook.sqlitedb"}},
       "[0]", "0:0"},
      // Safari of about 2017: 19 pages, 25 visits.
      {"Safari history", {{"HomeDomain", "Library/Safari/History.db", "log2timeline__plaso/test_data/safari/History.db"}},
       "[9]", "9:25"},
      // The decrypted copies of an encrypted backup: 13 recurring events and
      // no alarms, an empty call store without the provider column (read
      // through the fallback statement), 8 bookmark rows below the root, 4 of
      // them directly.
      {"iOS 9", {{"HomeDomain", book, ios9 + book}, {"HomeDomain", calendar, ios9 + calendar},
                 {"HomeDomain", store, ios9 + store}, {"HomeDomain", bookmarks, ios9 + bookmarks}},
       "[0, 3, 4, 8]", "0:2 3:6 4:0 8:7 events=13 top=4"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempFolder scratch, folder;
    {
      builder::BackupBuilder backup(folder.Path());
      for (const StoredSample& file : c.files) {
        backup.AddFileFromDisk(file.domain, file.relativePath,
                               MergedSample(fixtures, file.source, scratch.Path()));
      }
    }
    EXPECT_EQ(Outline(kind_scan::Parse(kind_scan::ScanResults(folder.Path(), c.types))), c.outline);
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

// The notes of the stage-2 message.
const rapidjson::Value& Notes(const host::Recorder& recorder) {
  std::vector<const rapidjson::Value*> stages = KindMessages(recorder, {5});
  if (stages.size() != 3) throw std::runtime_error("expected three note stages");
  return (*stages[1])["result"];
}

// Each store read both ways. Exact reading lists every note with a body
// but gives text only for the readable ones: password-protected notes give
// "" (the host cannot inflate ciphertext either). Complete reading: every
// note with its creation date, locked notes flagged and never sent to the
// host's inflater, and the lock reported as the store's one problem.
TEST(RealNoteStores, SamplesGiveTheirNotesExactlyAndCompletely) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  struct Store {
    std::string source;
    size_t exact;
    std::map<std::string, size_t> readable;  // subject -> content bytes
    size_t complete, locked, deleted;
  };
  // clang-format off
  const Store stores[] = {
      {"log2timeline__plaso/test_data/ios/NoteStore.sqlite", 8,
       {{"My First Note", 57}, {"iOS 14 Note", 74}, {"iOS 15 Note", 43}}, 8, 4, 1},
      // Answer key beside the sample: fourteen notes, one without a title
      // and one without a body yet.
      {"abrignoni__iLEAPP/admin/test/cases/data/notes/testdata.notes.notes.josh_ios17_ffs.zip|NoteStore.sqlite", 13,
       {{"My First Note", 57}, {"My iOS 17 Note", 26}, {"Shared iOS 17 Note", 41},
        {"iOS 14 Note", 74}, {"iOS 15 Note", 43}, {"iOS 16 Note", 86}}, 14, 6, 2},
  };
  // clang-format on
  for (const Store& store : stores) {
    SCOPED_TRACE(store.source);
    TempFolder scratch, root;
    {
      BackupBuilder backup(root.Path());
      backup.AddFileFromDisk(builder::notes::kNotesDomain, "NoteStore.sqlite",
                             MergedSample(fixtures, store.source, scratch.Path()));
    }
    std::string scan = "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[5]";
    host::Recorder exact = Send(kind_scan::kScan, scan + "}");
    std::map<std::string, size_t> readable;
    for (const auto& note : Notes(exact).GetArray()) {
      EXPECT_FALSE(note.HasMember("attachments"));
      if (note["content"].GetStringLength())
        readable[note["subject"].GetString()] = note["content"].GetStringLength();
    }
    EXPECT_EQ(Notes(exact).Size(), store.exact);
    EXPECT_EQ(readable, store.readable);
    EXPECT_EQ(exact.Count("violation"), 0u);

    host::Recorder complete = Send(kind_scan::kScan, scan + ",\"complete\":true}");
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
  std::string fixtures = testing_support::FixturesDir();
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
  host::Recorder complete = Send(kind_scan::kScan, "{\"backupDir\":" + Quoted(root.Path()) +
                                                       ",\"types\":[5],\"complete\":true}");
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
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
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
  host::Recorder exact =
      Send(kind_scan::kScan, "{\"backupDir\":" + Quoted(root.Path()) + ",\"types\":[10]}");
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
