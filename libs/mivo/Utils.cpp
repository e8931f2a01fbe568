#include "mivo/Utils.h"

#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
// GCC 12 reports false -Wmaybe-uninitialized inside <regex>'s std::function
// members when built with the sanitizers.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <regex>
#pragma GCC diagnostic pop

#include "vorn/VRNUtilityFile.h"
#include "vorn/VRNUtilityString.h"
#include "vorn/VRNUtilitySys.h"

namespace {

// Position of the extension's dot in a file name, or npos. As in Python's
// os.path.splitext, dots that begin the name do not start an extension
// (".hidden" has none), and "archive." has the empty extension.
size_t ExtensionDot(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return dot;
  const size_t firstNonDot = name.find_first_not_of('.');
  if (firstNonDot == std::string::npos || dot < firstNonDot) return std::string::npos;
  return dot;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Compiled patterns, null for one that does not compile. Bounded: patterns
// normally come from code, but should they come from data the cache starts over.
class RegexCache {
 public:
  std::shared_ptr<const std::regex> Get(const std::string& pattern) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto found = cache_.find(pattern);
      if (found != cache_.end()) return found->second;
    }
    std::shared_ptr<const std::regex> compiled;  // compiled outside the lock
    try {
      compiled = std::make_shared<const std::regex>(pattern, Flags());
    } catch (const std::regex_error&) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (cache_.size() >= kMaxEntries) cache_.clear();
    cache_.emplace(pattern, compiled);
    return compiled;
  }

 private:
  static std::regex_constants::syntax_option_type Flags() {
#if defined(__GLIBCXX__)
    // libstdc++'s breadth-first executor: matching does not recurse once per
    // input character, so a long text cannot overflow the stack. In this mode
    // a back-reference is a compile error, so such patterns match nothing.
    return std::regex_constants::ECMAScript | std::regex_constants::__polynomial;
#else
    return std::regex_constants::ECMAScript;
#endif
  }

  static constexpr size_t kMaxEntries = 256;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<const std::regex>> cache_;
};

RegexCache& Regexes() {
  static RegexCache cache;
  return cache;
}

}  // namespace

std::string Utils::GetEmptyStringIsNull(const char* text) {
  return text ? text : "";
}

int Utils::GetZeroIntIsNull(const char* text) {
  const int64_t value = ParseLeadingInt64(text);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// Like atoll, leading white space (" \t\n\v\f\r") is skipped; unlike it, the
// value saturates at the int64 limits instead of overflowing.
int64_t Utils::ParseLeadingInt64(const char* text) {
  if (!text) return 0;
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Accumulate negatively: |INT64_MIN| does not fit in a positive int64.
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const int digit = *p - '0';
    if (value < (INT64_MIN + digit) / 10) return negative ? INT64_MIN : INT64_MAX;
    value = value * 10 - digit;
  }
  if (negative) return value;
  return value == INT64_MIN ? INT64_MAX : -value;
}

const char* Utils::GetPathSeperatorLine() {
  return "/";
}

std::string Utils::GetFileName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Utils::GetFileNameWithoutExt(const std::string& path) {
  std::string name = GetFileName(path);
  const size_t dot = ExtensionDot(name);
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

std::string Utils::GetFilePostfix(const std::string& path) {
  const std::string name = GetFileName(path);
  const size_t dot = ExtensionDot(name);
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool Utils::EndWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Returns the number of replacements (saturating at INT_MAX).
int Utils::ReplaceStr(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return 0;
  size_t pos = text.find(from);
  if (pos == std::string::npos) return 0;
  std::string result;
  result.reserve(text.size());
  size_t start = 0;
  int count = 0;
  while (pos != std::string::npos) {
    result.append(text, start, pos - start);
    result.append(to);
    start = pos + from.size();
    if (count < INT_MAX) ++count;
    pos = text.find(from, start);
  }
  result.append(text, start, std::string::npos);
  text.swap(result);
  return count;
}

const void* Utils::MemMem(const void* haystack, size_t haystackLength, const void* needle,
                          size_t needleLength) {
  if (needleLength == 0) return haystack;
  if (!haystack || !needle || needleLength > haystackLength) return nullptr;
  return memmem(haystack, haystackLength, needle, needleLength);
}

bool Utils::MatchString(const std::string& text, const std::string& pattern, void* reserved) {
  (void)reserved;
  const std::shared_ptr<const std::regex> regex = Regexes().Get(pattern);
  if (!regex) return false;
  try {
    return std::regex_search(text, *regex);
  } catch (const std::regex_error&) {
    return false;  // error_complexity / error_stack from the executor
  }
}

std::string Utils::CalcFileID(const std::string& domain, const std::string& relativePath) {
  std::string key;
  key.reserve(domain.size() + 1 + relativePath.size());
  key.append(domain).append(1, '-').append(relativePath);
  return VRNUtilityFile::Sha1Hex(key.data(), key.size());
}

void Utils::ColorHexToRGB(const char* text, int& red, int& green, int& blue) {
  red = green = blue = 0;
  if (!text) return;
  const bool hash = text[0] == '#';
  const char* digits = hash ? text + 1 : text;
  const size_t length = std::strlen(digits);
  if (!(length == 6 || (hash && length == 8))) return;
  int value[8];
  for (size_t i = 0; i < length; ++i) {
    value[i] = HexDigit(digits[i]);
    if (value[i] < 0) return;
  }
  red = value[0] * 16 + value[1];
  green = value[2] * 16 + value[3];
  blue = value[4] * 16 + value[5];  // the alpha pair of #RRGGBBAA is ignored
}

std::u16string Utils::ConvertUtf8ToUnicode(const std::string& utf8) {
  return VRNUtilityString::Utf8ToUtf16(utf8);
}

std::string Utils::ConvertUnicodeToUtf8(const char16_t* wide) {
  if (!wide) return {};
  return VRNUtilityString::Utf16ToUtf8(std::u16string(wide));
}

std::string Utils::ConvertUnicodeToUtf8(const std::u16string& wide) {
  return VRNUtilityString::Utf16ToUtf8(wide);
}

std::string Utils::Convert2001GMTtoDate(int64_t seconds) {
  return VRNUtilitySys::DateText2001(seconds);
}
