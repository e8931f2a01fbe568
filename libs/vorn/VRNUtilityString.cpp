#include "vorn/VRNUtilityString.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "Utf8Decode.h"

namespace {

// Writes the UTF-16 form of `length` UTF-8 bytes to `out`, which must hold at
// least `length` units (no sequence yields more units than it has bytes).
// Returns the units written.
size_t Utf8ToUtf16Units(const char* text, size_t length, char16_t* out) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  size_t written = 0;
  size_t i = 0;
  while (i < length) {
    if (p[i] < 0x80) {
      out[written++] = p[i++];
      continue;
    }
    size_t used = 0;
    char32_t cp = vorn::utf8::DecodeOne(p + i, length - i, &used);
    i += used;
    if (cp == vorn::utf8::kInvalid) {
      out[written++] = static_cast<char16_t>(vorn::utf8::kReplacement);
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out[written++] = static_cast<char16_t>(0xD800 + (cp >> 10));
      out[written++] = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out[written++] = static_cast<char16_t>(cp);
    }
  }
  return written;
}

// Writes the UTF-8 form of `length` UTF-16 units to `out`, which must hold
// 3 * length bytes. Returns the bytes written.
size_t Utf16ToUtf8Bytes(const char16_t* wide, size_t length, char* out) {
  size_t written = 0;
  for (size_t i = 0; i < length; ++i) {
    char32_t unit = wide[i];
    if (unit < 0x80) {
      out[written++] = static_cast<char>(unit);
      continue;
    }
    char32_t cp = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 < length && wide[i + 1] >= 0xDC00 && wide[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((unit - 0xD800) << 10) + (static_cast<char32_t>(wide[i + 1]) - 0xDC00);
        ++i;
      } else {
        cp = vorn::utf8::kReplacement;  // high surrogate without its low half
      }
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      cp = vorn::utf8::kReplacement;  // low surrogate on its own
    }
    written += vorn::utf8::EncodeOne(cp, out + written);
  }
  return written;
}

// Digits of a version component without leading zeros; advances `p` past the
// whole component (up to the next '.' or the end).
void NextComponent(const char*& p, const char*& digits, size_t& count) {
  while (*p == '0') ++p;
  digits = p;
  while (*p >= '0' && *p <= '9') ++p;
  count = static_cast<size_t>(p - digits);
  while (*p && *p != '.') ++p;  // anything after the leading digits is ignored
}

}  // namespace

char16_t* VRNUtilityString::ConvertUtf8ToUnicode(const char* utf8) {
  if (!utf8) return nullptr;
  const size_t length = std::strlen(utf8);
  auto* out = static_cast<char16_t*>(std::malloc((length + 1) * sizeof(char16_t)));
  if (!out) return nullptr;
  out[Utf8ToUtf16Units(utf8, length, out)] = 0;
  return out;
}

char* VRNUtilityString::ConvertUnicodeToUtf8(const char16_t* wide) {
  if (!wide) return nullptr;
  size_t length = 0;
  while (wide[length]) ++length;
  auto* out = static_cast<char*>(std::malloc(length * 3 + 1));
  if (!out) return nullptr;
  out[Utf16ToUtf8Bytes(wide, length, out)] = '\0';
  return out;
}

bool VRNUtilityString::IsNullOrEmpty(const char* text) {
  return !text || !*text;
}

int VRNUtilityString::CompareVersion(const char* a, const char* b) {
  const char* pa = a ? a : "";
  const char* pb = b ? b : "";
  while (*pa || *pb) {
    const char* da = "";
    const char* db = "";
    size_t na = 0;
    size_t nb = 0;
    if (*pa) NextComponent(pa, da, na);
    if (*pb) NextComponent(pb, db, nb);
    if (na != nb) return na < nb ? -1 : 1;
    const int order = std::memcmp(da, db, na);
    if (order != 0) return order < 0 ? -1 : 1;
    if (*pa == '.') ++pa;
    if (*pb == '.') ++pb;
  }
  return 0;
}

void VRNUtilityString::Free(void* text) {
  std::free(text);
}

std::u16string VRNUtilityString::Utf8ToUtf16(const std::string& utf8) {
  std::u16string out(utf8.size(), u'\0');
  out.resize(Utf8ToUtf16Units(utf8.data(), utf8.size(), &out[0]));
  return out;
}

std::string VRNUtilityString::Utf16ToUtf8(const std::u16string& wide) {
  std::string out(wide.size() * 3, '\0');
  out.resize(Utf16ToUtf8Bytes(wide.data(), wide.size(), &out[0]));
  return out;
}

char* VRNUtilityString::Duplicate(const std::string& text) {
  auto* out = static_cast<char*>(std::malloc(text.size() + 1));
  if (!out) throw std::bad_alloc();
  std::memcpy(out, text.data(), text.size());
  out[text.size()] = '\0';
  return out;
}
