// The device-database writers of the builder: their tables carry every
// column the same tables have on real devices, and the address book keeps
// the device's full-text index that stock SQLite cannot read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <plist/plist.h>
#include <sqlite3.h>

#include <memory>
#include <set>
#include <string>

#include "builder/kinds/AddressBookWriter.h"
#include "builder/kinds/CalendarWriter.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "builder/kinds/SafariWriters.h"
#include "support/TestSupport.h"

namespace {

struct Close {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
};
using Db = std::unique_ptr<sqlite3, Close>;

Db Open(const std::string& path) {
  sqlite3* raw = nullptr;
  sqlite3_open_v2(("file:" + path + "?immutable=1").c_str(), &raw,
                  SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  return Db(raw);
}

std::set<std::string> Columns(sqlite3* db, const std::string& table) {
  std::set<std::string> columns;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, ("PRAGMA table_info(" + table + ")").c_str(), -1, &statement, nullptr);
  while (statement && sqlite3_step(statement) == SQLITE_ROW)
    columns.insert(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)));
  sqlite3_finalize(statement);
  return columns;
}

// Every column of `tables` in the real file is in the written one.
void ExpectColumnsOfRealDevice(const builder::DatabaseWriter& writer, const std::string& real,
                               const std::vector<std::string>& tables) {
  testing_support::TempFolder folder;
  writer.Write(folder / "written.db");
  Db written = Open(folder / "written.db");
  Db device = Open(real);
  for (const std::string& table : tables) {
    std::set<std::string> onDevice = Columns(device.get(), table);
    ASSERT_FALSE(onDevice.empty()) << real << " " << table;
    std::set<std::string> ours = Columns(written.get(), table);
    for (const std::string& column : onDevice)
      EXPECT_TRUE(ours.count(column)) << table << "." << column;
  }
}

TEST(BuilderKinds, TablesCarryTheColumnsOfRealDevices) {
  const std::string real = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(real);
  const std::string ios9 = real + "multifreded__hv20/day23/Decrypted_Backup/HomeDomain/Library/";
  const std::string ios7 = real + "OTAPKI__iphone/";
  ExpectColumnsOfRealDevice(
      builder::AddressBookWriter(), ios9 + "AddressBook/AddressBook.sqlitedb",
      {"ABPerson", "ABMultiValue", "ABMultiValueEntry", "ABMultiValueEntryKey", "ABMultiValueLabel",
       "ABStore", "ABGroup", "ABGroupMembers"});
  ExpectColumnsOfRealDevice(builder::CalendarWriter(), ios9 + "Calendar/Calendar.sqlitedb",
                            {"Calendar", "CalendarItem", "Alarm", "Recurrence", "Location", "Store",
                             "Participant", "OccurrenceCache"});
  ExpectColumnsOfRealDevice(builder::CallStoreWriter(),
                            ios9 + "CallHistoryDB/CallHistory.storedata",
                            {"ZCALLRECORD", "ZCALLDBPROPERTIES", "Z_PRIMARYKEY", "Z_METADATA"});
  ExpectColumnsOfRealDevice(builder::CallHistoryDbWriter(),
                            ios7 + "WirelessDomain/Library/CallHistory/call_history.db", {"call"});
  builder::CallHistoryDbWriter ios5;
  ios5.withNetworkCode = false;
  ExpectColumnsOfRealDevice(
      ios5, real + "shamsulchowdhury__Unit-21-Homework-Final-Report/call_history.db",
      {"call", "data"});
  ExpectColumnsOfRealDevice(builder::BookmarksWriter(),
                            ios7 + "HomeDomain/Library/Safari/Bookmarks.db", {"bookmarks"});
  ExpectColumnsOfRealDevice(builder::HistoryWriter(),
                            real + "log2timeline__plaso/test_data/safari/History.db",
                            {"history_items", "history_visits", "history_tombstones", "metadata"});
}

}  // namespace
