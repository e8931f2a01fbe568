// Backup discovery, device information and the plain manifest load, driven
// through the host code on builder-made backups.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "builder/BackupBuilder.h"
#include "support/TestSupport.h"

namespace {

using builder::BackupBuilder;
using builder::BackupOptions;
using builder::ManifestFormat;
using builder::PlistFile;
using builder::PlistFormat;
using testing_support::Json;
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

// The final status message of a scan.
std::string ScanStatus(const host::Recorder& recorder) {
  std::vector<std::string> texts = ResultTexts(recorder);
  return texts.empty() ? "" : texts.back();
}

// The members and their order are the golden demo output's (device.json).
TEST(BackupList, AddOneDescribesABackupAtAPathWithBlanksAndNonAscii) {
  TempFolder root;
  std::string folder = root / "My Backup ä";
  BuildSmall(folder);
  host::Recorder recorder = Send(kAddOne, AddOnePayload(folder));  // no trailing separator
  ASSERT_EQ(recorder.Count("result"), 1u);
  const rapidjson::Value& list = *recorder.Payloads("result").front();
  ASSERT_EQ(list["result"].Size(), 1u);
  EXPECT_EQ(std::string(list["result"][0]["BackupPath"].GetString()), folder + "/");
  EXPECT_STREQ(list["result"][0]["DeviceName"].GetString(), "Tester's phone");
  EXPECT_EQ(Json(list["status"]), "1");
  EXPECT_STREQ(list["sub_command_type"].GetString(), kAddOne);
  EXPECT_EQ(recorder.Count("violation"), 0u);
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

TEST(BackupList, DeviceFieldsFallBackToManifestPlist) {
  TempFolder root;
  {
    BackupOptions options;
    options.writeInfoPlist = false;
    options.plist = PlistFormat::kXml;
    BuildSmall(root.Path(), options);
  }
  host::Recorder recorder = Send(kAddOne, AddOnePayload(root.Path()));
  ASSERT_EQ(recorder.Count("result"), 1u);
  const rapidjson::Value& backup = (*recorder.Payloads("result").front())["result"][0];
  EXPECT_STREQ(backup["DeviceName"].GetString(), "Tester's phone");
  EXPECT_STREQ(backup["ProductVersion"].GetString(), "16.4");
  EXPECT_STREQ(backup["BuildVersion"].GetString(), "");
  EXPECT_STREQ(backup["ProductName"].GetString(), "");
  EXPECT_NE(std::string(backup["LastBackupDate"].GetString()), "");
}

TEST(BackupList, InfoPlistWinsUnlessItsValueIsEmptyOrMistyped) {
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
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
    backup.Finish();
  }
  host::Recorder recorder = Send(kAddOne, AddOnePayload(root.Path()));
  ASSERT_EQ(recorder.Count("result"), 1u);
  const rapidjson::Value& backup = (*recorder.Payloads("result").front())["result"][0];
  EXPECT_STREQ(backup["DeviceName"].GetString(), "lockdown name");
  EXPECT_STREQ(backup["SerialNumber"].GetString(), "INFO-SERIAL");
  EXPECT_STREQ(backup["ProductType"].GetString(), "iPhone9,9");
  EXPECT_EQ(backup["IsEncrypted"].GetInt(), 0);
  // A date key holding another type counts as 0 seconds after 2001-01-01.
  EXPECT_THAT(backup["LastBackupDate"].GetString(), testing::StartsWith("200"));
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

TEST(Scan, EmptyTypesLoadTheManifestOfEitherFormat) {
  for (ManifestFormat format : {ManifestFormat::kDb, ManifestFormat::kMbdb}) {
    TempFolder root;
    BackupOptions options;
    options.manifest = format;
    BuildSmall(root.Path(), options);
    host::Recorder recorder = Send(kScan, ScanPayload(root.Path(), "[]"));
    EXPECT_EQ(ScanStatus(recorder), "{\"stage\":3,\"status\":1,\"sub_command_type\":\"" +
                                        std::string(kScan) + "\",\"error_code\":0}");
    EXPECT_EQ(recorder.Count("result"), 1u);
  }
}

TEST(Scan, AManifestThatIsNoDatabaseFails) {
  TempFolder root;
  BuildSmall(root.Path());
  testing_support::WriteFile(root / "Manifest.db", std::string(4096, 'x'));
  host::Recorder recorder = Send(kScan, ScanPayload(root.Path(), "[0,1,2,3,4,5,6,7,8,9,10]"));
  EXPECT_EQ(ScanStatus(recorder), "{\"stage\":3,\"status\":6,\"sub_command_type\":\"" +
                                      std::string(kScan) + "\",\"error_code\":0}");
  // No kind ran: the status is the only result.
  EXPECT_EQ(recorder.Count("result"), 1u);
}

TEST(Scan, WithoutTheTaskNoKindRunsButTheScanFinishes) {
  TempFolder root;
  BuildSmall(root.Path());
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.noTask = true;
  host::Recorder recorder = Send(kScan, ScanPayload(root.Path(), "[3,9]"), options);
  EXPECT_THAT(ScanStatus(recorder), testing::HasSubstr("\"status\":1"));
  EXPECT_EQ(recorder.Count("result"), 1u);
  EXPECT_EQ(recorder.Count("notify"), 0u);
}

}  // namespace
