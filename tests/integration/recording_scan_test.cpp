// Voice memos through the host code and its real voice-memo reader: the
// paths taken by product version, where each recording's audio is found and
// its size, and the recording-list command's in-place answer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/VoiceMemos.h"
#include "support/TestSupport.h"

namespace {

using builder::BackupBuilder;
using builder::VoiceMemoLayout;
using testing_support::Json;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kQuery[] = "LIBPLATFORM_RECORDING_QUERY_LIST";
constexpr char kCommand[] = "LIBMODEL_KELDRA_QUERY_RECORDING_LIST";

// The results of type 7, by stage, after checking what they all share.
std::vector<const rapidjson::Value*> RecordingResults(const host::Recorder& recorder) {
  std::vector<const rapidjson::Value*> results;
  for (const rapidjson::Value* payload : recorder.Payloads("result")) {
    if (!payload->HasMember("type") || (*payload)["type"].GetInt() != 7) continue;
    EXPECT_EQ((*payload)["stage"].GetInt(), static_cast<int>(results.size()) + 1);
    EXPECT_EQ((*payload)["stage_total"].GetInt(), 3);
    EXPECT_EQ((*payload)["sub_type"].GetInt(), 0);
    results.push_back(&(*payload)["result"]);
  }
  return results;
}

std::string Stored(const BackupBuilder& backup, const std::string& domain,
                   const std::string& path) {
  return backup.StoredPath(BackupBuilder::FileID(domain, path));
}

class RecordingScan : public testing::Test {
 protected:
  host::Recorder Scan(host::SendOptions options = testing_support::BuildTreeOptions()) {
    host::Recorder recorder =
        Send(kScan, "{\"backupDir\":\"" + folder_.Path() + "\",\"types\":[7]}", options);
    EXPECT_EQ(recorder.Count("violation"), 0u);
    return recorder;
  }
  std::string RequestPayload(const host::Recorder& recorder) {
    std::vector<const rapidjson::Value*> requests = recorder.Payloads("request");
    return requests.size() == 1 ? Json(*requests[0])
                                : "requests: " + std::to_string(requests.size());
  }
  TempFolder folder_;
};

TEST_F(RecordingScan, PathsAndPrefixFollowTheProductVersion) {
  for (const char* version : {"14.8", "15.0", "16.1"}) {
    const bool newer = std::string(version) != "14.8";
    builder::VoiceMemoLibrary library =
        builder::SampleVoiceMemos(newer ? VoiceMemoLayout::kCloud : VoiceMemoLayout::kLegacy);
    const std::string root = newer ? "Library" : "Media";
    std::string db, manifest, composition;
    std::vector<std::string> audio;
    {
      BackupBuilder backup(folder_.Path());
      backup.Device().productVersion = version;
      builder::AddVoiceMemos(backup, library);
      const std::string folder = root + "/Recordings/";
      db = Stored(backup, "MediaDomain", folder + (newer ? "CloudRecordings.db" : "Recordings.db"));
      manifest = Stored(backup, "MediaDomain", folder + "AssetManifest.plist");
      composition =
          Stored(backup, "MediaDomain", folder + "20150214 093000.composition/manifest.plist");
      for (const auto& memo : library.memos)
        audio.push_back(Stored(backup, "MediaDomain", folder + memo.fileName));
    }
    host::Recorder recorder = Scan();
    EXPECT_EQ(RequestPayload(recorder),
              newer ? "{\"4\":\"" + db + "\",\"3\":[\"" + composition + "\"]}"
                    : "{\"1\":\"" + db + "\",\"2\":\"" + manifest + "\"}")
        << version;
    std::vector<const rapidjson::Value*> results = RecordingResults(recorder);
    ASSERT_EQ(results.size(), 3u) << version;
    EXPECT_EQ(Json(*results[0]), "{\"count\":3,\"recording_db_path\":\"" + (newer ? "" : db) +
                                     "\",\"asset_manifest_path\":\"" + (newer ? "" : manifest) +
                                     "\",\"cloud_recordings_db_path\":\"" + (newer ? db : "") +
                                     "\"}");
    const rapidjson::Value& entries = *results[1];
    ASSERT_EQ(entries.Size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      const builder::VoiceMemoSpec& memo = library.memos[i];
      EXPECT_EQ(entries[i]["relative_path"].GetString(), root + "/Recordings/" + memo.fileName);
      EXPECT_EQ(entries[i]["path"].GetString(), audio[i]) << version << " " << i;
      EXPECT_EQ(entries[i]["size"].GetInt64(),
                static_cast<int64_t>(builder::MemoAudio(memo).size()));
    }
    // The older device names its third memo in the asset manifest alone.
    EXPECT_EQ(entries[2]["source"].GetInt(), newer ? 4 : 2);
    EXPECT_EQ(Json(*results[2]), "[]");
  }
}

TEST_F(RecordingScan, FilesOfTheOtherLayoutAreNotLookedFor) {
  for (const char* version : {"14.8", "16.1"}) {
    {
      BackupBuilder backup(folder_.Path());
      backup.Device().productVersion = version;
      // Each device with the other version's folder.
      builder::VoiceMemoLibrary library = builder::SampleVoiceMemos(VoiceMemoLayout::kCloud);
      library.root = std::string(version) == "14.8" ? "Library" : "Media";
      builder::AddVoiceMemos(backup, library);
    }
    host::Recorder recorder = Scan();
    EXPECT_EQ(RequestPayload(recorder), "{}") << version;
    std::vector<const rapidjson::Value*> results = RecordingResults(recorder);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(Json(*results[0]),
              "{\"count\":0,\"recording_db_path\":\"\",\"asset_manifest_path\":\"\","
              "\"cloud_recordings_db_path\":\"\"}");
    EXPECT_EQ(Json(*results[1]), "[]");
  }
}

TEST_F(RecordingScan, SizesComeFromTheStoredAudio) {
  std::string stored;
  {
    BackupBuilder backup(folder_.Path());
    backup.Device().productVersion = "16.1";
    builder::VoiceMemoLibrary library;
    library.layout = VoiceMemoLayout::kLegacy;  // Recordings.db below Library/
    library.root = "Library";
    library.memos = {builder::Memo("20200101 000001.m4a", "kept", 600000000, 1),
                     builder::Memo("20200101 000002.m4a", "not stored", 600000000, 1),
                     builder::Memo("20200101 000003.m4a", "empty", 600000000, 1)};
    library.memos[1].stored = false;
    library.memos[2].stored = false;
    builder::AddVoiceMemos(backup, library);
    backup.AddFile("MediaDomain", "Library/Recordings/20200101 000003.m4a", "");
    stored = Stored(backup, "MediaDomain", "Library/Recordings/20200101 000001.m4a");
  }
  host::Recorder recorder = Scan();
  std::vector<const rapidjson::Value*> results = RecordingResults(recorder);
  ASSERT_EQ(results.size(), 3u);
  const rapidjson::Value& entries = *results[1];
  ASSERT_EQ(entries.Size(), 3u);
  // The platform knew no size; the stored file's replaces it.
  EXPECT_EQ(entries[0]["path"].GetString(), stored);
  EXPECT_EQ(entries[0]["source"].GetInt(), 1);
  EXPECT_GT(entries[0]["size"].GetInt64(), 0);
  EXPECT_STREQ(entries[0]["relative_path"].GetString(), "Library/Recordings/20200101 000001.m4a");
  // Missing or empty: no path, the platform's size.
  for (int i : {1, 2}) {
    EXPECT_STREQ(entries[i]["path"].GetString(), "") << i;
    EXPECT_EQ(entries[i]["size"].GetInt64(), 0) << i;
  }
}

TEST_F(RecordingScan, NothingIsSentWhenThePlatformDoesNotAnswer) {
  {
    BackupBuilder backup(folder_.Path());
    builder::AddVoiceMemos(backup, builder::SampleVoiceMemos(VoiceMemoLayout::kCloud));
  }
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.refuse = {kQuery};
  host::Recorder recorder = Scan(options);
  EXPECT_THAT(RecordingResults(recorder), testing::IsEmpty());
  EXPECT_EQ(recorder.Count("request"), 1u);
}

class RecordingListCommand : public testing::Test {
 protected:
  // The command's return event: replyPresent and the rendered answer.
  const rapidjson::Value& Return(const host::Recorder& recorder) {
    EXPECT_EQ(recorder.Count("result"), 0u);
    EXPECT_EQ(recorder.Count("notify"), 0u);
    return *recorder.Payloads("return").back();
  }
  std::string Payload(const std::string& recording) {
    return "{\"recording\":" + recording + ",\"backup_dir\":\"" + folder_.Path() + "\"}";
  }
  TempFolder folder_;
};

TEST_F(RecordingListCommand, AnswersInPlaceWithTheNewerPrefixAndMediaDomain) {
  std::string db, composition, audio;
  {
    BackupBuilder backup(folder_.Path());
    builder::AddVoiceMemos(backup, builder::SampleVoiceMemos(VoiceMemoLayout::kCloud));
    db = Stored(backup, "MediaDomain", "Library/Recordings/CloudRecordings.db");
    composition = Stored(backup, "MediaDomain",
                         "Library/Recordings/20150214 093000.composition/manifest.plist");
    audio = Stored(backup, "MediaDomain", "Library/Recordings/20150101 120000.m4a");
  }
  host::Recorder recorder =
      Send(kCommand, Payload("{\"recording_db_path\":\"\",\"asset_manifest_path\":\"\","
                             "\"cloud_recordings_db_path\":\"" +
                             db + "\",\"manifest_plist_path\":[\"" + composition + "\"]}"));
  EXPECT_EQ(Json(*recorder.Payloads("request").front()),
            "{\"4\":\"" + db + "\",\"3\":[\"" + composition + "\"]}");
  const rapidjson::Value& answer = Return(recorder);
  ASSERT_EQ(answer["replyPresent"].GetInt(), 1);
  const rapidjson::Value& reply = answer["replyData"];
  // The entries moved from the platform's document into the list.
  ASSERT_TRUE(reply["document"].IsObject());
  EXPECT_EQ(reply["document"].MemberCount(), 3u);
  const rapidjson::Value& list = reply["list"];
  ASSERT_EQ(list.Size(), 3u);
  EXPECT_EQ(list[0]["path"].GetString(), audio);
  EXPECT_STREQ(list[0]["relative_path"].GetString(), "Library/Recordings/20150101 120000.m4a");
  EXPECT_STREQ(list[0]["title"].GetString(), "Lecture");
  EXPECT_GT(list[0]["size"].GetInt64(), 0);
}

TEST_F(RecordingListCommand, FilesOfAnOlderDeviceAreLookedForBelowLibrary) {
  std::string db;
  {
    BackupBuilder backup(folder_.Path());
    backup.Device().productVersion = "12.4";
    builder::AddVoiceMemos(backup, builder::SampleVoiceMemos(VoiceMemoLayout::kLegacy));
    db = Stored(backup, "MediaDomain", "Media/Recordings/Recordings.db");
  }
  host::Recorder recorder =
      Send(kCommand, Payload("{\"recording_db_path\":\"" + db +
                             "\",\"asset_manifest_path\":\"\",\"cloud_recordings_db_path\":\"\","
                             "\"manifest_plist_path\":[]}"));
  const rapidjson::Value& answer = Return(recorder);
  ASSERT_EQ(answer["replyPresent"].GetInt(), 1);
  const rapidjson::Value& list = answer["replyData"]["list"];
  ASSERT_EQ(list.Size(), 2u);
  for (const auto& entry : list.GetArray()) {
    EXPECT_STREQ(entry["path"].GetString(), "");
    EXPECT_EQ(std::string(entry["relative_path"].GetString()).rfind("Library/Recordings/", 0), 0u);
  }
}

TEST_F(RecordingListCommand, IncompleteRequestsAndRefusalsGetNoAnswer) {
  const std::string complete =
      "{\"recording_db_path\":\"\",\"asset_manifest_path\":\"\",\"cloud_recordings_db_path\":\"\","
      "\"manifest_plist_path\":[]}";
  const std::vector<std::string> payloads = {
      std::string("{\"recording\":") + complete + "}",
      "{\"backup_dir\":\"/x/\"}",
      Payload("{\"recording_db_path\":\"\",\"asset_manifest_path\":\"\","
              "\"cloud_recordings_db_path\":\"\"}"),
      Payload("{\"recording_db_path\":5,\"asset_manifest_path\":\"\","
              "\"cloud_recordings_db_path\":\"\",\"manifest_plist_path\":[]}"),
      Payload("{\"recording_db_path\":\"\",\"asset_manifest_path\":\"\","
              "\"cloud_recordings_db_path\":\"\",\"manifest_plist_path\":\"x\"}"),
      Payload("[]"),
      std::string("{\"recording\":") + complete + ",\"backup_dir\":7}",
      "not json"};
  for (const std::string& payload : payloads) {
    host::Recorder recorder = Send(kCommand, payload);
    EXPECT_EQ(Return(recorder)["replyPresent"].GetInt(), 0) << payload;
    EXPECT_EQ(recorder.Count("request"), 0u) << payload;
  }
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.refuse = {kQuery};
  host::Recorder refused = Send(kCommand, Payload(complete), options);
  EXPECT_EQ(Return(refused)["replyPresent"].GetInt(), 0);
  EXPECT_EQ(refused.Count("request"), 1u);
  // Answered, but no file named anything: an empty list.
  host::Recorder empty = Send(kCommand, Payload(complete));
  EXPECT_EQ(Json(Return(empty)["replyData"]), "{\"document\":{},\"list\":[]}");
}

}  // namespace
