// The real manifests among the third-party samples load completely.
#include <gtest/gtest.h>

#include <map>

#include "backup/ManifestDb.h"
#include "backup/Mbdb.h"
#include "support/TestSupport.h"

namespace {

std::map<int, size_t> FlagCounts(const keldra::DbBase& reader) {
  std::map<int, size_t> counts;
  for (const auto& record : reader.Records()) ++counts[record.flags];
  return counts;
}

TEST(RealManifests, ModernManifestDbLoadsEveryRow) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  keldra::ManifestDb reader;
  ASSERT_TRUE(reader.Load(fixtures + "mvt-project__mvt/tests/artifacts/ios_backup/", false, ""));
  EXPECT_EQ(reader.Records().size(), 3721u);
  EXPECT_EQ(FlagCounts(reader), (std::map<int, size_t>{{1, 1089}, {2, 2618}, {4, 14}}));
  EXPECT_NE(reader.GetFileMap().Find("Library/Safari/History.db"), nullptr);
}

TEST(RealManifests, LegacyManifestsLoadEveryRecord) {
  std::string fixtures = testing_support::FixturesDir();
  SKIP_WITHOUT_FIXTURES(fixtures);
  keldra::Mbdb hv20;
  ASSERT_TRUE(hv20.Load(fixtures + "multifreded__hv20/day23/Backup/", false, ""));
  EXPECT_EQ(hv20.Records().size(), 757u);
  const keldra::ManifestFile* sms = hv20.GetFileMap().Find("Library/SMS/sms.db");
  ASSERT_NE(sms, nullptr);
  EXPECT_EQ(sms->fileID, "3d0d7e5fb2ce288813306e4d4636395e047a3d28");

  // The other legacy manifest is stored under another name, and a manifest
  // reached through a link is refused: read it from a private copy.
  testing_support::TempFolder folder;
  testing_support::WriteFile(
      folder / "Manifest.mbdb",
      testing_support::ReadFile(fixtures + "yielding__code/ruby/io/data/5_Manifest.mbdb"));
  keldra::Mbdb older;
  ASSERT_TRUE(older.Load(folder.Path(), false, ""));
  EXPECT_EQ(older.Records().size(), 4715u);
}

}  // namespace
