#include "builder/BinaryPlist.h"

namespace builder {
namespace {

constexpr uint8_t kMarkerInteger = 0x10;
constexpr uint8_t kMarkerData = 0x40;
constexpr uint8_t kMarkerAscii = 0x50;
constexpr uint8_t kMarkerUtf16 = 0x60;
constexpr uint8_t kMarkerUid = 0x80;
constexpr uint8_t kMarkerArray = 0xA0;
constexpr uint8_t kMarkerDict = 0xD0;

void PutBigEndian(uint64_t value, unsigned size, std::string& out) {
  for (unsigned shift = size * 8; shift > 0; shift -= 8)
    out.push_back(static_cast<char>((value >> (shift - 8)) & 0xFF));
}

// The smallest of 1, 2, 4 and 8 bytes that holds `value`.
unsigned WidthOf(uint64_t value) {
  if (value <= 0xFF) return 1;
  if (value <= 0xFFFF) return 2;
  if (value <= 0xFFFFFFFFu) return 4;
  return 8;
}

unsigned Log2(unsigned width) {
  return width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3;
}

void PutInteger(int64_t value, std::string& out) {
  // Readers take 1-, 2- and 4-byte integers as unsigned, 8-byte ones as signed.
  unsigned width = value < 0 ? 8 : WidthOf(static_cast<uint64_t>(value));
  out.push_back(static_cast<char>(kMarkerInteger | Log2(width)));
  PutBigEndian(static_cast<uint64_t>(value), width, out);
}

// A marker with its length: in the low nibble, or as an integer after 0xF.
void PutMarker(uint8_t marker, uint64_t count, std::string& out) {
  if (count < 15) {
    out.push_back(static_cast<char>(marker | count));
    return;
  }
  out.push_back(static_cast<char>(marker | 0x0F));
  PutInteger(static_cast<int64_t>(count), out);
}

// The next code point of UTF-8 text; U+FFFD for a malformed sequence, which
// then consumes one byte.
uint32_t NextCodePoint(std::string_view text, size_t& at) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(text[i]); };
  uint8_t lead = byte(at);
  size_t length = lead < 0x80         ? 1
                  : (lead >> 5) == 6  ? 2
                  : (lead >> 4) == 14 ? 3
                  : (lead >> 3) == 30 ? 4
                                      : 0;
  if (length == 0 || at + length > text.size()) {
    ++at;
    return 0xFFFD;
  }
  uint32_t point = length == 1 ? lead : lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    point = (point << 6) | (byte(at + i) & 0x3F);
  }
  at += length;
  static const uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (point < kSmallest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
    return 0xFFFD;
  return point;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<uint8_t>(c) >= 0x80) return false;
  return true;
}

}  // namespace

void BinaryPlistWriter::Clear() {
  objects_.clear();
  bytes_.clear();
  refs_.clear();
}

BinaryPlistWriter::Ref BinaryPlistWriter::Append(Type type, uint64_t value, uint32_t count) {
  objects_.push_back({type, value, count});
  return static_cast<Ref>(objects_.size() - 1);
}

BinaryPlistWriter::Ref BinaryPlistWriter::String(std::string_view utf8) {
  size_t start = bytes_.size();
  if (IsAscii(utf8)) {
    bytes_.append(utf8);
    return Append(Type::kString, start, static_cast<uint32_t>(utf8.size()));
  }
  // Anything else is stored as UTF-16, big-endian, as the format requires.
  uint32_t units = 0;
  auto putUnit = [&](uint32_t unit) {
    PutBigEndian(unit, 2, bytes_);
    ++units;
  };
  for (size_t at = 0; at < utf8.size();) {
    uint32_t point = NextCodePoint(utf8, at);
    if (point >= 0x10000) {
      point -= 0x10000;
      putUnit(0xD800 | (point >> 10));
      putUnit(0xDC00 | (point & 0x3FF));
    } else {
      putUnit(point);
    }
  }
  return Append(Type::kUtf16, start, units);
}

BinaryPlistWriter::Ref BinaryPlistWriter::Integer(int64_t value) {
  return Append(Type::kInteger, static_cast<uint64_t>(value), 0);
}

BinaryPlistWriter::Ref BinaryPlistWriter::Uid(uint64_t value) {
  return Append(Type::kUid, value, 0);
}

BinaryPlistWriter::Ref BinaryPlistWriter::Data(std::string_view bytes) {
  size_t start = bytes_.size();
  bytes_.append(bytes);
  return Append(Type::kData, start, static_cast<uint32_t>(bytes.size()));
}

BinaryPlistWriter::Ref BinaryPlistWriter::Array(const Ref* items, size_t count) {
  size_t start = refs_.size();
  refs_.insert(refs_.end(), items, items + count);
  return Append(Type::kArray, start, static_cast<uint32_t>(count));
}

BinaryPlistWriter::Ref BinaryPlistWriter::Dict(const Pair* items, size_t count) {
  size_t start = refs_.size();
  for (size_t i = 0; i < count; ++i) refs_.push_back(items[i].first);
  for (size_t i = 0; i < count; ++i) refs_.push_back(items[i].second);
  return Append(Type::kDict, start, static_cast<uint32_t>(count));
}

void BinaryPlistWriter::WriteObject(const Object& object, unsigned refSize,
                                    std::string& out) const {
  switch (object.type) {
    case Type::kString:
      PutMarker(kMarkerAscii, object.count, out);
      out.append(bytes_, object.value, object.count);
      break;
    case Type::kUtf16:
      PutMarker(kMarkerUtf16, object.count, out);
      out.append(bytes_, object.value, object.count * 2u);
      break;
    case Type::kData:
      PutMarker(kMarkerData, object.count, out);
      out.append(bytes_, object.value, object.count);
      break;
    case Type::kInteger:
      PutInteger(static_cast<int64_t>(object.value), out);
      break;
    case Type::kUid: {
      unsigned width = WidthOf(object.value);
      out.push_back(static_cast<char>(kMarkerUid | (width - 1)));
      PutBigEndian(object.value, width, out);
      break;
    }
    case Type::kArray:
      PutMarker(kMarkerArray, object.count, out);
      for (uint32_t i = 0; i < object.count; ++i)
        PutBigEndian(refs_[object.value + i], refSize, out);
      break;
    case Type::kDict:
      PutMarker(kMarkerDict, object.count, out);
      for (uint32_t i = 0; i < object.count * 2u; ++i)
        PutBigEndian(refs_[object.value + i], refSize, out);
      break;
  }
}

void BinaryPlistWriter::Write(Ref top, std::string& out) const {
  out.assign("bplist00");
  unsigned refSize = WidthOf(objects_.size());
  std::vector<uint64_t> offsets;
  offsets.reserve(objects_.size());
  for (const Object& object : objects_) {
    offsets.push_back(out.size());
    WriteObject(object, refSize, out);
  }
  uint64_t tableStart = out.size();
  unsigned offsetSize = WidthOf(tableStart);
  for (uint64_t offset : offsets) PutBigEndian(offset, offsetSize, out);
  out.append(6, '\0');  // unused, then the sort version
  out.push_back(static_cast<char>(offsetSize));
  out.push_back(static_cast<char>(refSize));
  PutBigEndian(objects_.size(), 8, out);
  PutBigEndian(top, 8, out);
  PutBigEndian(tableStart, 8, out);
}

}  // namespace builder
