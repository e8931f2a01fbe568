// The backup keybag (Manifest.plist's BackupKeyBag): a flat run of records,
// each a four-letter tag, a big-endian 32-bit length and that many bytes.
// The header (salts, iteration counts) comes first; every UUID after the
// first opens the entry of one protection class.
#ifndef KELDRA_FORMATS_KEYBAG_H_
#define KELDRA_FORMATS_KEYBAG_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexa {

// Bits of an entry's WRAP value.
inline constexpr uint32_t kWrapDevice = 0x1;    // needs the device's hardware key
inline constexpr uint32_t kWrapPasscode = 0x2;  // wrapped with the password-derived key

struct KeybagClass {
  uint32_t protectionClass = 0;
  uint32_t wrap = 0;
  uint32_t keyType = 0;    // 0 AES, 1 Curve25519
  std::string wrappedKey;  // WPKY: RFC 3394 wrap of the class key
};

struct Keybag {
  uint32_t version = 0;
  uint32_t type = 0;  // flag bits masked off; 1 for backup keybags
  std::string salt;   // SALT, of the PBKDF2-HMAC-SHA1 stage
  uint32_t iterations = 0;
  // DPSL/DPIC, of the PBKDF2-HMAC-SHA256 stage that newer backups add.
  std::string passcodeSalt;
  uint32_t passcodeIterations = 0;
  bool HasPasscodeStage() const { return !passcodeSalt.empty(); }

  // Every entry with a CLAS, in keybag order; the first of a class number wins.
  std::vector<KeybagClass> classes;
  // Records no field above stands for (HMCK, DPWT, UUIDs, tags from later
  // formats), kept in keybag order.
  std::vector<std::pair<std::string, std::string>> otherRecords;
};

// Limits that keep a hostile keybag from making an unlock take hours.
inline constexpr uint32_t kMaxIterations = 10'000'000;  // SHA-1 stage; devices use 10,000
inline constexpr uint32_t kMaxPasscodeIterations =
    100'000'000;  // SHA-256 stage; devices use 10,000,000
inline constexpr size_t kMaxClasses = 64;

// The keybag, or nullopt with `error` set: a record running past the end,
// a numeric field that is not 4 bytes, a missing or odd-sized salt, a zero
// or excessive iteration count, only one of DPSL and DPIC.
std::optional<Keybag> ParseKeybag(std::string_view bytes, std::string* error);

}  // namespace vexa

#endif  // KELDRA_FORMATS_KEYBAG_H_
