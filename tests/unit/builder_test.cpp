// The backup builder against real devices' files: the archived file records
// of its manifest carry the keys a device writes, and its device databases
// carry every column the same tables have on real devices.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/AddressBookWriter.h"
#include "builder/kinds/CalendarWriter.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "builder/kinds/SafariWriters.h"
#include "mivo/PlistUtil.h"
#include "support/TestSupport.h"

namespace {

using Db = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;

// Opened immutable: a real device's database may be in WAL mode, and nothing
// may appear beside it.
Db Open(const std::string& path) {
  sqlite3* raw = nullptr;
  sqlite3_open_v2(("file:" + path + "?immutable=1").c_str(), &raw,
                  SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  return Db(raw, sqlite3_close);
}

// The texts of the first column of every row of `query`.
std::vector<std::string> Texts(sqlite3* db, const std::string& query, int column = 0) {
  std::vector<std::string> texts;
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, query.c_str(), -1, &statement, nullptr);
  while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    const char* bytes = static_cast<const char*>(sqlite3_column_blob(statement, column));
    texts.emplace_back(bytes ? bytes : "", sqlite3_column_bytes(statement, column));
  }
  sqlite3_finalize(statement);
  return texts;
}

// The MBFile keys of the first archived record with these flags, leaving out
// the optional ones.
std::set<std::string> ArchivedKeys(sqlite3* manifest, int flags) {
  std::vector<std::string> blobs =
      Texts(manifest, "SELECT file FROM Files WHERE flags = " + std::to_string(flags) + " LIMIT 1");
  std::set<std::string> keys;
  PlistPtr root = blobs.empty() ? nullptr : PlistUtil::ParseBytes(blobs[0].data(), blobs[0].size());
  plist_t objects = root ? plist_dict_get_item(root.get(), "$objects") : nullptr;
  plist_t file = objects ? plist_array_get_item(objects, 1) : nullptr;
  if (!file || plist_get_node_type(file) != PLIST_DICT) return keys;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(file, &iterator);
  for (;;) {
    char* key = nullptr;
    plist_t value = nullptr;
    plist_dict_next_item(file, iterator, &key, &value);
    if (!key) break;
    keys.insert(key);
    std::free(key);
  }
  std::free(iterator);
  for (const char* optional : {"Digest", "EncryptionKey", "ExtendedAttributes"})
    keys.erase(optional);
  return keys;
}

TEST(BuilderDb, ArchivesHaveTheKeysOfARealDevicesManifest) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  testing_support::TempFolder folder;
  builder::BackupBuilder backup(folder.Path());
  backup.AddFile("HomeDomain", "Library/SMS/sms.db", "SQLite format 3");
  backup.AddDirectory("HomeDomain", "Library");
  backup.AddSymlink("HomeDomain", "Library/Caches/current", "Snapshots/7");
  backup.Finish();
  Db ours = Open(backup.ManifestPath());
  Db theirs = Open(fixtures + "mvt-project__mvt/tests/artifacts/ios_backup/Manifest.db");
  for (int flags : {1, 2, 4}) {
    std::set<std::string> keys = ArchivedKeys(theirs.get(), flags);
    EXPECT_FALSE(keys.empty()) << "flags " << flags;
    EXPECT_EQ(ArchivedKeys(ours.get(), flags), keys) << "flags " << flags;
  }
}

// Every column of `tables` in the real file is in the written one.
void ExpectColumnsOfRealDevice(const builder::DatabaseWriter& writer, const std::string& real,
                               const std::vector<std::string>& tables) {
  testing_support::TempFolder folder;
  writer.Write(folder / "written.db");
  Db written = Open(folder / "written.db");
  Db device = Open(real);
  for (const std::string& table : tables) {
    const std::string query = "PRAGMA table_info(" + table + ")";
    std::vector<std::string> onDevice = Texts(device.get(), query, 1);
    std::vector<std::string> ours = Texts(written.get(), query, 1);
    ASSERT_FALSE(onDevice.empty()) << real << " " << table;
    for (const std::string& column : onDevice)
      EXPECT_NE(std::find(ours.begin(), ours.end(), column), ours.end()) << table << "." << column;
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
