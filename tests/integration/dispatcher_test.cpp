// The dispatcher as the host sees it: which names it answers, the status and
// task notification each command gets for malformed payloads, and what the
// module exports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/Process.h"
#include "support/TestSupport.h"

namespace {

using testing_support::Json;
using testing_support::ResultTexts;
using testing_support::Send;
using testing_support::StatusText;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kUnlock[] = "LIBMODEL_KELDRA_UNLOCK_WITH_PASSWORD";
constexpr char kExport[] = "LIBMODEL_KELDRA_EXPORT_ENCRYPT_FILE";

// A scan of anything but a backup fails like one of text that is no JSON; the
// note list answers finished but notifies the failure; unlock and export do
// not report to the task.
TEST(Dispatcher, MalformedPayloadsGetTheirCommandsFailureStatus) {
  testing_support::TempFolder folder;
  struct Case {
    const char* command;
    std::optional<std::string> payload;
    int status, errorCode;
    std::vector<int> notified;
  };
  std::vector<Case> cases = {{"LIBMODEL_KELDRA_QUERY_NOTE_LIST", "{oops", 1, 0, {6}},
                             {kUnlock, "nope", 6, -1, {}},
                             {kExport, "[1", 6, 0, {}},
                             {kExport, "{\"files\":{}}", 6, 0, {}},
                             {kExport, "{\"backupDir\":\"/x/\",\"files\":{}}", 1, 0, {}}};
  for (std::optional<std::string> payload :
       {std::optional<std::string>(), std::optional<std::string>("not json"),
        std::optional<std::string>("{\"backupDir\":\"" + folder.Path() + "\",\"types\":[0,1,2]}")})
    cases.push_back({kScan, payload, 6, 0, {1}});
  for (const char* payload :
       {"{}", "[]", "{\"backupDir\":\"/nowhere\"}", "{\"types\":[1]}",
        "{\"backupDir\":5,\"types\":[1]}", "{\"backupDir\":\"/x\",\"types\":1}",
        "{\"backupDir\":\"/x\",\"types\":[1,\"2\"]}", "{\"backupDir\":\"/x\",\"types\":[1.5]}",
        "{\"backupDir\":\"/x\",\"types\":[null]}"})
    cases.push_back({kScan, std::string(payload), 6, 0, {1}});
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.payload.value_or("(none)"));
    host::Recorder recorder = Send(c.command, c.payload);
    EXPECT_THAT(ResultTexts(recorder),
                testing::ElementsAre(StatusText(c.command, c.status, c.errorCode)));
    std::vector<int> notified;
    for (const rapidjson::Value* event : recorder.Payloads("notify"))
      notified.push_back((*event)["status"].GetInt());
    EXPECT_EQ(notified, c.notified);
    EXPECT_EQ(recorder.Count("request"), 0u);
    EXPECT_EQ(recorder.Count("violation"), 0u);
  }
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

TEST(Dispatcher, UnlockLeftUnansweredFailsAndRedactsThePassword) {
  // A decrypt module that leaves the request unanswered with code 0.
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.refuse.insert("LIBMODEL_VEXA_UNLOCK_WITH_PASSWORD");
  host::Recorder refused =
      Send(kUnlock, std::string("{\"backupDir\":\"/x\",\"password\":\"p\"}"), options);
  EXPECT_THAT(ResultTexts(refused), testing::ElementsAre(StatusText(kUnlock, 6, -1)));
  ASSERT_EQ(refused.Count("request"), 1u);
  const rapidjson::Value& request = *refused.Payloads("request").front();
  EXPECT_EQ(Json(request), "{\"backupDir\":\"/x\",\"password\":\"<redacted>\"}");
  EXPECT_EQ(refused.Count("notify"), 0u);
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
  auto run = testing_support::RunProcess({"/bin/sh", "-c",
                                          std::string("nm -D --defined-only ") + KELDRA_LIB_DIR +
                                              "/libkeldra.so | awk '$2 ~ /^[TWi]$/ { print $3 }'"});
  EXPECT_EQ(run.out, "RegisterModule\n") << run.err;
}

}  // namespace
