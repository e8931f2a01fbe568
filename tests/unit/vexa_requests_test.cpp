// The decrypt module's requests, sent straight to its receive function with
// builder-made encrypted backups: what is answered, what is refused, and that
// nothing is ever written outside the folder a request allows.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "UnlockedBackup.h"
#include "Vexa.h"
#include "builder/BackupBuilder.h"
#include "builder/Encryption.h"
#include "common/Sqlite.h"
#include "keldra/Names.h"
#include "support/TestSupport.h"
#include "vorn/Json.h"

namespace {

using builder::BackupBuilder;
using builder::ManifestEntry;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::TreeSnapshot;
using testing_support::WriteFile;
namespace names = keldra::names;

constexpr char kPassword[] = "correct horse";

struct Answer {
  bool present = false;
  int64_t code = 0;
  uint32_t form = 0;
  std::string path;   // form 0
  std::string bytes;  // form 2
};

// Sends one request as the keldra module would (a document, form 1).
Answer Ask(const char* target, const std::vector<std::pair<const char*, std::string>>& members) {
  rapidjson::Document request(rapidjson::kObjectType);
  for (const auto& [name, value] : members)
    request.AddMember(
        rapidjson::StringRef(name),
        rapidjson::Value(value.c_str(), static_cast<rapidjson::SizeType>(value.size()),
                         request.GetAllocator()),
        request.GetAllocator());
  PluginMessage message{};
  message.target = target;
  message.payloadForm = kPayloadDocument;
  message.payload = &request;
  vexa::ReceiveRequest(&message);
  Answer answer;
  answer.present = message.replyPresent != 0;
  answer.code = message.replyCode;
  answer.form = message.payloadForm;
  if (answer.present && message.payloadForm == kPayloadText && message.replyData) {
    answer.path = static_cast<char*>(message.replyData);
    std::free(message.replyData);
  } else if (answer.present && message.payloadForm == kPayloadData && message.replyData) {
    std::unique_ptr<std::string> bytes(static_cast<std::string*>(message.replyData));
    answer.bytes = *bytes;
  }
  return answer;
}

Answer Unlock(const std::string& folder, const std::string& password = kPassword) {
  return Ask(names::kVexaUnlockWithPassword, {{"backupDir", folder}, {"password", password}});
}

int FileMode(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

std::string Pattern(size_t length, int seed) {
  std::string bytes(length, '\0');
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
  return bytes;
}

// One encrypted backup with a file of every shape, its temporary folder, and
// the plaintexts by file id.
struct Fixture {
  TempFolder root;
  std::string folder = root / "backup/";
  std::string tempDir = root / "tmp/";
  std::map<std::string, std::string> plain;  // id -> content
  std::string directoryId, symlinkId, missingId, deviceOnlyId, badPaddingId, badLengthId;

  explicit Fixture(builder::EncryptionOptions encryption = {},
                   builder::ManifestFormat format = builder::ManifestFormat::kDb,
                   std::function<void(BackupBuilder&)> edit = nullptr) {
    mkdir(tempDir.c_str(), 0700);
    builder::BackupOptions options;
    options.isEncrypted = true;
    options.manifest = format;
    BackupBuilder backup(folder, options);
    if (encryption.password.empty()) encryption.password = kPassword;
    backup.SetProtector(std::make_unique<builder::Encryption>(encryption));
    if (edit) edit(backup);
    auto add = [&](const std::string& path, const std::string& content, int protectionClass) {
      ManifestEntry entry;
      entry.domain = "HomeDomain";
      entry.relativePath = path;
      entry.protectionClass = protectionClass;
      std::string id = backup.AddEntryWithContent(entry, content);
      plain[id] = content;
      return id;
    };
    add("Library/SMS/sms.db", "SQLite format 3" + std::string(1, '\0') + Pattern(5000, 1), 3);
    add("Library/Notes/empty.txt", "", 3);
    add("Library/Preferences/block.plist", Pattern(32, 2), 1);  // a whole padding block
    add("Library/Preferences/none.plist", Pattern(70001, 3), 4);
    add("Library/Preferences/unless-open.plist", Pattern(17, 4), 2);
    deviceOnlyId = add("Library/Keychains/item", Pattern(40, 5), 7);
    badPaddingId = add("Library/damaged/padding", Pattern(64, 6), 3);
    badLengthId = add("Library/damaged/length", Pattern(64, 7), 3);
    backup.AddDirectory("HomeDomain", "Library/Preferences");
    directoryId = builder::BackupBuilder::FileID("HomeDomain", "Library/Preferences");
    backup.AddSymlink("HomeDomain", "Library/link", "/var/mobile/elsewhere");
    symlinkId = builder::BackupBuilder::FileID("HomeDomain", "Library/link");
    missingId = backup.AddManifestEntry("HomeDomain", "Library/missing.db", builder::kFlagFile);
    backup.Finish();
    plain.erase(deviceOnlyId);
    // 64 bytes end in a whole block of padding (sixteen 0x10); in CBC, flipping
    // a bit of the block before flips the same bit of it: its last byte
    // becomes 0, which no padding allows.
    Damage(badPaddingId, [](std::string& bytes) { bytes[bytes.size() - 17] ^= 0x10; });
    Damage(badLengthId, [](std::string& bytes) { bytes.pop_back(); });
    plain.erase(badPaddingId);
    plain.erase(badLengthId);
  }

  bool Subfolders() const { return FileMode(folder + "Manifest.db") >= 0; }
  std::string Stored(const std::string& id) const {
    return Subfolders() ? folder + id.substr(0, 2) + "/" + id : folder + id;
  }
  void Damage(const std::string& id, const std::function<void(std::string&)>& change) {
    std::string bytes = ReadFile(Stored(id));
    change(bytes);
    WriteFile(Stored(id), bytes);
  }
  Answer OnDemand(const std::string& id, const std::string& temp = "") const {
    return Ask(names::kVexaDecryptFile, {{"backupDir", folder},
                                         {"tempDir", temp.empty() ? tempDir : temp},
                                         {"encryptFilePath", Stored(id)}});
  }
  Answer Export(const std::string& path, const std::string& destination) const {
    return Ask(
        names::kVexaDecryptFile,
        {{"backupDir", folder}, {"encryptFilePath", path}, {"decryptFilePath", destination}});
  }
  Answer Manifest(const std::string& temp = "") const {
    return Ask(names::kVexaDecryptManifest,
               {{"backupDir", folder}, {"tempDir", temp.empty() ? tempDir : temp}});
  }
};

int64_t CountRows(const std::string& database) {
  keldra::sqlite::Statement statement =
      keldra::sqlite::Prepare(keldra::sqlite::OpenReadOnly(database), "SELECT count(*) FROM Files");
  return statement && sqlite3_step(statement.get()) == SQLITE_ROW
             ? keldra::sqlite::Int64(statement.get(), 0)
             : -1;
}

TEST(VexaUnlock, AnswersTheRightPasswordAndTellsWrongFromUnreadable) {
  Fixture backup;
  Answer wrong = Unlock(backup.folder, "incorrect horse");
  EXPECT_FALSE(wrong.present);
  EXPECT_EQ(wrong.code, 1);
  EXPECT_FALSE(backup.Manifest().present) << "a refused unlock unlocks nothing";

  // Without its trailing separator the folder is the same backup.
  std::string bare = backup.folder.substr(0, backup.folder.size() - 1);
  EXPECT_TRUE(Unlock(bare).present);
  EXPECT_TRUE(backup.Manifest().present);
  EXPECT_TRUE(Unlock(backup.folder, "still wrong").code == 1);
  EXPECT_TRUE(backup.Manifest().present) << "a later wrong password leaves the unlock standing";

  TempFolder other;
  BackupBuilder plainBackup(other / "plain");
  plainBackup.AddFile("HomeDomain", "a", "b");
  plainBackup.Finish();
  for (const std::string& folder : {other / "plain", other / "missing", std::string("")}) {
    Answer refused = Unlock(folder);
    EXPECT_FALSE(refused.present);
    EXPECT_EQ(refused.code, 2) << folder;
  }
  EXPECT_EQ(Ask(names::kVexaUnlockWithPassword, {{"backupDir", backup.folder}}).code, 2);
}

TEST(VexaUnlock, ABackupRewrittenInTheSameFolderIsUnlockedAfresh) {
  Fixture backup;
  const std::string id = backup.plain.begin()->first;
  ASSERT_TRUE(Unlock(backup.folder).present);
  ASSERT_TRUE(Unlock(backup.folder).present) << "unlocked again with the same password";
  EXPECT_TRUE(backup.OnDemand(id).present);

  // New keybag, new keys, new manifest, same folder and same plaintexts.
  Fixture rewritten(builder::EncryptionOptions{"second"});
  std::filesystem::remove_all(backup.folder);
  std::filesystem::copy(rewritten.folder, backup.folder, std::filesystem::copy_options::recursive);
  EXPECT_EQ(Unlock(backup.folder).code, 1);
  ASSERT_TRUE(Unlock(backup.folder, "second").present);
  Answer copy = backup.OnDemand(id);
  ASSERT_TRUE(copy.present);
  EXPECT_TRUE(ReadFile(copy.path) == backup.plain[id]);
}

TEST(VexaUnlock, DamagedManifestPlistIsUnreadableNotAWrongPassword) {
  using Edit = std::function<void(plist_t)>;
  auto setData = [](const char* key, std::function<void(std::string&)> change) -> Edit {
    return [key, change](plist_t manifest) {
      plist_t node = plist_dict_get_item(manifest, key);
      char* bytes = nullptr;
      uint64_t length = 0;
      plist_get_data_val(node, &bytes, &length);
      std::string data(bytes, length);
      std::free(bytes);
      change(data);
      plist_dict_set_item(manifest, key, plist_new_data(data.data(), data.size()));
    };
  };
  std::vector<Edit> edits = {
      setData("BackupKeyBag", [](std::string& bag) { bag.resize(bag.size() - 7); }),
      setData("BackupKeyBag", [](std::string& bag) { bag.resize(60); }),
      setData("ManifestKey", [](std::string& key) { key.resize(40); }),
      setData("ManifestKey", [](std::string& key) { key[0] = 9; }),  // a device-bound class
      setData("ManifestKey", [](std::string& key) { key[20] ^= 1; }),
      [](plist_t manifest) { plist_dict_remove_item(manifest, "BackupKeyBag"); },
  };
  for (size_t i = 0; i < edits.size(); ++i) {
    Fixture backup({}, builder::ManifestFormat::kDb,
                   [&](BackupBuilder& b) { b.EditPlist(builder::PlistFile::kManifest, edits[i]); });
    Answer answer = Unlock(backup.folder);
    EXPECT_FALSE(answer.present) << "edit " << i;
    EXPECT_EQ(answer.code, 2) << "edit " << i;
  }
}

// Twice: with the manifest's file keys looked up in memory, and with a limit
// that sends them through a deciphered copy in the temporary folder, as a
// manifest over 1 GiB goes; that copy must not outlive the lookups' start.
class VexaManifestIndex : public testing::TestWithParam<uint64_t> {
 protected:
  void SetUp() override { vexa::SetManifestInMemoryLimit(GetParam()); }
  void TearDown() override { vexa::SetManifestInMemoryLimit(vexa::kMaxManifestInMemory); }
};
INSTANTIATE_TEST_SUITE_P(InMemoryAndOnDisk, VexaManifestIndex,
                         testing::Values(vexa::kMaxManifestInMemory, 0));

TEST_P(VexaManifestIndex, DecryptsIntoTheTemporaryFolderAndExportsAsAFileOrBytes) {
  Fixture backup;
  EXPECT_FALSE(backup.Manifest().present) << "not unlocked yet";
  EXPECT_FALSE(backup.OnDemand(backup.plain.begin()->first).present);
  ASSERT_TRUE(Unlock(backup.folder).present);

  // As a scan or an export does first; it names the run's temporary folder.
  Answer manifest = backup.Manifest();
  ASSERT_TRUE(manifest.present);
  EXPECT_EQ(manifest.path, backup.tempDir + "Manifest.db");
  EXPECT_EQ(FileMode(manifest.path), 0600);
  EXPECT_EQ(CountRows(manifest.path), 11);

  TempFolder out;
  for (const auto& [id, content] : backup.plain) {
    Answer copy = backup.OnDemand(id);
    ASSERT_TRUE(copy.present) << id;
    EXPECT_EQ(copy.path, backup.tempDir + id);
    EXPECT_EQ(FileMode(copy.path), 0600);
    EXPECT_TRUE(ReadFile(copy.path) == content) << id;
    // Asked again, the copy is made again, in place.
    EXPECT_TRUE(backup.OnDemand(id).present);

    Answer bytes = backup.Export(backup.Stored(id), "");
    ASSERT_TRUE(bytes.present && bytes.form == kPayloadData) << id;
    EXPECT_TRUE(bytes.bytes == content) << id;

    std::string destination = out / id + ".out";
    Answer file = backup.Export(backup.Stored(id), destination);
    ASSERT_TRUE(file.present) << id;
    EXPECT_EQ(file.form, 0u);
    EXPECT_EQ(file.path, destination);
    EXPECT_EQ(FileMode(destination), 0600);
    EXPECT_TRUE(ReadFile(destination) == content) << id;
    // Never over an existing file.
    EXPECT_FALSE(backup.Export(backup.Stored(id), destination).present);
    EXPECT_TRUE(ReadFile(destination) == content);
  }
  // A temporary folder given without its separator is the same folder.
  std::string id = backup.plain.begin()->first;
  EXPECT_EQ(backup.OnDemand(id, backup.tempDir.substr(0, backup.tempDir.size() - 1)).path,
            backup.tempDir + id);
  for (const auto& entry : std::filesystem::directory_iterator(backup.tempDir)) {
    std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "Manifest.db" || backup.plain.count(name)) << "a stray " << name;
  }
  EXPECT_FALSE(backup.Export(backup.Stored(id), out / "no-such-folder/x").present);
  EXPECT_FALSE(backup.Export(backup.Stored(id), backup.folder + "exported").present)
      << "never into the backup";
  EXPECT_FALSE(testing_support::TreeSnapshot(backup.folder).find("exported") != std::string::npos);

  // Answers in memory stay bounded: a stored file larger than the bound is
  // refused before anything is read (the blob is sparse).
  ASSERT_EQ(truncate(backup.Stored(id).c_str(), (off_t{300} << 20)), 0);
  EXPECT_FALSE(backup.Export(backup.Stored(id), "").present);
}

TEST(VexaRequests, RowsWithoutContentOrWithDamageAreRefusedAndLeaveNothing) {
  Fixture backup;
  ASSERT_TRUE(Unlock(backup.folder).present);
  const std::string notListed = "0123456789abcdef0123456789abcdef01234567";
  for (const std::string& id :
       {backup.directoryId, backup.symlinkId, backup.missingId, backup.deviceOnlyId,
        backup.badPaddingId, backup.badLengthId, notListed}) {
    EXPECT_FALSE(backup.OnDemand(id).present) << id;
    EXPECT_FALSE(backup.Export(backup.Stored(id), "").present) << id;
    EXPECT_FALSE(backup.Export(backup.Stored(id), backup.tempDir + "export-" + id).present) << id;
  }
  // No partial output and no staging file is left behind.
  EXPECT_EQ(TreeSnapshot(backup.tempDir).find('\n'), TreeSnapshot(backup.tempDir).rfind('\n'))
      << TreeSnapshot(backup.tempDir);
}

TEST(VexaRequests, NothingIsWrittenOutsideTheTemporaryFolder) {
  Fixture backup;
  ASSERT_TRUE(Unlock(backup.folder).present);
  mkdir((backup.root / "open").c_str(), 0700);
  chmod((backup.root / "open").c_str(), 01777);
  mkdir((backup.root / "readable").c_str(), 0700);
  chmod((backup.root / "readable").c_str(), 0755);
  WriteFile(backup.root / "file", "x");
  symlink(backup.tempDir.c_str(), (backup.root / "link").c_str());
  std::string before = TreeSnapshot(backup.root.Path());
  std::string id = backup.plain.begin()->first;
  for (const std::string& temp :
       {std::string("tmp/"), backup.root / "tmp/../open/", backup.root / "open/",
        backup.root / "readable/", backup.root / "file", backup.root / "link/", backup.folder,
        backup.folder + id.substr(0, 2) + "/", backup.root / "missing/", std::string("/")}) {
    EXPECT_FALSE(backup.OnDemand(id, temp).present) << temp;
    EXPECT_FALSE(backup.Manifest(temp).present) << temp;
  }
  for (const std::string& path :
       {backup.folder + "../backup/" + id.substr(0, 2) + "/" + id,
        backup.folder + id.substr(0, 2) + "/../" + id.substr(0, 2) + "/" + id, backup.folder + id,
        backup.folder + "Manifest.db", std::string("/etc/passwd"),
        backup.folder + "../../../../../../etc/passwd"}) {
    EXPECT_FALSE(
        Ask(names::kVexaDecryptFile,
            {{"backupDir", backup.folder}, {"tempDir", backup.tempDir}, {"encryptFilePath", path}})
            .present)
        << path;
  }
  // A NUL inside a path would cut it short after the checks.
  std::string cut = backup.tempDir + std::string(1, '\0') + "x";
  EXPECT_FALSE(backup.OnDemand(id, cut).present);
  EXPECT_EQ(TreeSnapshot(backup.root.Path()), before);
}

TEST(VexaRequests, OlderGenerationsUnlockWithTheSha1StageAlone) {
  builder::EncryptionOptions plainManifest;
  plainManifest.plainManifestDb = true;
  Fixture db(plainManifest);
  Fixture legacy({}, builder::ManifestFormat::kMbdb);
  for (Fixture* backup : {&db, &legacy}) {
    ASSERT_TRUE(Unlock(backup->folder).present);
    EXPECT_EQ(Unlock(backup->folder, "nope").code, 1);
    for (const auto& [id, content] : backup->plain) {
      Answer copy = backup->OnDemand(id);
      ASSERT_TRUE(copy.present) << id;
      EXPECT_TRUE(ReadFile(copy.path) == content) << id;
    }
    EXPECT_FALSE(backup->OnDemand(backup->directoryId).present);
    EXPECT_FALSE(backup->OnDemand(backup->badPaddingId).present);
  }
  Answer copied = db.Manifest();
  ASSERT_TRUE(copied.present) << "a readable Manifest.db is copied";
  EXPECT_EQ(ReadFile(copied.path), ReadFile(db.folder + "Manifest.db"));
  EXPECT_FALSE(legacy.Manifest().present) << "a legacy backup has no Manifest.db";
}

TEST(VexaRequests, AGarbledManifestDbIsRefusedNotTrusted) {
  Fixture backup;
  WriteFile(backup.folder + "Manifest.db", Pattern(4096, 9));
  ASSERT_TRUE(Unlock(backup.folder).present) << "the keys are in Manifest.plist";
  EXPECT_FALSE(backup.Manifest().present);
  EXPECT_FALSE(backup.OnDemand(backup.plain.begin()->first).present);
}

TEST(VexaRequests, SeveralThreadsAtOnce) {
  Fixture first;
  Fixture second;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t]() {
      Fixture& backup = t % 2 ? first : second;
      if (!Unlock(backup.folder).present) ++failures;
      for (const auto& [id, content] : backup.plain) {
        Answer bytes = backup.Export(backup.Stored(id), "");
        if (!bytes.present || bytes.bytes != content) ++failures;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
