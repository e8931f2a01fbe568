// The host's messages reader: real databases of every generation found, the
// builder's four generations (which must read alike), databases kept partly
// in a write-ahead log, and damaged or hostile databases.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "builder/kinds/SmsDatabase.h"
#include "builder/kinds/TypedStreamWriter.h"
#include "formats/TypedStream.h"
#include "integration/KindScanSupport.h"
#include "platform/sms/SmsReader.h"
#include "support/TestSupport.h"
#include "vorn/PimJsonUtil.h"
#include "vorn/VRNUtilityFile.h"

namespace {

using builder::SmsGeneration;
using testing_support::TempFolder;
using Document = std::unique_ptr<rapidjson::Document>;

// `tempDir` is where a copy with its write-ahead log goes; the default names
// a folder that cannot be made, so that none is.
Document Read(const std::string& path, const std::string& tempDir = "/proc/keldra-none/") {
  host::PlatformOptions options;
  options.tempDir = tempDir;
  return host::sms::ReadConversationList(path, options);
}

std::vector<const rapidjson::Value*> Messages(const rapidjson::Document& reply) {
  std::vector<const rapidjson::Value*> messages;
  for (const auto& chat : reply["chats"].GetArray())
    for (const auto& message : chat["messages"].GetArray()) messages.push_back(&message);
  return messages;
}

std::string Text(const rapidjson::Value& value, const char* member) {
  const rapidjson::Value& text = value[member];
  return std::string(text.GetString(), text.GetStringLength());
}

// One value of a query on a database opened read-only and immutable.
int64_t Count(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::string uri = "file:" + path + "?immutable=1";
  int64_t value = -1;
  if (sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
      SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
      value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return value;
}

// The whole reply must serialise to valid UTF-8 whatever the database held.
void ExpectValidJson(const rapidjson::Document& reply) {
  std::string json = PimJsonUtil::ToString(reply);
  EXPECT_TRUE(PimJsonUtil::IsValidUtf8(json.data(), json.size()));
  rapidjson::Document parsed;
  parsed.Parse(json.c_str(), json.size());
  EXPECT_FALSE(parsed.HasParseError());
}

class RealSmsDatabases : public testing::Test {
 protected:
  void SetUp() override {
    root_ = testing_support::FixturesDir();
    if (root_.empty()) GTEST_SKIP() << "real samples folder is absent";
  }
  std::string root_;
};

// Every message of each sample (as its table counts them) with a text, and
// the whole reply pinned by a digest: iOS 13 (nanosecond dates, attachments
// under ~/Library/SMS/Attachments/), bodies kept only in attributedBody,
// desktop Messages of 2015 (dates in seconds), iOS 7, and a hand-made iOS 14
// file whose only message belongs to no chat (chat id 0).
TEST_F(RealSmsDatabases, EveryMessageIsReadWithItsTextAndDate) {
  testing_support::ScopedTimeZone zone;
  const std::pair<const char*, const char*> samples[] = {
      {"amandawills__CS426-iphone-sms-forensics/sms.db",
       "04e7b73d931e4cb80fce0007122da252a081fd90"},
      {"xevg__imessagedb/tests/chat.db", "76ec8d3b86e9156d725c6b8c337febb68dd8839c"},
      {"log2timeline__plaso/test_data/sqlite/imessage_chat.db",
       "878130d3e52748df03e2fd58d1b4207061f2e518"},
      {"OTAPKI__iphone/HomeDomain/Library/SMS/sms.db", "95c63ed1d74f9f9eca5fce01626c9b75c79bcdeb"},
      {"mvt-project__mvt/tests/artifacts/ios_backup/3d/3d0d7e5fb2ce288813306e4d4636395e047a3d28",
       "0402653b4dc79baaececf3a67ef709bbf1935cd0"}};
  for (const auto& [relative, digest] : samples) {
    std::string path = root_ + relative;
    Document reply = Read(path);
    ASSERT_TRUE(reply) << relative;
    ExpectValidJson(*reply);
    std::vector<const rapidjson::Value*> messages = Messages(*reply);
    EXPECT_EQ(static_cast<int64_t>(messages.size()), Count(path, "select count(*) from message"))
        << relative;
    for (const rapidjson::Value* message : messages) EXPECT_NE(Text(*message, "text"), "");
    std::string json = PimJsonUtil::ToString(*reply);
    EXPECT_EQ(VRNUtilityFile::Sha1Hex(json.data(), json.size()), digest) << relative;
  }
}

// Every row of that database keeps its text twice: as text and archived in
// attributedBody. The decoder must give back exactly the text each time.
TEST_F(RealSmsDatabases, Ios13AttributedBodiesDecodeToTheirTextColumns) {
  std::string uri = "file:" + root_ + "amandawills__CS426-iphone-sms-forensics/sms.db?immutable=1";
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(uri.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr),
            SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "select ROWID, text, attributedBody from message", -1,
                               &statement, nullptr),
            SQLITE_OK);
  int rows = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    ++rows;
    std::string text(reinterpret_cast<const char*>(sqlite3_column_text(statement, 1)),
                     sqlite3_column_bytes(statement, 1));
    auto decoded = host::typedstream::DecodeAttributedString(
        static_cast<const uint8_t*>(sqlite3_column_blob(statement, 2)),
        sqlite3_column_bytes(statement, 2));
    ASSERT_TRUE(decoded) << "row " << sqlite3_column_int64(statement, 0);
    EXPECT_TRUE(decoded->complete) << "row " << sqlite3_column_int64(statement, 0);
    // Compared without printing: the texts are someone's messages.
    EXPECT_TRUE(decoded->text == text) << "row " << sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  EXPECT_EQ(rows, 105);
}

// A 4 KiB main file whose rows are all in its -wal: read through a private
// copy, giving what the self-contained logical copy of the same data gives,
// and leaving neither the sample's folder nor the scratch folder changed.
TEST_F(RealSmsDatabases, Ios5WithItsWriteAheadLogReadsLikeItsLogicalCopy) {
  std::string folder = root_ + "eichbaumj__Presentations/";
  std::string before = testing_support::TreeSnapshot(folder);
  TempFolder scratch;
  Document live = Read(folder + "sms.db", scratch.Path());
  Document logical = Read(folder + "Logical/sms.db");
  ASSERT_TRUE(live);
  ASSERT_TRUE(logical);
  EXPECT_EQ(testing_support::TreeSnapshot(folder), before);
  EXPECT_TRUE(testing_support::FolderEntries(scratch.Path()).empty());

  ExpectValidJson(*live);
  std::vector<const rapidjson::Value*> messages = Messages(*live);
  EXPECT_EQ(static_cast<int64_t>(messages.size()),
            Count(folder + "Logical/sms.db", "select count(*) from message"));
  EXPECT_EQ(PimJsonUtil::ToString(*live), PimJsonUtil::ToString(*logical));
  bool mms = false;
  for (const rapidjson::Value* message : messages) {
    // SMS rows keep Unix time.
    EXPECT_EQ(Text(*message, "date").rfind("2012-", 0), 0u);
    EXPECT_STREQ((*message)["service"].GetString(), "SMS");
    if (!(*message)["is_from_me"].GetBool()) {
      EXPECT_FALSE(Text(*message, "sender").empty());
    }
    // The MMS: its text and its picture are parts of their own.
    for (const auto& attachment : (*message)["attachments"].GetArray()) {
      mms = true;
      EXPECT_STREQ(attachment["mime_type"].GetString(), "image/jpeg");
      EXPECT_FALSE(Text(*message, "text").empty());
    }
  }
  EXPECT_TRUE(mms);

  // Without a scratch folder the log cannot be read; the header page alone
  // holds nothing.
  Document alone = Read(folder + "sms.db");
  if (alone) {
    EXPECT_EQ((*alone)["chats"].Size(), 0u);
  }
}

// ---- builder-made databases -------------------------------------------------

std::string Write(const std::string& path, SmsGeneration generation,
                  const std::vector<builder::SmsChatSpec>& chats,
                  const std::function<void(builder::SmsDatabaseWriter&)>& extra = nullptr) {
  builder::SmsDatabaseWriter writer(path, generation);
  for (const auto& chat : chats) writer.AddChat(chat);
  if (extra) extra(writer);
  writer.Close();
  return path;
}

// What a conversation says, independent of how its database stores it: a
// line of the chat's own facts, then one per message.
using Line = std::tuple<std::string, std::string, bool, std::string, size_t, std::string>;
std::map<std::string, std::vector<Line>> Digest(const rapidjson::Document& reply) {
  std::map<std::string, std::vector<Line>> digest;
  for (const auto& chat : reply["chats"].GetArray()) {
    auto& lines = digest[Text(chat, "chat_identifier")];
    lines.emplace_back(Text(chat, "last_message_date"), "", chat["is_group"].GetBool(), "", 0, "");
    for (const auto& message : chat["messages"].GetArray())
      lines.emplace_back(
          Text(message, "date"), Text(message, "text"), message["is_from_me"].GetBool(),
          Text(message, "sender"), message["attachments"].Size(),
          message.HasMember("reaction") ? PimJsonUtil::ToString(message["reaction"]) : "");
  }
  return digest;
}

// The newest layout's reading is in the golden output of the sample content;
// every older layout must read alike, but for the tapback rows that only
// later layouts have.
TEST(SmsGenerations, EveryLayoutReadsToTheSameConversations) {
  TempFolder folder;
  std::map<std::string, std::vector<Line>> expected;
  for (SmsGeneration generation :
       {SmsGeneration::kIos14, SmsGeneration::kIos11, SmsGeneration::kIos6, SmsGeneration::kIos5}) {
    std::string path = folder / ("sms" + std::to_string(static_cast<int>(generation)) + ".db");
    Document reply = Read(Write(path, generation, builder::SampleConversations(generation)));
    ASSERT_TRUE(reply);
    std::map<std::string, std::vector<Line>> digest = Digest(*reply);
    if (generation == SmsGeneration::kIos14) expected = digest;
    if (generation == SmsGeneration::kIos6) {  // the tapback was that chat's last message
      std::vector<Line>& chat = expected["+15555550101"];
      chat.pop_back();
      std::get<0>(chat.front()) = std::get<0>(chat.back());
    }
    EXPECT_EQ(digest, expected) << static_cast<int>(generation);
  }
}

// Read in pages of any message budget, a database gives the very
// conversations it gives in one piece, each page announcing their total; the
// messages of no chat (here: rows whose join was removed) come last, by handle.
TEST(SmsPages, PagesJoinToTheWholeReply) {
  TempFolder folder;
  const struct {
    SmsGeneration generation;
    bool unjoined;
  } databases[] = {{SmsGeneration::kIos14, false},
                   {SmsGeneration::kIos14, true},
                   {SmsGeneration::kIos6, false},
                   {SmsGeneration::kIos5, false}};
  int n = 0;
  for (const auto& database : databases) {
    std::string path = folder / ("pages" + std::to_string(n++) + ".db");
    Write(path, database.generation, builder::SampleConversations(database.generation));
    if (database.unjoined)
      testing_support::ExecSql(path,
                               "DELETE FROM chat_message_join WHERE message_id % 3 = 0; "
                               "DELETE FROM chat WHERE ROWID = (SELECT max(ROWID) FROM chat)");
    Document whole = Read(path);
    ASSERT_TRUE(whole);
    const std::string expected = PimJsonUtil::ToString((*whole)["chats"]);
    for (size_t budget : {1, 2, 100000}) {
      SCOPED_TRACE(path + " in pages of " + std::to_string(budget));
      host::PlatformOptions options;
      options.tempDir = "/proc/keldra-none/";
      auto pages = host::sms::ConversationPages::Open(path, options);
      ASSERT_TRUE(pages);
      rapidjson::Document joined(rapidjson::kArrayType);
      size_t count = 0;
      while (!pages->Done() && count++ < 1000) {
        Document page = pages->NextPage(budget, "token");
        ASSERT_TRUE(page && page->IsObject());
        EXPECT_EQ(page->HasMember("next"), !pages->Done());
        if (page->HasMember("total")) {
          EXPECT_EQ((*page)["total"].GetInt64(), static_cast<int64_t>((*whole)["chats"].Size()));
        }
        for (auto& chat : (*page)["chats"].GetArray())
          joined.PushBack(rapidjson::Value(chat, joined.GetAllocator()), joined.GetAllocator());
      }
      EXPECT_EQ(PimJsonUtil::ToString(joined), expected);
      if (budget == 1 && database.generation != SmsGeneration::kIos5) {
        EXPECT_GT(count, 2u);
      }
    }
  }
}

// Files that are no database, hold no known layout, or hold nulls, wrong
// types, hostile bodies and damaged tables: no reply or a valid one.
TEST(SmsBadInput, OddFilesGiveNoReplyOrWhatTheyCan) {
  testing_support::ScopedTimeZone zone;
  TempFolder folder;
  testing_support::WriteFile(folder / "noise.db", std::string(8192, '\x5a'));
  testing_support::WriteFile(folder / "empty.db", "");
  testing_support::ExecSql(folder / "other.db", "CREATE TABLE notes (x)");
  std::string blob = builder::EncodeAttributedBody("truncated body text");
  std::string cut;
  for (unsigned char c : blob.substr(0, blob.find("body") + 4)) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", c);
    cut += hex;
  }
  Write(folder / "odd.db", SmsGeneration::kIos14, {}, [&](auto& writer) {
    writer.Execute(
        "DROP TABLE chat_message_join;"
        "CREATE TABLE chat_message_join (chat_id INTEGER, message_id INTEGER);"
        "INSERT INTO chat (ROWID, guid) VALUES (1, 'only nulls');"
        "INSERT INTO chat (ROWID, guid, style, chat_identifier) VALUES (2, 'odd', 'x', X'C0FF');"
        "INSERT INTO handle (ROWID, id, service) VALUES (1, X'80FE41', 'SMS');"
        "INSERT INTO message (ROWID, guid) VALUES (1, 'nulls');"
        // Just below the nanosecond threshold: seconds, far beyond any date text.
        "INSERT INTO message (ROWID, guid, text, date, date_read, handle_id, attributedBody) "
        "VALUES (2, 'wrong types', X'FF00E2', 999999999999, -999999999999, 1, "
        "'not a blob');"
        "INSERT INTO message (ROWID, guid, attributedBody, date) VALUES (3, 'cut', X'" +
        cut +
        "', 1);"
        "INSERT INTO message (ROWID, guid, attributedBody, associated_message_type, "
        "associated_message_guid) VALUES (4, 'noise', randomblob(300), 2999, 'p:');"
        "INSERT INTO chat_message_join (chat_id, message_id) VALUES (1, 1), (2, 2), (2, 3), "
        "(2, 4), (9, 1), (NULL, NULL);"
        // A join without its key listing one message a thousand times.
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 1000) "
        "INSERT INTO chat_message_join (chat_id, message_id) SELECT 1, 1 FROM n;"
        "INSERT INTO message_attachment_join VALUES (2, 77), (NULL, 1);"
        "INSERT INTO chat_handle_join VALUES (2, 1), (2, 5);");
  });
  // A message table of its own shape (no ROWID) and join tables missing
  // their columns: the chats are there, their messages cannot be.
  testing_support::ExecSql(folder / "damaged.db",
                           "CREATE TABLE chat (guid TEXT);"
                           "INSERT INTO chat VALUES ('a'), ('b');"
                           "CREATE TABLE message (guid TEXT PRIMARY KEY, text TEXT) WITHOUT ROWID;"
                           "INSERT INTO message VALUES ('m', 'hello');"
                           "CREATE TABLE chat_message_join (x, y);"
                           "CREATE TABLE handle (y);");
  // The madrid layout with every value NULL and an unknown thread.
  Write(folder / "madrid.db", SmsGeneration::kIos5, {}, [](auto& writer) {
    writer.Execute(
        "INSERT INTO message (ROWID) VALUES (1);"
        "INSERT INTO message (ROWID, is_madrid, madrid_roomname, madrid_attributedBody, text) "
        "VALUES (2, 1, 'chat1', X'040b', NULL);"
        "INSERT INTO msg_pieces (message_id, content_type) VALUES (1, 'text/plain'), (1, NULL);"
        "INSERT INTO madrid_attachment (message_id) VALUES (2);"
        "INSERT INTO group_member (group_id, address) VALUES (NULL, NULL);");
  });
  std::vector<std::string> replies;
  for (const std::string name : {"", "missing.db", "noise.db", "empty.db", "other.db", "odd.db",
                                 "damaged.db", "madrid.db"}) {
    Document reply = Read(name.empty() ? name : folder / name);
    if (reply) ExpectValidJson(*reply);
    replies.push_back(name + " " + (reply ? PimJsonUtil::ToString(*reply) : "none"));
  }
  kind_scan::ExpectGolden("cases/sms-reader-bad-input.jsonl", replies);
}

}  // namespace
