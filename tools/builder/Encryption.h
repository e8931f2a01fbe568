// Writes a backup encrypted the way a device does, with a password chosen by
// the caller: a keybag of class keys wrapped under the password-derived key,
// a fresh key per stored file (wrapped under its protection class's key and
// carried in the file's manifest row), and for Manifest.db backups a
// ManifestKey that encrypts the whole Manifest.db.
//
//   BackupOptions options;
//   options.isEncrypted = true;
//   BackupBuilder backup(folder, options);
//   backup.SetProtector(std::make_unique<Encryption>(EncryptionOptions{"secret"}));
//
// Iteration counts default to small values so tests unlock in microseconds;
// the production counts are below. Legacy (Manifest.mbdb) backups derive
// with the SHA-1 stage alone, as the devices that wrote them did.
#ifndef KELDRA_BUILDER_ENCRYPTION_H_
#define KELDRA_BUILDER_ENCRYPTION_H_

#include <openssl/evp.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "builder/BackupBuilder.h"

namespace builder {

inline constexpr uint32_t kProductionPasscodeIterations = 10'000'000;  // DPIC, SHA-256 stage
inline constexpr uint32_t kProductionIterations = 10'000;              // ITER, SHA-1 stage

struct EncryptionOptions {
  std::string password;
  uint32_t passcodeIterations = 10;  // DPIC
  uint32_t iterations = 10;          // ITER
  // Leave Manifest.db readable and derive with the SHA-1 stage alone, as
  // devices did before the whole manifest was encrypted.
  bool plainManifestDb = false;
  // Add the keychain classes 5 to 11, which need the device's key as well.
  bool deviceClasses = true;
};

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

class Encryption : public Protector {
 public:
  explicit Encryption(EncryptionOptions options);
  ~Encryption() override;

  void BeginFile(ManifestEntry& entry) override;
  void SealContent(std::string_view piece, bool last, std::string& out) override;
  void SealManifestDb(const std::string& path) override;
  void AddManifestKeys(plist_t manifest) override;

  // What the keybag says, once AddManifestKeys has run (for tools that
  // repeat the derivation elsewhere).
  const std::string& Salt() const { return salt_; }
  const std::string& PasscodeSalt() const { return passcodeSalt_; }
  bool UsesPasscodeStage() const { return usesPasscodeStage_; }
  const EncryptionOptions& Options() const { return options_; }

 private:
  std::string KeybagBytes(const std::string& kek) const;

  EncryptionOptions options_;
  std::map<uint32_t, std::string> classKeys_;  // 1 to 4 (and 5 to 11): 32 random bytes each
  std::string manifestKey_;
  std::string salt_;
  std::string passcodeSalt_;
  bool sealedManifestDb_ = false;
  bool usesPasscodeStage_ = false;
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> file_;  // the file being sealed
};

// RFC 3394 wrap of `key` under `kek` (both 32 bytes): 40 bytes.
std::string WrapKey(const std::string& kek, const std::string& key);
// AES-256-CBC with a zero IV and PKCS#7 padding, in one piece.
std::string EncryptCbc(const std::string& key, std::string_view plain);
// PBKDF2 as the keybag prescribes: SHA-256 stage (when `passcodeSalt` is not
// empty) feeding the SHA-1 stage.
std::string DeriveKek(const std::string& password, const std::string& passcodeSalt,
                      uint32_t passcodeIterations, const std::string& salt, uint32_t iterations);

}  // namespace builder

#endif  // KELDRA_BUILDER_ENCRYPTION_H_
