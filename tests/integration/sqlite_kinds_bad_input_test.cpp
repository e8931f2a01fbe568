// Damaged and hostile databases for the five SQLite kinds: files that are
// not SQLite, missing tables and columns, rows of NULLs, bytes that are not
// UTF-8, dates far outside any calendar, a label of a megabyte and a
// bookmark chain thousands of folders deep. Every kind sends its usual
// series, never crashes and leaves the backup as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "builder/BackupBuilder.h"
#include "builder/kinds/AddressBookWriter.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "builder/kinds/SafariWriters.h"
#include "builder/kinds/SqliteWriter.h"
#include "integration/KindScanSupport.h"

namespace {

using builder::Cell;
using kind_scan::Parse;
using kind_scan::ScanResults;

constexpr char kAllKinds[] = "[0, 3, 4, 8, 9]";

struct Location {
  const char* domain;
  const char* path;
};
constexpr Location kAddressBook{"HomeDomain", "Library/AddressBook/AddressBook.sqlitedb"};
constexpr Location kCalendar{"HomeDomain", "Library/Calendar/Calendar.sqlitedb"};
constexpr Location kCallDb{"WirelessDomain", "Library/CallHistory/call_history.db"};
constexpr Location kCallStore{"HomeDomain", "Library/CallHistoryDB/CallHistory.storedata"};
constexpr Location kBookmarks{"HomeDomain", "Library/Safari/Bookmarks.db"};
constexpr Location kHistory{"HomeDomain", "Library/Safari/History.db"};
constexpr Location kAll[] = {kAddressBook, kCalendar, kCallDb, kCallStore, kBookmarks, kHistory};

// The bytes of a database made by `sql`.
std::string Database(const std::string& sql) {
  builder::SqliteDatabase database("");
  database.Exec(sql);
  return database.Serialize();
}

// "type/stage:count" for summaries, "type/stage:size" for lists, "type/stage" else.
std::vector<std::string> Outline(const std::vector<std::string>& results) {
  std::vector<std::string> outline;
  for (const auto& message : Parse(results)) {
    if (!message->HasMember("type")) {
      outline.push_back("status " + std::to_string((*message)["status"].GetInt()));
      continue;
    }
    std::string line = std::to_string((*message)["type"].GetInt()) + "/" +
                       std::to_string((*message)["stage"].GetInt());
    const rapidjson::Value& result = (*message)["result"];
    if (result.IsObject() && result.HasMember("count"))
      line += ":" + std::to_string(result["count"].GetInt64());
    else if (result.IsArray())
      line += ":" + std::to_string(result.Size());
    outline.push_back(line);
  }
  return outline;
}

class BadInput : public testing::Test {
 protected:
  std::string Folder() const { return folder_ / "backup/"; }
  // Scans with every kind, checking that the backup is left as it was.
  std::vector<std::string> Scan() {
    const std::string before = testing_support::TreeSnapshot(Folder());
    std::vector<std::string> results = ScanResults(Folder(), kAllKinds);
    EXPECT_EQ(testing_support::TreeSnapshot(Folder()), before);
    return results;
  }
  testing_support::TempFolder folder_;
};

TEST_F(BadInput, FilesThatAreNotSqliteGiveEmptySeries) {
  {
    builder::BackupBuilder backup(Folder());
    int n = 0;
    for (const Location& location : kAll) {
      std::string junk = n++ % 2 ? std::string(5000, '\x8f') : "not a database, just text\n";
      backup.AddFile(location.domain, location.path, junk);
    }
  }
  std::vector<std::string> results = Scan();
  EXPECT_THAT(Outline(results),
              testing::ElementsAre("0/1:0", "0/3", "3/1:0", "3/2:0", "3/3", "4/1:0", "4/2:0",
                                   "4/3:0", "8/1:0", "8/3", "9/1:0", "9/2:0", "9/3", "status 1"));
  // The paths of the files found are reported all the same.
  EXPECT_THAT(results[0], testing::HasSubstr("\"contact_db_path\":\"<backup>/31/"));
}

TEST_F(BadInput, MissingTablesAndColumnsDropOnlyWhatTheyHold) {
  {
    builder::BackupBuilder backup(Folder());
    // Persons without any multi-value table.
    backup.AddFile(kAddressBook.domain, kAddressBook.path,
                   Database("CREATE TABLE ABPerson (ROWID INTEGER PRIMARY KEY, First, Last, "
                            "Middle, Prefix, Suffix, FirstPhonetic, MiddlePhonetic, "
                            "LastPhonetic, DisplayName, Organization, Department, Note, Kind, "
                            "Birthday, JobTitle, Nickname, CreationDate, ModificationDate);"
                            "INSERT INTO ABPerson (First) VALUES ('Only'), ('Names');"));
    // (Calendars and calls of older schemas are the complete-reading tests'.)
    // A store without its call table at all.
    backup.AddFile(kCallStore.domain, kCallStore.path,
                   Database("CREATE TABLE Z_PRIMARYKEY (Z_ENT INTEGER PRIMARY KEY, Z_NAME);"));
    // Bookmarks without the bookmarks table, history without history_items.
    backup.AddFile(kBookmarks.domain, kBookmarks.path, Database("CREATE TABLE generations (g);"));
    backup.AddFile(kHistory.domain, kHistory.path,
                   Database("CREATE TABLE history_visits (id INTEGER PRIMARY KEY, "
                            "history_item, visit_time, title);"
                            "INSERT INTO history_visits VALUES (1, 1, 739000000.0, 'x');"));
  }
  std::vector<std::string> results = Scan();
  EXPECT_THAT(Outline(results),
              testing::ElementsAre("0/1:2", "0/2", "0/3", "3/1:0", "3/2:0", "3/3", "4/1:0", "4/2:0",
                                   "4/3:0", "8/1:0", "8/3", "9/1:0", "9/2:0", "9/3", "status 1"));
  EXPECT_EQ(testing_support::Json((*Parse(results)[1])["result"]["1"]),
            "{\"first name\":\"Only\",\"kind\":0,\"birthday\":\"\",\"creation date\":\"\","
            "\"modification date\":\"\"}");
}

TEST_F(BadInput, RowsOfNullsAreReadAsEmptyValues) {
  kind_scan::ScopedTimeZone zone("UTC0");
  {
    builder::BackupBuilder backup(Folder());
    backup.AddFile(
        kAddressBook.domain, kAddressBook.path,
        Database("CREATE TABLE ABPerson (First, Last, Middle, Prefix, Suffix, FirstPhonetic, "
                 "MiddlePhonetic, LastPhonetic, DisplayName, Organization, Department, Note, "
                 "Kind, Birthday, JobTitle, Nickname, CreationDate, ModificationDate);"
                 "INSERT INTO ABPerson (First) VALUES (NULL);"
                 "CREATE TABLE ABMultiValue (UID, record_id, property, identifier, label, value);"
                 "INSERT INTO ABMultiValue VALUES (NULL, NULL, NULL, NULL, NULL, NULL);"
                 "INSERT INTO ABMultiValue VALUES (NULL, 1, 3, NULL, NULL, '');"
                 "INSERT INTO ABMultiValue VALUES (NULL, 1, 13, NULL, NULL, NULL);"
                 "CREATE TABLE ABMultiValueLabel (value);"
                 "INSERT INTO ABMultiValueLabel VALUES (NULL);"
                 "CREATE TABLE ABMultiValueEntry (parent_id, key, value);"
                 "INSERT INTO ABMultiValueEntry VALUES (NULL, NULL, NULL);"
                 "CREATE TABLE ABMultiValueEntryKey (value);"
                 "INSERT INTO ABMultiValueEntryKey VALUES (NULL);"));
    backup.AddFile(
        kCalendar.domain, kCalendar.path,
        Database("CREATE TABLE Calendar (UUID, title, flags, color);"
                 "INSERT INTO Calendar VALUES (NULL, NULL, NULL, NULL);"
                 "CREATE TABLE CalendarItem (UUID, summary, description, url, start_date, "
                 "end_date, start_tz, all_day, calendar_id, location_id);"
                 "INSERT INTO CalendarItem VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
                 "NULL, 1, NULL);"
                 "CREATE TABLE Alarm (UUID, trigger_interval, calendaritem_owner_id);"
                 "INSERT INTO Alarm VALUES (NULL, NULL, 1);"
                 "CREATE TABLE Recurrence (UUID, frequency, interval, cached_end_date, count, "
                 "owner_id);"
                 "INSERT INTO Recurrence VALUES (NULL, NULL, NULL, NULL, NULL, 1);"
                 "CREATE TABLE Location (title);"));
    backup.AddFile(kCallDb.domain, kCallDb.path,
                   Database("CREATE TABLE call (name, address, date, flags, duration, "
                            "country_code, network_code);"
                            "INSERT INTO call VALUES (NULL, NULL, NULL, NULL, NULL, NULL, NULL);"));
    backup.AddFile(kCallStore.domain, kCallStore.path,
                   Database("CREATE TABLE ZCALLRECORD (ZNAME, ZADDRESS, ZDATE, ZORIGINATED, "
                            "ZDURATION, ZISO_COUNTRY_CODE, ZSERVICE_PROVIDER, ZLOCATION);"
                            "INSERT INTO ZCALLRECORD VALUES (NULL, NULL, NULL, NULL, NULL, NULL, "
                            "NULL, NULL);"));
    backup.AddFile(kBookmarks.domain, kBookmarks.path,
                   Database("CREATE TABLE bookmarks (id, parent, title, url, num_children, "
                            "order_index, special_id);"
                            "INSERT INTO bookmarks VALUES (NULL, NULL, NULL, NULL, NULL, NULL, "
                            "NULL);"
                            "INSERT INTO bookmarks (id) VALUES (5);"));
    backup.AddFile(kHistory.domain, kHistory.path,
                   Database("CREATE TABLE history_items (id, url);"
                            "INSERT INTO history_items VALUES (NULL, NULL);"
                            "CREATE TABLE history_visits (history_item, visit_time, title);"
                            "INSERT INTO history_visits VALUES (NULL, NULL, NULL);"));
  }
  std::vector<std::string> results = Scan();
  EXPECT_THAT(Outline(results), testing::ElementsAre("0/1:1", "0/2", "0/3", "3/1:1", "3/2:1", "3/3",
                                                     "4/1:2", "4/2:2", "4/3:2", "8/1:1", "8/2",
                                                     "8/3", "9/1:1", "9/2:1", "9/3", "status 1"));
  auto documents = Parse(results);
  EXPECT_EQ(testing_support::Json((*documents[1])["result"]),
            "{\"1\":{\"kind\":0,\"birthday\":\"\",\"creation date\":\"\",\"modification "
            "date\":\"\",\"com.apple.contacts.Phone Number\":[{\"value\":\"\",\"id\":\"0\","
            "\"label\":\"\"}]}}");
  EXPECT_EQ(testing_support::Json((*documents[4])["result"]),
            "[{\"id\":\"\",\"title\":\"\",\"read_only\":0,\"com_apple_syncservices_"
            "RecordEntityName\":\"com.apple.calendars.Calendar\",\"colorComponents\":[0,0,0,"
            "255]}]");
  EXPECT_EQ(testing_support::Json((*documents[7])["result"]),
            "[{\"name\":\"\",\"address\":\"\",\"date_int\":0,\"date\":\"1970-01-01T00:00:00+00:"
            "00\",\"duration_int\":0,\"duration\":\"00:00:00\",\"country_code\":\"\","
            "\"network_code\":\"\",\"location\":\"\",\"type_int\":0,\"type\":\"Outgoing\"},"
            "{\"name\":\"\",\"address\":\"\",\"date_int\":0,\"date\":\"2001-01-01T00:00:00+00:"
            "00\",\"duration_int\":0,\"duration\":\"00:00:00\",\"country_code\":\"\","
            "\"network_code\":\"\",\"location\":\"\",\"type_int\":0,\"type\":\"Incoming\"}]");
  EXPECT_EQ(testing_support::Json((*documents[10])["result"]),
            "{\"id\":\"5\",\"name\":\"\",\"url\":\"\",\"com_apple_syncservices_RecordEntityName\":"
            "\"com.apple.bookmarks.Bookmark\",\"position\":0}");
  EXPECT_EQ(testing_support::Json((*documents[13])["result"]),
            "[{\"name\":\"\",\"url\":\"\",\"visit_time\":\"\",\"com_apple_syncservices_"
            "RecordEntityName\":\"com.apple.bookmarks.Bookmark\",\"position\":1,\"id\":\"1\"}]");
}

TEST_F(BadInput, BrokenTextAndImpossibleDatesStayValidJson) {
  const std::string broken = "caf\xc3\xa9 \xff\xfe half \xe2\x82";
  const std::string repaired = "caf\xc3\xa9 \xef\xbf\xbd\xef\xbf\xbd half \xef\xbf\xbd";
  const std::string megabyte(1 << 20, 'A');
  {
    builder::BackupBuilder backup(Folder());
    builder::AddressBookWriter book;
    builder::AddressBookWriter::Person person;
    person.first = broken;
    person.birthday = static_cast<int64_t>(1) << 62;
    person.creationDate = -1e300;
    person.modificationDate = "not a date";
    const int64_t id = book.AddPerson(person);
    book.AddPhone(id, broken, "_$!<" + megabyte + ">!$_");
    book.AddPhone(id, "2", "_$!<" + megabyte + ">" + ">!$_");
    builder::AddressBookWriter::MultiValue date;
    date.recordId = id;
    date.property = builder::AddressBookWriter::kDate;
    date.value = "99999999999999999999999";
    book.AddMultiValue(date);
    book.AddTo(backup);

    builder::CallStoreWriter store;
    store.AddCall({broken, Cell::Blob("\x80\x81"), 1e300, 7, 1e300});
    store.AddCall({"", "", -9.2e18, 1, -5.0});
    store.AddTo(backup);
    builder::CallHistoryDbWriter calls;
    calls.AddCall({"", INT64_MIN, INT64_MAX, 4});
    calls.AddTo(backup);

    builder::HistoryWriter history;
    history.AddVisit(history.AddItem(broken), 9.9e307, broken);
    history.AddTo(backup);

    // A chain of folders far deeper than any real tree.
    builder::BookmarksWriter bookmarks;
    int64_t parent = 1;
    for (int i = 0; i < 5000; ++i) parent = bookmarks.AddFolder(parent, "Level", 0);
    bookmarks.AddBookmark(parent, broken, "https://deep.example.com/", 0);
    bookmarks.AddTo(backup);
  }
  std::vector<std::string> results = Scan();  // no violation: every text is valid JSON
  EXPECT_THAT(Outline(results),
              testing::ElementsAre("0/1:1", "0/2", "0/3", "3/1:0", "3/2:0", "3/3", "4/1:3", "4/2:3",
                                   "4/3:3", "8/1:2", "8/2", "8/2", "8/3", "9/1:1", "9/2:1", "9/3",
                                   "status 1"));
  auto documents = Parse(results);
  const rapidjson::Value& person = (*documents[1])["result"]["1"];
  EXPECT_EQ(person["first name"].GetString(), repaired);
  EXPECT_STREQ(person["birthday"].GetString(), "");
  EXPECT_STREQ(person["creation date"].GetString(), "");
  EXPECT_STREQ(person["modification date"].GetString(), "");
  const rapidjson::Value& phones = person["com.apple.contacts.Phone Number"];
  ASSERT_EQ(phones.Size(), 2u);
  for (const auto& phone : phones.GetArray()) {
    if (std::string(phone["id"].GetString()) == "1") {
      EXPECT_EQ(phone["value"].GetString(), repaired);
      EXPECT_EQ(phone["type"].GetString(), std::string(1 << 20, 'a'));
    } else {
      EXPECT_EQ(phone["label"].GetStringLength(), megabyte.size() + 9);
    }
  }
  EXPECT_STREQ(person["com.apple.contacts.Date"][0]["value"].GetString(), "");

  const rapidjson::Value& calls = (*documents[7])["result"];
  EXPECT_STREQ(calls[0]["date"].GetString(), "");
  EXPECT_STREQ(calls[1]["type"].GetString(), "Unknown");
  EXPECT_EQ(calls[1]["address"].GetString(), std::string("\xef\xbf\xbd\xef\xbf\xbd"));
  EXPECT_STREQ(calls[2]["duration"].GetString(), "00:00:00");

  const rapidjson::Value& visit = (*documents[14])["result"][0];
  EXPECT_STREQ(visit["visit_time"].GetString(), "");
  EXPECT_EQ(visit["url"].GetString(), repaired);

  // The bookmark chain is cut below a fixed depth instead of exhausting a stack.
  int depth = 0;
  for (const rapidjson::Value* node = &(*documents[10])["result"]; node->HasMember("children");
       node = &(*node)["children"][0])
    ++depth;
  EXPECT_EQ(depth, 255);
}

}  // namespace
