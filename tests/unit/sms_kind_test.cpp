// Kind 1 against replies the host's own reader never gives: member orders,
// missing or mistyped "chats" and "messages", elements that are no objects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Channel.h"
#include "keldra/Names.h"
#include "kind/sms/Sms.h"
#include "vorn/PimJsonUtil.h"

namespace {

std::vector<std::string> g_results;
std::vector<std::string> g_requests;
std::string g_reply;  // JSON of the reply document; "" leaves the request unanswered

intptr_t FakeHostSend(PluginMessage* message) {
  std::string subCommand = message->subCommand ? message->subCommand : "";
  if (subCommand == keldra::names::kSendResult) {
    rapidjson::Document result;
    result.Parse(static_cast<const char*>(message->payload));
    g_results.push_back(std::to_string(result["stage"].GetInt()) + " " +
                        PimJsonUtil::ToString(result["result"]));
  } else if (subCommand == keldra::names::kSmsQueryConversationList) {
    g_requests.push_back(static_cast<const char*>(message->payload));
    if (g_reply.empty()) return 0;
    auto reply = std::make_unique<rapidjson::Document>();
    reply->Parse(g_reply.c_str());
    message->payload = reply.release();
    message->replyPresent = 1;
  }
  return 0;
}

class SmsKindReplies : public testing::Test {
 protected:
  void SetUp() override {
    registration_.hostSend = &FakeHostSend;
    registration_.moduleInstance = &registration_;
    keldra::SetRegistration(&registration_);
  }

  std::vector<std::string> Run(const std::string& reply) {
    g_reply = reply;
    g_results.clear();
    g_requests.clear();
    keldra::Sms kind;
    keldra::ManifestFile other, database, later;
    other.relativePath = "Library/SMS/sms.db-wal";
    database.relativePath = "Library/SMS/sms.db";
    database.backupDir = "/b/";
    database.filePath = "3d/3d0d";
    later = database;
    later.filePath = "ff/ff00";
    for (keldra::ManifestFile* record : {&other, &database, &later})
      kind.Update(record, keldra::kManifestDbCommandType);
    keldra::BackupInfo info;
    info.ProductVersion = "12.1";
    kind.Run({"t", info});
    return g_results;
  }

  ModuleRegistration registration_{};
};

TEST_F(SmsKindReplies, TheLastMemberTakesThePlaceOfTheMessages) {
  EXPECT_THAT(Run("{\"chats\":[{\"first\":1,\"second\":\"x\",\"messages\":[{\"m\":1},{\"m\":2}]},"
                  "{\"messages\":[],\"A\":1,\"B\":2}]}"),
              testing::ElementsAre("1 {\"count\":2,\"sms_db_path\":\"/b/3d/3d0d\"}",
                                   "2 {\"first\":1,\"second\":\"x\"}", "3 [{\"m\":1},{\"m\":2}]",
                                   "2 {\"B\":2,\"A\":1}", "4 {}"));
  // The first record of the name wins; the request names it and the device's version.
  ASSERT_EQ(g_requests.size(), 1u);
  EXPECT_EQ(g_requests[0], "{\"path\":\"/b/3d/3d0d\",\"productVersion\":\"12.1\"}");
}

TEST_F(SmsKindReplies, OddRepliesAreTakenAsWhatTheyCanBe) {
  const std::string none[] = {"{}", "{\"chats\":{}}", "[]", "{\"chats\":null}"};
  for (const std::string& reply : none)
    EXPECT_THAT(Run(reply),
                testing::ElementsAre("1 {\"count\":0,\"sms_db_path\":\"/b/3d/3d0d\"}", "4 {}"))
        << reply;
  // Elements that are no objects are sent as they are; a "messages" that is
  // no array is taken out and gives no stage 3.
  EXPECT_THAT(Run("{\"chats\":[7,{\"messages\":5,\"k\":true},{\"messages\":[null]}]}"),
              testing::ElementsAre("1 {\"count\":3,\"sms_db_path\":\"/b/3d/3d0d\"}", "2 7",
                                   "2 {\"k\":true}", "2 {}", "3 [null]", "4 {}"));
  // No reply: nothing at all.
  EXPECT_TRUE(Run("").empty());
  EXPECT_EQ(g_requests.size(), 1u);
}

}  // namespace
