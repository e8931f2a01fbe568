// One backup opened with its password: the class keys unwrapped from its
// keybag, the Manifest.db key when the backup has one, and (on first use)
// the index of per-file keys. Shared by every thread that asks for the same
// backup folder.
#ifndef VEXA_UNLOCKEDBACKUP_H_
#define VEXA_UNLOCKEDBACKUP_H_

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "FileDecryptor.h"
#include "KeyIndex.h"
#include "SecureBytes.h"

namespace keldra {
struct RegularFile;
}

namespace vexa {

// replyCode of a refused unlock.
inline constexpr int64_t kUnlockWrongPassword = 1;  // the key unwrap check failed
inline constexpr int64_t kUnlockUnreadable = 2;     // not an encrypted backup this module can read

// A decrypted Manifest.db up to this size is held in memory to look file keys
// up; a larger one is deciphered into the run's temporary folder instead.
inline constexpr uint64_t kMaxManifestInMemory = uint64_t{1} << 30;
// The size in force (kMaxManifestInMemory unless changed, for instance so
// that a small manifest takes the on-disk path).
uint64_t ManifestInMemoryLimit();
void SetManifestInMemoryLimit(uint64_t bytes);

class UnlockedBackup {
 public:
  // Unlocks the backup in `folder` (ending in a separator). On success the
  // state; otherwise null with `code` set to one of the codes above.
  // `previous`, the state an earlier unlock of the folder left, is reused
  // without deriving again when the keybag is unchanged and the password is
  // the same (its file-key index is rebuilt on next use).
  static std::shared_ptr<UnlockedBackup> Unlock(const std::string& folder,
                                                const SecureBytes& password, int64_t& code,
                                                const std::shared_ptr<UnlockedBackup>& previous);

  const std::string& Folder() const { return folder_; }
  // Manifest.db backups keep stored files in "xx/" subfolders; legacy ones flat.
  bool HasManifestDb() const { return manifestDb_; }

  // Writes the plaintext of Manifest.db (decrypted, or copied when the backup
  // left it plain) to `sink`; false when it cannot be read, does not decrypt
  // or is not an SQLite database.
  bool WriteManifestDb(ByteSink& sink) const;

  // The stored file's row; nullopt when there is none or no index can be had.
  std::optional<StoredFileKey> FindFile(const std::string& fileId);
  // The run's temporary folder (ending in "/"), where a manifest too large
  // for memory is deciphered to be indexed.
  void UseScratchFolder(const std::string& folder);

  // The file key in `blob` (LE32 class, then the 40-byte wrap), tried with
  // the class the row records and then, if it differs, the blob's own.
  std::optional<SecureBytes> UnwrapFileKey(std::string_view blob, int64_t recordedClass,
                                           const std::string& fileId) const;

  UnlockedBackup(const UnlockedBackup&) = delete;
  UnlockedBackup& operator=(const UnlockedBackup&) = delete;

 private:
  UnlockedBackup() = default;
  const SecureBytes* ClassKey(int64_t protectionClass) const;
  std::unique_ptr<KeyIndex> OpenIndex(const std::string& scratchFolder) const;
  std::unique_ptr<KeyIndex> OpenIndexOnDisk(const keldra::RegularFile& file,
                                            const std::string& scratchFolder) const;
  void ForgetIndex();

  // SHA-256 of the keybag and the manifest key as Manifest.plist holds them.
  std::string keysFingerprint_;
  // HMAC-SHA256 of the password under a key made for this process: enough to
  // recognise the password again, useless anywhere else.
  SecureBytes passwordTag_;

  std::string folder_;
  bool manifestDb_ = true;
  std::map<uint32_t, SecureBytes> classKeys_;  // only classes usable off the device
  std::optional<SecureBytes> manifestKey_;     // when Manifest.db is encrypted

  std::mutex indexMutex_;  // guards the members below and every Find
  std::unique_ptr<KeyIndex> index_;
  bool indexTried_ = false;
  std::string scratchFolder_;
};

}  // namespace vexa

#endif  // VEXA_UNLOCKEDBACKUP_H_
