// Real samples from public repositories (../shared/fixtures/real, read in
// place; see SOURCES.md there), each wrapped into a backup the way a device
// ships it, a database's -wal log as a row of its own beside it, and read by
// `keldra scan` as a person runs it. What the scan must deliver comes from
// the samples themselves: a count over a merged copy of the database, and
// for the forensic cut-outs the answer key published beside them. Personal
// contents are never asserted, only counts and dates.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <set>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/Wrap.h"
#include "support/Process.h"
#include "support/TestSupport.h"
#include "support/ZipEntries.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

// Checks values of a kind's output; `database` is the merged copy.
using SpotCheck = void (*)(const rapidjson::Value& output, const std::string& fixtures,
                           const std::string& database);

// One kind's expectation: `truth` counts rows of `truthFile` (below the
// fixtures folder; "" for the wrapped file's merged copy).
struct Expectation {
  std::string kind;
  std::string truthFile;
  std::string truth;  // "" when the file is no database
  uint64_t items;     // in the kind's own unit: events, messages, every bookmark
  SpotCheck spot;
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

// The first column of `query` over a database whose log is first folded
// into it (a copy: the place is a scratch folder).
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

// "2024-07-28T14:20:50+02:00" as seconds since 1970.
int64_t UnixSeconds(const std::string& text) {
  std::tm time{};
  char sign = '+';
  int hours = 0, minutes = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &time.tm_year, &time.tm_mon,
                  &time.tm_mday, &time.tm_hour, &time.tm_min, &time.tm_sec, &sign, &hours,
                  &minutes) < 6)
    return -1;
  time.tm_year -= 1900;
  time.tm_mon -= 1;
  int64_t offset = (hours * 60 + minutes) * 60;
  return static_cast<int64_t>(timegm(&time)) - (sign == '-' ? -offset : offset);
}

std::string UtcText(int64_t seconds) {
  std::time_t value = static_cast<std::time_t>(seconds);
  std::tm time{};
  gmtime_r(&value, &time);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &time);
  return text;
}

// The rows of an answer key published beside the iLEAPP samples.
rapidjson::Document AnswerKey(const std::string& fixtures, const char* file) {
  return ParseText(ReadFile(fixtures + "abrignoni__iLEAPP/admin/test/results/" + file));
}

void NoteCreationDatesMatchTheAnswerKey(const rapidjson::Value& notes, const std::string& fixtures,
                                        const std::string&) {
  rapidjson::Document key =
      AnswerKey(fixtures, "notes/notes.notes.josh_ios17_ffs.20260725222859.json");
  std::multiset<std::string> expected, found;
  for (const auto& row : key["data"].GetArray()) expected.insert(row[0].GetString());
  size_t locked = 0, readable = 0, deleted = 0;
  for (const auto& note : notes.GetArray()) {
    found.insert(UtcText(UnixSeconds(Text(note, "dateCreated"))));
    locked += note.HasMember("locked");
    deleted += note.HasMember("deleted");
    readable += !Text(note, "content").empty();
  }
  EXPECT_EQ(found, expected);
  EXPECT_EQ(locked, 6u);
  EXPECT_EQ(readable, 6u);
  EXPECT_EQ(deleted, 2u);
}

// Every message at its time, and each one received named as people read
// the sender (never an encoded form): a name of the answer key, or the
// sender's own push name as the store keeps it.
void ChatMessagesMatchTheAnswerKey(const rapidjson::Value& output, const std::string& fixtures,
                                   const std::string& database) {
  rapidjson::Document key =
      AnswerKey(fixtures, "whatsApp/whatsApp.whatsAppMessages.josh_ios15_ffs.20250621193412.json");
  std::multiset<int64_t> expectedTimes, times;
  std::set<std::string> readable;
  for (const auto& row : key["data"].GetArray()) {
    expectedTimes.insert(row[0].GetInt64());
    readable.insert(row[1].GetString());
  }
  for (const std::string& name : QueryColumn(database, "SELECT ZPUSHNAME FROM ZWAPROFILEPUSHNAME"))
    readable.insert(name);
  size_t received = 0, unreadable = 0;
  for (const auto& chat : output["chats"].GetArray())
    for (const auto& message : chat["messages"].GetArray()) {
      times.insert(UnixSeconds(Text(message, "date")));
      auto fromMe = message.FindMember("is_from_me");
      if (fromMe != message.MemberEnd() && (fromMe->value.IsTrue() || fromMe->value == 1)) continue;
      ++received;
      std::string sender = Text(message, "sender_name");
      unreadable += readable.count(sender.empty() ? Text(message, "push_name") : sender) == 0;
    }
  EXPECT_EQ(times, expectedTimes);
  // Counted, so that no name reaches the test's output.
  EXPECT_GT(received, 0u);
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
  const std::string hv20 = "multifreded__hv20/day23/Decrypted_Backup/";
  // clang-format off
  static const std::vector<Sample> samples = {
      {"ios5_sms_in_its_log", "eichbaumj__Presentations/sms.db", "HomeDomain", "Library/SMS/sms.db",
       nullptr, {{"messages", "", "SELECT count(*) FROM message", 4, nullptr}}},
      {"contacts_in_their_log",
       ileapp + "addressBook/testdata.addressBook.addressBook.belkasoft_ctf6_ios_device1.zip|AddressBook.sqlitedb",
       "HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
       nullptr, {{"contacts", "", "SELECT count(*) FROM ABPerson", 1, nullptr}}},
      {"ios5_calls", "shamsulchowdhury__Unit-21-Homework-Final-Report/call_history.db",
       "WirelessDomain", "Library/CallHistory/call_history.db",
       nullptr, {{"calls", "", "SELECT count(*) FROM call", 5, nullptr}}},
      {"ios7_calendar", "OTAPKI__iphone/HomeDomain/Library/Calendar/Calendar.sqlitedb",
       "HomeDomain", "Library/Calendar/Calendar.sqlitedb",
       nullptr, {{"calendar", "", "SELECT count(*) FROM CalendarItem", 130, AllDayEventsArePlainDates}}},
      // Fourteen notes, as its answer key lists them: one has no title, one no body
      // yet. Six are locked with a notes password: read, but not whole.
      {"ios17_notes", ileapp + "notes/testdata.notes.notes.josh_ios17_ffs.zip|NoteStore.sqlite",
       "AppDomainGroup-group.com.apple.notes", "NoteStore.sqlite",
       nullptr, {{"notes", "", "SELECT count(*) FROM ZICCLOUDSYNCINGOBJECT WHERE ZNOTEDATA IS NOT NULL",
                  14, NoteCreationDatesMatchTheAnswerKey, "incomplete"}}},
      {"ios15_whatsapp",
       ileapp + "whatsApp/testdata.whatsApp.whatsAppMessages.josh_ios15_ffs.zip|ChatStorage.sqlite",
       "AppDomainGroup-group.net.whatsapp.WhatsApp.shared", "ChatStorage.sqlite",
       nullptr, {{"whatsapp", "", "SELECT count(*) FROM ZWAMESSAGE", 32, ChatMessagesMatchTheAnswerKey}}},
      {"ios7_safari_history", "OTAPKI__iphone/App - com.apple.mobilesafari/Library/Safari/History.plist",
       "HomeDomain", "Library/Safari/History.plist", nullptr, {{"history", "", "", 7, nullptr}}},
      {"encrypted_legacy_backup", "multifreded__hv20/day23/Backup/", "", "", "20201225",
       {{"contacts", hv20 + "HomeDomain/Library/AddressBook/AddressBook.sqlitedb",
         "SELECT count(*) FROM ABPerson", 2, nullptr},
        {"calendar", hv20 + "HomeDomain/Library/Calendar/Calendar.sqlitedb",
         "SELECT count(*) FROM CalendarItem", 43, nullptr},
        {"photos", hv20 + "CameraRollDomain/Media/PhotoData/Photos.sqlite",
         "SELECT count(*) FROM ZGENERICASSET", 2, nullptr},
        {"bookmarks", hv20 + "HomeDomain/Library/Safari/Bookmarks.db",
         "SELECT count(*) FROM bookmarks WHERE parent IS NOT NULL", 8, nullptr}}},
  };
  // clang-format on
  return samples;
}

// The sample's file, and its -wal when it has one, written into `folder`
// under its own name; returns that path.
std::string PlaceSample(const std::string& fixtures, const std::string& source,
                        const std::string& folder) {
  size_t bar = source.find('|');
  std::string name = source.substr(source.find_last_of("/|") + 1);
  testing_support::MakeFolders(folder);
  if (bar == std::string::npos) {
    WriteFile(folder + name, ReadFile(fixtures + source));
    std::FILE* wal = std::fopen((fixtures + source + "-wal").c_str(), "rb");
    if (wal) {
      std::fclose(wal);
      WriteFile(folder + name + "-wal", ReadFile(fixtures + source + "-wal"));
    }
    return folder + name;
  }
  for (const auto& [entry, bytes] :
       testing_support::ZipEntries(ReadFile(fixtures + source.substr(0, bar))))
    for (const std::string& suffix : {std::string(), std::string("-wal")})
      if (testing::Value(entry, testing::EndsWith("/" + name + suffix)))
        WriteFile(folder + name + suffix, bytes);
  return folder + name;
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
  std::string backup = fixtures + sample.source;
  if (!sample.password) {
    std::string wrapped = PlaceSample(fixtures, sample.source, root / "sample/");
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
    std::string truthFile;
    if (!expected.truth.empty()) {
      truthFile = !expected.truthFile.empty()
                      ? PlaceSample(fixtures, expected.truthFile,
                                    root / ("truth/" + std::to_string(i) + "/"))
                      : PlaceSample(fixtures, sample.source, root / "truth/");
      EXPECT_THAT(QueryColumn(truthFile, expected.truth),
                  testing::ElementsAre(std::to_string(expected.items)));
    }
    rapidjson::Document output = ParseText(ReadFile(root / ("out/" + expected.kind + ".json")));
    ASSERT_FALSE(output.HasParseError());
    EXPECT_EQ(ItemsOf(expected.kind, output), expected.items);
    if (expected.spot) expected.spot(output, fixtures, truthFile);
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RealSampleScan, testing::ValuesIn(Samples()),
                         [](const testing::TestParamInfo<Sample>& info) {
                           return info.param.name;
                         });

}  // namespace
