// Encrypted backups end to end: the keldra module and the decrypt module
// loaded by the host, backups written by the builder (and mkbackup) with a
// known password, and the real encrypted sample.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "Events.h"
#include "builder/BackupBuilder.h"
#include "builder/Encryption.h"
#include "integration/KindScanSupport.h"
#include "support/Process.h"
#include "support/TestSupport.h"
#include "vorn/VRNUtilityFile.h"

namespace {

using kind_scan::ScanPayload;
using testing_support::BuildTreeOptions;
using testing_support::FixturesDir;
using testing_support::Json;
using testing_support::ReadFile;
using testing_support::Send;
using testing_support::StatusText;
using testing_support::TempFolder;
using testing_support::TreeSnapshot;

constexpr char kScan[] = "LIBMODEL_KELDRA_DO_SCAN_ITUNES_BACKUP";
constexpr char kUnlock[] = "LIBMODEL_KELDRA_UNLOCK_WITH_PASSWORD";
constexpr char kExport[] = "LIBMODEL_KELDRA_EXPORT_ENCRYPT_FILE";
constexpr char kQuery[] = "LIBMODEL_KELDRA_QUERY_MANIFEST_DB_SUPPORT_TYPE";
constexpr char kDecryptFile[] = "LIBMODEL_VEXA_DECRYPT_FILE";
constexpr char kPassword[] = "s3cret p\xC3\xA4ss";
constexpr char kAllKinds[] = "[0,1,2,3,4,5,6,7,8,9,10]";

using testing_support::Quoted;

std::string Sha256(const std::string& bytes) {
  return host::events::Sha256Hex(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// mkbackup of this build tree; its exit status.
int MakeBackup(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), std::string(KELDRA_BIN_DIR) + "/mkbackup");
  return testing_support::RunProcess(arguments).status;
}

host::SendOptions Options(const std::string& tempDir,
                          std::optional<std::string> password = std::nullopt) {
  host::SendOptions options = BuildTreeOptions();
  options.tempDir = tempDir;
  options.unlockPassword = std::move(password);
  return options;
}

host::Recorder Scan(const std::string& folder, const host::SendOptions& options) {
  return Send(kScan, "{\"backupDir\":" + Quoted(folder) + ",\"types\":" + kAllKinds + "}", options);
}

// The result payloads of one command, in order.
std::vector<const rapidjson::Value*> ResultsOf(const host::Recorder& recorder,
                                               const char* command) {
  std::vector<const rapidjson::Value*> results;
  for (const rapidjson::Value* payload : recorder.Payloads("result")) {
    const rapidjson::Value* body = payload;
    if (payload->IsObject() && payload->HasMember("json")) body = &(*payload)["json"];
    auto type = body->FindMember("sub_command_type");
    if (type != body->MemberEnd() && type->value.IsString() &&
        std::string(type->value.GetString()) == command)
      results.push_back(payload);
  }
  return results;
}

// The final status message of a command, as JSON text.
std::string StatusOf(const host::Recorder& recorder, const char* command) {
  std::vector<const rapidjson::Value*> results = ResultsOf(recorder, command);
  return results.empty() ? "" : Json(*results.back());
}

// Requests to `target` and whether each was answered.
std::vector<bool> Requests(const host::Recorder& recorder, const std::string& target) {
  std::vector<bool> answered;
  for (const auto& event : recorder.Events()) {
    if (Json((*event)["event"]) != "\"request\"" || !(*event)["target"].IsString() ||
        target != (*event)["target"].GetString())
      continue;
    answered.push_back((*event)["answered"].IsTrue());
  }
  return answered;
}

// Paths differ between a plain and an encrypted scan (stored file against
// decrypted copy): both become "<file>/" + the last component, which is the
// file id in either case. The notes, photo, voice-memo and attachment kinds
// measure stored files where they lie, which in an encrypted backup are the
// enciphered ones, padded: their size members become "<size>".
std::vector<std::string> NormalisedScan(const host::Recorder& recorder,
                                        const std::vector<std::string>& roots) {
  static const std::map<std::string, std::string> kStoredSizes = {
      {"2", "Size"}, {"5", "size"}, {"6", "ZORIGINALFILESIZE|THUMBNAIL_SIZE"}, {"7", "size"}};
  std::vector<std::string> texts;
  for (const rapidjson::Value* payload : ResultsOf(recorder, kScan)) {
    std::string text = Json(*payload);
    for (const std::string& root : roots) kind_scan::ReplaceAll(text, "\"" + root, "\"\x01");
    text = std::regex_replace(text, std::regex("\"\x01(?:[^\"]*/)?([^\"/]*)\""), "\"<file>/$1\"");
    std::smatch type;
    if (std::regex_search(text, type, std::regex("\"type\":([0-9]+)")) &&
        kStoredSizes.count(type[1].str()))
      text = std::regex_replace(text,
                                std::regex("\"(" + kStoredSizes.at(type[1].str()) + ")\":[0-9]+"),
                                "\"$1\":\"<size>\"");
    texts.push_back(text);
  }
  return texts;
}

TEST(EncryptedScan, DeliversWhatThePlainScanOfTheSameBackupDelivers) {
  TempFolder root;
  ASSERT_EQ(MakeBackup({root / "plain", "--content", "all"}), 0);
  ASSERT_EQ(MakeBackup({root / "encrypted", "--content", "all", "--encrypt", kPassword,
                        "--iterations", "3,2"}),
            0);
  std::string tempDir = root / "tmp/";
  mkdir(tempDir.c_str(), 0700);

  host::Recorder plain = Scan(root / "plain", Options(tempDir));
  host::Recorder encrypted = Scan(root / "encrypted", Options(tempDir, kPassword));
  EXPECT_EQ(StatusOf(encrypted, kUnlock), StatusText(kUnlock, 1, 0));
  EXPECT_EQ(StatusOf(encrypted, kScan), StatusText(kScan, 1, 0));
  std::vector<std::string> roots = {root / "plain/", root / "encrypted/", tempDir};
  EXPECT_EQ(NormalisedScan(encrypted, roots), NormalisedScan(plain, roots));
  // Every database a kind asked for came back decrypted.
  for (bool answered : Requests(encrypted, kDecryptFile)) EXPECT_TRUE(answered);
  EXPECT_EQ(encrypted.Count("violation"), 0u) << testing::PrintToString(encrypted.Lines());
}

// An encrypted backup of three files and a hostile row.
struct ExportFixture {
  TempFolder root;
  std::string folder = root / "backup/";
  std::string tempDir = root / "tmp/";
  std::vector<std::pair<std::string, std::string>> files;  // stored path, plaintext

  ExportFixture() {
    mkdir(tempDir.c_str(), 0700);
    builder::BackupOptions options;
    options.isEncrypted = true;
    builder::BackupBuilder backup(folder, options);
    backup.SetProtector(
        std::make_unique<builder::Encryption>(builder::EncryptionOptions{kPassword}));
    for (const auto& [path, content] : std::vector<std::pair<std::string, std::string>>{
             {"Library/SMS/sms.db", std::string(5000, 's')},
             {"Media/DCIM/100APPLE/IMG_0001.JPG", std::string(70000, 'j')},
             {"Library/Notes/empty", ""}}) {
      std::string id = backup.AddFile("HomeDomain", path, content);
      files.emplace_back(backup.StoredPath(id), content);
    }
    // A row whose file id would leave the backup folder.
    builder::ManifestEntry hostile;
    hostile.domain = "HomeDomain";
    hostile.relativePath = "Library/CallHistoryDB/CallHistory.storedata";
    hostile.fileID = "../../../escaped";
    backup.AddEntry(hostile);
  }

  std::string Payload(const std::vector<std::pair<std::string, std::string>>& members) const {
    std::string files = "{";
    for (const auto& [id, pair] : members) {
      if (files.size() > 1) files += ",";
      files += Quoted(id) + ":" + pair;
    }
    return "{\"backupDir\":" + Quoted(folder) + ",\"files\":" + files + "}}";
  }
};

// (A wrong password is refused in KeldraSendUnlock.)
TEST(EncryptedScan, FailsWithoutAPassword) {
  ExportFixture backup;
  host::Recorder locked = Scan(backup.folder, Options(backup.tempDir));
  EXPECT_EQ(StatusOf(locked, kScan), StatusText(kScan, 6, 0));
  // A folder that holds no encrypted backup is refused with another code.
  host::Recorder nothing =
      Send(kUnlock, "{\"backupDir\":" + Quoted(backup.root / "none") + ",\"password\":\"x\"}",
           Options(backup.tempDir));
  EXPECT_EQ(StatusOf(nothing, kUnlock), StatusText(kUnlock, 6, -1));
}

// Bytes in the answer (form-2 results with their digest), then paths: the
// decrypted files where the caller asked.
TEST(EncryptedExport, SkipsTheFileTheDecryptModuleRefusesInBothAnswerForms) {
  ExportFixture backup;
  const std::string unlisted =
      backup.folder + "ff/ffffffffffffffffffffffffffffffffffffffff";  // not in the manifest
  TempFolder out;
  std::vector<std::string> lines;
  for (const auto& [to, third] : {std::pair(std::string(), 1), std::pair(out.Path(), 2)}) {
    auto pair = [&, to = to](const std::string& from, const std::string& name) {
      return "[" + Quoted(from) + "," + Quoted(to.empty() ? "" : to + name) + "]";
    };
    host::Recorder recorder =
        Send(kExport,
             backup.Payload({{"first", pair(backup.files[0].first, "first")},
                             {"second", pair(unlisted, "second")},
                             {"third", pair(backup.files[third].first, "third")}}),
             Options(backup.tempDir, kPassword));
    for (std::string line : recorder.Lines()) {
      // Lengths of payloads that name a temporary folder vary with it.
      line =
          std::regex_replace(line, std::regex("\"payloadLength\":[0-9]+"), "\"payloadLength\":0");
      kind_scan::ReplaceAll(line, out.Path(), "<out>/");
      kind_scan::ReplaceAll(line, backup.root.Path(), "<root>/");
      lines.push_back(line);
    }
  }
  kind_scan::ExpectGolden("cases/encrypted-export.jsonl", lines);
  EXPECT_EQ(ReadFile(out / "first"), backup.files[0].second);
  EXPECT_EQ(ReadFile(out / "third"), "");
  EXPECT_FALSE(std::filesystem::exists(out / "second"));
}

TEST(EncryptedExport, AHostileFileIdWritesNothingOutsideTheTemporaryFolder) {
  ExportFixture backup;
  std::string before = TreeSnapshot(backup.folder);
  // The keldra module lists the hostile row like any other; the kinds that
  // want its path ask for a decrypted copy, and the decrypt module refuses.
  host::Recorder scan = Scan(backup.folder, Options(backup.tempDir, kPassword));
  EXPECT_EQ(StatusOf(scan, kScan), StatusText(kScan, 1, 0));
  for (const auto& event : scan.Events()) {
    if (Json((*event)["event"]) == "\"request\"" &&
        Json((*event)["payload"]).find("escaped") != std::string::npos) {
      EXPECT_FALSE((*event)["answered"].IsTrue());
    }
  }
  host::Recorder exported =
      Send(kExport,
           backup.Payload({{"x", "[" + Quoted(backup.folder + "..//../../../escaped") + ",\"\"]"},
                           {"y", "[" + Quoted(backup.folder + "../escaped") + ",\"\"]"}}),
           Options(backup.tempDir, kPassword));
  EXPECT_EQ(ResultsOf(exported, kExport).size(), 1u);

  // Only the temporary folder changed, and it holds the decrypted manifest
  // and nothing named after a manifest path.
  EXPECT_EQ(TreeSnapshot(backup.folder), before);
  EXPECT_THAT(testing_support::FolderEntries(backup.root.Path()),
              testing::ElementsAre("backup", "tmp"));
  EXPECT_THAT(TreeSnapshot(backup.tempDir), testing::HasSubstr("/backup-backup/Manifest.db "));
  EXPECT_THAT(TreeSnapshot(backup.tempDir), testing::Not(testing::HasSubstr("escaped")));
}

TEST(EncryptedQuery, FillsIsEncryptedAndTheFileIdsOfKnownPaths) {
  ExportFixture backup;
  host::SendOptions options = Options(backup.tempDir, kPassword);
  options.document = true;
  std::string payload = "{\"backupDir\":" + Quoted(backup.folder) +
                        ",\"isEncrypted\":\"?\",\"queryRelativePaths\":{\"Library/SMS/sms.db\":"
                        "\"\",\"Library/unknown.db\":\"unchanged\"}}";
  host::Recorder recorder = Send(kQuery, payload, options);
  const rapidjson::Value& reply = (*recorder.Events().back())["replyData"];
  std::string smsId = builder::BackupBuilder::FileID("HomeDomain", "Library/SMS/sms.db");
  EXPECT_EQ(Json(reply),
            "{\"backupDir\":" + Quoted(backup.folder) +
                ",\"isEncrypted\":true,\"queryRelativePaths\":{\"Library/SMS/sms.db\":" +
                Quoted(smsId) + ",\"Library/unknown.db\":\"unchanged\"}}");
}

// The real sample: an older-generation encrypted backup whose per-file keys
// live in Manifest.mbdb, with plaintext copies beside it, and the password
// published with it.
constexpr char kRealPassword[] = "20201225";
std::string RealSample(const char* folder) {
  std::string fixtures = FixturesDir();
  return fixtures.empty() ? "" : fixtures + "multifreded__hv20/day23/" + folder + "/";
}

TEST(RealEncryptedSample, DecryptsEveryStoredFileToItsPlaintextCopy) {
  const std::string backup = RealSample("Backup"), decrypted = RealSample("Decrypted_Backup");
  SKIP_WITHOUT_FIXTURES(backup);
  TempFolder temp;
  std::string payload = "{\"backupDir\":" + Quoted(backup) + ",\"files\":{";
  std::map<std::string, std::string> expected;  // domain/relative path -> sha256
  for (const auto& entry : std::filesystem::recursive_directory_iterator(decrypted)) {
    if (!entry.is_regular_file()) continue;
    std::string copy = entry.path().string().substr(decrypted.size());
    std::string joined = copy;
    joined[joined.find('/')] = '-';
    std::string id = VRNUtilityFile::Sha1Hex(joined.data(), joined.size());
    if (!std::filesystem::exists(backup + id)) continue;  // not stored in the backup
    payload += (expected.empty() ? "" : ",") + Quoted(copy) + ":[" + Quoted(backup + id) + ",\"\"]";
    expected[copy] = Sha256(ReadFile(decrypted + copy));
  }
  ASSERT_GE(expected.size(), 10u);

  host::Recorder recorder = Send(kExport, payload + "}}", Options(temp.Path(), kRealPassword));
  EXPECT_EQ(StatusOf(recorder, kUnlock), StatusText(kUnlock, 1, 0));
  std::map<std::string, std::string> found;
  for (const rapidjson::Value* result : ResultsOf(recorder, kExport))
    if (result->HasMember("sha256"))
      found[(*result)["json"]["result"]["id"].GetString()] = (*result)["sha256"].GetString();
  EXPECT_EQ(found, expected);

  host::Recorder wrong =
      Send(kUnlock, "{\"backupDir\":" + Quoted(backup) + ",\"password\":\"20201224\"}",
           Options(temp.Path()));
  EXPECT_EQ(StatusOf(wrong, kUnlock), StatusText(kUnlock, 6, 1));
}

TEST(RealEncryptedSample, TheLegacyScanIgnoresEncryption) {
  const std::string backup = RealSample("Backup");
  SKIP_WITHOUT_FIXTURES(backup);
  TempFolder temp;
  host::Recorder recorder = Scan(backup, Options(temp.Path(), kRealPassword));
  EXPECT_EQ(StatusOf(recorder, kScan), StatusText(kScan, 1, 0));
  // No temporary folder and no decryption: the kinds read the stored files
  // as they are. (The samples folder is checked unchanged after the suite.)
  EXPECT_TRUE(Requests(recorder, "LIBMODEL_VEXA_DECRYPT_MANIFEST").empty());
  EXPECT_TRUE(Requests(recorder, kDecryptFile).empty());
  EXPECT_EQ(TreeSnapshot(temp.Path()).find('\n'), TreeSnapshot(temp.Path()).rfind('\n'));
}

TEST(KeldraSendUnlock, UnlocksFirstAndNeverPrintsThePassword) {
  TempFolder root;
  ASSERT_EQ(MakeBackup({root / "b", "--content", "skeleton", "--encrypt", "hunter2", "--iterations",
                        "2,2"}),
            0);
  mkdir((root / "tmp").c_str(), 0700);
  // The unlock goes first, and a refused one fails the scan.
  for (const auto& [password, unlocked, scanned] :
       {std::tuple("hunter2", StatusText(kUnlock, 1, 0), StatusText(kScan, 1, 0)),
        std::tuple("hunter3", StatusText(kUnlock, 6, 1), StatusText(kScan, 6, 0))}) {
    std::string out = testing_support::RunKeldra({"send", "--temp-dir", root / "tmp", "--unlock",
                                                  password, kScan, ScanPayload(root / "b", "[0]")})
                          .out;
    EXPECT_THAT(out, testing::StartsWith(
                         "{\"event\":\"request\",\"target\":\"LIBMODEL_VEXA_UNLOCK_WITH_PASSWORD\","
                         "\"subCommand\":null,\"taskId\":null,\"payload\":{\"backupDir\":" +
                         Quoted(root / "b") + ",\"password\":\"<redacted>\"},\"answered\":"));
    EXPECT_THAT(out, testing::HasSubstr(unlocked));
    EXPECT_THAT(out, testing::HasSubstr(scanned));
    EXPECT_THAT(out, testing::Not(testing::HasSubstr(password)));
  }
}

}  // namespace
