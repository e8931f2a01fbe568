// String helpers. Heap texts returned here are released with Free.
//
// "Unicode" text is NUL-terminated UTF-16 (char16_t), the wide form the
// channel carries; it is allocated with malloc.
#ifndef VORN_VRNUTILITYSTRING_H_
#define VORN_VRNUTILITYSTRING_H_

#include <string>

class VRNUtilityString {
 public:
  // UTF-8 -> UTF-16. Invalid input bytes become U+FFFD. Null input gives null.
  static char16_t* ConvertUtf8ToUnicode(const char* utf8);
  // UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD. Null input gives null.
  static char* ConvertUnicodeToUtf8(const char16_t* wide);
  static bool IsNullOrEmpty(const char* text);
  // Dotted version texts compared numerically, component by component; a
  // missing component counts as 0. Returns exactly -1, 0 or 1.
  // A component counts by its leading decimal digits ("2a" is 2, "beta" is 0);
  // components of any length compare without overflow. Null counts as "".
  static int CompareVersion(const char* a, const char* b);
  static void Free(void* text);

  // Owned-string forms of the two conversions.
  static std::u16string Utf8ToUtf16(const std::string& utf8);
  static std::string Utf16ToUtf8(const std::u16string& wide);
  // A heap copy of `text`, released with Free.
  static char* Duplicate(const std::string& text);
};

#endif  // VORN_VRNUTILITYSTRING_H_
