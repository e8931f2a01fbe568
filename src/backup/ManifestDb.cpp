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

bool ManifestDb::Load(const std::string& backupDir, bool isEncrypted, const std::string&) {
  encrypted_ = isEncrypted;
  backupDir_ = backupDir;
  return isEncrypted ? LoadEncrypted() : LoadPlain();
}

bool ManifestDb::LoadPlain() {
  sqlite::Database database = sqlite::OpenReadOnly(backupDir_ + "Manifest.db");
  if (!database) return false;
  sqlite::Statement statement =
      sqlite::Prepare(database, "select fileID,domain,relativePath,flags from Files");
  if (!statement) return false;
  sqlite3_stmt* row = statement.get();
  int rc;
  while ((rc = sqlite3_step(row)) == SQLITE_ROW) {
    if (sqlite::IsNull(row, 0)) continue;
    AddRecord(sqlite::Text(row, 0), sqlite::Text(row, 1), sqlite::Text(row, 2), FlagsOf(row),
              false);
  }
  return rc == SQLITE_DONE;
}

bool ManifestDb::LoadEncrypted() {
  if (!PrepareTempDir()) return false;

  rapidjson::Document request(rapidjson::kObjectType);
  auto& a = request.GetAllocator();
  PimJsonUtil::AddJsonDictStringValue(request, a, "backupDir", backupDir_);
  PimJsonUtil::AddJsonDictStringValue(request, a, "tempDir", tempDir_);
  std::optional<std::string> manifest = DecryptRequestForPath(names::kVexaDecryptManifest, request);
  if (!manifest) return false;
  ReadDecryptedManifest(*manifest);
  return true;
}

bool ManifestDb::ReadDecryptedManifest(const std::string& path) {
  sqlite::Database database = sqlite::OpenReadOnly(path);
  if (!database) return false;
  sqlite::Statement statement =
      sqlite::Prepare(database, "SELECT fileID, domain, relativePath, flags FROM Files");
  if (!statement) return false;
  sqlite3_stmt* row = statement.get();
  while (sqlite3_step(row) == SQLITE_ROW) {
    if (sqlite::IsNull(row, 0)) continue;
    AddRecord(sqlite::Text(row, 0), sqlite::Text(row, 1), sqlite::Text(row, 2),
              sqlite3_column_int(row, 3), true);
  }
  return true;
}

}  // namespace keldra
