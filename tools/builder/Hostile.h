// Backups made by someone who wants the reader to misbehave: manifest rows
// whose file ids climb out of the folder, FIFOs, links and devices where
// files belong, property lists nested deeper than any device writes, and two
// encrypted copies of one phone kept under the same folder name.
//
// Each crafting writes into `site`, an empty folder the caller owns and
// removes: the backup at site/backups/<device id>/, an ordinary backup beside
// it at site/backups/neighbour/ (a listing must still show it), and whatever
// the backup points at elsewhere below `site`. What is planted outside holds
// texts no output of the backup may ever contain.
#ifndef KELDRA_BUILDER_HOSTILE_H_
#define KELDRA_BUILDER_HOSTILE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"

namespace builder::hostile {

inline constexpr size_t kDeepXmlLevels = 200000;
inline constexpr size_t kDeepBinaryLevels = 100000;
inline constexpr char kPassword[] = "hostile backup";

// A crafted backup and what it must never let out.
struct Crafted {
  std::string backup;        // the folder, ending in "/"
  std::string neighbour;     // an ordinary backup in the same parent folder
  std::string passwordFile;  // outside the backup; "" for a plain backup
  // Texts planted outside the backup (files, databases, /etc/passwd).
  std::vector<std::string> planted;
  // Same-named copies: the second copy, and a text each copy alone holds.
  std::string twin;
  std::string ownText;
  std::string twinText;
};

enum class FifoPlace {
  kAddressBook,        // read by the module's own SQLite open
  kStoredDatabase,     // sms.db, read by the host's platform reader
  kEncryptedDatabase,  // sms.db of an encrypted backup, deciphered first
  kManifestDb,
  kManifestMbdb,
  kInfoPlist,  // read by every listing
};

enum class DeepPlace { kInfo, kManifest, kStatus, kVoiceMemoComposition, kVoiceMemoAssetManifest };

// Arrays inside arrays, `levels` deep, under a dictionary key.
std::string DeepXmlPlist(size_t levels);
std::string DeepBinaryPlist(size_t levels);

// A backup of every sample kind, as a device writes it; the four kinds of
// backup every command must leave untouched.
Crafted Ordinary(const std::string& site, ManifestFormat format, bool encrypted);

// Rows whose file ids are "../victim/secret.db", "../../../../etc/passwd",
// ".", "..", an absolute climb to a planted file, and an id holding NUL.
Crafted EscapingFileIds(const std::string& site);
// A FIFO where a file of the backup belongs: opening it for reading blocks.
Crafted FifoInPlaceOf(const std::string& site, FifoPlace place);
// Stored files that are links: to a planted address book, a planted text,
// /etc/passwd and (a message's attachment) a file of a telling size.
Crafted SymlinksToOutsideFiles(const std::string& site);
// Stored files that are links to /dev/zero and /dev/urandom.
Crafted SymlinksToDevices(const std::string& site);
// The two-character folder of sms.db is a link to a planted folder that
// holds a database under sms.db's file id.
Crafted SymlinkedSubfolder(const std::string& site);
// `place` nested kDeepXmlLevels (XML) or kDeepBinaryLevels (binary) deep.
Crafted DeepPlist(const std::string& site, DeepPlace place, PlistFormat format);
// Two encrypted copies: the site's backup and site/two/<device id>/, with
// one password and different messages.
Crafted SameNamedEncrypted(const std::string& site);

}  // namespace builder::hostile

#endif  // KELDRA_BUILDER_HOSTILE_H_
