// The five SQLite kinds against databases from real devices (the public
// samples of ../shared/fixtures/real, read in place; see SOURCES.md there).
// Each test builds a backup around the sample files and checks that the
// scan reports as many items as the sample's tables hold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>

#include "builder/BackupBuilder.h"
#include "integration/KindScanSupport.h"
#include "support/ZipEntries.h"

namespace {

using kind_scan::Parse;
using kind_scan::ScanResults;
using Documents = std::vector<std::unique_ptr<rapidjson::Document>>;

// A self-contained copy of a database whose newest rows live in its -wal
// file. The scan opens stored files immutable, which ignores a -wal file,
// so the sample is merged first: main file and -wal are written side by
// side into a scratch folder, the copy is opened read-write and
// checkpointed, and the merged main file is what the backup stores.
std::string MergedDatabase(const testing_support::TempFolder& scratch, const std::string& main,
                           const std::string& wal) {
  const std::string path = scratch / "merged.sqlite";
  testing_support::WriteFile(path, main);
  testing_support::WriteFile(path + "-wal", wal);
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE);", nullptr, nullptr, nullptr),
            SQLITE_OK)
      << sqlite3_errmsg(db);
  sqlite3_close(db);
  return path;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsMessage(const rapidjson::Value& document, int type, int stage) {
  return document.HasMember("type") && document["type"] == type && document["stage"] == stage;
}

// The kind message of `type` and `stage` (the first one when repeated).
const rapidjson::Value* Message(const Documents& documents, int type, int stage) {
  for (const auto& document : documents) {
    if (IsMessage(*document, type, stage)) return document.get();
  }
  return nullptr;
}

int64_t Count(const Documents& documents, int type) {
  const rapidjson::Value* summary = Message(documents, type, 1);
  return summary ? (*summary)["result"]["count"].GetInt64() : -1;
}

// Entries per multi-value entity over every contact of every batch.
std::map<std::string, int> ContactEntries(const Documents& documents) {
  std::map<std::string, int> entries;
  for (const auto& document : documents) {
    if (!IsMessage(*document, 0, 2)) continue;
    for (const auto& contact : (*document)["result"].GetObject()) {
      for (const auto& member : contact.value.GetObject()) {
        if (member.value.IsArray()) entries[member.name.GetString()] += member.value.Size();
      }
    }
  }
  return entries;
}

class RealSqliteSamples : public testing::Test {
 protected:
  void SetUp() override {
    fixtures_ = testing_support::FixturesDir();
    if (fixtures_.empty()) GTEST_SKIP() << "real samples folder is absent";
  }
  std::string Backup() const { return folder_ / "backup/"; }

  std::string fixtures_;
  testing_support::TempFolder folder_;
};

// iOS 7.1.2, freshly set up: an empty address book, holiday calendars, stock
// bookmarks, no calls.
TEST_F(RealSqliteSamples, Ios7DeviceDatabases) {
  const std::string root = fixtures_ + "OTAPKI__iphone/";
  {
    builder::BackupBuilder backup(Backup());
    for (const char* path : {"Library/AddressBook/AddressBook.sqlitedb",
                             "Library/Calendar/Calendar.sqlitedb", "Library/Safari/Bookmarks.db"})
      backup.AddFileFromDisk("HomeDomain", path, root + "HomeDomain/" + path);
    backup.AddFileFromDisk("WirelessDomain", "Library/CallHistory/call_history.db",
                           root + "WirelessDomain/Library/CallHistory/call_history.db");
  }
  Documents documents = Parse(ScanResults(Backup(), "[0, 3, 4, 8]"));
  EXPECT_EQ(Count(documents, 0), 0);  // ABPerson is empty
  EXPECT_EQ(Count(documents, 4), 0);  // call is empty

  // Calendar=5. Alarms of this generation point at their item through
  // owner_id, so the alarm statement does not prepare; the 22 recurring
  // holidays (Recurrence=22) all belong to one calendar.
  EXPECT_EQ(Count(documents, 3), 5);
  const rapidjson::Value& calendars = (*Message(documents, 3, 2))["result"];
  size_t events = 0;
  for (const auto& calendar : calendars.GetArray())
    if (calendar.HasMember("events")) events += calendar["events"].Size();
  EXPECT_EQ(events, 22u);

  // bookmarks=12: the root, two folders (BookmarksBar with 4 children, the
  // empty reading list, counted as a bookmark) and 9 bookmarks; 7 rows sit
  // directly below the root.
  EXPECT_EQ(Count(documents, 8), 10);
  size_t topLevel = 0;
  for (const auto& document : documents)
    if (IsMessage(*document, 8, 2)) ++topLevel;
  EXPECT_EQ(topLevel, 7u);
  const rapidjson::Value& bar = (*Message(documents, 8, 2))["result"];
  EXPECT_STREQ(bar["id"].GetString(), "1");
  EXPECT_EQ(bar["children"].Size(), 4u);
}

// iOS 5 (a staged forensic image): 6 persons with 9 multi-values; the call
// table has 5 rows but this generation has no network_code column, so the
// call statement does not prepare and no call is reported.
TEST_F(RealSqliteSamples, Ios5AddressBookAndCalls) {
  const std::string root = fixtures_ + "shamsulchowdhury__Unit-21-Homework-Final-Report/";
  {
    builder::BackupBuilder backup(Backup());
    backup.AddFileFromDisk("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                           root + "AddressBook.sqlitedb");
    backup.AddFileFromDisk("WirelessDomain", "Library/CallHistory/call_history.db",
                           root + "call_history.db");
  }
  Documents documents = Parse(ScanResults(Backup(), "[0, 4]"));
  EXPECT_EQ(Count(documents, 0), 6);
  EXPECT_THAT(ContactEntries(documents),
              testing::ElementsAre(testing::Pair("com.apple.contacts.Email Address", 2),
                                   testing::Pair("com.apple.contacts.Phone Number", 4),
                                   testing::Pair("com.apple.contacts.Street Address", 2),
                                   testing::Pair("com.apple.contacts.URL", 1)));
  EXPECT_EQ(Count(documents, 4), 0);
  EXPECT_STRNE((*Message(documents, 4, 1))["result"]["call_db_path"].GetString(), "");
}

// Address books of iOS 15 and 16 cut out of public forensic images; two of
// the three main files are a bare header with every row in the -wal file.
TEST_F(RealSqliteSamples, Ios15And16AddressBooksFromWalFiles) {
  struct Sample {
    const char* zip;
    int persons;
    std::map<std::string, int> entries;
  };
  const Sample samples[] = {
      {"testdata.addressBook.addressBook.josh_ios15_ffs.zip",
       9,
       {{"com.apple.contacts.Email Address", 4},
        {"com.apple.contacts.Phone Number", 7},
        {"com.apple.contacts.Street Address", 1},
        {"com.apple.contacts.URL", 1}}},
      {"testdata.addressBook.addressBook.belkasoft_ctf6_ios_device1.zip",
       1,
       {{"com.apple.contacts.Email Address", 1}}},
      {"testdata.addressBook.addressBook.mvs_ios_2023.zip", 0, {}},
  };
  for (const Sample& sample : samples) {
    SCOPED_TRACE(sample.zip);
    const std::string zip = testing_support::ReadFile(
        fixtures_ + "abrignoni__iLEAPP/admin/test/cases/data/addressBook/" + sample.zip);
    std::string main, wal;
    for (const auto& [name, bytes] : testing_support::ZipEntries(zip)) {
      if (EndsWith(name, "/AddressBook.sqlitedb")) main = bytes;
      if (EndsWith(name, "/AddressBook.sqlitedb-wal")) wal = bytes;
    }
    ASSERT_FALSE(main.empty());
    ASSERT_FALSE(wal.empty());
    testing_support::TempFolder scratch;
    testing_support::TempFolder backupFolder;
    {
      builder::BackupBuilder backup(backupFolder.Path());
      backup.AddFileFromDisk("HomeDomain", "Library/AddressBook/AddressBook.sqlitedb",
                             MergedDatabase(scratch, main, wal));
    }
    Documents documents = Parse(ScanResults(backupFolder.Path(), "[0]"));
    EXPECT_EQ(Count(documents, 0), sample.persons);
    EXPECT_EQ(ContactEntries(documents), sample.entries);
  }
}

// Safari history of about 2017: 19 pages, 25 visits, newest first.
TEST_F(RealSqliteSamples, SafariHistory) {
  {
    builder::BackupBuilder backup(Backup());
    backup.AddFileFromDisk("HomeDomain", "Library/Safari/History.db",
                           fixtures_ + "log2timeline__plaso/test_data/safari/History.db");
  }
  Documents documents = Parse(ScanResults(Backup(), "[9]"));
  EXPECT_EQ(Count(documents, 9), 25);
  const rapidjson::Value& visits = (*Message(documents, 9, 2))["result"];
  ASSERT_EQ(visits.Size(), 25u);
  std::string previous = "9999";
  for (const auto& visit : visits.GetArray()) {
    EXPECT_STRNE(visit["url"].GetString(), "");  // every visit's page is there
    EXPECT_LE(std::string(visit["visit_time"].GetString()), previous);
    previous = visit["visit_time"].GetString();
  }
  EXPECT_EQ(visits[24]["position"].GetInt64(), 25);
}

// iOS 9 (the decrypted copies of an encrypted backup): 6 calendars with 13
// recurring events and no alarms, 2 persons, an empty call store without
// the provider column (read through the fallback statement), and 8
// bookmark rows of which only folder 3 has children.
TEST_F(RealSqliteSamples, Ios9DeviceDatabases) {
  const std::string root = fixtures_ + "multifreded__hv20/day23/Decrypted_Backup/HomeDomain/";
  {
    builder::BackupBuilder backup(Backup());
    for (const char* path :
         {"Library/AddressBook/AddressBook.sqlitedb", "Library/Calendar/Calendar.sqlitedb",
          "Library/CallHistoryDB/CallHistory.storedata", "Library/Safari/Bookmarks.db"})
      backup.AddFileFromDisk("HomeDomain", path, root + path);
  }
  Documents documents = Parse(ScanResults(Backup(), "[0, 3, 4, 8]"));
  EXPECT_EQ(Count(documents, 0), 2);
  EXPECT_EQ(Count(documents, 3), 6);
  size_t events = 0;
  for (const auto& calendar : (*Message(documents, 3, 2))["result"].GetArray())
    if (calendar.HasMember("events")) events += calendar["events"].Size();
  EXPECT_EQ(events, 13u);
  EXPECT_EQ(Count(documents, 4), 0);
  EXPECT_EQ(Count(documents, 8), 7);
}

}  // namespace
