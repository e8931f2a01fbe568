#include "builder/Encryption.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace builder {
namespace {

constexpr size_t kKeyLength = 32;
constexpr size_t kSaltLength = 20;
constexpr size_t kSealChunk = 1 << 20;
constexpr uint32_t kManifestKeyClass = 4;
constexpr uint32_t kWrapPasscode = 2;
constexpr uint32_t kWrapDeviceAndPasscode = 3;
constexpr unsigned char kZeroIv[16] = {};

using CipherPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

struct FileClose {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string RandomBytes(size_t count) {
  std::string bytes(count, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1)
    throw BuildError("no random bytes");
  return bytes;
}

const unsigned char* Bytes(const std::string& text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

std::string BigEndian32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 3; i >= 0; --i, value >>= 8) bytes[i] = static_cast<char>(value & 0xFF);
  return bytes;
}

std::string LittleEndian32(uint32_t value) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i, value >>= 8) bytes[i] = static_cast<char>(value & 0xFF);
  return bytes;
}

std::string Record(const char* tag, const std::string& value) {
  return std::string(tag, 4) + BigEndian32(static_cast<uint32_t>(value.size())) + value;
}

std::string Pbkdf2(const std::string& password, const std::string& salt, uint32_t iterations,
                   const EVP_MD* digest) {
  std::string key(kKeyLength, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), Bytes(salt),
                        static_cast<int>(salt.size()), static_cast<int>(iterations), digest,
                        static_cast<int>(key.size()),
                        reinterpret_cast<unsigned char*>(key.data())) != 1)
    throw BuildError("PBKDF2 failed");
  return key;
}

CipherPtr StartCbc(const std::string& key) {
  CipherPtr context(EVP_CIPHER_CTX_new());
  if (!context ||
      EVP_EncryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, Bytes(key), kZeroIv) != 1)
    throw BuildError("cannot start AES-256-CBC");
  return context;
}

void Update(EVP_CIPHER_CTX* context, std::string_view piece, std::string& out) {
  size_t start = out.size();
  out.resize(start + piece.size() + 16);
  int produced = 0;
  if (!piece.empty() &&
      EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(&out[start]), &produced,
                        reinterpret_cast<const unsigned char*>(piece.data()),
                        static_cast<int>(piece.size())) != 1)
    throw BuildError("AES-256-CBC failed");
  out.resize(start + static_cast<size_t>(produced));
}

void Final(EVP_CIPHER_CTX* context, std::string& out) {
  size_t start = out.size();
  out.resize(start + 16);
  int produced = 0;
  if (EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char*>(&out[start]), &produced) != 1)
    throw BuildError("AES-256-CBC failed");
  out.resize(start + static_cast<size_t>(produced));
}

}  // namespace

std::string WrapKey(const std::string& kek, const std::string& key) {
  CipherPtr context(EVP_CIPHER_CTX_new());
  if (!context) throw BuildError("no cipher context");
  EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  std::string wrapped(key.size() + 8, '\0');
  int produced = 0;
  int finished = 0;
  if (EVP_EncryptInit_ex(context.get(), EVP_aes_256_wrap(), nullptr, Bytes(kek), nullptr) != 1 ||
      EVP_EncryptUpdate(context.get(), reinterpret_cast<unsigned char*>(wrapped.data()), &produced,
                        Bytes(key), static_cast<int>(key.size())) != 1 ||
      EVP_EncryptFinal_ex(context.get(),
                          reinterpret_cast<unsigned char*>(wrapped.data()) + produced,
                          &finished) != 1 ||
      static_cast<size_t>(produced + finished) != wrapped.size())
    throw BuildError("key wrap failed");
  return wrapped;
}

std::string EncryptCbc(const std::string& key, std::string_view plain) {
  CipherPtr context = StartCbc(key);
  std::string out;
  Update(context.get(), plain, out);
  Final(context.get(), out);
  return out;
}

std::string DeriveKek(const std::string& password, const std::string& passcodeSalt,
                      uint32_t passcodeIterations, const std::string& salt, uint32_t iterations) {
  std::string input = password;
  if (!passcodeSalt.empty())
    input = Pbkdf2(password, passcodeSalt, passcodeIterations, EVP_sha256());
  return Pbkdf2(input, salt, iterations, EVP_sha1());
}

Encryption::Encryption(EncryptionOptions options) : options_(std::move(options)) {
  if (options_.iterations == 0 || options_.passcodeIterations == 0)
    throw BuildError("iteration counts must be at least 1");
  uint32_t lastClass = options_.deviceClasses ? 11 : 4;
  for (uint32_t protectionClass = 1; protectionClass <= lastClass; ++protectionClass)
    classKeys_[protectionClass] = RandomBytes(kKeyLength);
  manifestKey_ = RandomBytes(kKeyLength);
  salt_ = RandomBytes(kSaltLength);
}

Encryption::~Encryption() {
  for (auto& [protectionClass, key] : classKeys_) OPENSSL_cleanse(key.data(), key.size());
  OPENSSL_cleanse(manifestKey_.data(), manifestKey_.size());
}

void Encryption::BeginFile(ManifestEntry& entry) {
  if (entry.protectionClass < 0) entry.protectionClass = 3;
  std::string fileKey = RandomBytes(kKeyLength);
  // A class the keybag lacks still gets a key, one nobody can unwrap.
  auto classKey = classKeys_.find(static_cast<uint32_t>(entry.protectionClass));
  std::string wrapping = classKey != classKeys_.end() ? classKey->second : RandomBytes(kKeyLength);
  entry.encryptionKey =
      LittleEndian32(static_cast<uint32_t>(entry.protectionClass)) + WrapKey(wrapping, fileKey);
  file_ = StartCbc(fileKey);
  OPENSSL_cleanse(fileKey.data(), fileKey.size());
}

void Encryption::SealContent(std::string_view piece, bool last, std::string& out) {
  if (!file_) throw BuildError("content sealed before its file began");
  Update(file_.get(), piece, out);
  if (!last) return;
  Final(file_.get(), out);
  file_.reset();
}

void Encryption::SealManifestDb(const std::string& path) {
  sealedManifestDb_ = true;
  if (options_.plainManifestDb) return;
  std::string sealedPath = path + ".sealing";
  {
    std::unique_ptr<std::FILE, FileClose> in(std::fopen(path.c_str(), "rb"));
    std::unique_ptr<std::FILE, FileClose> out(std::fopen(sealedPath.c_str(), "wb"));
    if (!in || !out) throw BuildError("cannot encrypt " + path);
    CipherPtr context = StartCbc(manifestKey_);
    std::string chunk(kSealChunk, '\0');
    std::string sealed;
    size_t got;
    while ((got = std::fread(chunk.data(), 1, chunk.size(), in.get())) > 0) {
      sealed.clear();
      Update(context.get(), std::string_view(chunk.data(), got), sealed);
      if (std::fwrite(sealed.data(), 1, sealed.size(), out.get()) != sealed.size())
        throw BuildError("cannot write " + sealedPath);
    }
    sealed.clear();
    Final(context.get(), sealed);
    if (std::fwrite(sealed.data(), 1, sealed.size(), out.get()) != sealed.size() ||
        std::ferror(in.get()) || std::fclose(out.release()) != 0)
      throw BuildError("cannot write " + sealedPath);
  }
  std::error_code error;
  std::filesystem::rename(sealedPath, path, error);
  if (error) throw BuildError("cannot replace " + path + ": " + error.message());
}

std::string Encryption::KeybagBytes(const std::string& kek) const {
  std::string bag;
  bag += Record("VERS", BigEndian32(usesPasscodeStage_ ? 5 : 3));
  bag += Record("TYPE", BigEndian32(1));
  bag += Record("UUID", RandomBytes(16));
  bag += Record("HMCK", std::string(40, '\0'));
  bag += Record("WRAP", BigEndian32(0));
  bag += Record("SALT", salt_);
  bag += Record("ITER", BigEndian32(options_.iterations));
  if (usesPasscodeStage_) {
    bag += Record("DPWT", BigEndian32(1));
    bag += Record("DPIC", BigEndian32(options_.passcodeIterations));
    bag += Record("DPSL", passcodeSalt_);
  }
  for (const auto& [protectionClass, key] : classKeys_) {
    bag += Record("UUID", RandomBytes(16));
    bag += Record("CLAS", BigEndian32(protectionClass));
    bag +=
        Record("WRAP", BigEndian32(protectionClass <= 4 ? kWrapPasscode : kWrapDeviceAndPasscode));
    bag += Record("KTYP", BigEndian32(0));
    bag += Record("WPKY", WrapKey(kek, key));
  }
  return bag;
}

void Encryption::AddManifestKeys(plist_t manifest) {
  // Only backups whose whole Manifest.db is encrypted have the SHA-256 stage.
  bool encryptedManifest = sealedManifestDb_ && !options_.plainManifestDb;
  usesPasscodeStage_ = encryptedManifest;
  passcodeSalt_ = usesPasscodeStage_ ? RandomBytes(kSaltLength) : std::string();
  std::string kek = DeriveKek(options_.password, passcodeSalt_, options_.passcodeIterations, salt_,
                              options_.iterations);
  std::string keybag = KeybagBytes(kek);
  OPENSSL_cleanse(kek.data(), kek.size());
  plist_dict_set_item(manifest, "BackupKeyBag",
                      plist_new_data(keybag.data(), static_cast<uint64_t>(keybag.size())));
  plist_dict_set_item(manifest, "IsEncrypted", plist_new_bool(1));
  if (encryptedManifest) {
    std::string wrapped =
        LittleEndian32(kManifestKeyClass) + WrapKey(classKeys_.at(kManifestKeyClass), manifestKey_);
    plist_dict_set_item(manifest, "ManifestKey",
                        plist_new_data(wrapped.data(), static_cast<uint64_t>(wrapped.size())));
  }
}

}  // namespace builder
