#include "vorn/PimJsonUtil.h"

#include <cstring>
#include <limits>

#include "Utf8Decode.h"

namespace {

// Index of the first byte that is not ASCII, or `length`.
size_t AsciiPrefix(const unsigned char* p, size_t length) {
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint64_t word;
    std::memcpy(&word, p + i, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  while (i < length && p[i] < 0x80) ++i;
  return i;
}

rapidjson::SizeType SizeOf(size_t length) {
  if (length > static_cast<size_t>(std::numeric_limits<rapidjson::SizeType>::max())) {
    throw vorn::JsonAssertion("json string longer than 4 GiB");
  }
  return static_cast<rapidjson::SizeType>(length);
}

PimJsonUtil::Value Key(const char* key, PimJsonUtil::Allocator& allocator) {
  return PimJsonUtil::MakeString(key ? key : "", key ? std::strlen(key) : 0, allocator);
}

}  // namespace

bool PimJsonUtil::IsValidUtf8(const char* text, size_t length) {
  if (!text) return length == 0;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < length) {
    i += AsciiPrefix(p + i, length - i);
    if (i == length) break;
    size_t used = 0;
    if (vorn::utf8::DecodeOne(p + i, length - i, &used) == vorn::utf8::kInvalid) return false;
    i += used;
  }
  return true;
}

std::string PimJsonUtil::RepairUtf8(const char* text, size_t length) {
  if (!text) return {};
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  std::string out;
  out.reserve(length + 8);
  size_t i = 0;
  while (i < length) {
    const size_t ascii = AsciiPrefix(p + i, length - i);
    out.append(text + i, ascii);
    i += ascii;
    if (i == length) break;
    size_t used = 0;
    if (vorn::utf8::DecodeOne(p + i, length - i, &used) == vorn::utf8::kInvalid) {
      out.append("\xEF\xBF\xBD");  // U+FFFD
    } else {
      out.append(text + i, used);
    }
    i += used;
  }
  return out;
}

// RapidJSON counts string lengths in 32 bits; a longer text throws
// JsonAssertion like any other misuse rather than being cut silently.
PimJsonUtil::Value PimJsonUtil::MakeString(const char* text, size_t length, Allocator& allocator) {
  if (!text) return Value("", 0, allocator);
  if (IsValidUtf8(text, length)) {
    return Value(text, SizeOf(length), allocator);
  }
  const std::string repaired = RepairUtf8(text, length);
  return Value(repaired.data(), SizeOf(repaired.size()), allocator);
}

void PimJsonUtil::AddJsonDictStringValue(Value& object, Allocator& allocator, const char* key,
                                         const char* text) {
  AddJsonDictStringValue(object, allocator, key, text, text ? std::strlen(text) : 0);
}

void PimJsonUtil::AddJsonDictStringValue(Value& object, Allocator& allocator, const char* key,
                                         const char* text, size_t length) {
  Value name = Key(key, allocator);
  Value value = MakeString(text, length, allocator);
  object.AddMember(name, value, allocator);
}

void PimJsonUtil::AddJsonDictStringValue(Value& object, Allocator& allocator, const char* key,
                                         const std::string& text) {
  AddJsonDictStringValue(object, allocator, key, text.data(), text.size());
}

void PimJsonUtil::AddJsonDictIntValue(Value& object, Allocator& allocator, const char* key,
                                      int32_t value) {
  Value name = Key(key, allocator);
  object.AddMember(name, value, allocator);
}

void PimJsonUtil::AddJsonDictInt64Value(Value& object, Allocator& allocator, const char* key,
                                        int64_t value) {
  Value name = Key(key, allocator);
  object.AddMember(name, value, allocator);
}

void PimJsonUtil::AddJsonDictBooleanValue(Value& object, Allocator& allocator, const char* key,
                                          bool value) {
  Value name = Key(key, allocator);
  object.AddMember(name, value, allocator);
}

void PimJsonUtil::AddJsonDictObjectValue(Value& object, Allocator& allocator, const char* key,
                                         Value& value) {
  Value name = Key(key, allocator);
  object.AddMember(name, value, allocator);
}

void PimJsonUtil::PushJsonArrayObjectValue(Value& array, Allocator& allocator, Value& value) {
  array.PushBack(value, allocator);
}

void PimJsonUtil::PushJsonArrayStringValue(Value& array, Allocator& allocator, const char* text) {
  PushJsonArrayStringValue(array, allocator, text, text ? std::strlen(text) : 0);
}

void PimJsonUtil::PushJsonArrayStringValue(Value& array, Allocator& allocator, const char* text,
                                           size_t length) {
  Value value = MakeString(text, length, allocator);
  array.PushBack(value, allocator);
}

void PimJsonUtil::PushJsonArrayIntValue(Value& array, Allocator& allocator, int32_t value) {
  array.PushBack(value, allocator);
}

std::string PimJsonUtil::ToString(const Value& value) {
  rapidjson::StringBuffer buffer;
  Write(value, buffer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

void PimJsonUtil::Write(const Value& value, rapidjson::StringBuffer& buffer) {
  buffer.Clear();
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  if (!value.Accept(writer)) throw vorn::JsonAssertion("json value cannot be written");
}
