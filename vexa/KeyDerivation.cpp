#include "KeyDerivation.h"

#include <openssl/evp.h>

#include <climits>

namespace vexa {
namespace {

std::optional<SecureBytes> Pbkdf2(const SecureBytes& password, const std::string& salt,
                                  uint32_t iterations, const EVP_MD* digest) {
  if (iterations == 0 || iterations > INT_MAX || password.size() > INT_MAX) return std::nullopt;
  SecureBytes key(kKeyLength);
  // An empty password still needs a valid pointer.
  static const char kEmpty = 0;
  const char* text = password.empty() ? &kEmpty : reinterpret_cast<const char*>(password.data());
  if (PKCS5_PBKDF2_HMAC(text, static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()),
                        static_cast<int>(salt.size()), static_cast<int>(iterations), digest,
                        static_cast<int>(key.size()), key.data()) != 1)
    return std::nullopt;
  return key;
}

}  // namespace

std::optional<SecureBytes> DeriveKeyEncryptionKey(const SecureBytes& password,
                                                  const Keybag& keybag) {
  if (!keybag.HasPasscodeStage())
    return Pbkdf2(password, keybag.salt, keybag.iterations, EVP_sha1());
  std::optional<SecureBytes> stretched =
      Pbkdf2(password, keybag.passcodeSalt, keybag.passcodeIterations, EVP_sha256());
  if (!stretched) return std::nullopt;
  return Pbkdf2(*stretched, keybag.salt, keybag.iterations, EVP_sha1());
}

}  // namespace vexa
