#include "backup/Mbdb.h"

#include "common/StoredFile.h"
#include "formats/MbdbParser.h"
#include "vorn/VRNUtilityFile.h"

namespace keldra {

bool Mbdb::Load(const std::string& backupDir, bool isEncrypted, const std::string&) {
  backupDir_ = backupDir;
  bool encrypted = isEncrypted && decipher_;
  if (encrypted && !PrepareTempDir()) return false;
  UniqueFile file = OpenRegularStream(backupDir_ + "Manifest.mbdb");
  if (!file) return false;
  ByteReader reader(file.get());
  MbdbParser parser(reader);
  if (!parser.ReadHeader()) return false;

  MbdbEntry entry;
  std::string joined;
  char fileID[41];
  while (parser.Next(entry)) {
    joined.assign(entry.domain).append("-").append(entry.path);
    VRNUtilityFile::Sha1HexInto(joined.data(), joined.size(), fileID);
    AddRecord(std::string_view(fileID, 40), entry.domain, entry.path, entry.flags, encrypted);
  }
  return true;
}

}  // namespace keldra
