// Complete reading over builder-made backups: what each schema generation
// and rows still in a write-ahead log yield in both readings, and the
// problems a damaged backup is reported with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/Wrap.h"
#include "builder/kinds/CalendarWriter.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "builder/kinds/ChatStorage.h"
#include "builder/kinds/NoteStores.h"
#include "builder/kinds/SafariWriters.h"
#include "integration/KindScanSupport.h"

namespace {

using builder::BackupBuilder;
using builder::CalendarWriter;
using builder::CallHistoryDbWriter;
using builder::CallStoreWriter;
using Documents = std::vector<std::unique_ptr<rapidjson::Document>>;

constexpr int64_t kUnixJune2024 = 1717307200;
constexpr int64_t kJune2024 = 739000000;  // seconds since 2001

Documents Scan(const std::string& folder, int type, bool complete) {
  host::Recorder recorder = testing_support::Send(
      kind_scan::kScan, "{\"backupDir\":\"" + folder + "\",\"types\":[" + std::to_string(type) +
                            "]" + (complete ? ",\"complete\":true}" : "}"));
  EXPECT_EQ(recorder.Count("violation"), 0u);
  return kind_scan::Parse(testing_support::ResultTexts(recorder));
}

// What a scan delivered in user terms: events for the calendar (its count is
// of calendars), the stage-1 count for the others.
int Delivered(int type, const Documents& documents) {
  if (documents.empty()) return -1;
  if (type != 3) return (*documents[0])["result"]["count"].GetInt();
  int events = 0;
  for (const auto& calendar : (*documents[1])["result"].GetArray())
    if (calendar.HasMember("events")) events += static_cast<int>(calendar["events"].Size());
  return events;
}

// The "problems" of whichever result carries them; null when none does.
const rapidjson::Value* Problems(const Documents& documents) {
  for (const auto& document : documents) {
    if (!document->HasMember("result")) continue;  // the command's own status
    const rapidjson::Value& result = (*document)["result"];
    if (result.IsObject() && result.HasMember("problems")) return &result["problems"];
  }
  return nullptr;
}

// Each problem as "path: what", one without detail text marked so.
std::string Named(const rapidjson::Value* problems) {
  if (!problems) return "(no problems member)";
  std::string named;
  for (const auto& problem : problems->GetArray())
    named += std::string(named.empty() ? "" : "; ") + problem["path"].GetString() + ": " +
             problem["what"].GetString() +
             (problem["detail"].GetStringLength() ? "" : " (no detail)");
  return named;
}

CallHistoryDbWriter Calls(int count, bool withNetworkCode) {
  CallHistoryDbWriter calls;
  calls.withNetworkCode = withNetworkCode;
  for (int i = 0; i < count; ++i)
    calls.AddCall({"+1555010" + std::to_string(i), kUnixJune2024 + i, 60, 4, "", "us", "410"});
  return calls;
}

// One calendar, three events: one with an alarm, one recurring, one with
// neither.
CalendarWriter ThreeEvents(bool legacyAlarmOwner) {
  CalendarWriter calendar;
  calendar.legacyAlarmOwner = legacyAlarmOwner;
  int64_t home = calendar.AddCalendar({0, "cal-home", "Home", 0, "#FF0000"});
  int64_t alarmed = calendar.AddItem({0, home, "ev-1", "Dentist", {}, {}, kJune2024, kJune2024});
  int64_t recurring = calendar.AddItem({0, home, "ev-2", "Gym", {}, {}, kJune2024, kJune2024});
  calendar.AddItem({0, home, "ev-3", "Lunch", {}, {}, kJune2024, kJune2024});
  calendar.AddAlarm({0, alarmed, "al-1"});
  calendar.AddRecurrence({0, recurring, "re-1"});
  return calendar;
}

TEST(CompleteReading, EachGenerationYieldsEverything) {
  struct Case {
    const char* name;
    int type;
    std::function<void(BackupBuilder&)> build;
    int exact;
    int complete;
  };
  const Case cases[] = {
      {"calls of iOS 5 (no network_code)", 4, [](BackupBuilder& b) { Calls(3, false).AddTo(b); }, 0,
       3},
      {"call store of iOS 9 (location, no provider)", 4,
       [](BackupBuilder& b) {
         CallStoreWriter store;
         store.withServiceProvider = false;
         store.AddCall({"", "+15550100", kJune2024, 1, 10.0, "us", {}, "Springfield"});
         store.AddCall({"", "+15550101", kJune2024 + 9, 0, 10.0, "us", {}, ""});
         store.AddTo(b);
       },
       2, 2},
      {"the device's database before an app's of the same path", 4,
       [](BackupBuilder& b) {
         Calls(1, true).AddTo(b, "AppDomain-com.example.dialer",
                              "Library/CallHistory/call_history.db");
         Calls(2, true).AddTo(b);
       },
       1, 2},
      {"calendar of iOS 9: events without alarm or recurrence", 3,
       [](BackupBuilder& b) { ThreeEvents(false).AddTo(b); }, 2, 3},
      {"calendar of iOS 7 (Alarm.owner_id)", 3,
       [](BackupBuilder& b) { ThreeEvents(true).AddTo(b); }, 1, 3},
      {"Safari History.plist of iOS 7", 9,
       [](BackupBuilder& b) {
         builder::LegacyHistoryWriter history;
         history.AddEntry({"https://example.com/a", "A", 420000000.5});
         history.AddEntry({"https://example.com/b", "B", 419999000.0});
         history.AddTo(b);
       },
       0, 2},
      // Rows added after the last checkpoint live only in the log, stored as
      // a row of its own (the open connection keeps them there). Complete
      // reading merges a copy; the backup stays as it was.
      {"rows in the write-ahead log", 4,
       [](BackupBuilder& b) {
         testing_support::TempFolder scratch;
         const std::string database = scratch / "call_history.db";
         Calls(2, true).Write(database);
         sqlite3* open = nullptr;
         sqlite3_open(database.c_str(), &open);
         sqlite3_exec(open,
                      "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;"
                      "INSERT INTO call(address,date,duration,flags) VALUES"
                      "('+15550170',1717308000,5,5),('+15550171',1717308100,7,4);",
                      nullptr, nullptr, nullptr);
         builder::AddAsShipped(b, "WirelessDomain", "Library/CallHistory/call_history.db",
                               database);
         sqlite3_close(open);
       },
       2, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempFolder folder;
    {
      BackupBuilder backup(folder / "backup");
      c.build(backup);
    }
    const std::string before = testing_support::TreeSnapshot(folder / "backup");
    EXPECT_EQ(Delivered(c.type, Scan(folder / "backup/", c.type, false)), c.exact);
    Documents complete = Scan(folder / "backup/", c.type, true);
    EXPECT_EQ(Delivered(c.type, complete), c.complete);
    EXPECT_EQ(Named(Problems(complete)), "");
    EXPECT_EQ(testing_support::TreeSnapshot(folder / "backup"), before);
  }
}

TEST(CompleteReading, CalendarAttachesAlarmsAndKeepsAllDayDatesWestOfUtc) {
  kind_scan::ScopedTimeZone zone("PST8PDT,M3.2.0,M11.1.0");
  constexpr int64_t kFeb21Of2005 = 130636800;  // 2005-02-21T00:00:00Z, seconds since 2001
  testing_support::TempFolder folder;
  {
    BackupBuilder backup(folder / "backup");
    CalendarWriter calendar = ThreeEvents(true);
    calendar.AddItem(
        {0, 1, "ev-bd", "Birthday", {}, {}, kFeb21Of2005, kFeb21Of2005 + 86399, "_float", 1});
    calendar.AddTo(backup);
  }
  // Legacy alarm owners attach; the birthday is 2005-02-21 from start to end.
  kind_scan::ExpectGolden("cases/calendar-complete-west-of-utc.jsonl",
                          kind_scan::ScanResults(folder / "backup/", "[3],\"complete\":true"));
}

TEST(CompleteReading, DamagedDatabasesAreNamedAsProblems) {
  struct Case {
    const char* name;
    int type;
    std::function<void(BackupBuilder&, const std::string& folder)> build;
    const char* path;
    const char* what;
  };
  auto stored = [](const std::string& folder, const std::string& id) {
    return folder + id.substr(0, 2) + "/" + id;
  };
  auto withoutTable = [](std::string domain, std::string path) {
    return [=](BackupBuilder& b, const std::string&) {
      builder::HistoryWriter().AddTo(b, domain, path);
    };
  };
  const Case cases[] = {
      {"listed but not stored", 4,
       [&](BackupBuilder& b, const std::string& folder) {
         unlink(stored(folder, Calls(1, true).AddTo(b)).c_str());
       },
       "WirelessDomain/Library/CallHistory/call_history.db", "missing"},
      {"a log listed but not stored (the database alone is read)", 4,
       [](BackupBuilder& b, const std::string&) {
         Calls(1, true).AddTo(b);
         b.AddManifestEntry("WirelessDomain", "Library/CallHistory/call_history.db-wal",
                            builder::kFlagFile);
       },
       "WirelessDomain/Library/CallHistory/call_history.db-wal", "missing"},
      {"a folder where the file should be", 3,
       [&](BackupBuilder& b, const std::string& folder) {
         std::string file = stored(folder, ThreeEvents(false).AddTo(b));
         unlink(file.c_str());
         mkdir(file.c_str(), 0700);
       },
       "HomeDomain/Library/Calendar/Calendar.sqlitedb", "not a regular file"},
      {"not a database", 9,
       [](BackupBuilder& b, const std::string&) {
         b.AddFile("HomeDomain", "Library/Safari/History.db", std::string(8192, 'x'));
       },
       "HomeDomain/Library/Safari/History.db", "unreadable"},
      {"a database without the table", 4,
       withoutTable("HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"),
       "HomeDomain/Library/CallHistoryDB/CallHistory.storedata", "query failed"},
      // Named once, by the stored file's place, never by a scratch copy's path.
      {"a note store without the table", 5,
       withoutTable(builder::notes::kNotesDomain, "NoteStore.sqlite"),
       "AppDomainGroup-group.com.apple.notes/NoteStore.sqlite", "query failed"},
      {"a chat store without the table", 10,
       withoutTable(builder::whatsapp::kDomain, "ChatStorage.sqlite"),
       "AppDomainGroup-group.net.whatsapp.WhatsApp.shared/ChatStorage.sqlite", "query failed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempFolder folder;
    {
      BackupBuilder backup(folder / "backup");
      c.build(backup, backup.Folder());
    }
    EXPECT_EQ(Problems(Scan(folder / "backup/", c.type, false)), nullptr);
    EXPECT_EQ(Named(Problems(Scan(folder / "backup/", c.type, true))),
              std::string(c.path) + ": " + c.what);
  }
}

}  // namespace
