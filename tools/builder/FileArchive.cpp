#include "builder/FileArchive.h"

namespace builder {
namespace {

constexpr int64_t kArchiveVersion = 100000;
constexpr int64_t kMobileUser = 501;

}  // namespace

// $objects lists, by UID: "$null", the MBFile object, its path, then the
// optional target, digest and key objects, and the class descriptions last,
// the order the device's archiver produces.
void FileArchiveEncoder::Encode(const ManifestEntry& entry, std::string& out) {
  BinaryPlistWriter& w = writer_;
  w.Clear();
  std::vector<BinaryPlistWriter::Ref>& objects = objects_;
  objects.clear();
  auto nextUid = [&]() { return static_cast<uint64_t>(objects.size()); };

  objects.push_back(w.String("$null"));
  const uint64_t fileUid = 1;
  objects.push_back(0);  // the MBFile dictionary, made once its fields are known
  const uint64_t pathUid = nextUid();
  objects.push_back(w.String(entry.relativePath));

  uint64_t targetUid = 0, digestUid = 0, keyUid = 0;
  if (entry.flags == kFlagSymlink || !entry.target.empty()) {
    targetUid = nextUid();
    objects.push_back(w.String(entry.target));
  }
  if (!entry.digest.empty()) {
    digestUid = nextUid();
    objects.push_back(w.Data(entry.digest));
  }
  if (!entry.encryptionKey.empty()) {
    keyUid = nextUid();
    objects.push_back(0);
    const uint64_t dataClassUid = nextUid();
    objects.push_back(
        w.Dict({{w.String("$classname"), w.String("NSMutableData")},
                {w.String("$classes"),
                 w.Array({w.String("NSMutableData"), w.String("NSData"), w.String("NSObject")})}}));
    objects[keyUid] = w.Dict({{w.String("NS.data"), w.Data(entry.encryptionKey)},
                              {w.String("$class"), w.Uid(dataClassUid)}});
  }
  const uint64_t classUid = nextUid();
  objects.push_back(
      w.Dict({{w.String("$classname"), w.String("MBFile")},
              {w.String("$classes"), w.Array({w.String("MBFile"), w.String("NSObject")})}}));

  int64_t modified = entry.modified;
  fields_.clear();
  auto field = [&](const char* key, BinaryPlistWriter::Ref value) {
    fields_.emplace_back(w.String(key), value);
  };
  field("LastModified", w.Integer(modified));
  field("Flags", w.Integer(0));
  field("GroupID", w.Integer(kMobileUser));
  field("$class", w.Uid(classUid));
  field("LastStatusChange", w.Integer(modified));
  field("RelativePath", w.Uid(pathUid));
  if (targetUid) field("Target", w.Uid(targetUid));
  if (digestUid) field("Digest", w.Uid(digestUid));
  if (keyUid) field("EncryptionKey", w.Uid(keyUid));
  field("Birth", w.Integer(modified));
  field("Size", w.Integer(static_cast<int64_t>(entry.size)));
  field("InodeNumber", w.Integer(static_cast<int64_t>(entry.inode)));
  field("Mode", w.Integer(entry.mode));
  field("UserID", w.Integer(kMobileUser));
  field("ProtectionClass", w.Integer(entry.protectionClass));
  objects[fileUid] = w.Dict(fields_);

  BinaryPlistWriter::Ref top =
      w.Dict({{w.String("$version"), w.Integer(kArchiveVersion)},
              {w.String("$archiver"), w.String("NSKeyedArchiver")},
              {w.String("$top"), w.Dict({{w.String("root"), w.Uid(fileUid)}})},
              {w.String("$objects"), w.Array(objects_)}});
  w.Write(top, out);
}

}  // namespace builder
