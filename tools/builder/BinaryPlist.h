// A minimal writer of binary property lists ("bplist00"), for the small
// archive every Manifest.db row carries. A general tree writer spends most of
// a large manifest's build time on that column; this one appends objects to
// flat tables that are reused from row to row.
#ifndef KELDRA_BUILDER_BINARYPLIST_H_
#define KELDRA_BUILDER_BINARYPLIST_H_

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace builder {

class BinaryPlistWriter {
 public:
  using Ref = uint32_t;  // index of an object in the list being written

  // Forgets every object, keeping the storage.
  void Clear();

  // Each call appends one object and returns its reference.
  Ref String(std::string_view utf8);
  Ref Integer(int64_t value);
  Ref Uid(uint64_t value);
  Ref Data(std::string_view bytes);
  Ref Array(const Ref* items, size_t count);
  Ref Array(std::initializer_list<Ref> items) { return Array(items.begin(), items.size()); }
  Ref Array(const std::vector<Ref>& items) { return Array(items.data(), items.size()); }
  // Key and value references, in the order they are written.
  using Pair = std::pair<Ref, Ref>;
  Ref Dict(const Pair* items, size_t count);
  Ref Dict(std::initializer_list<Pair> items) { return Dict(items.begin(), items.size()); }
  Ref Dict(const std::vector<Pair>& items) { return Dict(items.data(), items.size()); }

  // Serialises every object with `top` as the root, replacing `out`.
  void Write(Ref top, std::string& out) const;

 private:
  enum class Type : uint8_t { kString, kUtf16, kInteger, kUid, kData, kArray, kDict };
  struct Object {
    Type type;
    uint64_t value;  // the number, or the start in bytes_/refs_
    uint32_t count;  // bytes, UTF-16 units, or references (pairs for a dictionary)
  };

  Ref Append(Type type, uint64_t value, uint32_t count);
  void WriteObject(const Object& object, unsigned refSize, std::string& out) const;

  std::vector<Object> objects_;
  std::string bytes_;      // text and data of every object
  std::vector<Ref> refs_;  // array items; dictionary keys then values
};

}  // namespace builder

#endif  // KELDRA_BUILDER_BINARYPLIST_H_
