// File helpers. Paths are UTF-8 unless the parameter says wide.
#ifndef VORN_VRNUTILITYFILE_H_
#define VORN_VRNUTILITYFILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

class VRNUtilityFile {
 public:
  // True when something exists at the path (file, folder or other entry).
  // Symbolic links are followed: a dangling one does not count.
  static bool IsFileExist(const char* path);
  // Size in bytes of a regular file; 0 for a missing or unreadable one.
  static int64_t GetFileSize(const char16_t* widePath);
  static int64_t GetFileSize(const char* path);
  // SHA-1 of the text's bytes as 40 lowercase hex digits; released with
  // VRNUtilityString::Free. A null text digests as "".
  static char* CalcStringToSha1Hash(const char* text);
  static char* CalcStringToSha1Hash(const char* text, size_t length);
  // The same digest text as an owned string.
  static std::string Sha1Hex(const void* data, size_t length);
  // The 40 digits written to `out` (41 bytes with the terminating NUL).
  static void Sha1HexInto(const void* data, size_t length, char* out);
};

#endif  // VORN_VRNUTILITYFILE_H_
