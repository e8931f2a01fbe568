// `keldra send` run as a separate process, the way people check the module
// from outside: exact event lines on stdout, exit statuses.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct ProcessRun {
  int status = -1;
  std::string out;
};

ProcessRun Keldra(const std::string& arguments) {
  std::string command = std::string(KELDRA_BIN_DIR) + "/keldra " + arguments + " 2>/dev/null";
  ProcessRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, got);
  int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(KeldraSend, PrintsOneEventPerLineInOrder) {
  ProcessRun run = Keldra("send LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP 'not json'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      run.out,
      "{\"event\":\"result\",\"taskId\":\"task-1\",\"target\":\"LIBMODEL_PLUGIN_COMMAND_RECEIVE\","
      "\"subCommand\":\"LIBMODEL_PLUGIN_SEND_RESULT\",\"payloadForm\":0,\"payloadLength\":96,"
      "\"payload\":{\"stage\":3,\"status\":6,\"sub_command_type\":"
      "\"LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP\",\"error_code\":0}}\n"
      "{\"event\":\"notify\",\"taskId\":\"task-1\",\"status\":1}\n"
      "{\"event\":\"return\",\"replyPresent\":0,\"replyData\":null}\n");
}

TEST(KeldraSend, UnknownCommandPrintsOnlyTheReturn) {
  ProcessRun run = Keldra("send LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUPX '{}'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "{\"event\":\"return\",\"replyPresent\":0,\"replyData\":null}\n");
}

TEST(KeldraSend, TaskOptionsAreHonoured) {
  ProcessRun run = Keldra("send --task-id t-42 --no-task LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP x");
  EXPECT_THAT(run.out, testing::HasSubstr("\"taskId\":\"t-42\""));
  EXPECT_THAT(run.out, testing::Not(testing::HasSubstr("\"event\":\"notify\"")));
}

TEST(KeldraSend, UsageErrorsExitWithTwo) {
  EXPECT_EQ(Keldra("send").status, 2);
  EXPECT_EQ(Keldra("send --bogus X").status, 2);
  EXPECT_EQ(Keldra("frobnicate").status, 2);
  EXPECT_EQ(Keldra("send --doc LIBMODEL_KELDRA_QUERY_MANIFEST_DB_SUPPORT_TYPE '{not'").status, 2);
  EXPECT_EQ(Keldra("send --module /nonexistent/libkeldra.so X").status, 2);
}

TEST(KeldraSend, DocumentPayloadComesBackInTheReturnEvent) {
  ProcessRun run = Keldra(
      "send --doc LIBMODEL_KELDRA_QUERY_MANIFEST_DB_SUPPORT_TYPE "
      "'{\"backupDir\":\"/nonexistent/\",\"queryRelativePaths\":{\"a\":\"b\"}}'");
  EXPECT_EQ(run.status, 0);
  EXPECT_THAT(run.out, testing::HasSubstr("{\"event\":\"return\",\"replyPresent\":1,\"replyData\":"
                                          "{\"backupDir\":\"/nonexistent/\",\"queryRelativePaths\":"
                                          "{\"a\":\"b\"}}}"));
}

// --refuse takes one name per option and leaves COMMAND and PAYLOAD alone; a
// JSON array is a payload like any other.
TEST(KeldraSend, OptionsNeverSwallowTheCommandOrSplitThePayload) {
  const std::string query = "--doc LIBMODEL_KELDRA_QUERY_MANIFEST_DB_SUPPORT_TYPE ";
  struct Case {
    std::string arguments;
    std::string replyData;
  } cases[] = {
      {"--refuse A " + query + "'{\"a\":1}'", "{\"a\":1}"},
      {"--refuse A --refuse B " + query + "'[1,2]'", "[1,2]"},
      {query + "'[\"x\",\"y\"]' --refuse A", "[\"x\",\"y\"]"},
  };
  for (const Case& c : cases) {
    ProcessRun run = Keldra("send " + c.arguments);
    EXPECT_EQ(run.status, 0) << c.arguments;
    EXPECT_THAT(run.out,
                testing::EndsWith("\"replyPresent\":1,\"replyData\":" + c.replyData + "}\n"))
        << c.arguments;
  }
}

}  // namespace
