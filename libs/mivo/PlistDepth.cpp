#include "PlistDepth.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace mivo {
namespace {

constexpr char kBinaryMagic[] = "bplist00";
constexpr size_t kBinaryHeader = 8;
constexpr size_t kBinaryTrailer = 32;

uint64_t ReadBigEndian(const uint8_t* bytes, size_t width) {
  uint64_t value = 0;
  for (size_t i = 0; i < width; ++i) value = (value << 8) | bytes[i];
  return value;
}

// Walks a binary list from its top object along every reference, depth
// first, with the path kept in a vector rather than on the call stack. A
// shared object is walked once per reference to it, as libplist copies it
// once per reference; the walk therefore stops after as many objects as
// the file has reference slots (one more for the top), which a list without
// shared containers never exceeds. A circle of containers never ends, so it
// is refused by the depth limit.
class BinaryWalk {
 public:
  BinaryWalk(const uint8_t* bytes, size_t length) : bytes_(bytes), length_(length) {}

  bool NestsWithin(size_t limit) {
    if (!ReadTrailer()) return false;
    uint64_t budget = 1 + (objectsEnd_ - kBinaryHeader) / referenceSize_;
    if (!Enter(top_, limit, budget)) return false;
    while (!path_.empty()) {
      Container& container = path_.back();
      if (container.left == 0) {
        path_.pop_back();
        continue;
      }
      uint64_t reference = ReadBigEndian(bytes_ + container.references, referenceSize_);
      container.references += referenceSize_;
      --container.left;
      if (!Enter(reference, limit, budget)) return false;
    }
    return true;
  }

 private:
  // The references of a container not yet walked.
  struct Container {
    uint64_t references;  // offset of the next one
    uint64_t left;
  };

  bool ReadTrailer() {
    if (length_ < kBinaryHeader + kBinaryTrailer) return false;
    const uint8_t* trailer = bytes_ + length_ - kBinaryTrailer;
    offsetSize_ = trailer[6];
    referenceSize_ = trailer[7];
    objectCount_ = ReadBigEndian(trailer + 8, 8);
    top_ = ReadBigEndian(trailer + 16, 8);
    offsetTable_ = ReadBigEndian(trailer + 24, 8);
    objectsEnd_ = length_ - kBinaryTrailer;
    if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8)
      return false;
    if (objectCount_ == 0 || top_ >= objectCount_) return false;
    if (offsetTable_ < kBinaryHeader || offsetTable_ > objectsEnd_) return false;
    return objectCount_ <= (objectsEnd_ - offsetTable_) / offsetSize_;
  }

  // Counts object `index` as one more value on the path; a container is
  // pushed so that its members are walked next.
  bool Enter(uint64_t index, size_t limit, uint64_t& budget) {
    if (index >= objectCount_ || budget == 0 || path_.size() >= limit) return false;
    --budget;
    uint64_t offset = ReadBigEndian(bytes_ + offsetTable_ + index * offsetSize_, offsetSize_);
    if (offset < kBinaryHeader || offset >= objectsEnd_) return false;
    const uint8_t marker = bytes_[offset++];
    const uint8_t kind = marker >> 4;
    if (kind != 0xA && kind != 0xC && kind != 0xD) return true;  // holds no references
    uint64_t count = marker & 0x0F;
    if (count == 0x0F && !ReadLongCount(offset, count)) return false;
    if (kind == 0xD) {
      if (count > UINT64_MAX / 2) return false;
      count *= 2;  // keys, then values
    }
    if (count > (objectsEnd_ - offset) / referenceSize_) return false;
    path_.push_back({offset, count});
    return true;
  }

  // A count too large for a marker's low nibble: an integer object follows.
  bool ReadLongCount(uint64_t& offset, uint64_t& count) const {
    if (offset >= objectsEnd_) return false;
    const uint8_t marker = bytes_[offset];
    if ((marker & 0xF0) != 0x10 || (marker & 0x0F) > 3) return false;
    const uint64_t width = uint64_t{1} << (marker & 0x0F);
    if (objectsEnd_ - offset - 1 < width) return false;
    count = ReadBigEndian(bytes_ + offset + 1, width);
    offset += 1 + width;
    return true;
  }

  const uint8_t* bytes_;
  size_t length_;
  uint8_t offsetSize_ = 0;
  uint8_t referenceSize_ = 0;
  uint64_t objectCount_ = 0;
  uint64_t top_ = 0;
  uint64_t offsetTable_ = 0;
  uint64_t objectsEnd_ = 0;
  std::vector<Container> path_;
};

// Element nesting of an XML document. Comments, CDATA sections, processing
// instructions and declarations are skipped to their first possible end, and
// a tag ends at its first '>': wherever a parser could read markup, the scan
// reads it too, so nesting cannot be hidden from it, at the price of counting
// too deep on odd documents real property lists never are.
bool XmlNestsWithin(std::string_view text, size_t limit) {
  size_t depth = 0;
  size_t at = 0;
  auto skipPast = [&](std::string_view end) {
    size_t found = text.find(end, at);
    at = found == std::string_view::npos ? text.size() : found + end.size();
  };
  while ((at = text.find('<', at)) != std::string_view::npos) {
    std::string_view rest = text.substr(at);
    if (rest.compare(0, 4, "<!--") == 0) {
      at += 4;
      skipPast("-->");
    } else if (rest.compare(0, 9, "<![CDATA[") == 0) {
      at += 9;
      skipPast("]]>");
    } else if (rest.compare(0, 2, "<?") == 0) {
      at += 2;
      skipPast("?>");
    } else if (rest.compare(0, 2, "<!") == 0 || rest.compare(0, 2, "</") == 0) {
      if (rest[1] == '/' && depth > 0) --depth;
      skipPast(">");
    } else {
      size_t close = text.find('>', at + 1);
      if (close == std::string_view::npos) break;
      if (text[close - 1] != '/' && ++depth > limit) return false;
      at = close + 1;
    }
  }
  return true;
}

}  // namespace

bool NestsWithin(const char* data, size_t length, size_t limit) {
  if (length >= kBinaryHeader && std::memcmp(data, kBinaryMagic, kBinaryHeader) == 0)
    return BinaryWalk(reinterpret_cast<const uint8_t*>(data), length).NestsWithin(limit);
  // The document's <plist> element wraps the top value.
  return XmlNestsWithin(std::string_view(data, length), limit + 1);
}

}  // namespace mivo
