#include "platform/sms/Database.h"

#include <cctype>

namespace host::sms {
namespace {

bool Unreserved(unsigned char c) {
  return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

std::string ImmutableUri(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string uri = "file:";
  // A path starting "//" must not be read as an authority.
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
  return uri + "?immutable=1";
}

std::string Lowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A hostile file must not run code of its own or map itself into memory.
Database Open(const std::string& name, int flags) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  Database database(raw, [](sqlite3* db) { sqlite3_close(db); });
  if (rc != SQLITE_OK) return nullptr;
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_exec(raw, "PRAGMA mmap_size=0", nullptr, nullptr, nullptr);
  return database;
}

}  // namespace

Database OpenImmutable(const std::string& path) {
  if (path.empty()) return nullptr;
  return Open(ImmutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI);
}

Database OpenScratchCopy(const std::string& path) {
  if (path.empty()) return nullptr;
  return Open(path, SQLITE_OPEN_READONLY);
}

Statement Prepare(const Database& database, const std::string& sql) {
  if (!database) return nullptr;
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(database.get(), sql.c_str(), static_cast<int>(sql.size()), &raw,
                         nullptr) != SQLITE_OK ||
      !raw) {
    sqlite3_finalize(raw);
    return nullptr;
  }
  Database keepOpen = database;
  return Statement(raw, [keepOpen](sqlite3_stmt* statement) { sqlite3_finalize(statement); });
}

std::set<std::string> TableNames(const Database& database) {
  std::set<std::string> names;
  Statement statement = Prepare(
      database,
      "SELECT name FROM sqlite_master WHERE type = 'table' AND sql NOT LIKE 'CREATE VIRTUAL%'");
  while (statement && sqlite3_step(statement.get()) == SQLITE_ROW)
    names.insert(Lowercase(ColumnText(statement.get(), 0)));
  return names;
}

std::set<std::string> ColumnNames(const Database& database, const std::string& table) {
  std::set<std::string> names;
  Statement statement = Prepare(database, "SELECT name FROM pragma_table_info(?1)");
  if (!statement) return names;
  sqlite3_bind_text(statement.get(), 1, table.c_str(), static_cast<int>(table.size()),
                    SQLITE_TRANSIENT);
  while (sqlite3_step(statement.get()) == SQLITE_ROW)
    names.insert(Lowercase(ColumnText(statement.get(), 0)));
  return names;
}

}  // namespace host::sms
