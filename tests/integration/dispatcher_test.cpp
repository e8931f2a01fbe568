// The dispatcher as the host sees it: which names it answers, the envelope of
// its status messages, task notifications, and what malformed payloads get.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/TestSupport.h"

namespace {

using testing_support::Json;
using testing_support::ResultTexts;
using testing_support::Send;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";

std::string StatusText(int status, const char* command, int errorCode) {
  return "{\"stage\":3,\"status\":" + std::to_string(status) + ",\"sub_command_type\":\"" +
         command + "\",\"error_code\":" + std::to_string(errorCode) + "}";
}

std::vector<int> Notifications(const host::Recorder& recorder) {
  std::vector<int> statuses;
  for (const rapidjson::Value* event : recorder.Payloads("notify"))
    statuses.push_back((*event)["status"].GetInt());
  return statuses;
}

TEST(Dispatcher, ScanOfTextThatIsNotJsonFailsWithStatusSix) {
  host::Recorder recorder = Send(kScan, std::string("not json"));
  EXPECT_THAT(ResultTexts(recorder), testing::ElementsAre(StatusText(6, kScan, 0)));
  EXPECT_THAT(Notifications(recorder), testing::ElementsAre(1));
  EXPECT_EQ(recorder.Count("violation"), 0u);
  // The status message carries its text length and the command's task.
  const rapidjson::Value& event = *recorder.Events().front();
  EXPECT_EQ(event["payloadLength"].GetUint64(), StatusText(6, kScan, 0).size());
  EXPECT_STREQ(event["taskId"].GetString(), "task-1");
  EXPECT_STREQ(event["target"].GetString(), "LIBMODEL_PLUGIN_COMMAND_RECEIVE");
  EXPECT_STREQ(event["subCommand"].GetString(), "LIBMODEL_PLUGIN_SEND_RESULT");
}

TEST(Dispatcher, NamesAreMatchedWholeAndExactly) {
  for (const char* name : {"LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUPX", "LIBMODEL_KELDRA_DO_SCAN",
                           "libmodel_keldra_do_scan_itunes_backup", "", "LIBMODEL_KELDRA_"}) {
    host::Recorder recorder = Send(name, std::string("{}"));
    EXPECT_EQ(recorder.Count("result"), 0u) << name;
    EXPECT_EQ(recorder.Count("notify"), 0u) << name;
    EXPECT_EQ(recorder.Count("request"), 0u) << name;
  }
}

TEST(Dispatcher, ScanPayloadsOfTheWrongShapeFailLikeUnparsableOnes) {
  for (const char* payload :
       {"{}", "[]", "{\"backupDir\":\"/nowhere\"}", "{\"types\":[1]}",
        "{\"backupDir\":5,\"types\":[1]}", "{\"backupDir\":\"/x\",\"types\":1}",
        "{\"backupDir\":\"/x\",\"types\":[1,\"2\"]}", "{\"backupDir\":\"/x\",\"types\":[1.5]}",
        "{\"backupDir\":\"/x\",\"types\":[null]}"}) {
    host::Recorder recorder = Send(kScan, std::string(payload));
    EXPECT_THAT(ResultTexts(recorder), testing::ElementsAre(StatusText(6, kScan, 0))) << payload;
    EXPECT_THAT(Notifications(recorder), testing::ElementsAre(1)) << payload;
  }
  // No payload at all.
  host::Recorder recorder = Send(kScan, std::nullopt);
  EXPECT_THAT(ResultTexts(recorder), testing::ElementsAre(StatusText(6, kScan, 0)));
}

TEST(Dispatcher, ScanOfAFolderThatIsNoBackupFails) {
  testing_support::TempFolder folder;
  host::Recorder recorder =
      Send(kScan, "{\"backupDir\":\"" + folder.Path() + "\",\"types\":[0,1,2]}");
  EXPECT_THAT(ResultTexts(recorder), testing::ElementsAre(StatusText(6, kScan, 0)));
}

TEST(Dispatcher, NoteListAnswersFinishedEvenForBadJsonButNotifiesFailure) {
  const char* command = "LIBMODEL_KELDRA_QUERY_NOTE_LIST";
  host::Recorder bad = Send(command, std::string("{oops"));
  EXPECT_THAT(ResultTexts(bad), testing::ElementsAre(StatusText(1, command, 0)));
  EXPECT_THAT(Notifications(bad), testing::ElementsAre(6));
}

TEST(Dispatcher, UnlockReportsWhyItFailed) {
  const char* command = "LIBMODEL_KELDRA_UNLOCK_WITH_PASSWORD";
  host::Recorder bad = Send(command, std::string("nope"));
  EXPECT_THAT(ResultTexts(bad), testing::ElementsAre(StatusText(6, command, -1)));
  EXPECT_EQ(bad.Count("request"), 0u);

  // A decrypt module that leaves the request unanswered with code 0.
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.refuse.insert("LIBMODEL_VEXA_UNLOCK_WITH_PASSWORD");
  host::Recorder refused =
      Send(command, std::string("{\"backupDir\":\"/x\",\"password\":\"p\"}"), options);
  EXPECT_THAT(ResultTexts(refused), testing::ElementsAre(StatusText(6, command, -1)));
  ASSERT_EQ(refused.Count("request"), 1u);
  const rapidjson::Value& request = *refused.Payloads("request").front();
  EXPECT_EQ(Json(request), "{\"backupDir\":\"/x\",\"password\":\"<redacted>\"}");
  // Unlock, export and the queries do not report to the task.
  EXPECT_EQ(refused.Count("notify"), 0u);
}

TEST(Dispatcher, ExportStatusFollowsThePayload) {
  const char* command = "LIBMODEL_KELDRA_EXPORT_ENCRYPT_FILE";
  EXPECT_THAT(ResultTexts(Send(command, std::string("[1"))),
              testing::ElementsAre(StatusText(6, command, 0)));
  EXPECT_THAT(ResultTexts(Send(command, std::string("{\"files\":{}}"))),
              testing::ElementsAre(StatusText(6, command, 0)));
  host::Recorder empty = Send(command, std::string("{\"backupDir\":\"/x/\",\"files\":{}}"));
  EXPECT_THAT(ResultTexts(empty), testing::ElementsAre(StatusText(1, command, 0)));
  EXPECT_EQ(empty.Count("request"), 0u);
}

TEST(Dispatcher, InPlaceQueriesWithoutPayloadAreNotAnswered) {
  for (const char* command :
       {"LIBMODEL_KELDRA_QUERY_MANIFEST_DB_SUPPORT_TYPE",
        "LIBMODEL_KELDRA_QUERY_WHATSAPP_MEDIAITEM", "LIBMODEL_KELDRA_QUERY_RECORDING_LIST"}) {
    host::Recorder recorder = Send(command, std::nullopt);
    ASSERT_EQ(recorder.Count("return"), 1u) << command;
    EXPECT_EQ((*recorder.Payloads("return").front())["replyPresent"].GetInt(), 0) << command;
    EXPECT_EQ(recorder.Count("result"), 0u) << command;
  }
}

TEST(Dispatcher, ModuleExportsOnlyRegisterModule) {
  std::string command = std::string("nm -D --defined-only ") + KELDRA_LIB_DIR + "/libkeldra.so";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::vector<std::string> functions;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    char address[64], type[8], name[400];
    if (sscanf(line, "%63s %7s %399s", address, type, name) == 3 &&
        (type[0] == 'T' || type[0] == 'W' || type[0] == 'i'))
      functions.push_back(name);
  }
  ASSERT_EQ(pclose(pipe), 0);
  EXPECT_THAT(functions, testing::ElementsAre("RegisterModule"));
}

}  // namespace
