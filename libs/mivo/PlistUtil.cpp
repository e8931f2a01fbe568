#include "mivo/PlistUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include "PlistDepth.h"

namespace {

// The whole regular file at `path`, or false when it is missing, unreadable,
// not a regular file (a link to one included) or larger than `limit`.
bool ReadWholeFile(const char* path, int64_t limit, std::string& bytes) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= limit;
  if (ok) {
    bytes.resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = read(fd, &bytes[done], bytes.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;  // error, or the file shrank meanwhile
      done += static_cast<size_t>(got);
    }
    // A file that grew meanwhile is read up to its size at open; one that
    // shrank is parsed as what could be read.
    bytes.resize(done);
    ok = done > 0;
  }
  close(fd);
  return ok;
}

// The value of `key` in `dict` when it has type `type`.
plist_t Item(plist_t dict, const char* key, plist_type type) {
  if (!dict || !key || plist_get_node_type(dict) != PLIST_DICT) return nullptr;
  plist_t item = plist_dict_get_item(dict, key);
  return item && plist_get_node_type(item) == type ? item : nullptr;
}

}  // namespace

plist_t PlistUtil::ReadPlist(const char* path) {
  if (!path || !*path) return nullptr;
  std::string bytes;
  if (!ReadWholeFile(path, kMaxFileSize, bytes)) return nullptr;
  return ParseBytes(bytes.data(), bytes.size()).release();
}

PlistPtr PlistUtil::ReadPlistOwned(const std::string& path) {
  return PlistPtr(ReadPlist(path.c_str()));
}

PlistPtr PlistUtil::ParseBytes(const void* data, size_t length) {
  if (!data || length == 0 || length > std::numeric_limits<uint32_t>::max()) return nullptr;
  // libplist recurses once per level and would overflow the stack on a
  // hostile list; such a list is refused as unreadable.
  if (!mivo::NestsWithin(static_cast<const char*>(data), length, mivo::kMaxPlistDepth))
    return nullptr;
  plist_t root = nullptr;
  plist_from_memory(static_cast<const char*>(data), static_cast<uint32_t>(length), &root);
  return PlistPtr(root);
}

std::optional<std::string> PlistUtil::GetString(plist_t dict, const char* key) {
  plist_t item = Item(dict, key, PLIST_STRING);
  if (!item) return std::nullopt;
  // By pointer and length: a string holding a NUL byte (a hostile file can
  // carry one) trips an assertion inside plist_get_string_val.
  uint64_t length = 0;
  const char* value = plist_get_string_ptr(item, &length);
  if (!value) return std::string();
  return std::string(value, static_cast<size_t>(length));
}

std::optional<bool> PlistUtil::GetBool(plist_t dict, const char* key) {
  plist_t item = Item(dict, key, PLIST_BOOLEAN);
  if (!item) return std::nullopt;
  uint8_t value = 0;
  plist_get_bool_val(item, &value);
  return value != 0;
}

// libplist 2.2 splits the date into int32 seconds (truncated toward zero) and
// microseconds; the microseconds are dropped.
std::optional<int64_t> PlistUtil::GetDateSeconds(plist_t dict, const char* key) {
  plist_t item = Item(dict, key, PLIST_DATE);
  if (!item) return std::nullopt;
  int32_t seconds = 0;
  int32_t micros = 0;
  plist_get_date_val(item, &seconds, &micros);
  return static_cast<int64_t>(seconds);
}

// libplist 2.2 keeps every integer as 64 bits without a sign; negative values
// of a property list come back as their two's complement, so the bits are
// read as int64.
std::optional<int64_t> PlistUtil::GetInt(plist_t dict, const char* key) {
  plist_t item = Item(dict, key, PLIST_UINT);
  if (!item) return std::nullopt;
  uint64_t value = 0;
  plist_get_uint_val(item, &value);
  return static_cast<int64_t>(value);
}

std::optional<std::string> PlistUtil::GetData(plist_t dict, const char* key) {
  plist_t item = Item(dict, key, PLIST_DATA);
  if (!item) return std::nullopt;
  char* value = nullptr;
  uint64_t length = 0;
  plist_get_data_val(item, &value, &length);
  std::string bytes = value ? std::string(value, static_cast<size_t>(length)) : std::string();
  std::free(value);
  return bytes;
}

plist_t PlistUtil::GetDict(plist_t dict, const char* key) {
  return Item(dict, key, PLIST_DICT);
}
