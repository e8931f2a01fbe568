// Voice memos through the host code and its real voice-memo reader: the
// paths an older device's scan takes, where each recording's audio is found
// and its size, and the recording-list command's in-place answer (reviewed in
// tests/golden/cases/; a newer device's scan is in the sample content's).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/VoiceMemos.h"
#include "integration/KindScanSupport.h"
#include "support/TestSupport.h"

namespace {

using builder::BackupBuilder;
using builder::VoiceMemoLayout;
using kind_scan::ExpectGolden;
using kind_scan::ScanResults;
using testing_support::Json;
using testing_support::Send;
using testing_support::TempFolder;

constexpr char kQuery[] = "LIBPLATFORM_RECORDING_QUERY_LIST";
constexpr char kCommand[] = "LIBMODEL_KELDRA_QUERY_RECORDING_LIST";

std::string Stored(const BackupBuilder& backup, const std::string& path) {
  return backup.StoredPath(BackupBuilder::FileID("MediaDomain", path));
}

TEST(RecordingScan, PathsFollowTheProductVersionAndSizesComeFromTheStoredAudio) {
  const struct {
    const char* version;
    VoiceMemoLayout layout;
    const char* root;  // "": the layout's own
    bool storedSizes;
  } kCases[] = {
      // The third memo is named in the asset manifest alone.
      {"14.8", VoiceMemoLayout::kLegacy, "", false},
      // Each device with the other's folder, which is not looked for.
      {"14.8", VoiceMemoLayout::kCloud, "Library", false},
      {"16.1", VoiceMemoLayout::kCloud, "Media", false},
      // Recordings.db below Library/, its audio stored, missing or empty: the
      // platform knew no size; a stored file's replaces it.
      {"16.1", VoiceMemoLayout::kLegacy, "Library", true},
  };
  kind_scan::ScopedTimeZone zone;
  TempFolder root;
  std::vector<std::string> results;
  for (const auto& c : kCases) {
    const std::string folder = root / (std::to_string(&c - kCases) + "/");
    {
      BackupBuilder backup(folder);
      backup.Device().productVersion = c.version;
      builder::VoiceMemoLibrary library = builder::SampleVoiceMemos(c.layout);
      library.root = c.root;
      if (c.storedSizes) {
        library.memos = {builder::Memo("20200101 000001.m4a", "kept", 600000000, 1),
                         builder::Memo("20200101 000002.m4a", "not stored", 600000000, 1),
                         builder::Memo("20200101 000003.m4a", "empty", 600000000, 1)};
        library.memos[1].stored = false;
        library.memos[2].stored = false;
      }
      builder::AddVoiceMemos(backup, library);
      if (c.storedSizes)
        backup.AddFile("MediaDomain", "Library/Recordings/20200101 000003.m4a", "");
    }
    std::vector<std::string> scan = ScanResults(folder, "[7]");
    results.insert(results.end(), scan.begin(), scan.end());
  }
  ExpectGolden("cases/recording-scan.jsonl", results);
}

TEST(RecordingScan, NothingIsSentWhenThePlatformDoesNotAnswer) {
  TempFolder folder;
  {
    BackupBuilder backup(folder.Path());
    builder::AddVoiceMemos(backup, builder::SampleVoiceMemos(VoiceMemoLayout::kCloud));
  }
  host::SendOptions options = testing_support::BuildTreeOptions();
  options.refuse = {kQuery};
  host::Recorder recorder =
      Send(kind_scan::kScan, kind_scan::ScanPayload(folder.Path(), "[7]"), options);
  EXPECT_EQ(testing_support::ResultTexts(recorder).size(), 1u);  // the closing status alone
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
  std::string Payload(const std::string& recording, const TempFolder* folder = nullptr) {
    return "{\"recording\":" + recording + ",\"backup_dir\":\"" +
           (folder ? folder : &folder_)->Path() + "\"}";
  }
  // The answer, with the backup folders masked.
  std::string Answer(const host::Recorder& recorder) {
    std::string text = Json(Return(recorder));
    kind_scan::ReplaceAll(text, folder_.Path(), "<backup>/");
    kind_scan::ReplaceAll(text, older_.Path(), "<backup>/");
    return text;
  }
  TempFolder folder_;
  TempFolder older_;
};

// A newer device's files as the scan named them; an older device's found
// below Library/ (where they are not), with no path. The entries move from the
// platform's document into the list.
TEST_F(RecordingListCommand, AnswersInPlaceWithThePrefixOfTheDevice) {
  kind_scan::ScopedTimeZone zone;
  std::string db, composition, legacyDb;
  {
    BackupBuilder backup(folder_.Path());
    builder::AddVoiceMemos(backup, builder::SampleVoiceMemos(VoiceMemoLayout::kCloud));
    db = Stored(backup, "Library/Recordings/CloudRecordings.db");
    composition = Stored(backup, "Library/Recordings/20150214 093000.composition/manifest.plist");
  }
  std::vector<std::string> answers = {Answer(
      Send(kCommand, Payload("{\"recording_db_path\":\"\",\"asset_manifest_path\":\"\","
                             "\"cloud_recordings_db_path\":\"" +
                             db + "\",\"manifest_plist_path\":[\"" + composition + "\"]}")))};
  {
    BackupBuilder backup(older_.Path());
    backup.Device().productVersion = "12.4";
    builder::AddVoiceMemos(backup, builder::SampleVoiceMemos(VoiceMemoLayout::kLegacy));
    legacyDb = Stored(backup, "Media/Recordings/Recordings.db");
  }
  answers.push_back(Answer(Send(
      kCommand, Payload("{\"recording_db_path\":\"" + legacyDb +
                            "\",\"asset_manifest_path\":\"\",\"cloud_recordings_db_path\":\"\","
                            "\"manifest_plist_path\":[]}",
                        &older_))));
  ExpectGolden("cases/recording-list-command.jsonl", answers);
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
