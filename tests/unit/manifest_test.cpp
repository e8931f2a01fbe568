// The manifest readers and the pieces a scan links them with: observers,
// records, the relative-path index and the legacy decoder; and the real
// manifests among the third-party samples.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "backup/ManifestDb.h"
#include "backup/Mbdb.h"
#include "common/Observer.h"
#include "formats/MbdbParser.h"
#include "kind/DatabaseWatch.h"
#include "support/TestSupport.h"
#include "vorn/VRNUtilityFile.h"

namespace {

using keldra::ManifestFile;
using testing_support::TempFolder;

// Keeps what a kind's Update would see.
class RecordingObserver : public keldra::VRNObserver {
 public:
  explicit RecordingObserver(std::vector<std::string>* log, std::string name)
      : log_(log), name_(std::move(name)) {}
  void Update(void* argument, const char* commandType) override {
    const auto* record = static_cast<const ManifestFile*>(argument);
    log_->push_back(name_ + ":" + std::string(record->relativePath) + ":" + commandType);
  }

 private:
  std::vector<std::string>* log_;
  std::string name_;
};

// A Manifest.db with the given rows (SQL value lists).
void WriteManifestDb(const std::string& folder, const std::vector<std::string>& rows,
                     std::string sql =
                         "CREATE TABLE Files (fileID TEXT PRIMARY KEY, domain "
                         "TEXT, relativePath TEXT, flags INTEGER, file BLOB);") {
  for (const auto& row : rows) sql += "INSERT INTO Files VALUES (" + row + ");";
  testing_support::ExecSql(folder + "Manifest.db", sql);
}

std::string MbdbString(const std::string& text) {
  if (text.empty()) return "\xff\xff";
  std::string out;
  out += static_cast<char>(text.size() >> 8);
  out += static_cast<char>(text.size() & 0xff);
  return out + text;
}

std::string MbdbEntryBytes(const std::string& domain, const std::string& path, uint8_t flags,
                           const std::vector<std::string>& properties = {}) {
  std::string entry =
      MbdbString(domain) + MbdbString(path) + MbdbString("") + MbdbString("") + MbdbString("");
  std::string block(40, '\0');
  block[38] = static_cast<char>(flags);
  block[39] = static_cast<char>(properties.size() / 2);
  entry += block;
  for (const auto& text : properties) entry += MbdbString(text);
  return entry;
}

TEST(ManifestDbReader, AnnouncesEveryRowToObserversInAttachmentOrder) {
  TempFolder folder;
  WriteManifestDb(folder.Path(),
                  {"'aa11', 'HomeDomain', 'Library/SMS/sms.db', 1, NULL",
                   "'b', 'AppDomain-x', 'Library/SMS/sms.db', '2', NULL",
                   "NULL, 'HomeDomain', 'skipped', 1, NULL", "'cc33', NULL, NULL, NULL, NULL"});
  std::vector<std::string> log;
  RecordingObserver first(&log, "first"), second(&log, "second");
  keldra::ManifestDb reader;
  reader.Attach(&first);
  reader.Attach(&second);
  ASSERT_TRUE(reader.Load(folder.Path(), false, ""));
  EXPECT_THAT(
      log, testing::ElementsAre("first:Library/SMS/sms.db:ManifestDbCommandType",
                                "second:Library/SMS/sms.db:ManifestDbCommandType",
                                "first:Library/SMS/sms.db:ManifestDbCommandType",
                                "second:Library/SMS/sms.db:ManifestDbCommandType",
                                "first::ManifestDbCommandType", "second::ManifestDbCommandType"));
  ASSERT_EQ(reader.Records().size(), 3u);
  const ManifestFile& one = reader.Records()[0];
  EXPECT_EQ(one.fileID, "aa11");
  EXPECT_EQ(one.StoredPath(), folder.Path() + "aa/aa11");
  EXPECT_EQ(one.flags, 1);
  // A one-character id, a flags value stored as text, NULL columns.
  EXPECT_EQ(reader.Records()[1].filePath, "b/b");
  EXPECT_EQ(reader.Records()[1].flags, 2);
  EXPECT_EQ(reader.Records()[2].domain, "");
  EXPECT_EQ(reader.Records()[2].relativePath, "");
  EXPECT_EQ(reader.Records()[2].flags, 0);
  // The later of two rows with one path wins the index; both stay listed.
  const keldra::FileMap& map = reader.GetFileMap();
  ASSERT_NE(map.Find("Library/SMS/sms.db"), nullptr);
  EXPECT_EQ(map.Find("Library/SMS/sms.db")->fileID, "b");
  EXPECT_EQ(map.Find("Library/SMS/sms.d"), nullptr);
  EXPECT_EQ(map.size(), 2u);
  // A watch of no path (a file some devices do not have) takes nothing, not
  // even a row without a path such as a domain's root folder.
  keldra::DatabaseWatch unnamed("", "", true);
  for (const ManifestFile& record : reader.Records()) unnamed.Offer(record);
  EXPECT_EQ(unnamed.File(), nullptr);
}

TEST(ManifestDbReader, FailsOnMissingOrForeignFilesWithoutCreatingAnything) {
  TempFolder folder;
  keldra::ManifestDb missing;
  EXPECT_FALSE(missing.Load(folder.Path(), false, ""));
  EXPECT_EQ(testing_support::TreeSnapshot(folder.Path()).find("Manifest.db"), std::string::npos);

  testing_support::WriteFile(folder / "Manifest.db", "this is not a database at all, not at all");
  keldra::ManifestDb foreign;
  EXPECT_FALSE(foreign.Load(folder.Path(), false, ""));
  EXPECT_EQ(foreign.GetLastError(), 0);

  TempFolder other;
  WriteManifestDb(other.Path(), {}, "CREATE TABLE Other (x)");
  keldra::ManifestDb noFiles;
  EXPECT_FALSE(noFiles.Load(other.Path(), false, ""));
}

TEST(MbdbReader, ComputesFileIdsAndKeepsCompleteEntries) {
  TempFolder folder;
  std::string bytes = std::string("mbdb\x05\x00", 6) +
                      MbdbEntryBytes("MediaDomain", "Library/Calendar/Calendar.sqlitedb", 4) +
                      MbdbEntryBytes("HomeDomain", "", 2, {"a", "1", "b", "2", "c", "3"}) +
                      MbdbEntryBytes("HomeDomain", "Library/SMS/sms.db", 1) +
                      MbdbEntryBytes("HomeDomain", "Library/Notes/notes.sqlite", 1);
  // The last entry ends in the middle of its fixed block.
  testing_support::WriteFile(folder / "Manifest.mbdb", bytes.substr(0, bytes.size() - 13));
  std::vector<std::string> log;
  RecordingObserver observer(&log, "k");
  keldra::Mbdb reader;
  reader.Attach(&observer);
  ASSERT_TRUE(reader.Load(folder.Path(), true, ""));
  ASSERT_EQ(reader.Records().size(), 3u);
  // Stored flat in the folder; the legacy reader ignores encryption.
  const ManifestFile& calendar = reader.Records()[0];
  EXPECT_EQ(calendar.StoredPath(), folder.Path() + std::string(calendar.fileID));
  EXPECT_EQ(calendar.flags, 4);
  EXPECT_EQ(calendar.encrypted, 0);
  // An empty path hashes domain + "-".
  EXPECT_EQ(reader.Records()[1].fileID, VRNUtilityFile::Sha1Hex("HomeDomain-", 11));
  EXPECT_EQ(reader.Records()[2].fileID, "3d0d7e5fb2ce288813306e4d4636395e047a3d28");
  EXPECT_THAT(log,
              testing::ElementsAre("k:Library/Calendar/Calendar.sqlitedb:ManifestMbdbCommandType",
                                   "k::ManifestMbdbCommandType",
                                   "k:Library/SMS/sms.db:ManifestMbdbCommandType"));
}

TEST(MbdbReader, RejectsWrongHeaders) {
  for (const std::string& header : {std::string("mbdb\x05\x01", 6), std::string("mbdb\x04\x00", 6),
                                    std::string("mbdb\x05", 5), std::string("MBDB\x05\x00", 6)}) {
    TempFolder folder;
    testing_support::WriteFile(folder / "Manifest.mbdb", header);
    keldra::Mbdb reader;
    EXPECT_FALSE(reader.Load(folder.Path(), false, "")) << header.size();
  }
  TempFolder empty;
  testing_support::WriteFile(empty / "Manifest.mbdb", std::string("mbdb\x05\x00", 6));
  keldra::Mbdb reader;
  EXPECT_TRUE(reader.Load(empty.Path(), false, ""));
  EXPECT_TRUE(reader.Records().empty());
  keldra::Mbdb absent;
  EXPECT_FALSE(absent.Load(empty.Path() + "nowhere/", false, ""));
}

TEST(MbdbParser, EveryTruncationKeepsTheEntriesBeforeIt) {
  std::string first = MbdbEntryBytes("HomeDomain", "Library/a", 1, {"x", std::string("\0\1", 2)});
  std::string second = MbdbEntryBytes("HomeDomain", "Library/b", 1);
  std::string bytes = std::string("mbdb\x05\x00", 6) + first + second;
  for (size_t cut = 6; cut <= bytes.size(); ++cut) {
    keldra::ByteReader reader(reinterpret_cast<const uint8_t*>(bytes.data()), cut);
    keldra::MbdbParser parser(reader);
    ASSERT_TRUE(parser.ReadHeader());
    keldra::MbdbEntry entry;
    size_t count = 0;
    while (parser.Next(entry)) ++count;
    size_t expected = cut >= bytes.size() ? 2 : cut >= 6 + first.size() ? 1 : 0;
    EXPECT_EQ(count, expected) << "cut at " << cut;
  }
}

// The real manifests among the third-party samples load completely.
TEST(RealManifests, ModernAndLegacyManifestsLoadEveryRecord) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  keldra::ManifestDb modern;
  ASSERT_TRUE(modern.Load(fixtures + "mvt-project__mvt/tests/artifacts/ios_backup/", false, ""));
  std::map<int, size_t> flags;
  for (const ManifestFile& record : modern.Records()) ++flags[record.flags];
  EXPECT_EQ(flags, (std::map<int, size_t>{{1, 1089}, {2, 2618}, {4, 14}}));
  EXPECT_NE(modern.GetFileMap().Find("Library/Safari/History.db"), nullptr);

  // This legacy manifest is stored under another name, and a manifest
  // reached through a link is refused: read it from a private copy.
  TempFolder folder;
  testing_support::WriteFile(
      folder / "Manifest.mbdb",
      testing_support::ReadFile(fixtures + "yielding__code/ruby/io/data/5_Manifest.mbdb"));
  keldra::Mbdb legacy;
  ASSERT_TRUE(legacy.Load(folder.Path(), false, ""));
  EXPECT_EQ(legacy.Records().size(), 4715u);
}

}  // namespace
