#include "common/Sqlite.h"

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

namespace {

Database OpenHardened(const std::string& name, int flags) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  Database database(raw, [](sqlite3* db) { sqlite3_close(db); });
  if (rc != SQLITE_OK) return nullptr;
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_VIEW, 1, nullptr);
  sqlite3_exec(raw, "PRAGMA mmap_size=0", nullptr, nullptr, nullptr);
  return database;
}

}  // namespace

Database OpenReadOnly(const std::string& path) {
  if (path.empty()) return nullptr;
  return OpenHardened(ImmutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

Database OpenPrivateCopy(const std::string& path) {
  if (path.empty()) return nullptr;
  return OpenHardened(path, SQLITE_OPEN_READONLY);
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
