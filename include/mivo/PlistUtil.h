// Property lists (binary or XML) through libplist.
#ifndef MIVO_PLISTUTIL_H_
#define MIVO_PLISTUTIL_H_

#include <plist/plist.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Owner of a plist_t tree; frees it with plist_free.
struct PlistFree {
  void operator()(plist_t node) const {
    if (node) plist_free(node);
  }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

class PlistUtil {
 public:
  // The parsed property list, released by the caller with plist_free; null
  // when the file is missing, unreadable, larger than kMaxFileSize or not a
  // property list.
  static plist_t ReadPlist(const char* path);
  static PlistPtr ReadPlistOwned(const std::string& path);
  // Parses bytes that may be a binary or an XML property list; null when
  // they are neither, or nest deeper than libplist can safely recurse.
  static PlistPtr ParseBytes(const void* data, size_t length);

  // Typed lookups in a dictionary; nullopt when the key is missing or the
  // value has another type.
  static std::optional<std::string> GetString(plist_t dict, const char* key);
  static std::optional<bool> GetBool(plist_t dict, const char* key);
  // A date value as whole seconds since 2001-01-01T00:00:00Z.
  static std::optional<int64_t> GetDateSeconds(plist_t dict, const char* key);
  static std::optional<int64_t> GetInt(plist_t dict, const char* key);
  static std::optional<std::string> GetData(plist_t dict, const char* key);
  // A dictionary value, not owned; null when missing or not a dictionary.
  static plist_t GetDict(plist_t dict, const char* key);

  static constexpr int64_t kMaxFileSize = 64 * 1024 * 1024;
};

#endif  // MIVO_PLISTUTIL_H_
