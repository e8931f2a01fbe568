// The WhatsApp kind through the host code: the message series of a scan, the
// media item table, group sender labels, which sessions are listed, stores
// missing tables, and the media-item command answered in the caller's
// document.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/ChatStorage.h"
#include "support/TestSupport.h"
#include "vorn/VRNUtilitySys.h"

namespace {

using builder::BackupBuilder;
using builder::whatsapp::ChatStore;
using builder::whatsapp::kDomain;
using testing_support::Json;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kMediaQuery[] = "LIBMODEL_KELDRA_QUERY_WHATSAPP_MEDIAITEM";
constexpr double kStart = 735000000.0;  // the sample store's first second

using testing_support::Quoted;

std::string Date(int64_t seconds) {
  return VRNUtilitySys::DateText2001(seconds);
}

// "type/stage" of every kind message, then the kind messages themselves;
// a temporary recording is kept alive with them.
struct Series {
  std::shared_ptr<host::Recorder> owned;
  std::vector<std::string> shape;
  std::vector<const rapidjson::Value*> messages;
  const rapidjson::Value& Result(size_t i) const { return (*messages.at(i))["result"]; }
};

Series WhatsAppSeries(const host::Recorder& recorder) {
  Series series;
  for (const rapidjson::Value* payload : recorder.Payloads("result")) {
    if (!payload->HasMember("type")) continue;
    int type = (*payload)["type"].GetInt();
    if (type != 10 && type != 11) continue;
    series.shape.push_back(std::to_string(type) + "/" +
                           std::to_string((*payload)["stage"].GetInt()));
    series.messages.push_back(payload);
  }
  return series;
}

Series WhatsAppSeries(host::Recorder&& recorder) {
  auto owned = std::make_shared<host::Recorder>(std::move(recorder));
  Series series = WhatsAppSeries(*owned);
  series.owned = owned;
  return series;
}

host::Recorder Scan(const std::string& folder) {
  return Send(kScan, "{\"backupDir\":" + Quoted(folder) + ",\"types\":[10]}");
}

std::string BuildSample(const TempFolder& root, builder::BackupOptions options = {}) {
  BackupBuilder backup(root.Path(), options);
  builder::whatsapp::AddSampleChats(backup);
  return root.Path();
}

TEST(WhatsApp, LegacyLayoutBackupsNameMediaByFileIdAlone) {
  TempFolder root;
  builder::BackupOptions options;
  options.manifest = builder::ManifestFormat::kMbdb;
  Series series = WhatsAppSeries(Scan(BuildSample(root, options)));
  std::string hash = series.Result(1)["1"]["hash"].GetString();
  EXPECT_EQ(std::string(series.Result(1)["1"]["path"].GetString()), root.Path() + hash);
}

TEST(WhatsApp, SessionsAreFilteredAndBothPathFormsMeet) {
  ChatStore store;
  auto session = [&](int64_t id, std::optional<std::string> jid, std::optional<std::string> name,
                     std::optional<double> date) {
    builder::whatsapp::Session s;
    s.id = id;
    s.contactJid = std::move(jid);
    s.partnerName = std::move(name);
    s.lastMessageDate = date;
    store.sessions.push_back(s);
  };
  session(1, "15550100001@s.whatsapp.net", "Kept", kStart + 1.99);
  session(2, "15550100002@status", "Status", kStart + 5);
  session(3, "15550100003@s.whatsapp.net", std::nullopt, kStart + 6);
  session(4, "15550100004@s.whatsapp.net", "", kStart + 7);
  session(5, "15550100005@s.whatsapp.net", "Undated", std::nullopt);
  session(6, std::nullopt, "No JID", kStart + 8);
  session(7, "", "Empty JID", kStart + 0.5);
  builder::whatsapp::MediaItem with, without;
  with.id = 1;
  with.localPath = "/Media/x/a.jpg";
  without.id = 2;
  without.localPath = "Media/x/a.jpg";
  without.stored = false;  // the same file: stored once, by the first item
  store.media = {with, without};
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    builder::whatsapp::AddChatStorage(backup, store);
  }
  Series series = WhatsAppSeries(Scan(root.Path()));
  EXPECT_EQ(Json(series.Result(3)), "{\"count\":2}");
  EXPECT_EQ(series.Result(4)["id"].GetInt64(), 1);
  EXPECT_EQ(std::string(series.Result(4)["date"].GetString()), Date(735000001));
  EXPECT_EQ(series.Result(6)["id"].GetInt64(), 7);
  const rapidjson::Value& media = series.Result(1);
  EXPECT_EQ(Json(media["1"]["relativePath"]), "\"Message/Media/x/a.jpg\"");
  EXPECT_EQ(Json(media["2"]["relativePath"]), "\"Message/Media/x/a.jpg\"");
  EXPECT_EQ(Json(media["1"]["path"]), Json(media["2"]["path"]));
  EXPECT_NE(Json(media["1"]["path"]), "\"\"");
}

TEST(WhatsApp, StoresMissingTablesSendWhatTheOtherTablesGive) {
  auto scanWithout = [](std::set<std::string> omit) {
    ChatStore store = builder::whatsapp::SampleChats();
    store.omitTables = std::move(omit);
    TempFolder root;
    {
      BackupBuilder backup(root.Path());
      builder::whatsapp::AddChatStorage(backup, store);
    }
    return WhatsAppSeries(Scan(root.Path()));
  };
  // No media, no push names: every group sender keeps the JID, with an
  // empty push name from the second message on.
  Series bare = scanWithout({"ZWAMEDIAITEM", "ZWAPROFILEPUSHNAME"});
  EXPECT_EQ(Json(bare.Result(0)), "{\"count\":0}");
  EXPECT_EQ(Json(bare.Result(1)), "{}");
  EXPECT_FALSE(bare.Result(5)[2].HasMember("member_push_name"));
  EXPECT_STREQ(bare.Result(5)[2]["member_jid"].GetString(), "15550101003@s.whatsapp.net");

  // No group members: no labels at all.
  Series unlabelled = scanWithout({"ZWAGROUPMEMBER"});
  EXPECT_FALSE(unlabelled.Result(5)[0].HasMember("member_jid"));

  // No messages: sessions without a count and without a message stage.
  Series silent = scanWithout({"ZWAMESSAGE"});
  EXPECT_THAT(silent.shape, testing::ElementsAre("11/1", "11/2", "11/3", "10/1", "10/2", "10/4",
                                                 "10/2", "10/4", "10/2", "10/4", "10/0"));
  EXPECT_FALSE(silent.Result(4).HasMember("message_count"));

  // No sessions: the chat series has its count only.
  Series sessionless = scanWithout({"ZWACHATSESSION"});
  EXPECT_THAT(sessionless.shape, testing::ElementsAre("11/1", "11/2", "11/3", "10/1", "10/0"));
  EXPECT_EQ(Json(sessionless.Result(3)), "{\"count\":0}");
}

TEST(WhatsApp, WithoutADatabaseOnlyTheClosingMessageIsSent) {
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    backup.AddFile("AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared", "ChatStorage.sqlite",
                   "another app's store");
  }
  EXPECT_THAT(WhatsAppSeries(Scan(root.Path())).shape, testing::ElementsAre("10/0"));
  // A file that is no database opens, and every statement fails.
  TempFolder other;
  {
    BackupBuilder backup(other.Path());
    backup.AddFile(kDomain, "ChatStorage.sqlite", "not a database at all");
  }
  EXPECT_THAT(WhatsAppSeries(Scan(other.Path())).shape,
              testing::ElementsAre("11/1", "11/2", "11/3", "10/1", "10/0"));
}

TEST(WhatsApp, MediaItemCommandFillsTheCallersDocument) {
  TempFolder root;
  BuildSample(root);
  TempFolder scratch;
  builder::whatsapp::WriteChatStorage(builder::whatsapp::SampleChats(), scratch / "Chat.sqlite");
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.document = true;
  // The folder without its separator.
  std::string folder = root.Path().substr(0, root.Path().size() - 1);
  host::Recorder recorder =
      Send(kMediaQuery,
           "{\"caller\":\"x\",\"backupDir\":" + Quoted(folder) +
               ",\"chatStorageSqlite\":" + Quoted(scratch / "Chat.sqlite") + "}",
           options);
  Series series = WhatsAppSeries(recorder);
  EXPECT_EQ(series.shape.size(), 13u);
  EXPECT_STREQ((*series.messages[0])["sub_command_type"].GetString(), kScan);
  ASSERT_EQ(recorder.Count("return"), 1u);
  const rapidjson::Value& reply = *recorder.Payloads("return")[0];
  EXPECT_EQ(reply["replyPresent"].GetInt(), 1);
  const rapidjson::Value& document = reply["replyData"];
  std::vector<std::string> names;
  for (const auto& member : document.GetObject()) names.push_back(member.name.GetString());
  EXPECT_THAT(names,
              testing::ElementsAre("caller", "backupDir", "chatStorageSqlite", "attachments"));
  EXPECT_EQ(Json(document["attachments"]), Json(series.Result(1)));
  // The stored files are found below the given folder.
  EXPECT_THAT(std::string(document["attachments"]["1"]["path"].GetString()),
              testing::StartsWith(root.Path()));
  EXPECT_EQ(recorder.Count("notify"), 0u);

  // Parameters of the wrong type, or a form-0 payload: no answer.
  for (const char* payload :
       {"{\"backupDir\":1,\"chatStorageSqlite\":\"x\"}", "{\"backupDir\":\"x\"}", "[]"}) {
    host::Recorder refused = Send(kMediaQuery, std::string(payload), options);
    EXPECT_EQ((*refused.Payloads("return")[0])["replyPresent"].GetInt(), 0) << payload;
    EXPECT_EQ(refused.Count("result"), 0u) << payload;
  }
  host::Recorder text =
      Send(kMediaQuery, std::string("{\"backupDir\":\"x\",\"chatStorageSqlite\":\"y\"}"));
  EXPECT_EQ((*text.Payloads("return")[0])["replyPresent"].GetInt(), 0);
}

}  // namespace
