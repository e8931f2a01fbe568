// JSON building helpers shared by the module, the decrypt module and the host.
//
// Members are appended in call order; nothing is sorted or de-duplicated. Text
// is copied, a null text is stored as "", and bytes that are not valid UTF-8
// are repaired (each invalid sequence becomes U+FFFD) so that every message
// serialises to valid JSON whatever a device database held.
#ifndef VORN_PIMJSONUTIL_H_
#define VORN_PIMJSONUTIL_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "vorn/Json.h"

class PimJsonUtil {
 public:
  using Value = rapidjson::Value;
  using Allocator = rapidjson::Document::AllocatorType;

  static void AddJsonDictStringValue(Value& object, Allocator& allocator, const char* key,
                                     const char* text);
  // For texts that carry their own length (SQLite columns may hold NUL bytes).
  static void AddJsonDictStringValue(Value& object, Allocator& allocator, const char* key,
                                     const char* text, size_t length);
  static void AddJsonDictStringValue(Value& object, Allocator& allocator, const char* key,
                                     const std::string& text);
  static void AddJsonDictIntValue(Value& object, Allocator& allocator, const char* key,
                                  int32_t value);
  static void AddJsonDictInt64Value(Value& object, Allocator& allocator, const char* key,
                                    int64_t value);
  static void AddJsonDictBooleanValue(Value& object, Allocator& allocator, const char* key,
                                      bool value);
  // Moves `value` into the object; the caller's value is left null.
  static void AddJsonDictObjectValue(Value& object, Allocator& allocator, const char* key,
                                     Value& value);

  static void PushJsonArrayObjectValue(Value& array, Allocator& allocator, Value& value);
  static void PushJsonArrayStringValue(Value& array, Allocator& allocator, const char* text);
  static void PushJsonArrayStringValue(Value& array, Allocator& allocator, const char* text,
                                       size_t length);
  static void PushJsonArrayIntValue(Value& array, Allocator& allocator, int32_t value);

  // A string value holding `text` (repaired, copied with the allocator).
  static Value MakeString(const char* text, size_t length, Allocator& allocator);
  static Value MakeString(const std::string& text, Allocator& allocator) {
    return MakeString(text.data(), text.size(), allocator);
  }

  // Compact JSON text of a value.
  static std::string ToString(const Value& value);
  // The same text written into `buffer` (emptied first). Large messages are
  // sent straight from the buffer, which spares them a copy into a string.
  static void Write(const Value& value, rapidjson::StringBuffer& buffer);

  // True when the bytes are valid UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
  static bool IsValidUtf8(const char* text, size_t length);
  // The bytes with every invalid sequence replaced by U+FFFD.
  static std::string RepairUtf8(const char* text, size_t length);
};

#endif  // VORN_PIMJSONUTIL_H_
