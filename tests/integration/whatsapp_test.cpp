// The WhatsApp kind through the host code: which stores are read, which
// sessions are listed, stores missing tables, locations in complete reading,
// and the media-item command answered in the caller's document (reviewed in
// tests/golden/cases/).
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/ChatStorage.h"
#include "integration/KindScanSupport.h"
#include "support/TestSupport.h"

namespace {

using builder::BackupBuilder;
using builder::whatsapp::ChatStore;
using builder::whatsapp::kDomain;
using testing_support::Json;
using testing_support::Quoted;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kMediaQuery[] = "LIBMODEL_KELDRA_QUERY_WHATSAPP_MEDIAITEM";
constexpr double kStart = 735000000.0;  // the sample store's first second

// The sample store in a backup of an older manifest format, whose media are
// named by file ID alone; a store of another app, which is not looked for; a
// file that is no database, which opens, and every statement fails.
TEST(WhatsApp, OtherManifestsAndStores) {
  kind_scan::ScopedTimeZone zone;
  TempFolder legacy, otherApp, noDatabase;
  {
    builder::BackupOptions options;
    options.manifest = builder::ManifestFormat::kMbdb;
    BackupBuilder backup(legacy.Path(), options);
    builder::whatsapp::AddSampleChats(backup);
  }
  BackupBuilder(otherApp.Path())
      .AddFile("AppDomainGroup-group.net.whatsapp.WhatsAppSMB.shared", "ChatStorage.sqlite",
               "another app's store");
  BackupBuilder(noDatabase.Path()).AddFile(kDomain, "ChatStorage.sqlite", "not a database at all");
  std::vector<std::string> results;
  for (const TempFolder* folder : {&legacy, &otherApp, &noDatabase}) {
    std::vector<std::string> scan = kind_scan::ScanResults(folder->Path(), "[10]");
    results.insert(results.end(), scan.begin(), scan.end());
  }
  kind_scan::ExpectGolden("cases/whatsapp-other-stores.jsonl", results);
}

// Sessions without a JID, of the status feed, or undated are left out; a
// media path with and without its leading slash names the same stored file;
// complete reading gives a location's coordinates unless a REAL column holds
// one as infinity, which JSON cannot.
TEST(WhatsApp, SessionsAreFilteredAndBothPathFormsMeet) {
  ChatStore store;
  store.sessions = {{1, "15550100001@s.whatsapp.net", "Kept", kStart + 1.99},
                    {2, "15550100002@status", "Status", kStart + 5},
                    {3, "15550100003@s.whatsapp.net", std::nullopt, kStart + 6},
                    {4, "15550100004@s.whatsapp.net", "", kStart + 7},
                    {5, "15550100005@s.whatsapp.net", "Undated", std::nullopt},
                    {6, std::nullopt, "No JID", kStart + 8},
                    {7, "", "Empty JID", kStart + 0.5}};
  store.sessions[0].messages = {{std::nullopt, 1, kStart + 1}, {std::nullopt, 2, kStart + 2}};
  store.media = {{1, "/Media/x/a.jpg"}, {2, "Media/x/a.jpg"}};
  store.media[1].stored = false;  // the same file: stored once, by the first item
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    builder::whatsapp::AddChatStorage(backup, store);
    testing_support::ExecSql(
        backup.StoredPath(BackupBuilder::FileID(kDomain, "ChatStorage.sqlite")),
        "UPDATE ZWAMESSAGE SET ZMESSAGETYPE = 5;"
        "UPDATE ZWAMEDIAITEM SET ZLATITUDE = 52.5, ZLONGITUDE = 13.25 WHERE Z_PK = 1;"
        "UPDATE ZWAMEDIAITEM SET ZLATITUDE = 9e999, ZLONGITUDE = 13.25 WHERE Z_PK = 2;");
  }
  kind_scan::ScopedTimeZone zone;
  std::vector<std::string> results = kind_scan::ScanResults(root.Path(), "[10]");
  std::vector<std::string> complete = kind_scan::MaskedResults(
      Send(kind_scan::kScan, kind_scan::ScanPayload(root.Path(), "[10],\"complete\":true")),
      root.Path());
  results.insert(results.end(), complete.begin(), complete.end());
  kind_scan::ExpectGolden("cases/whatsapp-sessions.jsonl", results);
}

// No media and no push names: every group sender keeps the JID, with an
// empty push name from the second message on. No group members: no labels at
// all. No messages: sessions without a count and without a message stage. No
// sessions: the chat series has its count only.
TEST(WhatsApp, StoresMissingTablesSendWhatTheOtherTablesGive) {
  kind_scan::ScopedTimeZone zone;
  std::vector<std::string> results;
  for (std::set<std::string> omit :
       std::vector<std::set<std::string>>{{"ZWAMEDIAITEM", "ZWAPROFILEPUSHNAME"},
                                          {"ZWAGROUPMEMBER"},
                                          {"ZWAMESSAGE"},
                                          {"ZWACHATSESSION"}}) {
    ChatStore store = builder::whatsapp::SampleChats();
    store.omitTables = std::move(omit);
    TempFolder root;
    {
      BackupBuilder backup(root.Path());
      builder::whatsapp::AddChatStorage(backup, store);
    }
    std::vector<std::string> scan = kind_scan::ScanResults(root.Path(), "[10]");
    results.insert(results.end(), scan.begin(), scan.end());
  }
  kind_scan::ExpectGolden("cases/whatsapp-missing-tables.jsonl", results);
}

TEST(WhatsApp, MediaItemCommandFillsTheCallersDocument) {
  TempFolder root;
  {
    BackupBuilder backup(root.Path());
    builder::whatsapp::AddSampleChats(backup);
  }
  TempFolder scratch;
  builder::whatsapp::WriteChatStorage(builder::whatsapp::SampleChats(), scratch / "Chat.sqlite");
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.document = true;
  // The folder without its separator.
  std::string folder = root.Path().substr(0, root.Path().size() - 1);
  kind_scan::ScopedTimeZone zone;
  host::Recorder recorder =
      Send(kMediaQuery,
           "{\"caller\":\"x\",\"backupDir\":" + Quoted(folder) +
               ",\"chatStorageSqlite\":" + Quoted(scratch / "Chat.sqlite") + "}",
           options);
  // The messages of a scan of the sample store but its closing status; the
  // stored files are found below the given folder.
  std::vector<std::string> results = kind_scan::MaskedResults(recorder, root.Path());
  std::string scan = testing_support::ReadFile(kind_scan::GoldenPath("exact/whatsapp.jsonl"));
  scan.erase(scan.rfind('\n', scan.size() - 2) + 1);
  std::string sent;
  for (const std::string& text : results) sent += text + "\n";
  EXPECT_EQ(sent, scan);
  // The reply is the caller's document with the chat stage's attachments added.
  ASSERT_EQ(recorder.Count("return"), 1u);
  EXPECT_EQ(recorder.Count("notify"), 0u);
  std::string reply = Json(*recorder.Payloads("return")[0]);
  kind_scan::ReplaceAll(reply, folder, "<backup>");
  kind_scan::ReplaceAll(reply, scratch.Path(), "<scratch>/");
  kind_scan::ExpectGolden("cases/whatsapp-media-reply.jsonl", {reply});

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
