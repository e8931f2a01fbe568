// `keldra send` run as a separate process, the way people check the module
// from outside: exact event lines on stdout, exit statuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Process.h"

namespace {

using testing_support::RunKeldra;

constexpr char kQuery[] = "LIBMODEL_KELDRA_QUERY_MANIFEST_DB_SUPPORT_TYPE";

TEST(KeldraSend, PrintsOneEventPerLineInOrder) {
  auto run = RunKeldra({"send", "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP", "not json"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.out,
      "{\"event\":\"result\",\"taskId\":\"task-1\",\"target\":\"LIBMODEL_PLUGIN_COMMAND_RECEIVE\","
      "\"subCommand\":\"LIBMODEL_PLUGIN_SEND_RESULT\",\"payloadForm\":0,\"payloadLength\":96,"
      "\"payload\":{\"stage\":3,\"status\":6,\"sub_command_type\":"
      "\"LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP\",\"error_code\":0}}\n"
      "{\"event\":\"notify\",\"taskId\":\"task-1\",\"status\":1}\n"
      "{\"event\":\"return\",\"replyPresent\":0,\"replyData\":null}\n");

  auto named = RunKeldra(
      {"send", "--task-id", "t-42", "--no-task", "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP", "x"});
  EXPECT_THAT(named.out, testing::HasSubstr("\"taskId\":\"t-42\""));
  EXPECT_THAT(named.out, testing::Not(testing::HasSubstr("\"event\":\"notify\"")));
}

// A document payload comes back in the return event; --refuse takes one name
// per option and leaves COMMAND and PAYLOAD alone; a JSON array is a payload
// like any other.
TEST(KeldraSend, DocumentPayloadComesBackWhateverTheOptionsAround) {
  const std::string query =
      "{\"backupDir\":\"/nonexistent/\",\"queryRelativePaths\":{\"a\":\"b\"}}";
  struct Case {
    std::vector<std::string> arguments;
    std::string replyData;
  } cases[] = {
      {{"--doc", kQuery, query}, query},
      {{"--doc", "--refuse", "A", kQuery, "{\"a\":1}"}, "{\"a\":1}"},
      {{"--refuse", "A", "--refuse", "B", "--doc", kQuery, "[1,2]"}, "[1,2]"},
      {{"--doc", kQuery, "[\"x\",\"y\"]", "--refuse", "A"}, "[\"x\",\"y\"]"},
  };
  for (Case& c : cases) {
    c.arguments.insert(c.arguments.begin(), "send");
    auto run = RunKeldra(c.arguments);
    EXPECT_EQ(run.status, 0) << c.replyData;
    EXPECT_THAT(run.out,
                testing::EndsWith("{\"event\":\"return\",\"replyPresent\":1,\"replyData\":" +
                                  c.replyData + "}\n"));
  }
}

}  // namespace
