// The backup builder against a real device's manifest: the archived file
// records every other test reads must carry the keys a device writes.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "mivo/PlistUtil.h"
#include "support/TestSupport.h"

namespace {

struct Row {
  int flags;
  std::string blob;  // the archived file record
};

// Flags and file column of every row. Opened immutable: a real device's
// manifest may be in WAL mode, and nothing may appear beside it.
std::vector<Row> ReadFilesTable(const std::string& path) {
  sqlite3* raw = nullptr;
  sqlite3_open_v2(("file:" + path + "?immutable=1").c_str(), &raw,
                  SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  sqlite3_stmt* rawStatement = nullptr;
  sqlite3_prepare_v2(raw, "SELECT flags, file FROM Files", -1, &rawStatement, nullptr);
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(rawStatement, sqlite3_finalize);
  std::vector<Row> rows;
  while (rawStatement && sqlite3_step(rawStatement) == SQLITE_ROW) {
    const char* blob = static_cast<const char*>(sqlite3_column_blob(rawStatement, 1));
    rows.push_back({sqlite3_column_int(rawStatement, 0),
                    std::string(blob ? blob : "", sqlite3_column_bytes(rawStatement, 1))});
  }
  return rows;
}

// The MBFile keys a row carries, leaving out the optional ones.
std::set<std::string> ArchivedKeys(const std::string& blob) {
  std::set<std::string> keys;
  PlistPtr root = PlistUtil::ParseBytes(blob.data(), blob.size());
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
  std::string real = fixtures + "mvt-project__mvt/tests/artifacts/ios_backup/Manifest.db";
  if (!std::filesystem::exists(real)) GTEST_SKIP() << "no real Manifest.db";
  testing_support::TempFolder folder;
  builder::BackupBuilder backup(folder.Path());
  backup.AddFile("HomeDomain", "Library/SMS/sms.db", "SQLite format 3");
  backup.AddDirectory("HomeDomain", "Library");
  backup.AddSymlink("HomeDomain", "Library/Caches/current", "Snapshots/7");
  backup.Finish();
  std::vector<Row> ours = ReadFilesTable(backup.ManifestPath());
  std::vector<Row> theirs = ReadFilesTable(real);
  for (int flags : {1, 2, 4}) {
    SCOPED_TRACE("flags " + std::to_string(flags));
    auto first = [flags](const std::vector<Row>& rows) {
      return std::find_if(rows.begin(), rows.end(),
                          [flags](const Row& row) { return row.flags == flags; });
    };
    ASSERT_NE(first(ours), ours.end());
    ASSERT_NE(first(theirs), theirs.end());
    EXPECT_EQ(ArchivedKeys(first(ours)->blob), ArchivedKeys(first(theirs)->blob));
  }
}

}  // namespace
