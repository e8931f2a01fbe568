#include "formats/KeyedArchive.h"

#include <unordered_set>

#include "formats/BinaryPlist.h"

namespace vexa {
namespace {

using Object = BinaryPlist::Object;
using Type = BinaryPlist::Type;

class ArchiveReader {
 public:
  ArchiveReader(const BinaryPlist& plist, std::string* error) : plist_(plist), error_(error) {}

  bool Open() {
    Object top;
    if (!plist_.Read(plist_.TopObject(), top) || top.type != Type::kDict)
      return Fail("the top object is not a dictionary");
    std::optional<uint64_t> objects = plist_.DictValue(top, "$objects");
    if (!objects || !plist_.Read(*objects, objects_) || objects_.type != Type::kArray)
      return Fail("no $objects array");
    std::optional<uint64_t> topRef = plist_.DictValue(top, "$top");
    Object topDict;
    if (!topRef || !Resolve(*topRef, topDict)) return Fail("no $top");
    if (topDict.type != Type::kDict) return Fail("$top is not a dictionary");
    std::optional<uint64_t> root = plist_.DictValue(topDict, "root");
    if (!root || !Resolve(*root, root_)) return Fail("no root object");
    if (root_.type != Type::kDict) return Fail("the root object is not a dictionary");
    return true;
  }

  // The value of `key` in the root object, UIDs followed; false only when a
  // present value cannot be resolved.
  bool Field(std::string_view key, std::optional<Object>& out) {
    out.reset();
    std::optional<uint64_t> value = plist_.DictValue(root_, key);
    if (!value) return true;
    Object object;
    if (!Resolve(*value, object)) return false;
    out = std::move(object);
    return true;
  }

  bool EncryptionKey(std::optional<std::string>& out) {
    std::optional<Object> key;
    if (!Field("EncryptionKey", key)) return false;
    if (!key) return true;
    if (key->type == Type::kData) {
      out.emplace(key->data);
      return true;
    }
    if (key->type != Type::kDict) return Fail("EncryptionKey is neither data nor NSData");
    std::optional<uint64_t> data = plist_.DictValue(*key, "NS.data");
    Object bytes;
    if (!data || !Resolve(*data, bytes)) return Fail("EncryptionKey has no NS.data");
    if (bytes.type != Type::kData) return Fail("NS.data is not data");
    out.emplace(bytes.data);
    return true;
  }

  bool Integer(std::string_view key, std::optional<int64_t>& out) {
    std::optional<Object> value;
    if (!Field(key, value)) return false;
    if (value && value->type == Type::kInteger) out = value->integer;
    return true;
  }

 private:
  // Object `reference`, with every UID on the way replaced by the $objects
  // member it names.
  bool Resolve(uint64_t reference, Object& out) {
    if (!plist_.Read(reference, out)) return Fail("an object cannot be read");
    std::unordered_set<uint64_t> followed;
    while (out.type == Type::kUid) {
      uint64_t uid = out.uid;
      if (uid >= objects_.references.size()) return Fail("a UID points outside $objects");
      if (!followed.insert(uid).second) return Fail("UIDs refer to one another in a circle");
      if (!plist_.Read(objects_.references[uid], out)) return Fail("an object cannot be read");
    }
    return true;
  }

  bool Fail(const char* text) {
    if (error_) *error_ = text;
    return false;
  }

  const BinaryPlist& plist_;
  std::string* error_;
  Object objects_;
  Object root_;
};

}  // namespace

std::optional<ArchivedFile> ReadFileArchive(std::string_view bytes, std::string* error) {
  std::optional<BinaryPlist> plist = BinaryPlist::Open(bytes);
  if (!plist) {
    if (error) *error = "not a binary property list";
    return std::nullopt;
  }
  ArchiveReader reader(*plist, error);
  ArchivedFile file;
  if (!reader.Open() || !reader.EncryptionKey(file.encryptionKey) ||
      !reader.Integer("ProtectionClass", file.protectionClass) ||
      !reader.Integer("Size", file.size) || !reader.Integer("Mode", file.mode))
    return std::nullopt;
  return file;
}

}  // namespace vexa
