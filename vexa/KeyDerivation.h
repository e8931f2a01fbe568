// From the backup password to the key-encryption key that unwraps the class
// keys. Newer backups run PBKDF2-HMAC-SHA256 (DPSL, DPIC) first and feed its
// 32 raw bytes to PBKDF2-HMAC-SHA1 (SALT, ITER); older ones run the SHA-1
// stage alone. Which applies is decided by the keybag's tags, never by a
// version string.
#ifndef VEXA_KEYDERIVATION_H_
#define VEXA_KEYDERIVATION_H_

#include <optional>

#include "SecureBytes.h"
#include "formats/Keybag.h"

namespace vexa {

inline constexpr size_t kKeyLength = 32;

// The 32-byte key-encryption key; nullopt only when OpenSSL fails.
std::optional<SecureBytes> DeriveKeyEncryptionKey(const SecureBytes& password,
                                                  const Keybag& keybag);

}  // namespace vexa

#endif  // VEXA_KEYDERIVATION_H_
