// String, path and encoding helpers of the helper library.
#ifndef MIVO_UTILS_H_
#define MIVO_UTILS_H_

#include <cstddef>
#include <cstdint>
#include <string>

class Utils {
 public:
  // "" for a null pointer, else the text.
  static std::string GetEmptyStringIsNull(const char* text);
  // 0 for a null pointer, else the value of the text's leading decimal digits
  // (an optional sign first); never overflows.
  static int GetZeroIntIsNull(const char* text);
  // Leading-digits 64-bit parse ("12.7" -> 12, "x" -> 0), clamped at the limits.
  // Like atoll, leading white space is skipped ("  5" -> 5); null gives 0.
  static int64_t ParseLeadingInt64(const char* text);

  // The separator the module joins folders and stored names with.
  static const char* GetPathSeperatorLine();

  // Text after the last "/" or "\\" (the whole text when there is none).
  static std::string GetFileName(const std::string& path);
  // GetFileName without its last ".ext".
  // As in Python's os.path.splitext, dots that begin the name start no
  // extension: ".hidden" has none, ".hidden.txt" has "txt"; "archive." has
  // the empty extension and the stem "archive".
  static std::string GetFileNameWithoutExt(const std::string& path);
  // The extension of GetFileName without the dot; "" when there is none.
  static std::string GetFilePostfix(const std::string& path);

  static bool EndWith(const std::string& text, const std::string& suffix);
  // Replaces every occurrence of `from` in `text` (left to right, without
  // rescanning replacements); returns how many were replaced (saturating at
  // INT_MAX), so non-zero when one was. An empty `from` replaces nothing.
  static int ReplaceStr(std::string& text, const std::string& from, const std::string& to);
  // First occurrence of the needle's bytes in the haystack, or null. An empty
  // needle is found at the haystack's start.
  static const void* MemMem(const void* haystack, size_t haystackLength, const void* needle,
                            size_t needleLength);
  // Whether the ECMAScript regular expression matches the whole text (the
  // pattern's own anchors decide). Compiled patterns are cached; a pattern that
  // does not compile matches nothing. On libstdc++ patterns are compiled for
  // the breadth-first executor (no recursion per input character); there a
  // back-reference does not compile, so such a pattern matches nothing.
  static bool MatchString(const std::string& text, const std::string& pattern,
                          void* reserved = nullptr);

  // The stored-file name of a backed-up file: SHA-1 of domain + "-" + path.
  static std::string CalcFileID(const std::string& domain, const std::string& relativePath);
  // "#RRGGBB", "RRGGBB" or "#RRGGBBAA"; anything else, null included, gives 0,0,0.
  static void ColorHexToRGB(const char* text, int& red, int& green, int& blue);

  static std::u16string ConvertUtf8ToUnicode(const std::string& utf8);
  static std::string ConvertUnicodeToUtf8(const char16_t* wide);
  static std::string ConvertUnicodeToUtf8(const std::u16string& wide);

  // Seconds since 2001-01-01T00:00:00Z as a date text (see VRNUtilitySys).
  static std::string Convert2001GMTtoDate(int64_t seconds);
};

#endif  // MIVO_UTILS_H_
