// What every kind relies on: the decrypt-on-demand request, the SQLite error
// line and the read-only, immutable opening of databases.
#include <glog/logging.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/Channel.h"
#include "common/Sqlite.h"
#include "keldra/Names.h"
#include "kind/kind.h"
#include "support/TestSupport.h"
#include "vorn/PimJsonUtil.h"

namespace {

struct Captured {
  std::string target, text;
};

std::vector<Captured> g_sent;
const char* g_decryptAnswer = nullptr;

intptr_t FakeHostSend(PluginMessage* message) {
  Captured captured;
  captured.target = message->target ? message->target : "";
  if (message->payloadForm == kPayloadDocument && message->payload)
    captured.text = PimJsonUtil::ToString(*static_cast<rapidjson::Document*>(message->payload));
  g_sent.push_back(captured);
  if (captured.target == keldra::names::kVexaDecryptFile && g_decryptAnswer) {
    message->replyData = strdup(g_decryptAnswer);
    message->replyPresent = 1;
  }
  return 0;
}

class TestKind : public keldra::Kind {
 public:
  void Run(const keldra::ScanContext&) override {}
};

class KindFramework : public testing::Test {
 protected:
  void SetUp() override {
    registration_.hostSend = &FakeHostSend;
    registration_.moduleInstance = &registration_;
    keldra::SetRegistration(&registration_);
    g_sent.clear();
    g_decryptAnswer = nullptr;
  }
  ModuleRegistration registration_{};
};

TEST_F(KindFramework, EncryptedRecordsAreDecryptedOnEveryRequest) {
  keldra::ManifestFile record;
  record.fileID = "ab12";
  record.filePath = "ab/ab12";
  record.backupDir = "/b/";
  record.tempDir = "/t/b-backup/";
  record.encrypted = 1;

  EXPECT_EQ(keldra::ReadablePath(record), "/b/ab/ab12");  // unanswered: the stored file itself
  g_decryptAnswer = "/t/b-backup/plain.sqlite";
  EXPECT_EQ(keldra::ReadablePath(record), "/t/b-backup/plain.sqlite");
  ASSERT_EQ(g_sent.size(), 2u);
  EXPECT_EQ(g_sent[1].target, keldra::names::kVexaDecryptFile);
  EXPECT_EQ(
      g_sent[1].text,
      "{\"backupDir\":\"/b/\",\"tempDir\":\"/t/b-backup/\",\"encryptFilePath\":\"/b/ab/ab12\"}");

  record.encrypted = 0;
  EXPECT_EQ(keldra::ReadablePath(record), "/b/ab/ab12");
  EXPECT_EQ(g_sent.size(), 2u);
}

class CapturingSink : public google::LogSink {
 public:
  void send(google::LogSeverity severity, const char*, const char*, int, const struct ::tm*,
            const char* message, size_t length) override {
    if (severity == google::GLOG_ERROR) lines.emplace_back(message, length);
  }
  std::vector<std::string> lines;
};

TEST(ReportSqliteError, LogsTheGenericTextOfTheCode) {
  CapturingSink sink;
  google::AddLogSink(&sink);
  sqlite3* raw = nullptr;
  sqlite3_open(":memory:", &raw);
  sqlite3_stmt* statement = nullptr;
  EXPECT_NE(sqlite3_prepare_v2(raw, "select x from no_such_table", -1, &statement, nullptr),
            SQLITE_OK);
  TestKind().ReportSqliteError(raw);
  sqlite3_close(raw);
  google::RemoveLogSink(&sink);
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(sink.lines[0], "code: 1 msg: SQL logic error");
}

TEST(SqliteOpen, RefusesViewsThatCouldStandInForTables) {
  testing_support::TempFolder folder;
  std::string path = folder / "hostile.sqlite";
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw,
                         "CREATE TABLE t(x); CREATE VIEW ABPerson AS WITH RECURSIVE c(x) AS "
                         "(SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT x FROM c;",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(raw);
  keldra::sqlite::Database database = keldra::sqlite::OpenReadOnly(path);
  ASSERT_NE(database, nullptr);
  EXPECT_NE(keldra::sqlite::Prepare(database, "select x from t"), nullptr);
  EXPECT_EQ(keldra::sqlite::Prepare(database, "select x from ABPerson"), nullptr);
}

TEST(SqliteOpen, IsReadOnlyImmutableAndNeverCreatesFiles) {
  EXPECT_EQ(keldra::sqlite::OpenReadOnly(""), nullptr);
  EXPECT_EQ(keldra::sqlite::OpenReadOnly("/nonexistent/folder/x.db"), nullptr);
  EXPECT_EQ(keldra::sqlite::ImmutableUri("/a b/c?d#e%f"), "file:/a%20b/c%3Fd%23e%25f?immutable=1");
  EXPECT_EQ(keldra::sqlite::ImmutableUri("//x"), "file://localhost//x?immutable=1");
}

}  // namespace
