// The backup builder, read back through the module's own readers: what the
// builder writes is what every other test and benchmark relies on.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "backup/Discovery.h"
#include "backup/ManifestDb.h"
#include "backup/Mbdb.h"
#include "formats/MbdbParser.h"
#include "builder/BackupBuilder.h"
#include "builder/Synthetic.h"
#include "mivo/PlistUtil.h"
#include "support/TestSupport.h"

namespace {

using builder::BackupBuilder;
using builder::BackupOptions;
using builder::ManifestFormat;
using testing_support::ReadFile;
using testing_support::TempFolder;

const std::string kSmsDb = "Library/SMS/sms.db";
const std::string kSmsDbId = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";
// Non-ASCII (one character outside the basic plane) and longer than the
// 14 bytes a binary-plist marker holds.
const std::string kWidePath =
    "Media/Recordings/Entr\xC3\xA9"
    "e \xF0\x9F\x8E\xA4 20240615.m4a";
const std::string kLongPath = std::string("Documents/") + std::string(300, 'x') + ".dat";

bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

struct Row {
  std::string fileID, domain, relativePath;
  int flags;
};

// The rows of a small backup, in the order added; the builder's answers are
// kept for comparison.
struct SmallBackup {
  std::vector<Row> rows;
  std::string smsContent = "SQLite format 3";
};

SmallBackup BuildSmall(BackupBuilder& backup, const TempFolder& scratch) {
  SmallBackup made;
  auto add = [&](std::string id, const std::string& domain, const std::string& path, int flags) {
    made.rows.push_back({std::move(id), domain, path, flags});
  };
  backup.AddDirectory("HomeDomain", "");
  add(BackupBuilder::FileID("HomeDomain", ""), "HomeDomain", "", 2);
  add(backup.AddFile("HomeDomain", kSmsDb, made.smsContent), "HomeDomain", kSmsDb, 1);
  testing_support::WriteFile(scratch / "source.m4a", std::string(3 << 20, 'r'));
  add(backup.AddFileFromDisk("MediaDomain", kWidePath, scratch / "source.m4a"), "MediaDomain",
      kWidePath, 1);
  backup.AddSymlink("HomeDomain", "Library/Caches/current", "Snapshots/7");
  add(BackupBuilder::FileID("HomeDomain", "Library/Caches/current"), "HomeDomain",
      "Library/Caches/current", 4);
  add(backup.AddManifestEntry("CameraRollDomain", "Media/PhotoData/Photos.sqlite", 1),
      "CameraRollDomain", "Media/PhotoData/Photos.sqlite", 1);
  builder::ManifestEntry big;
  big.domain = "AppDomain-com.example.reader";
  big.relativePath = kLongPath;
  big.size = 5'000'000'000ull;  // needs an 8-byte integer
  big.properties = {{"com.apple.assetsd.UUID", "A1B2"}};
  add(backup.AddEntry(big), big.domain, kLongPath, 1);
  backup.Finish();
  return made;
}

// The MBFile object of a `file` column, found through $top and the UIDs.
struct Archived {
  std::string className, relativePath, target, keyClass, key;
  int64_t mode = -1, size = -1;
};

plist_t Object(plist_t objects, plist_t uid) {
  if (!uid || plist_get_node_type(uid) != PLIST_UID) return nullptr;
  uint64_t index = 0;
  plist_get_uid_val(uid, &index);
  return plist_array_get_item(objects, static_cast<uint32_t>(index));
}

std::string StringOf(plist_t node) {
  if (!node || plist_get_node_type(node) != PLIST_STRING) return "<not a string>";
  char* text = nullptr;
  plist_get_string_val(node, &text);
  std::string value = text ? text : "";
  std::free(text);
  return value;
}

Archived Decode(const std::string& blob) {
  Archived out;
  PlistPtr root = PlistUtil::ParseBytes(blob.data(), blob.size());
  EXPECT_TRUE(root && plist_is_binary(blob.data(), static_cast<uint32_t>(blob.size())));
  if (!root) return out;
  EXPECT_EQ(PlistUtil::GetString(root.get(), "$archiver"), "NSKeyedArchiver");
  EXPECT_EQ(PlistUtil::GetInt(root.get(), "$version"), 100000);
  plist_t objects = plist_dict_get_item(root.get(), "$objects");
  EXPECT_EQ(StringOf(plist_array_get_item(objects, 0)), "$null");
  plist_t file =
      Object(objects, plist_dict_get_item(PlistUtil::GetDict(root.get(), "$top"), "root"));
  if (!file) return out;
  plist_t fileClass = Object(objects, plist_dict_get_item(file, "$class"));
  out.className = PlistUtil::GetString(fileClass, "$classname").value_or("");
  out.relativePath = StringOf(Object(objects, plist_dict_get_item(file, "RelativePath")));
  if (plist_t target = Object(objects, plist_dict_get_item(file, "Target")))
    out.target = StringOf(target);
  if (plist_t key = Object(objects, plist_dict_get_item(file, "EncryptionKey"))) {
    out.key = PlistUtil::GetData(key, "NS.data").value_or("");
    plist_t keyClass = Object(objects, plist_dict_get_item(key, "$class"));
    out.keyClass = PlistUtil::GetString(keyClass, "$classname").value_or("");
  }
  out.mode = PlistUtil::GetInt(file, "Mode").value_or(-1);
  out.size = PlistUtil::GetInt(file, "Size").value_or(-1);
  return out;
}

// Every column of Files, straight from SQLite.
struct DbRow {
  Row row;
  std::string blob;
};

std::vector<DbRow> ReadFilesTable(const std::string& path) {
  sqlite3* raw = nullptr;
  sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  sqlite3_stmt* rawStatement = nullptr;
  sqlite3_prepare_v2(raw, "SELECT fileID, domain, relativePath, flags, file FROM Files", -1,
                     &rawStatement, nullptr);
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(rawStatement, sqlite3_finalize);
  std::vector<DbRow> rows;
  auto text = [&](int column) {
    const unsigned char* value = sqlite3_column_text(rawStatement, column);
    return std::string(value ? reinterpret_cast<const char*>(value) : "");
  };
  while (rawStatement && sqlite3_step(rawStatement) == SQLITE_ROW) {
    const char* blob = static_cast<const char*>(sqlite3_column_blob(rawStatement, 4));
    rows.push_back({{text(0), text(1), text(2), sqlite3_column_int(rawStatement, 3)},
                    std::string(blob ? blob : "", sqlite3_column_bytes(rawStatement, 4))});
  }
  return rows;
}

template <typename Reader>
std::vector<Row> LoadWithModule(const std::string& folder) {
  Reader reader;
  EXPECT_TRUE(reader.Load(folder, false, ""));
  std::vector<Row> rows;
  for (const keldra::ManifestFile& record : reader.Records())
    rows.push_back({std::string(record.fileID), std::string(record.domain),
                    std::string(record.relativePath), record.flags});
  return rows;
}

void ExpectSameRows(const std::vector<Row>& actual, const std::vector<Row>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    SCOPED_TRACE("row " + std::to_string(i));
    EXPECT_EQ(actual[i].fileID, expected[i].fileID);
    EXPECT_EQ(actual[i].domain, expected[i].domain);
    EXPECT_EQ(actual[i].relativePath, expected[i].relativePath);
    EXPECT_EQ(actual[i].flags, expected[i].flags);
  }
}

TEST(BuilderDb, ModuleReaderSeesEveryRowInOrderWithItsStoredFile) {
  TempFolder folder, scratch;
  BackupBuilder backup(folder.Path());
  SmallBackup made = BuildSmall(backup, scratch);

  EXPECT_EQ(BackupBuilder::FileID("HomeDomain", kSmsDb), kSmsDbId);
  EXPECT_EQ(made.rows[1].fileID, kSmsDbId);
  ExpectSameRows(LoadWithModule<keldra::ManifestDb>(folder.Path()), made.rows);

  keldra::ManifestDb reader;
  ASSERT_TRUE(reader.Load(folder.Path(), false, ""));
  const keldra::ManifestFile* sms = reader.GetFileMap().Find(kSmsDb);
  ASSERT_NE(sms, nullptr);
  EXPECT_EQ(sms->StoredPath(), folder / ("3d/" + kSmsDbId));
  EXPECT_EQ(ReadFile(sms->StoredPath()), made.smsContent);
  EXPECT_EQ(ReadFile(backup.StoredPath(made.rows[2].fileID)).size(), 3u << 20);
  // Rows alone leave nothing on disk.
  EXPECT_FALSE(Exists(backup.StoredPath(made.rows[4].fileID)));
  EXPECT_FALSE(Exists(backup.StoredPath(made.rows[3].fileID)));

  EXPECT_EQ(keldra::DetectBackupType(folder.Path()), keldra::kBackupTypeDb);
}

TEST(BuilderDb, FileColumnIsAKeyedArchiveOfItsRow) {
  TempFolder folder, scratch;
  BackupBuilder backup(folder.Path());
  BuildSmall(backup, scratch);
  std::vector<DbRow> rows = ReadFilesTable(backup.ManifestPath());
  ASSERT_EQ(rows.size(), 6u);
  for (const DbRow& row : rows) {
    SCOPED_TRACE(row.row.relativePath);
    Archived file = Decode(row.blob);
    EXPECT_EQ(file.className, "MBFile");
    EXPECT_EQ(file.relativePath, row.row.relativePath);
    EXPECT_EQ(file.mode, row.row.flags == 2 ? 040755 : row.row.flags == 4 ? 0120755 : 0100644);
  }
  EXPECT_EQ(Decode(rows[1].blob).size, 15);
  EXPECT_EQ(Decode(rows[2].blob).size, 3 << 20);
  EXPECT_EQ(Decode(rows[3].blob).target, "Snapshots/7");
  EXPECT_EQ(Decode(rows[5].blob).size, 5'000'000'000);
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
  if (!Exists(real)) GTEST_SKIP() << "no real Manifest.db";
  TempFolder folder, scratch;
  BackupBuilder backup(folder.Path());
  BuildSmall(backup, scratch);
  std::vector<DbRow> ours = ReadFilesTable(backup.ManifestPath());
  std::vector<DbRow> theirs = ReadFilesTable(real);
  for (int flags : {1, 2, 4}) {
    SCOPED_TRACE("flags " + std::to_string(flags));
    auto first = [flags](const std::vector<DbRow>& rows) {
      return std::find_if(rows.begin(), rows.end(),
                          [flags](const DbRow& row) { return row.row.flags == flags; });
    };
    ASSERT_NE(first(theirs), theirs.end());
    EXPECT_EQ(ArchivedKeys(first(ours)->blob), ArchivedKeys(first(theirs)->blob));
  }
}

TEST(BuilderDb, DatabaseHasTheDeviceSchemaAndNoJournal) {
  TempFolder folder;
  {
    BackupBuilder backup(folder.Path());
    backup.AddFile("HomeDomain", kSmsDb, "x");
  }  // the destructor finishes
  std::string header = ReadFile(folder / "Manifest.db").substr(0, 20);
  EXPECT_EQ(header[18], 1) << "rollback journal, not WAL";
  for (const char* side : {"Manifest.db-journal", "Manifest.db-wal", "Manifest.db-shm"})
    EXPECT_FALSE(Exists(folder / side)) << side;

  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2((folder / "Manifest.db").c_str(), &raw, SQLITE_OPEN_READONLY, nullptr),
            SQLITE_OK);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(raw, sqlite3_close);
  std::string schema;
  sqlite3_exec(
      raw,
      "SELECT group_concat(sql, ';') FROM (SELECT sql FROM sqlite_master WHERE sql NOT NULL ORDER "
      "BY name)",
      [](void* out, int, char** values, char**) {
        *static_cast<std::string*>(out) = values[0] ? values[0] : "";
        return 0;
      },
      &schema, nullptr);
  EXPECT_EQ(schema,
            "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain TEXT, relativePath TEXT, flags "
            "INTEGER, file BLOB);CREATE INDEX FilesDomainIdx ON Files(domain);CREATE INDEX "
            "FilesFlagsIdx ON Files(flags);CREATE INDEX FilesRelativePathIdx ON "
            "Files(relativePath);CREATE TABLE Properties (key TEXT PRIMARY KEY, value BLOB)");
}

TEST(BuilderMbdb, ModuleReaderAndDecoderSeeWhatWasWritten) {
  TempFolder folder, scratch;
  BackupOptions options;
  options.manifest = ManifestFormat::kMbdb;
  BackupBuilder backup(folder.Path(), options);
  SmallBackup made = BuildSmall(backup, scratch);

  // The legacy reader reports the record's protection-class byte as flags.
  std::vector<Row> expected = made.rows;
  for (Row& row : expected) row.flags = row.flags == 1 ? 3 : 0;
  ExpectSameRows(LoadWithModule<keldra::Mbdb>(folder.Path()), expected);
  EXPECT_EQ(ReadFile(folder / kSmsDbId), made.smsContent);  // flat, no sub-folder
  EXPECT_EQ(keldra::DetectBackupType(folder.Path()), keldra::kBackupTypeMbdb);

  std::string bytes = ReadFile(backup.ManifestPath());
  keldra::ByteReader reader(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  keldra::MbdbParser parser(reader);
  ASSERT_TRUE(parser.ReadHeader());
  std::vector<keldra::MbdbEntry> entries;
  for (keldra::MbdbEntry entry; parser.Next(entry);) entries.push_back(entry);
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].mode, 040755);
  EXPECT_EQ(entries[1].length, 15u);
  EXPECT_EQ(entries[1].dataHash.size(), 20u);
  EXPECT_EQ(entries[2].path, kWidePath);
  EXPECT_EQ(entries[3].mode, 0120755);
  EXPECT_EQ(entries[3].linkTarget, "Snapshots/7");
  EXPECT_TRUE(entries[4].dataHash.empty());
  EXPECT_EQ(entries[5].length, 5'000'000'000u);
  ASSERT_EQ(entries[5].properties.size(), 1u);
  EXPECT_EQ(entries[5].properties[0].second, "A1B2");
}

TEST(BuilderPlists, BinaryAndXmlCarryTheSameKeysAndEditsApply) {
  for (auto format : {builder::PlistFormat::kBinary, builder::PlistFormat::kXml}) {
    SCOPED_TRACE(format == builder::PlistFormat::kXml ? "xml" : "binary");
    TempFolder folder;
    BackupOptions options;
    options.plist = format;
    BackupBuilder backup(folder.Path(), options);
    backup.Device().deviceName = "Bench Phone";
    backup.EditPlist(builder::PlistFile::kManifest, [](plist_t dict) {
      plist_dict_set_item(dict, "WasPasscodeSet", plist_new_string("yes"));
    });
    backup.EditPlist(builder::PlistFile::kInfo,
                     [](plist_t dict) { plist_dict_remove_item(dict, "Serial Number"); });
    backup.Finish();

    std::string infoBytes = ReadFile(folder / "Info.plist");
    EXPECT_EQ(plist_is_binary(infoBytes.data(), infoBytes.size()) != 0,
              format == builder::PlistFormat::kBinary);
    PlistPtr info = PlistUtil::ReadPlistOwned(folder / "Info.plist");
    PlistPtr manifest = PlistUtil::ReadPlistOwned(folder / "Manifest.plist");
    ASSERT_TRUE(info && manifest);
    EXPECT_EQ(PlistUtil::GetString(info.get(), "Device Name"), "Bench Phone");
    EXPECT_EQ(PlistUtil::GetDateSeconds(info.get(), "Last Backup Date"), 740140200);
    EXPECT_FALSE(plist_dict_get_item(info.get(), "Serial Number"));
    EXPECT_EQ(PlistUtil::GetBool(manifest.get(), "IsEncrypted"), false);
    EXPECT_EQ(PlistUtil::GetString(manifest.get(), "Version"), "10.0");
    EXPECT_EQ(PlistUtil::GetString(manifest.get(), "WasPasscodeSet"), "yes");
    EXPECT_EQ(
        PlistUtil::GetString(PlistUtil::GetDict(manifest.get(), "Lockdown"), "UniqueDeviceID"),
        backup.Device().uniqueIdentifier);

    std::unique_ptr<keldra::BackupInfo> read =
        keldra::ReadBackupInfo(folder.Path(), keldra::kBackupTypeDb);
    EXPECT_EQ(read->DeviceName, "Bench Phone");
    EXPECT_EQ(read->SerialNumber, backup.Device().serialNumber) << "from Lockdown";
  }
}

TEST(BuilderPlists, OptionsLeaveFilesAndKeysOut) {
  TempFolder folder;
  BackupOptions options;
  options.manifest = ManifestFormat::kMbdb;
  options.writeInfoPlist = false;
  options.writeLockdown = false;
  options.isEncrypted = true;
  BackupBuilder(folder.Path(), options).Finish();
  EXPECT_FALSE(Exists(folder / "Info.plist"));
  PlistPtr manifest = PlistUtil::ReadPlistOwned(folder / "Manifest.plist");
  ASSERT_TRUE(manifest);
  EXPECT_EQ(PlistUtil::GetString(manifest.get(), "Version"), "9.1");
  EXPECT_EQ(PlistUtil::GetBool(manifest.get(), "IsEncrypted"), true);
  EXPECT_FALSE(PlistUtil::GetDict(manifest.get(), "Lockdown"));
}

// Stands in for the encryption step: marks content and the database, and
// hands out a fixed key.
class MarkingProtector : public builder::Protector {
 public:
  explicit MarkingProtector(std::string* log) : log_(log) {}
  void BeginFile(builder::ManifestEntry& entry) override {
    entry.protectionClass = 2;
    entry.encryptionKey = std::string(44, 'k');
  }
  void SealContent(std::string_view piece, bool last, std::string& out) override {
    out.append(piece);
    if (last) out.append("|sealed");
  }
  void SealManifestDb(const std::string& path) override {
    *log_ += Exists(path + "-journal") ? "journal left;" : "db closed;";
  }
  void AddManifestKeys(plist_t manifest) override {
    plist_dict_set_item(manifest, "ManifestKey", plist_new_data("0123", 4));
  }

 private:
  std::string* log_;
};

TEST(BuilderProtector, HooksReachContentRowsDatabaseAndManifestPlist) {
  TempFolder folder, scratch;
  std::string log;
  BackupBuilder backup(folder.Path());
  backup.SetProtector(std::make_unique<MarkingProtector>(&log));
  std::string id = backup.AddFile("HomeDomain", kSmsDb, "plain");
  testing_support::WriteFile(scratch / "big", std::string((1 << 20) + 5, 'b'));
  std::string bigId = backup.AddFileFromDisk("HomeDomain", "Library/big", scratch / "big");
  backup.Finish();

  EXPECT_EQ(log, "db closed;");
  EXPECT_EQ(ReadFile(backup.StoredPath(id)), "plain|sealed");
  EXPECT_EQ(ReadFile(backup.StoredPath(bigId)).size(), (1u << 20) + 5 + 7);
  std::vector<DbRow> rows = ReadFilesTable(backup.ManifestPath());
  ASSERT_EQ(rows.size(), 2u);
  Archived file = Decode(rows[0].blob);
  EXPECT_EQ(file.key, std::string(44, 'k'));
  EXPECT_EQ(file.keyClass, "NSMutableData");
  EXPECT_EQ(file.size, 5) << "the plain length";
  PlistPtr manifest = PlistUtil::ReadPlistOwned(folder / "Manifest.plist");
  EXPECT_EQ(PlistUtil::GetData(manifest.get(), "ManifestKey"), "0123");
}

TEST(BuilderErrors, ConflictsAndMisuseAreReported) {
  TempFolder folder;
  BackupBuilder backup(folder.Path());
  backup.AddManifestEntry("HomeDomain", kSmsDb, 1);
  EXPECT_THROW(backup.AddManifestEntry("HomeDomain", kSmsDb, 1), builder::BuildError);
  builder::ManifestEntry escaping;
  escaping.fileID = "../outside";
  EXPECT_THROW(backup.AddEntryWithContent(escaping, "x"), builder::BuildError);
  EXPECT_FALSE(Exists(folder / "../outside"));
  backup.Finish();
  EXPECT_THROW(backup.AddDirectory("HomeDomain", "Library"), builder::BuildError);
}

TEST(BuilderSynthetic, RowsAreDeterministicAndShapedLikeADevice) {
  const size_t kRows = 20000;
  auto build = [&](const std::string& folder, uint64_t seed) {
    BackupOptions options;
    options.manifest = ManifestFormat::kMbdb;
    BackupBuilder backup(folder, options);
    builder::AddSyntheticFiles(backup, kRows, seed);
    backup.Finish();
    EXPECT_EQ(backup.RowCount(), kRows);
    return ReadFile(backup.ManifestPath());
  };
  TempFolder a, b, c, mixed;
  std::string first = build(a.Path(), 7);
  EXPECT_EQ(build(b.Path(), 7), first);
  EXPECT_NE(build(c.Path(), 8), first);

  std::vector<Row> rows = LoadWithModule<keldra::Mbdb>(a.Path());
  ASSERT_EQ(rows.size(), kRows);
  size_t directories = 0, links = 0;
  std::set<std::string> domains;
  keldra::ByteReader reader(reinterpret_cast<const uint8_t*>(first.data()), first.size());
  keldra::MbdbParser parser(reader);
  ASSERT_TRUE(parser.ReadHeader());
  for (keldra::MbdbEntry entry; parser.Next(entry);) {
    directories += (entry.mode & 0170000) == 040000;
    links += (entry.mode & 0170000) == 0120000;
    domains.insert(entry.domain.substr(0, entry.domain.find('-')));
  }
  EXPECT_NEAR(static_cast<double>(directories) / kRows, 0.25, 0.05);
  EXPECT_GT(links, 0u);
  for (const char* domain :
       {"HomeDomain", "MediaDomain", "CameraRollDomain", "RootDomain", "KeychainDomain",
        "WirelessDomain", "SystemPreferencesDomain", "ManagedPreferencesDomain", "DatabaseDomain",
        "AppDomain", "AppDomainGroup", "AppDomainPlugin", "SysSharedContainerDomain"})
    EXPECT_EQ(domains.count(domain), 1u) << domain;
  EXPECT_EQ(rows[0].fileID, kSmsDbId);

  // Real content added first keeps its row; the count stays exact.
  BackupBuilder withContent(mixed.Path());
  withContent.AddFile("HomeDomain", kSmsDb, "real");
  withContent.AddDirectory("CameraRollDomain", "Media");
  builder::AddSyntheticFiles(withContent, 500, 7);
  withContent.Finish();
  EXPECT_EQ(withContent.RowCount(), 502u);
  EXPECT_EQ(ReadFilesTable(withContent.ManifestPath()).size(), 502u);
  auto wal = std::find_if(rows.begin(), rows.end(),
                          [](const Row& row) { return row.relativePath == kSmsDb + "-wal"; });
  EXPECT_NEAR(wal - rows.begin(), kRows / 17, 20) << "spread through the manifest, not bunched";
}

}  // namespace
