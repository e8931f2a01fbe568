#include "UnlockedBackup.h"

#include <glog/logging.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "KeyDerivation.h"
#include "KeyWrap.h"
#include "common/StoredFile.h"
#include "formats/ByteOrder.h"
#include "formats/Keybag.h"
#include "mivo/PlistUtil.h"

namespace vexa {
namespace {

constexpr size_t kWrappedKeyBlob = 44;  // LE32 class + RFC 3394 wrap of 32 bytes
constexpr size_t kWrappedKey = 40;
constexpr uint32_t kBackupKeybagType = 1;
constexpr char kSqliteMagic[] = "SQLite format 3";  // with its NUL: 16 bytes

bool Exists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

// Passes bytes on while checking that they begin with SQLite's header.
class SqliteMagicCheck : public ByteSink {
 public:
  explicit SqliteMagicCheck(ByteSink& next) : next_(next) {}
  bool Write(const uint8_t* data, size_t count) override {
    for (size_t i = 0; i < count && seen_ < sizeof kSqliteMagic; ++i, ++seen_)
      if (data[i] != static_cast<uint8_t>(kSqliteMagic[seen_])) mismatch_ = true;
    return !mismatch_ && next_.Write(data, count);
  }
  bool Matched() const { return !mismatch_ && seen_ == sizeof kSqliteMagic; }

 private:
  ByteSink& next_;
  size_t seen_ = 0;
  bool mismatch_ = false;
};

// Buffers the plaintext of a manifest for the in-memory index.
class SecureSink : public ByteSink {
 public:
  explicit SecureSink(uint64_t capacity) : bytes_(static_cast<size_t>(capacity)) {}
  bool Write(const uint8_t* data, size_t count) override {
    if (count > bytes_.size() - used_) return false;
    std::memcpy(bytes_.data() + used_, data, count);
    used_ += count;
    return true;
  }
  SecureBytes Take() {
    bytes_.Truncate(used_);
    return std::move(bytes_);
  }

 private:
  SecureBytes bytes_;
  size_t used_ = 0;
};

std::string Sha256(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    return std::string();
  return std::string(reinterpret_cast<char*>(digest), length);
}

SecureBytes ProcessKey() {
  SecureBytes key(32);
  if (RAND_bytes(key.data(), static_cast<int>(key.size())) != 1) key.Clear();
  return key;
}

SecureBytes PasswordTag(const SecureBytes& password) {
  static const SecureBytes kProcessKey = ProcessKey();
  SecureBytes tag(EVP_MAX_MD_SIZE);
  unsigned int length = 0;
  static const uint8_t kEmpty = 0;
  if (kProcessKey.empty() ||
      !HMAC(EVP_sha256(), kProcessKey.data(), static_cast<int>(kProcessKey.size()),
            password.empty() ? &kEmpty : password.data(), password.size(), tag.data(), &length))
    return SecureBytes();
  tag.Truncate(length);
  return tag;
}

std::atomic<uint64_t> manifestInMemoryLimit{kMaxManifestInMemory};

}  // namespace

uint64_t ManifestInMemoryLimit() {
  return manifestInMemoryLimit.load();
}

void SetManifestInMemoryLimit(uint64_t bytes) {
  manifestInMemoryLimit.store(bytes);
}

std::shared_ptr<UnlockedBackup> UnlockedBackup::Unlock(
    const std::string& folder, const SecureBytes& password, int64_t& code,
    const std::shared_ptr<UnlockedBackup>& previous) {
  code = kUnlockUnreadable;
  PlistPtr manifest = PlistUtil::ReadPlistOwned(folder + "Manifest.plist");
  if (!manifest) {
    LOG(WARNING) << "unlock: no readable Manifest.plist in " << folder;
    return nullptr;
  }
  if (!PlistUtil::GetBool(manifest.get(), "IsEncrypted").value_or(false)) {
    LOG(WARNING) << "unlock: the backup in " << folder << " is not encrypted";
    return nullptr;
  }
  std::optional<std::string> keybagBytes = PlistUtil::GetData(manifest.get(), "BackupKeyBag");
  std::optional<std::string> manifestKey = PlistUtil::GetData(manifest.get(), "ManifestKey");
  std::string fingerprint =
      Sha256(keybagBytes.value_or("") + "|" + (manifestKey ? "1" + *manifestKey : "0"));
  SecureBytes tag = PasswordTag(password);
  if (previous && !fingerprint.empty() && previous->keysFingerprint_ == fingerprint &&
      !tag.empty() && previous->passwordTag_.size() == tag.size() &&
      CRYPTO_memcmp(previous->passwordTag_.data(), tag.data(), tag.size()) == 0) {
    previous->ForgetIndex();  // the manifest may have changed since
    code = 0;
    return previous;
  }
  std::string error;
  std::optional<Keybag> keybag =
      keybagBytes ? ParseKeybag(*keybagBytes, &error) : std::optional<Keybag>();
  if (!keybag) {
    LOG(WARNING) << "unlock: corrupt keybag in " << folder << ": "
                 << (keybagBytes ? error : "BackupKeyBag missing");
    return nullptr;
  }
  if (keybag->type != kBackupKeybagType)
    LOG(WARNING) << "unlock: keybag type " << keybag->type << " where 1 belongs";

  std::shared_ptr<UnlockedBackup> backup(new UnlockedBackup());
  backup->folder_ = folder;
  backup->keysFingerprint_ = fingerprint;
  backup->passwordTag_ = std::move(tag);
  if (Exists(folder + "Manifest.db")) {
    backup->manifestDb_ = true;
  } else if (Exists(folder + "Manifest.mbdb")) {
    backup->manifestDb_ = false;
  } else {
    LOG(WARNING) << "unlock: no manifest in " << folder;
    return nullptr;
  }

  std::optional<SecureBytes> kek = DeriveKeyEncryptionKey(password, *keybag);
  if (!kek) return nullptr;
  size_t tried = 0;
  size_t unwrapped = 0;
  std::string failedClasses;
  for (const KeybagClass& entry : keybag->classes) {
    if (!(entry.wrap & kWrapPasscode) || entry.keyType != 0) continue;  // needs the device
    if (entry.wrappedKey.size() != kWrappedKey) {
      LOG(WARNING) << "unlock: class " << entry.protectionClass << " has an unsupported key";
      continue;
    }
    ++tried;
    std::optional<SecureBytes> key = UnwrapKey(*kek, entry.wrappedKey);
    if (!key) {
      failedClasses += " " + std::to_string(entry.protectionClass);
      continue;
    }
    ++unwrapped;
    // Classes also wrapped with the device key stay encrypted under it.
    if (entry.wrap == kWrapPasscode)
      backup->classKeys_.emplace(entry.protectionClass, std::move(*key));
  }
  if (tried == 0) {
    LOG(WARNING) << "unlock: the keybag of " << folder << " has no password-wrapped class";
    return nullptr;
  }
  if (unwrapped == 0) {
    LOG(INFO) << "unlock: wrong password for " << folder;
    code = kUnlockWrongPassword;
    return nullptr;
  }
  // With the right password, a class that does not unwrap is damaged; its
  // files stay unreadable, the others decrypt.
  if (!failedClasses.empty())
    LOG(WARNING) << "unlock: keys of classes" << failedClasses << " do not unwrap";

  if (manifestKey) {
    if (!backup->manifestDb_ || manifestKey->size() != kWrappedKeyBlob) {
      LOG(WARNING) << "unlock: unusable ManifestKey in " << folder;
      return nullptr;
    }
    uint32_t keyClass = static_cast<uint32_t>(
        keldra::ReadLittleEndian(reinterpret_cast<const uint8_t*>(manifestKey->data()), 4));
    const SecureBytes* classKey = backup->ClassKey(keyClass);
    std::optional<SecureBytes> key =
        classKey ? UnwrapKey(*classKey, std::string_view(*manifestKey).substr(4)) : std::nullopt;
    if (!key || key->size() != kKeyLength) {
      LOG(WARNING) << "unlock: the ManifestKey of " << folder << " does not unwrap";
      return nullptr;
    }
    backup->manifestKey_ = std::move(*key);
  }
  code = 0;
  return backup;
}

const SecureBytes* UnlockedBackup::ClassKey(int64_t protectionClass) const {
  if (protectionClass < 0 || protectionClass > UINT32_MAX) return nullptr;
  auto found = classKeys_.find(static_cast<uint32_t>(protectionClass));
  return found == classKeys_.end() ? nullptr : &found->second;
}

bool UnlockedBackup::WriteManifestDb(ByteSink& sink) const {
  if (!manifestDb_) return false;
  std::optional<keldra::RegularFile> file = keldra::OpenRegularFile(folder_ + "Manifest.db");
  if (!file) return false;
  SqliteMagicCheck check(sink);
  FdSource source(file->fd.get());
  DecryptResult result = manifestKey_ ? DecryptCbc(source, file->size, *manifestKey_, check)
                                      : CopyStream(source, file->size, check);
  if (!check.Matched()) {
    LOG(WARNING) << "Manifest.db of " << folder_ << " does not decrypt to an SQLite database";
    return false;
  }
  if (!result.ok()) {
    LOG(WARNING) << "Manifest.db of " << folder_ << ": " << DescribeStatus(result.status);
    return false;
  }
  return true;
}

std::unique_ptr<KeyIndex> UnlockedBackup::OpenIndex(const std::string& scratchFolder) const {
  if (!manifestDb_) return OpenLegacyIndex(folder_ + "Manifest.mbdb");
  if (!manifestKey_) return OpenDbIndexFile(folder_ + "Manifest.db");
  std::optional<keldra::RegularFile> file = keldra::OpenRegularFile(folder_ + "Manifest.db");
  if (!file) return nullptr;
  if (file->size > ManifestInMemoryLimit()) return OpenIndexOnDisk(*file, scratchFolder);
  SecureSink plain(file->size);
  SqliteMagicCheck check(plain);
  FdSource source(file->fd.get());
  DecryptResult result = DecryptCbc(source, file->size, *manifestKey_, check);
  if (!result.ok() || !check.Matched()) {
    LOG(WARNING) << "Manifest.db of " << folder_ << " cannot be decrypted: "
                 << (result.ok() ? "not an SQLite database" : DescribeStatus(result.status));
    return nullptr;
  }
  return OpenDbIndexInMemory(plain.Take());
}

// The plaintext goes to a private file of the temporary folder that loses its
// name as soon as SQLite has it open: it is gone when the index goes, even
// if the process is killed.
std::unique_ptr<KeyIndex> UnlockedBackup::OpenIndexOnDisk(const keldra::RegularFile& file,
                                                          const std::string& scratchFolder) const {
  if (scratchFolder.empty()) {
    LOG(WARNING) << "Manifest.db of " << folder_
                 << " is too large to index in memory and no temporary folder was given";
    return nullptr;
  }
  std::string path = scratchFolder + ".manifest-index-XXXXXX";
  keldra::UniqueFd plainFd(mkstemp(&path[0]));  // 0600
  if (plainFd.get() < 0) {
    LOG(WARNING) << "cannot create a file in " << scratchFolder << " to index Manifest.db";
    return nullptr;
  }
  FdSink plain(plainFd.get());
  SqliteMagicCheck check(plain);
  FdSource source(file.fd.get());
  DecryptResult result = DecryptCbc(source, file.size, *manifestKey_, check);
  std::unique_ptr<KeyIndex> index;
  if (!result.ok() || !check.Matched()) {
    LOG(WARNING) << "Manifest.db of " << folder_ << " cannot be decrypted: "
                 << (result.ok() ? "not an SQLite database" : DescribeStatus(result.status));
  } else {
    index = OpenDbIndexFile(path);
  }
  unlink(path.c_str());
  return index;
}

void UnlockedBackup::UseScratchFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(indexMutex_);
  scratchFolder_ = folder;
}

void UnlockedBackup::ForgetIndex() {
  std::lock_guard<std::mutex> lock(indexMutex_);
  index_.reset();
  indexTried_ = false;
}

std::optional<StoredFileKey> UnlockedBackup::FindFile(const std::string& fileId) {
  std::lock_guard<std::mutex> lock(indexMutex_);
  if (!indexTried_) {
    indexTried_ = true;
    index_ = OpenIndex(scratchFolder_);
  }
  if (!index_) return std::nullopt;
  return index_->Find(fileId);
}

std::optional<SecureBytes> UnlockedBackup::UnwrapFileKey(std::string_view blob,
                                                         int64_t recordedClass,
                                                         const std::string& fileId) const {
  if (blob.size() != kWrappedKeyBlob) {
    LOG(WARNING) << "file " << fileId << ": its key is " << blob.size() << " bytes, not 44";
    return std::nullopt;
  }
  uint32_t prefixClass = static_cast<uint32_t>(
      keldra::ReadLittleEndian(reinterpret_cast<const uint8_t*>(blob.data()), 4));
  std::string_view wrapped = blob.substr(4);
  if (recordedClass >= 0 && recordedClass != prefixClass)
    LOG(WARNING) << "file " << fileId << ": protection class " << recordedClass
                 << " but its key names class " << prefixClass;
  for (int64_t candidate : {recordedClass, static_cast<int64_t>(prefixClass)}) {
    const SecureBytes* classKey = ClassKey(candidate);
    if (!classKey) continue;
    std::optional<SecureBytes> key = UnwrapKey(*classKey, wrapped);
    if (key && key->size() == kKeyLength) return key;
  }
  LOG(WARNING) << "file " << fileId << ": its key cannot be unwrapped (class " << prefixClass
               << " unavailable or damaged)";
  return std::nullopt;
}

}  // namespace vexa
