// The backup builder against real devices' files: the archived file records
// of its manifest carry the keys a device writes, and its device databases
// carry every column the same tables have on real devices.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/AddressBookWriter.h"
#include "builder/kinds/CalendarWriter.h"
#include "builder/kinds/CallHistoryWriter.h"
#include "builder/kinds/SafariWriters.h"
#include "common/Sqlite.h"
#include "mivo/PlistUtil.h"
#include "support/TestSupport.h"

namespace {

// The texts of one column of every row of `query`, the database opened
// immutable: a real device's database may be in WAL mode, and nothing may
// appear beside it.
std::vector<std::string> Texts(const std::string& path, const std::string& query, int column = 0) {
  std::vector<std::string> texts;
  keldra::sqlite::Statement statement =
      keldra::sqlite::Prepare(keldra::sqlite::OpenReadOnly(path), query.c_str());
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW)
    texts.emplace_back(keldra::sqlite::Text(statement.get(), column));
  return texts;
}

// The MBFile keys of the first archived record with these flags, leaving out
// the optional ones.
std::set<std::string> ArchivedKeys(const std::string& manifest, int flags) {
  std::vector<std::string> blobs =
      Texts(manifest, "SELECT file FROM Files WHERE flags = " + std::to_string(flags) + " LIMIT 1");
  std::set<std::string> keys;
  PlistPtr root = blobs.empty() ? nullptr : PlistUtil::ParseBytes(blobs[0].data(), blobs[0].size());
  plist_t objects = root ? plist_dict_get_item(root.get(), "$objects") : nullptr;
  plist_t file = objects ? plist_array_get_item(objects, 1) : nullptr;
  if (!file || plist_get_node_type(file) != PLIST_DICT) return keys;
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(file, &iterator);
  char* key = nullptr;
  plist_t value = nullptr;
  while ((plist_dict_next_item(file, iterator, &key, &value), value)) {
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
  for (int flags : {1, 2, 4}) {
    std::set<std::string> keys =
        ArchivedKeys(fixtures + "mvt-project__mvt/tests/artifacts/ios_backup/Manifest.db", flags);
    EXPECT_FALSE(keys.empty()) << "flags " << flags;
    EXPECT_EQ(ArchivedKeys(backup.ManifestPath(), flags), keys) << "flags " << flags;
  }
}

// Every column of `tables` in the real file is in the written one.
void ExpectColumnsOfRealDevice(const builder::DatabaseWriter& writer, const std::string& real,
                               const std::vector<std::string>& tables) {
  testing_support::TempFolder folder;
  writer.Write(folder / "written.db");
  for (const std::string& table : tables) {
    const std::string query = "PRAGMA table_info(" + table + ")";
    std::vector<std::string> onDevice = Texts(real, query, 1);
    std::vector<std::string> ours = Texts(folder / "written.db", query, 1);
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
