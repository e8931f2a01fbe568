// Backup discovery, device information and the plain manifest load, driven
// through the host code on builder-made backups.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "builder/BackupBuilder.h"
#include "integration/KindScanSupport.h"
#include "support/TestSupport.h"

namespace {

using builder::BackupBuilder;
using builder::BackupOptions;
using builder::ManifestFormat;
using builder::PlistFile;
using builder::PlistFormat;
using testing_support::ResultTexts;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kAddOne[] = "LIBMODEL_KELDRA_ADD_ONE_ITUNES_BACKUP";
constexpr char kList[] = "LIBMODEL_KELDRA_GET_ITUNES_BACKUP_LIST";
constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";

using testing_support::Quoted;

std::string AddOnePayload(const std::string& folder) {
  return "{\"backupDir\":" + Quoted(folder) + "}";
}

std::string ScanPayload(const std::string& folder, const std::string& types) {
  return "{\"backupDir\":" + Quoted(folder) + ",\"types\":" + types + "}";
}

void BuildSmall(const std::string& folder, BackupOptions options = {}) {
  BackupBuilder backup(folder, options);
  backup.Device().deviceName = "Tester's phone";
  backup.Device().productVersion = "16.4";
  backup.AddFile("HomeDomain", "Library/Preferences/x.plist", "bytes");
  backup.AddDirectory("HomeDomain", "Library");
  backup.Finish();
}

// Three backups: at a path with blanks and non-ASCII, given without a
// trailing separator (the members and their order are the golden demo
// output's device.json); without Info.plist, described by Manifest.plist; and
// with both, where Info.plist wins unless its value is empty or mistyped (a
// mistyped date counts as 0 seconds after 2001-01-01).
TEST(BackupList, AddOneDescribesTheDeviceFromEitherPlist) {
  kind_scan::ScopedTimeZone zone;
  TempFolder root;
  BuildSmall(root / "My Backup ä");
  BackupOptions noInfo;
  noInfo.writeInfoPlist = false;
  noInfo.plist = PlistFormat::kXml;
  BuildSmall(root / "no-info/", noInfo);
  {
    BackupBuilder backup(root / "both/");
    backup.EditPlist(PlistFile::kInfo, [](plist_t dict) {
      plist_dict_set_item(dict, "Device Name", plist_new_string(""));
      plist_dict_set_item(dict, "Product Type", plist_new_uint(7));
      plist_dict_set_item(dict, "Last Backup Date", plist_new_string("yesterday"));
      plist_dict_set_item(dict, "Serial Number", plist_new_string("INFO-SERIAL"));
    });
    backup.EditPlist(PlistFile::kManifest, [](plist_t dict) {
      plist_dict_remove_item(dict, "IsEncrypted");
      plist_t lockdown = plist_dict_get_item(dict, "Lockdown");
      plist_dict_set_item(lockdown, "DeviceName", plist_new_string("lockdown name"));
      plist_dict_set_item(lockdown, "SerialNumber", plist_new_string("LOCKDOWN-SERIAL"));
      plist_dict_set_item(lockdown, "ProductType", plist_new_string("iPhone9,9"));
    });
  }
  std::vector<std::string> results;
  for (const char* name : {"My Backup ä", "no-info/", "both/"}) {
    std::vector<std::string> texts =
        kind_scan::MaskedResults(Send(kAddOne, AddOnePayload(root / name)), root.Path());
    results.insert(results.end(), texts.begin(), texts.end());
  }
  kind_scan::ExpectGolden("cases/backup-add-one.jsonl", results);
}

TEST(BackupList, AFolderWithoutManifestPlistIsNoBackup) {
  TempFolder root;
  BackupOptions options;
  options.writeManifestPlist = false;
  BuildSmall(root.Path(), options);  // Manifest.db and Info.plist only
  host::Recorder recorder = Send(kAddOne, AddOnePayload(root.Path()));
  EXPECT_EQ(recorder.Count("result"), 0u);
  ASSERT_EQ(recorder.Count("notify"), 1u);
  EXPECT_EQ((*recorder.Payloads("notify").front())["status"].GetInt(), 1);
  // Unparsable and mistyped payloads behave the same.
  EXPECT_EQ(Send(kAddOne, std::string("{")).Count("result"), 0u);
  EXPECT_EQ(Send(kAddOne, std::string("{\"backupDir\":[]}")).Count("result"), 0u);
}

TEST(BackupList, ListsExactlyTheBackupsUnderTheRoot) {
  TempFolder config;
  std::string root = config / "Apple Computer/MobileSync/Backup/";
  testing_support::MakeFolders(root);
  BuildSmall(root + "first");
  BackupOptions legacy;
  legacy.manifest = ManifestFormat::kMbdb;
  BuildSmall(root + "second", legacy);
  testing_support::MakeFolders(root + "empty-folder");
  testing_support::WriteFile(root + "plain-file", "x");

  const char* previous = std::getenv("XDG_CONFIG_HOME");
  std::string saved = previous ? previous : "";
  setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  host::Recorder recorder = Send(kList, std::nullopt);
  if (previous)
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");

  ASSERT_EQ(recorder.Count("result"), 1u);
  const rapidjson::Value& list = (*recorder.Payloads("result").front())["result"];
  std::vector<std::string> found;
  for (const auto& backup : list.GetArray())
    found.push_back(std::string(backup["BackupPath"].GetString()) + " " +
                    std::to_string(backup["BackupType"].GetInt()));
  EXPECT_THAT(found, testing::UnorderedElementsAre(root + "first/ 2", root + "second/ 1"));
  EXPECT_EQ(recorder.Count("notify"), 1u);
}

// No kind runs when there are none to run, when Manifest.db is no database
// (the scan fails) or when the task is missing; the scan's status is then
// its only result.
TEST(Scan, FinishesOrFailsWithItsStatusAlone) {
  const struct {
    ManifestFormat format;
    bool damaged;
    bool noTask;
    const char* types;
    int status;
  } kCases[] = {{ManifestFormat::kDb, false, false, "[]", 1},
                {ManifestFormat::kMbdb, false, false, "[]", 1},
                {ManifestFormat::kDb, true, false, "[0,1,2,3,4,5,6,7,8,9,10]", 6},
                {ManifestFormat::kDb, false, true, "[3,9]", 1}};
  for (const auto& c : kCases) {
    TempFolder root;
    BackupOptions options;
    options.manifest = c.format;
    BuildSmall(root.Path(), options);
    if (c.damaged) testing_support::WriteFile(root / "Manifest.db", std::string(4096, 'x'));
    host::SendOptions send = testing_support::BuildTreeOptions();
    send.noTask = c.noTask;
    host::Recorder recorder = Send(kScan, ScanPayload(root.Path(), c.types), send);
    std::vector<std::string> texts = ResultTexts(recorder);
    EXPECT_THAT(texts,
                testing::ElementsAre("{\"stage\":3,\"status\":" + std::to_string(c.status) +
                                     ",\"sub_command_type\":\"" + kScan + "\",\"error_code\":0}"))
        << c.types;
    if (c.noTask) {
      EXPECT_EQ(recorder.Count("notify"), 0u);
    }
  }
}

}  // namespace
