// Keybag parsing: any bytes must parse or be refused without reading past
// the input, and whatever parses must keep the limits that bound an unlock.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "KeyWrap.h"
#include "formats/Keybag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  std::optional<vexa::Keybag> keybag = vexa::ParseKeybag(bytes, &error);
  if (!keybag) return 0;
  if (keybag->salt.size() != 20 || keybag->iterations == 0 ||
      keybag->iterations > vexa::kMaxIterations ||
      keybag->passcodeIterations > vexa::kMaxPasscodeIterations ||
      keybag->classes.size() > vexa::kMaxClasses)
    __builtin_trap();
  // Unwrapping is what an unlock does next; the key derivation is left out
  // (its cost is bounded by the limits above, not by the input's size).
  static const vexa::SecureBytes kKek(std::string(32, '\x5c'));
  for (const vexa::KeybagClass& entry : keybag->classes) vexa::UnwrapKey(kKek, entry.wrappedKey);
  return 0;
}
