// The messages kinds driven through the host code on builder-made backups:
// kind 1's stage series and what it forwards of the platform's reply, kind
// 2's cut lengths, table fallback and stored-file paths.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/SmsDatabase.h"
#include "support/TestSupport.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilitySys.h"

namespace {

using builder::BackupBuilder;
using builder::SmsChatSpec;
using builder::SmsGeneration;
using testing_support::Json;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kSmsRequest[] = "LIBPLATFORM_SMS_QUERY_CONVERSATION_LIST";
constexpr char kSmsFileId[] = "3d0d7e5fb2ce288813306e4d4636395e047a3d28";

std::string ScanPayload(const std::string& folder, const char* types) {
  rapidjson::Value path(rapidjson::StringRef(folder.c_str()));
  return "{\"backupDir\":" + Json(path) + ",\"types\":" + types + "}";
}

struct Stage {
  int stage;
  std::string result;  // compact JSON
};

// The stage messages of one kind, in order.
std::vector<Stage> StagesOf(const host::Recorder& recorder, int type) {
  std::vector<Stage> stages;
  for (const rapidjson::Value* payload : recorder.Payloads("result")) {
    if (!payload->HasMember("type") || (*payload)["type"].GetInt() != type) continue;
    EXPECT_EQ((*payload)["status"].GetInt(), 2);
    EXPECT_EQ((*payload)["sub_type"].GetInt(), 0);
    EXPECT_STREQ((*payload)["sub_command_type"].GetString(), kScan);
    EXPECT_EQ((*payload)["stage_total"].GetInt(), type == 1 ? 4 : 3);
    stages.push_back({(*payload)["stage"].GetInt(), Json((*payload)["result"])});
  }
  return stages;
}

std::vector<int> Numbers(const std::vector<Stage>& stages) {
  std::vector<int> numbers;
  for (const Stage& stage : stages) numbers.push_back(stage.stage);
  return numbers;
}

rapidjson::Document Parsed(const std::string& json) {
  rapidjson::Document document;
  document.Parse(json.c_str(), json.size());
  return document;
}

SmsChatSpec ChatWith(const std::string& identifier, int messages) {
  SmsChatSpec chat;
  chat.identifier = identifier;
  chat.participants = {identifier};
  for (int i = 0; i < messages; ++i) {
    builder::SmsMessageSpec message;
    message.text = identifier + " message " + std::to_string(i);
    message.date = 740000000 + i;
    message.sender = identifier;
    message.fromMe = i % 2 == 1;
    chat.messages.push_back(message);
  }
  return chat;
}

TEST(SmsKind, SendsNothingWithoutADatabaseOrAReply) {
  TempFolder root;
  std::string noDatabase = root / "none";
  std::string noise = root / "noise";
  std::string refused = root / "refused";
  BackupBuilder(noDatabase).AddFile("HomeDomain", "Library/SMS/sms.db.old", "x");
  BackupBuilder(noise).AddFile("HomeDomain", "Library/SMS/sms.db", std::string(4096, 'z'));
  {
    BackupBuilder backup(refused);
    builder::AddSmsDatabase(backup, SmsGeneration::kIos6, {ChatWith("+15555550101", 2)});
  }

  host::Recorder none = Send(kScan, ScanPayload(noDatabase, "[1]"));
  EXPECT_EQ(none.Count("request"), 0u);
  EXPECT_TRUE(StagesOf(none, 1).empty());

  // A file the platform cannot read as a database is not answered.
  host::Recorder unreadable = Send(kScan, ScanPayload(noise, "[1]"));
  ASSERT_EQ(unreadable.Count("request"), 1u);
  EXPECT_FALSE((*unreadable.Events().front())["answered"].GetBool());
  EXPECT_TRUE(StagesOf(unreadable, 1).empty());

  host::SendOptions options = testing_support::BuildTreeOptions();
  options.refuse.insert(kSmsRequest);
  host::Recorder silent = Send(kScan, ScanPayload(refused, "[1,1]"), options);
  EXPECT_EQ(silent.Count("request"), 2u);
  EXPECT_TRUE(StagesOf(silent, 1).empty());
  // The scan itself still finishes.
  EXPECT_EQ(Json(*silent.Payloads("result").back()),
            "{\"stage\":3,\"status\":1,\"sub_command_type\":\"" + std::string(kScan) +
                "\",\"error_code\":0}");
}

TEST(SmsKind, ADatabaseOfNoKnownLayoutGivesCountZero) {
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    builder::AddSmsDatabase(backup, SmsGeneration::kIos14, {},
                            [](auto& writer) { writer.Execute("DROP TABLE message"); });
  }
  std::vector<Stage> stages = StagesOf(Send(kScan, ScanPayload(root.Path(), "[1]")), 1);
  ASSERT_THAT(Numbers(stages), testing::ElementsAre(1, 4));
  EXPECT_THAT(stages[0].result, testing::StartsWith("{\"count\":0,"));
}

// ---- attachments ----------------------------------------------------------------

struct AttachmentBackup {
  std::string folder;
  std::string photoId;    // stored
  std::string shortId;    // "a", stored
  std::string missingId;  // listed, not stored
};

AttachmentBackup BuildAttachments(const std::string& folder, builder::ManifestFormat format) {
  AttachmentBackup built{folder, "", "", ""};
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
  built.photoId =
      backup.AddFile("MediaDomain", "Library/SMS/Attachments/0a/10/X/IMG_1.jpeg", "12345");
  built.shortId = backup.AddFile("MediaDomain", "a", "abc");
  built.missingId = backup.AddManifestEntry("MediaDomain", "Library/SMS/Attachments/gone.mov", 1);
  backup.AddFile("MediaDomain", "Library/SMS/Attachments/x", "not reached by a two-byte cut");
  backup.Finish();
  return built;
}

TEST(SmsAttachmentKind, CutsTheDevicePathAndResolvesItInTheManifest) {
  TempFolder root;
  AttachmentBackup db = BuildAttachments(root / "db", builder::ManifestFormat::kDb);
  AttachmentBackup mbdb = BuildAttachments(root / "mbdb", builder::ManifestFormat::kMbdb);
  for (const AttachmentBackup* built : {&db, &mbdb}) {
    bool layered = built == &db;
    auto stored = [&](const std::string& id) {
      return built->folder + "/" + (layered ? id.substr(0, 2) + "/" : "") + id;
    };
    std::vector<Stage> stages = StagesOf(Send(kScan, ScanPayload(built->folder, "[2]")), 2);
    ASSERT_THAT(Numbers(stages), testing::ElementsAre(1, 2, 3));
    EXPECT_EQ(stages[0].result,
              "{\"count\":3,\"sms_db_path\":\"" +
                  stored(builder::BackupBuilder::FileID("HomeDomain", "Library/SMS/sms.db")) +
                  "\"}");
    EXPECT_EQ(stages[2].result, "{}");
    rapidjson::Document list = Parsed(stages[1].result);
    ASSERT_EQ(list.Size(), 3u);
    EXPECT_EQ(Json(list[0]),
              "{\"QueryPath\":\"Library/SMS/Attachments/0a/10/X/IMG_1.jpeg\",\"MimeType\":"
              "\"image/jpeg\",\"CreatedDateInt\":740140200,\"CreatedDate\":\"" +
                  VRNUtilitySys::DateText2001(740140200) + "\",\"Path\":\"" +
                  stored(built->photoId) + "\",\"Size\":5}");
    // Two bytes are cut whatever they are: "~/a" is "a".
    EXPECT_STREQ(list[1]["QueryPath"].GetString(), "a");
    EXPECT_STREQ(list[1]["MimeType"].GetString(), "");
    EXPECT_EQ(list[1]["Size"].GetInt64(), 3);
    // Listed in the manifest but not on disk: a path, and the size the
    // utility library gives a missing file.
    EXPECT_EQ(std::string(list[2]["Path"].GetString()), stored(built->missingId));
    EXPECT_EQ(list[2]["Size"].GetInt64(), 0);
  }
}

TEST(SmsAttachmentKind, TheMadridTableOnlyWhenTheAttachmentTableIsNotThere) {
  TempFolder root;
  std::string madrid = root / "madrid";
  std::string emptyModern = root / "empty";
  std::string neither = root / "neither";
  {
    BackupBuilder backup(madrid, {});
    builder::AddSmsDatabase(backup, SmsGeneration::kIos5, {}, [](auto& writer) {
      writer.AddAttachmentRow("/var/mobile/Library/SMS/Attachments/3f/01/IMG_2.PNG", "image/png",
                              7);
      writer.AddAttachmentRow("/var/mobile/", "image/png", 8);  // exactly the cut: dropped
    });
    backup.AddFile("MediaDomain", "Library/SMS/Attachments/3f/01/IMG_2.PNG", "png");
  }
  {
    BackupBuilder backup(emptyModern);
    builder::AddSmsDatabase(backup, SmsGeneration::kIos11, {}, [](auto& writer) {
      writer.Execute(
          "CREATE TABLE madrid_attachment (filename TEXT, mime_type TEXT, created_date INTEGER);"
          "INSERT INTO madrid_attachment VALUES ('/var/mobile/Library/SMS/Attachments/y', "
          "'image/png', 1);");
    });
    backup.AddFile("MediaDomain", "Library/SMS/Attachments/y", "y");
  }
  {
    BackupBuilder backup(neither);
    builder::AddSmsDatabase(backup, SmsGeneration::kIos11, {},
                            [](auto& writer) { writer.Execute("DROP TABLE attachment"); });
  }

  rapidjson::Document found =
      Parsed(StagesOf(Send(kScan, ScanPayload(madrid, "[2]")), 2).at(1).result);
  ASSERT_EQ(found.Size(), 1u);
  EXPECT_STREQ(found[0]["QueryPath"].GetString(), "Library/SMS/Attachments/3f/01/IMG_2.PNG");
  EXPECT_EQ(found[0]["Size"].GetInt64(), 3);

  for (const std::string& folder : {emptyModern, neither}) {
    std::vector<Stage> stages = StagesOf(Send(kScan, ScanPayload(folder, "[2]")), 2);
    ASSERT_THAT(Numbers(stages), testing::ElementsAre(1, 2, 3)) << folder;
    EXPECT_THAT(stages[0].result, testing::StartsWith("{\"count\":0,")) << folder;
    EXPECT_EQ(stages[1].result, "[]") << folder;
  }
}

TEST(SmsAttachmentKind, WithoutADatabaseItStillSendsItsThreeStages) {
  TempFolder root;
  BackupBuilder(root.Path()).AddFile("HomeDomain", "Library/Preferences/x.plist", "x");
  std::vector<Stage> stages = StagesOf(Send(kScan, ScanPayload(root.Path(), "[2]")), 2);
  ASSERT_THAT(Numbers(stages), testing::ElementsAre(1, 2, 3));
  EXPECT_EQ(stages[0].result, "{\"count\":0,\"sms_db_path\":\"\"}");
  EXPECT_EQ(stages[1].result, "[]");
}

}  // namespace
