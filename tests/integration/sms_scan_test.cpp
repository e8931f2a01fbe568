// The messages kinds driven through the host code on builder-made backups:
// what kind 1 sends without a database or a reply, and what both kinds make of
// databases of other layouts, cut device paths and stored files (reviewed in
// tests/golden/cases/).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/SmsDatabase.h"
#include "integration/KindScanSupport.h"
#include "support/TestSupport.h"

namespace {

using builder::BackupBuilder;
using builder::SmsGeneration;
using kind_scan::ScanResults;
using testing_support::TempFolder;

TEST(SmsKind, SendsNothingWithoutADatabaseOrAReply) {
  TempFolder root;
  BackupBuilder(root / "none").AddFile("HomeDomain", "Library/SMS/sms.db.old", "x");
  BackupBuilder(root / "noise").AddFile("HomeDomain", "Library/SMS/sms.db", std::string(4096, 'z'));
  {
    BackupBuilder backup(root / "refused");
    builder::AddSmsDatabase(backup, SmsGeneration::kIos6,
                            builder::SampleConversations(SmsGeneration::kIos6));
  }
  host::SendOptions refusing = testing_support::BuildTreeOptions();
  refusing.refuse.insert("LIBPLATFORM_SMS_QUERY_CONVERSATION_LIST");
  const struct {
    const char* folder;
    const char* types;
    host::SendOptions options;
    std::vector<bool> answered;  // of each request
  } kCases[] = {{"none", "[1]", testing_support::BuildTreeOptions(), {}},
                // A file the platform cannot read as a database is not answered.
                {"noise", "[1]", testing_support::BuildTreeOptions(), {false}},
                {"refused", "[1,1]", refusing, {false, false}}};
  for (const auto& c : kCases) {
    host::Recorder recorder = testing_support::Send(
        kind_scan::kScan, kind_scan::ScanPayload(root / c.folder, c.types), c.options);
    std::vector<bool> answered;
    for (const auto& event : recorder.Events())
      if (std::string((*event)["event"].GetString()) == "request")
        answered.push_back((*event)["answered"].GetBool());
    EXPECT_EQ(answered, c.answered) << c.folder;
    // The scan itself still finishes, with nothing of the kind.
    EXPECT_EQ(testing_support::ResultTexts(recorder),
              std::vector<std::string>{"{\"stage\":3,\"status\":1,\"sub_command_type\":\"" +
                                       std::string(kind_scan::kScan) + "\",\"error_code\":0}"})
        << c.folder;
  }
}

// The attachment table's device paths lose their first two bytes whatever
// they are ("~/a" is "a"); rows with no path or nothing after the cut are
// dropped; a path listed in the manifest but not stored has the size the
// utility library gives a missing file. Both manifest formats.
TEST(SmsAttachmentKind, CutsTheDevicePathAndResolvesItInTheManifest) {
  kind_scan::ScopedTimeZone zone;
  TempFolder root;
  std::vector<std::string> results;
  for (builder::ManifestFormat format :
       {builder::ManifestFormat::kDb, builder::ManifestFormat::kMbdb}) {
    const std::string folder = root / (format == builder::ManifestFormat::kDb ? "db/" : "mbdb/");
    {
      builder::BackupOptions options;
      options.manifest = format;
      BackupBuilder backup(folder, options);
      builder::AddSmsDatabase(backup, SmsGeneration::kIos14, {}, [](auto& writer) {
        writer.AddAttachmentRow("~/Library/SMS/Attachments/0a/10/X/IMG_1.jpeg", "image/jpeg",
                                740140200);
        writer.AddAttachmentRow("~/", "image/png", 1);
        writer.AddAttachmentRow(std::nullopt, "image/png", 2);
        writer.AddAttachmentRow("~/a", "", 3);
        writer.AddAttachmentRow("/var/mobile/Library/SMS/Attachments/x", "image/gif", 4);
        writer.AddAttachmentRow("~/Library/SMS/Attachments/gone.mov", "video/quicktime", 5);
        writer.AddAttachmentRow("~/Library/SMS/Attachments/nowhere.jpg", "image/jpeg", 6);
      });
      backup.AddFile("MediaDomain", "Library/SMS/Attachments/0a/10/X/IMG_1.jpeg", "12345");
      backup.AddFile("MediaDomain", "a", "abc");
      backup.AddManifestEntry("MediaDomain", "Library/SMS/Attachments/gone.mov", 1);
      backup.AddFile("MediaDomain", "Library/SMS/Attachments/x", "not reached by a two-byte cut");
    }
    std::vector<std::string> scan = ScanResults(folder, "[2]");
    results.insert(results.end(), scan.begin(), scan.end());
  }
  kind_scan::ExpectGolden("cases/sms-attachment-paths.jsonl", results);
}

// The madrid table is read only where the attachment table is missing (its
// paths cut by 13 bytes, one that is exactly the cut dropped); a database
// without its message table counts no conversations.
TEST(SmsAttachmentKind, TheMadridTableOnlyWhenTheAttachmentTableIsNotThere) {
  kind_scan::ScopedTimeZone zone;
  TempFolder root;
  {
    BackupBuilder backup(root / "madrid");
    builder::AddSmsDatabase(backup, SmsGeneration::kIos5, {}, [](auto& writer) {
      writer.AddAttachmentRow("/var/mobile/Library/SMS/Attachments/3f/01/IMG_2.PNG", "image/png",
                              7);
      writer.AddAttachmentRow("/var/mobile/", "image/png", 8);
    });
    backup.AddFile("MediaDomain", "Library/SMS/Attachments/3f/01/IMG_2.PNG", "png");
  }
  {
    BackupBuilder backup(root / "empty");
    builder::AddSmsDatabase(backup, SmsGeneration::kIos11, {}, [](auto& writer) {
      writer.Execute(
          "CREATE TABLE madrid_attachment (filename TEXT, mime_type TEXT, created_date INTEGER);"
          "INSERT INTO madrid_attachment VALUES ('/var/mobile/Library/SMS/Attachments/y', "
          "'image/png', 1);");
    });
    backup.AddFile("MediaDomain", "Library/SMS/Attachments/y", "y");
  }
  {
    BackupBuilder backup(root / "neither");
    builder::AddSmsDatabase(backup, SmsGeneration::kIos11, {},
                            [](auto& writer) { writer.Execute("DROP TABLE attachment"); });
  }
  {
    BackupBuilder backup(root / "no-messages");
    builder::AddSmsDatabase(backup, SmsGeneration::kIos14, {},
                            [](auto& writer) { writer.Execute("DROP TABLE message"); });
  }
  std::vector<std::string> results;
  for (const char* folder : {"madrid/", "empty/", "neither/", "no-messages/"}) {
    std::vector<std::string> scan = ScanResults(root / folder, "[1, 2]");
    results.insert(results.end(), scan.begin(), scan.end());
  }
  kind_scan::ExpectGolden("cases/sms-other-layouts.jsonl", results);
}

}  // namespace
