// AES key unwrap (RFC 3394) with its integrity check. The check is the only
// password test the backup format has: a wrong key-encryption key leaves a
// check value other than A6A6A6A6A6A6A6A6.
#ifndef VEXA_KEYWRAP_H_
#define VEXA_KEYWRAP_H_

#include <optional>
#include <string_view>

#include "SecureBytes.h"

namespace vexa {

// The key wrapped in `wrapped` (a multiple of 8 bytes, at least 24) under the
// 32-byte `kek`; nullopt when the sizes are wrong or the integrity check fails.
std::optional<SecureBytes> UnwrapKey(const SecureBytes& kek, std::string_view wrapped);

}  // namespace vexa

#endif  // VEXA_KEYWRAP_H_
