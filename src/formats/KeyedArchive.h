// The `file` column of Manifest.db: a keyed archive (binary property list
// written by NSKeyedArchiver) of one MBFile object. The archive lists its
// objects in "$objects" and links them with UIDs (indexes into that list);
// "$top"/"root" names the MBFile dictionary.
//
// The object order differs between rows and devices, so every value is
// reached by following UIDs wherever they appear; EncryptionKey may be an
// NSData dictionary ("NS.data") or inline data. A UID that points outside
// "$objects", or a chain of UIDs that comes back on itself, makes the
// archive unreadable.
#ifndef KELDRA_FORMATS_KEYEDARCHIVE_H_
#define KELDRA_FORMATS_KEYEDARCHIVE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa {

struct ArchivedFile {
  std::optional<std::string> encryptionKey;  // class prefix and wrapped key, as stored
  std::optional<int64_t> protectionClass;
  std::optional<int64_t> size;
  std::optional<int64_t> mode;
};

// The fields of the archived MBFile, or nullopt with `error` set.
std::optional<ArchivedFile> ReadFileArchive(std::string_view bytes, std::string* error);

}  // namespace vexa

#endif  // KELDRA_FORMATS_KEYEDARCHIVE_H_
