// A reader of binary property lists ("bplist00") that decodes one object at
// a time, on demand, by its index in the offset table. Nothing is built
// ahead: a container's members are indexes, so a list whose objects refer to
// one another in a circle cannot make the reader loop, and a caller follows
// only the references it needs.
//
// Every offset, count and reference is checked against the input before use.
#ifndef KELDRA_FORMATS_BINARYPLIST_H_
#define KELDRA_FORMATS_BINARYPLIST_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/ByteCursor.h"

namespace vexa {

class BinaryPlist {
 public:
  enum class Type {
    kNull,
    kBool,
    kInteger,
    kReal,
    kDate,
    kData,
    kString,
    kUid,
    kArray,
    kSet,
    kDict
  };

  struct Object {
    Type type = Type::kNull;
    bool boolean = false;
    int64_t integer = 0;    // kInteger
    uint64_t uid = 0;       // kUid
    double real = 0;        // kReal, kDate
    std::string_view data;  // kData: a view into the input
    std::string text;       // kString, as UTF-8
    // kArray, kSet: the members; kDict: the keys, then the values.
    std::vector<uint64_t> references;

    size_t DictSize() const { return references.size() / 2; }
  };

  // The list's structure (header, trailer, offset table), or nullopt when it
  // is not a binary property list or its tables do not fit the input. The
  // bytes must outlive the reader.
  static std::optional<BinaryPlist> Open(std::string_view bytes);

  uint64_t ObjectCount() const { return objectCount_; }
  uint64_t TopObject() const { return topObject_; }

  // Decodes object `index`; false when the index is out of range or the
  // object is malformed.
  bool Read(uint64_t index, Object& out) const;

  // The value of `key` (compared as UTF-8) in a dictionary object; nullopt
  // when absent or when a key cannot be read.
  std::optional<uint64_t> DictValue(const Object& dict, std::string_view key) const;

 private:
  BinaryPlist(std::string_view bytes) : bytes_(bytes) {}
  // The bytes before the trailer: objects and the offset table.
  keldra::ByteCursor Objects() const;
  std::optional<uint64_t> ObjectOffset(uint64_t index) const;
  // A marker's count: the low nibble, or the integer object that follows a
  // nibble of 0xF.
  bool ReadCount(uint8_t marker, keldra::ByteCursor& objects, uint64_t& count) const;
  bool ReadReferences(keldra::ByteCursor& objects, uint64_t count,
                      std::vector<uint64_t>& out) const;

  std::string_view bytes_;
  uint8_t offsetSize_ = 0;
  uint8_t referenceSize_ = 0;
  uint64_t objectCount_ = 0;
  uint64_t topObject_ = 0;
  uint64_t offsetTable_ = 0;
  uint64_t objectsEnd_ = 0;  // objects lie in [8, objectsEnd_)
};

}  // namespace vexa

#endif  // KELDRA_FORMATS_BINARYPLIST_H_
