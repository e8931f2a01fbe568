// A reader of the typedstream archive format (NSArchiver; "streamtyped" when
// little-endian), in which the messages database keeps the attributedBody of
// a message: an archived NSAttributedString.
//
// Archive is the generic layer: it reads the header, then every value group
// (a type encoding followed by values of those types), keeping the three
// tables the format back-references: shared strings (type encodings, class
// names, C-string contents), and one table of objects, classes and C strings
// in the order they were introduced. It knows no class.
//
// The Foundation layer on top reads the classes an attributedBody holds:
// NSString/NSMutableString, NSAttributedString/NSMutableAttributedString with
// their attribute runs, NSDictionary, NSNumber/NSValue, NSURL, NSData, NSArray.
//
// Input is untrusted: every length is checked, nesting and the number of
// values are bounded, and a damaged archive yields what was read before the
// damage.
#ifndef KELDRA_FORMATS_TYPEDSTREAM_H_
#define KELDRA_FORMATS_TYPEDSTREAM_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace host::typedstream {

struct Value {
  enum class Type : uint8_t {
    kNil,       // a nil object, class, C string or string
    kSigned,    // c s i l q (and B)
    kUnsigned,  // C S I L Q
    kReal,      // f d
    kBytes,     // + (an unshared byte string), or an array of c/C
    kSymbol,    // % : (shared strings)
    kCString,   // *: `reference` names the C string's table entry
    kObject,    // @: `reference` names the object's table entry
    kClass,     // #: `reference` names the class's table entry
    kCompound,  // an array of other elements, or a struct: `items`
    kIgnored,   // !
  };
  Type type = Type::kNil;
  int64_t integer = 0;     // kSigned, and kUnsigned reinterpreted
  double real = 0;         // kReal
  std::string bytes;       // kBytes, kSymbol
  int32_t reference = -1;  // kCString, kObject, kClass
  std::vector<Value> items;
};

// One entry of the object table.
struct Entry {
  enum class Kind : uint8_t { kObject, kClass, kCString };
  Kind kind = Kind::kObject;
  // kClass: its name and version, and its superclass entry (-1: none).
  // kCString: the text in `name`.
  std::string name;
  int64_t version = 0;
  int32_t superclass = -1;
  // kObject: its class entry and its value groups, in order; `complete` is
  // false until the end-of-object mark was read.
  int32_t classEntry = -1;
  std::vector<std::vector<Value>> groups;
  bool complete = false;
};

class Archive {
 public:
  // Reads `size` bytes. Null when they do not begin with a typedstream
  // header; otherwise the archive, complete or as far as it could be read.
  static std::optional<Archive> Read(const uint8_t* data, size_t size);
  // The same, stopping as soon as the contents of a string object are read
  // (never Complete then), unless a string runs past the end.
  static std::optional<Archive> Read(const uint8_t* data, size_t size, bool untilText);

  // Every byte was read and every object ended.
  bool Complete() const { return complete_; }
  // The top-level value groups, in order.
  const std::vector<std::vector<Value>>& Groups() const { return groups_; }
  // A table entry; null for an index out of range.
  const Entry* At(int32_t index) const;
  const std::vector<Entry>& Entries() const { return entries_; }
  const std::vector<std::string>& SharedStrings() const { return sharedStrings_; }
  bool BigEndian() const { return bigEndian_; }
  int64_t SystemVersion() const { return systemVersion_; }

  // Whether the class of the object entry `index`, or one of its
  // superclasses, is named `className`.
  bool IsKindOf(int32_t index, const char* className) const;
  // The first value of an object entry's groups, in order, for which
  // `accept` holds; null when none.
  template <typename Predicate>
  const Value* FindValue(int32_t index, Predicate accept) const;
  // Every value of an object entry's groups, flattened in order.
  std::vector<const Value*> Values(int32_t index) const;

 private:
  friend class Parser;
  std::vector<std::vector<Value>> groups_;
  std::vector<Entry> entries_;
  std::vector<std::string> sharedStrings_;
  bool bigEndian_ = false;
  int64_t systemVersion_ = 0;
  bool complete_ = false;
};

template <typename Predicate>
const Value* Archive::FindValue(int32_t index, Predicate accept) const {
  const Entry* entry = At(index);
  if (!entry || entry->kind != Entry::Kind::kObject) return nullptr;
  for (const auto& group : entry->groups)
    for (const Value& value : group)
      if (accept(value)) return &value;
  return nullptr;
}

// ---- Foundation ------------------------------------------------------------

// One attribute of a run. Strings and URLs give `text`; numbers give
// `integer` or `real` (and their decimal text); data gives its bytes' count.
struct Attribute {
  enum class Kind : uint8_t { kText, kInteger, kReal, kData, kOther };
  std::string key;
  Kind kind = Kind::kOther;
  std::string text;
  int64_t integer = 0;
  double real = 0;
};

// `length` UTF-16 units of the text carrying the attributes.
struct AttributeRun {
  uint64_t length = 0;
  std::vector<Attribute> attributes;
};

struct AttributedString {
  std::string text;  // UTF-8 as archived (not validated)
  std::vector<AttributeRun> runs;
  bool complete = false;  // the archive was read to its end without damage
};

// The text of an NSString (or NSMutableString) object entry, or of the
// string of an NSAttributedString; nothing for other entries.
std::optional<std::string> StringOf(const Archive& archive, int32_t index);

// The attributed string archived in an attributedBody. Nothing when the bytes
// are no typedstream or hold no string; a damaged archive gives the text read
// before the damage (an archived string cut short gives the bytes there are).
std::optional<AttributedString> DecodeAttributedString(const uint8_t* data, size_t size);
// The same text alone, without the runs.
std::optional<std::string> DecodeText(const uint8_t* data, size_t size);

}  // namespace host::typedstream

#endif  // KELDRA_FORMATS_TYPEDSTREAM_H_
