#include "formats/BinaryPlist.h"

#include <cstring>

#include "formats/ByteCursor.h"

namespace vexa {
namespace {

constexpr char kMagic[] = "bplist00";
constexpr size_t kMagicLength = 8;
constexpr size_t kTrailerLength = 32;

void AppendUtf8(uint32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16BE to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const uint8_t* units, uint64_t count) {
  std::string out;
  out.reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t unit = static_cast<uint32_t>(keldra::ReadBigEndian(units + 2 * i, 2));
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
      uint32_t low = static_cast<uint32_t>(keldra::ReadBigEndian(units + 2 * (i + 1), 2));
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        ++i;
        continue;
      }
    }
    AppendUtf8(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit, out);
  }
  return out;
}

double ReadDouble(const uint8_t* bytes, size_t size) {
  if (size == 4) {
    uint32_t bits = static_cast<uint32_t>(keldra::ReadBigEndian(bytes, 4));
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  uint64_t bits = keldra::ReadBigEndian(bytes, 8);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

std::optional<BinaryPlist> BinaryPlist::Open(std::string_view bytes) {
  if (bytes.size() < kMagicLength + kTrailerLength ||
      std::memcmp(bytes.data(), kMagic, kMagicLength) != 0)
    return std::nullopt;
  BinaryPlist plist(bytes);
  plist.objectsEnd_ = bytes.size() - kTrailerLength;
  keldra::ByteCursor trailer(bytes.substr(plist.objectsEnd_));
  trailer.Skip(6);
  trailer.ReadByte(plist.offsetSize_);
  trailer.ReadByte(plist.referenceSize_);
  trailer.ReadBigEndian(8, plist.objectCount_);
  trailer.ReadBigEndian(8, plist.topObject_);
  trailer.ReadBigEndian(8, plist.offsetTable_);

  if (plist.offsetSize_ < 1 || plist.offsetSize_ > 8 || plist.referenceSize_ < 1 ||
      plist.referenceSize_ > 8)
    return std::nullopt;
  if (plist.objectCount_ == 0 || plist.topObject_ >= plist.objectCount_) return std::nullopt;
  if (plist.offsetTable_ < kMagicLength || plist.offsetTable_ > plist.objectsEnd_)
    return std::nullopt;
  // The offset table must fit between its start and the trailer.
  uint64_t room = plist.objectsEnd_ - plist.offsetTable_;
  if (plist.objectCount_ > room / plist.offsetSize_) return std::nullopt;
  // A reference must be able to name every object.
  if (plist.referenceSize_ < 8 && ((plist.objectCount_ - 1) >> (8 * plist.referenceSize_)) != 0)
    return std::nullopt;
  return plist;
}

keldra::ByteCursor BinaryPlist::Objects() const {
  return keldra::ByteCursor(bytes_.substr(0, objectsEnd_));
}

std::optional<uint64_t> BinaryPlist::ObjectOffset(uint64_t index) const {
  if (index >= objectCount_) return std::nullopt;
  keldra::ByteCursor table = Objects();
  uint64_t offset = 0;
  if (!table.Seek(offsetTable_ + index * offsetSize_) || !table.ReadBigEndian(offsetSize_, offset))
    return std::nullopt;
  if (offset < kMagicLength || offset >= objectsEnd_) return std::nullopt;
  return offset;
}

bool BinaryPlist::ReadCount(uint8_t marker, keldra::ByteCursor& objects, uint64_t& count) const {
  count = marker & 0x0F;
  if (count != 0x0F) return true;
  uint8_t intMarker = 0;
  if (!objects.ReadByte(intMarker) || (intMarker & 0xF0) != 0x10) return false;
  uint64_t width = uint64_t{1} << (intMarker & 0x0F);
  return width <= 8 && objects.ReadBigEndian(width, count);
}

bool BinaryPlist::ReadReferences(keldra::ByteCursor& objects, uint64_t count,
                                 std::vector<uint64_t>& out) const {
  if (count > objects.Remaining() / referenceSize_) return false;
  out.clear();
  out.reserve(count);
  for (uint64_t i = 0; i < count; ++i) {
    uint64_t reference = 0;
    objects.ReadBigEndian(referenceSize_, reference);
    if (reference >= objectCount_) return false;
    out.push_back(reference);
  }
  return true;
}

bool BinaryPlist::Read(uint64_t index, Object& out) const {
  std::optional<uint64_t> start = ObjectOffset(index);
  if (!start) return false;
  keldra::ByteCursor objects = Objects();
  uint8_t marker = 0;
  if (!objects.Seek(*start) || !objects.ReadByte(marker)) return false;
  out = Object{};
  switch (marker >> 4) {
    case 0x0:
      if (marker == 0x08 || marker == 0x09) {
        out.type = Type::kBool;
        out.boolean = marker == 0x09;
        return true;
      }
      out.type = Type::kNull;
      return marker == 0x00 || marker == 0x0F;
    case 0x1: {
      uint64_t width = uint64_t{1} << (marker & 0x0F);
      if (width > 16) return false;
      // 16-byte integers carry 64-bit values in their low half.
      uint64_t bits = 0;
      if (width == 16 && !objects.Skip(8)) return false;
      if (!objects.ReadBigEndian(width == 16 ? 8 : width, bits)) return false;
      out.type = Type::kInteger;
      out.integer = static_cast<int64_t>(bits);
      return true;
    }
    case 0x2: {
      uint64_t width = uint64_t{1} << (marker & 0x0F);
      const uint8_t* value = nullptr;
      if ((width != 4 && width != 8) || !objects.ReadBytes(width, value)) return false;
      out.type = Type::kReal;
      out.real = ReadDouble(value, width);
      return true;
    }
    case 0x3: {
      const uint8_t* value = nullptr;
      if (marker != 0x33 || !objects.ReadBytes(8, value)) return false;
      out.type = Type::kDate;
      out.real = ReadDouble(value, 8);
      return true;
    }
    case 0x4:
    case 0x5:
    case 0x6:
    case 0x7: {
      uint64_t count = 0;
      if (!ReadCount(marker, objects, count)) return false;
      uint64_t unit = (marker >> 4) == 0x6 ? 2 : 1;
      const uint8_t* value = nullptr;
      if (count > objects.Remaining() / unit || !objects.ReadBytes(count * unit, value))
        return false;
      const char* at = reinterpret_cast<const char*>(value);
      if ((marker >> 4) == 0x4) {
        out.type = Type::kData;
        out.data = std::string_view(at, count);
      } else if (unit == 2) {
        out.type = Type::kString;
        out.text = Utf16ToUtf8(value, count);
      } else {
        out.type = Type::kString;  // ASCII, or UTF-8 in later list versions
        out.text.assign(at, count);
      }
      return true;
    }
    case 0x8: {
      uint64_t width = (marker & 0x0F) + 1u;
      uint64_t uid = 0;
      if (width > 8 || !objects.ReadBigEndian(width, uid)) return false;
      out.type = Type::kUid;
      out.uid = uid;
      return true;
    }
    case 0xA:
    case 0xC:
    case 0xD: {
      uint64_t count = 0;
      if (!ReadCount(marker, objects, count)) return false;
      bool dict = (marker >> 4) == 0xD;
      if (dict && count > UINT64_MAX / 2) return false;
      out.type = dict ? Type::kDict : (marker >> 4) == 0xA ? Type::kArray : Type::kSet;
      return ReadReferences(objects, dict ? 2 * count : count, out.references);
    }
    default:
      return false;
  }
}

std::optional<uint64_t> BinaryPlist::DictValue(const Object& dict, std::string_view key) const {
  if (dict.type != Type::kDict) return std::nullopt;
  size_t size = dict.DictSize();
  Object name;
  for (size_t i = 0; i < size; ++i) {
    if (!Read(dict.references[i], name)) return std::nullopt;
    if (name.type == Type::kString && name.text == key) return dict.references[size + i];
  }
  return std::nullopt;
}

}  // namespace vexa
