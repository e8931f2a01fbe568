// Keyed archives of the manifest's `file` column, and the binary property
// list reader under them: any bytes must decode or be refused, never loop on
// circular references or read past the input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/BinaryPlist.h"
#include "formats/KeyedArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  std::optional<vexa::ArchivedFile> file = vexa::ReadFileArchive(bytes, &error);
  if (file && file->encryptionKey && file->encryptionKey->size() > size) __builtin_trap();

  // Every object the list claims, decoded on its own.
  std::optional<vexa::BinaryPlist> plist = vexa::BinaryPlist::Open(bytes);
  if (!plist) return 0;
  vexa::BinaryPlist::Object object;
  uint64_t count = plist->ObjectCount() < 4096 ? plist->ObjectCount() : 4096;
  for (uint64_t i = 0; i < count; ++i) {
    if (!plist->Read(i, object)) continue;
    if (object.data.size() > size || object.references.size() > size) __builtin_trap();
    if (object.type == vexa::BinaryPlist::Type::kDict) plist->DictValue(object, "NS.data");
  }
  return 0;
}
