#include "kind/note/ProtoWire.h"

namespace keldra::proto {
namespace {

constexpr int kMaxVarintBytes = 10;
constexpr uint32_t kMaxFieldNumber = (1u << 29) - 1;

}  // namespace

bool Reader::Fail() {
  failed_ = true;
  rest_ = {};
  return false;
}

bool Reader::ReadVarint(uint64_t& value) {
  value = 0;
  for (int i = 0; i < kMaxVarintBytes; ++i) {
    if (rest_.empty()) return Fail();
    auto byte = static_cast<uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    value |= static_cast<uint64_t>(byte & 0x7F) << (7 * i);
    if (!(byte & 0x80)) return true;
  }
  return Fail();
}

bool Reader::Take(size_t count, std::string_view& bytes) {
  if (count > rest_.size()) return Fail();
  bytes = rest_.substr(0, count);
  rest_.remove_prefix(count);
  return true;
}

bool Reader::Next(Field& field) {
  if (rest_.empty() || failed_) return false;
  uint64_t key = 0;
  if (!ReadVarint(key)) return false;
  uint64_t number = key >> 3;
  if (number == 0 || number > kMaxFieldNumber) return Fail();
  field.number = static_cast<uint32_t>(number);
  field.value = 0;
  field.bytes = {};
  switch (key & 7) {
    case 0:
      field.wire = Wire::kVarint;
      return ReadVarint(field.value);
    case 1:
      field.wire = Wire::kFixed64;
      return Take(8, field.bytes);
    case 2: {
      field.wire = Wire::kBytes;
      uint64_t length = 0;
      if (!ReadVarint(length)) return false;
      if (length > rest_.size()) return Fail();
      return Take(static_cast<size_t>(length), field.bytes);
    }
    case 5:
      field.wire = Wire::kFixed32;
      return Take(4, field.bytes);
    default:  // groups are not used by these records
      return Fail();
  }
}

std::optional<std::string_view> FirstBytes(std::string_view message, uint32_t number) {
  Reader reader(message);
  Field field;
  while (reader.Next(field))
    if (field.number == number && field.wire == Wire::kBytes) return field.bytes;
  return std::nullopt;
}

std::optional<uint64_t> FirstVarint(std::string_view message, uint32_t number) {
  Reader reader(message);
  Field field;
  while (reader.Next(field))
    if (field.number == number && field.wire == Wire::kVarint) return field.value;
  return std::nullopt;
}

}  // namespace keldra::proto
