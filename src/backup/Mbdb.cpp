#include "backup/Mbdb.h"

#include "common/StoredFile.h"
#include "formats/MbdbParser.h"
#include "vorn/VRNUtilityFile.h"

namespace keldra {

Status Mbdb::ReadManifest(bool isEncrypted) {
  bool encrypted = isEncrypted && decipher_;
  if (encrypted && !PrepareTempDir())
    return Status::Failure("no temporary folder for deciphered files");
  UniqueFile file = OpenRegularStream(backupDir_ + "Manifest.mbdb");
  if (!file) return Status::Failure("Manifest.mbdb is missing or not a regular file");
  ByteReader reader(file.get());
  MbdbParser parser(reader);
  if (!parser.ReadHeader()) return Status::Failure("Manifest.mbdb has no mbdb header");

  MbdbEntry entry;
  std::string joined;
  char fileID[41];
  while (parser.Next(entry)) {
    joined.assign(entry.domain).append("-").append(entry.path);
    VRNUtilityFile::Sha1HexInto(joined.data(), joined.size(), fileID);
    AddRecord(std::string_view(fileID, 40), entry.domain, entry.path, entry.flags, encrypted);
  }
  return Status::Ok();
}

}  // namespace keldra
