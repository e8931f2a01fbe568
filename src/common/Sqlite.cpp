#include "common/Sqlite.h"

#include "common/StoredFile.h"

namespace keldra::sqlite {
namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~' || c == '/';
}

}  // namespace

std::string ImmutableUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  // A relative path must not be read as an authority ("file://host/...").
  if (path.compare(0, 2, "//") == 0) uri += "//localhost";
  for (unsigned char c : path) {
    if (Unreserved(c)) {
      uri += static_cast<char>(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  uri += "?immutable=1";
  return uri;
}

Database OpenReadOnly(const std::string& path) {
  // SQLite would block opening a FIFO and follows links; only a regular file
  // reached directly is handed to it.
  if (!OpenRegularFile(path)) return nullptr;
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(
      ImmutableUri(path).c_str(), &raw,
      SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW, nullptr);
  Database database(raw, [](sqlite3* db) { sqlite3_close(db); });
  if (rc != SQLITE_OK) return nullptr;
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  // The device databases read are plain tables; a view in a hostile file
  // could stand in for one and never end (a recursive query).
  sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
  sqlite3_exec(raw, "PRAGMA mmap_size=0", nullptr, nullptr, nullptr);
  return database;
}

Statement Prepare(const Database& database, const char* sql) {
  if (!database) return nullptr;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(database.get(), sql, -1, &raw, nullptr) != SQLITE_OK || !raw) {
    sqlite3_finalize(raw);
    return nullptr;
  }
  Database keepOpen = database;
  return Statement(raw, [keepOpen](sqlite3_stmt* statement) { sqlite3_finalize(statement); });
}

}  // namespace keldra::sqlite
