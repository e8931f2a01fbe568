#include "cli/ManifestListing.h"

#include "common/Sqlite.h"
#include "common/StoredFile.h"
#include "formats/MbdbParser.h"
#include "vorn/VRNUtilityFile.h"

namespace cli {
namespace {

// Manifest.db flags: 1 file, 2 directory, 4 link.
EntryType FromFlags(int64_t flags) {
  switch (flags) {
    case 1:
      return EntryType::kFile;
    case 2:
      return EntryType::kDirectory;
    case 4:
      return EntryType::kLink;
    default:
      return EntryType::kOther;
  }
}

// Manifest.mbdb keeps the POSIX mode; its flags byte is the protection class.
EntryType FromMode(uint16_t mode) {
  switch (mode & 0xF000) {
    case 0x8000:
      return EntryType::kFile;
    case 0x4000:
      return EntryType::kDirectory;
    case 0xA000:
      return EntryType::kLink;
    default:
      return EntryType::kOther;
  }
}

}  // namespace

bool ForEachManifestDbRow(const std::string& databasePath,
                          const std::function<bool(const ListedFile&)>& visit, std::string* error) {
  keldra::sqlite::Database database = keldra::sqlite::OpenReadOnly(databasePath);
  keldra::sqlite::Statement statement =
      keldra::sqlite::Prepare(database, "SELECT fileID, domain, relativePath, flags FROM Files");
  if (!statement) {
    if (error) *error = databasePath + " is not a readable manifest";
    return false;
  }
  ListedFile file;
  int rc;
  while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
    sqlite3_stmt* row = statement.get();
    if (keldra::sqlite::IsNull(row, 0)) continue;
    file.fileID = keldra::sqlite::Text(row, 0);
    file.domain = keldra::sqlite::Text(row, 1);
    file.relativePath = keldra::sqlite::Text(row, 2);
    file.type = FromFlags(sqlite3_column_int64(row, 3));
    if (!visit(file)) return true;
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = databasePath + ": " + sqlite3_errstr(rc);
    return false;
  }
  return true;
}

bool ForEachMbdbEntry(const std::string& mbdbPath,
                      const std::function<bool(const ListedFile&)>& visit, std::string* error) {
  keldra::UniqueFile handle = keldra::OpenRegularStream(mbdbPath);
  keldra::ByteReader reader(handle.get());
  keldra::MbdbParser parser(reader);
  if (!handle || !parser.ReadHeader()) {
    if (error) *error = mbdbPath + " is not a readable manifest";
    return false;
  }
  keldra::MbdbEntry entry;
  ListedFile file;
  std::string joined;
  while (parser.Next(entry)) {
    joined.assign(entry.domain).append("-").append(entry.path);
    file.fileID = VRNUtilityFile::Sha1Hex(joined.data(), joined.size());
    file.domain = entry.domain;
    file.relativePath = entry.path;
    file.type = FromMode(entry.mode);
    if (!visit(file)) return true;
  }
  return true;
}

void Count(ManifestCounts& counts, const ListedFile& file) {
  switch (file.type) {
    case EntryType::kFile:
      ++counts.files;
      break;
    case EntryType::kDirectory:
      ++counts.directories;
      break;
    case EntryType::kLink:
      ++counts.links;
      break;
    case EntryType::kOther:
      ++counts.other;
      break;
  }
}

}  // namespace cli
