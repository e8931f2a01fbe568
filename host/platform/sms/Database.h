// How the host's messages reader opens and inspects a database: the stored
// file read-only and immutable (nothing is ever written beside it), a private
// scratch copy read-only with its write-ahead log, statements in shared
// owners, and the tables and columns a file really has.
#ifndef HOST_PLATFORM_SMS_DATABASE_H_
#define HOST_PLATFORM_SMS_DATABASE_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

namespace host::sms {

using Database = std::shared_ptr<sqlite3>;
using Statement = std::shared_ptr<sqlite3_stmt>;

// file:<percent-encoded path>?immutable=1, read-only: no journal, WAL or
// lock file is made and a missing file is never created. Null on failure.
Database OpenImmutable(const std::string& path);
// A copy of ours in a private folder, read-only but not immutable, so that a
// write-ahead log beside it is read. Null on failure.
Database OpenScratchCopy(const std::string& path);

// Null when the statement does not prepare.
Statement Prepare(const Database& database, const std::string& sql);

// Names of the ordinary tables (not views, not virtual tables), lowercase.
std::set<std::string> TableNames(const Database& database);
// Column names of a table, lowercase; empty when it has none or is missing.
std::set<std::string> ColumnNames(const Database& database, const std::string& table);

inline std::string_view ColumnText(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (!text) return {};
  return {text, static_cast<size_t>(sqlite3_column_bytes(statement, column))};
}
inline std::string_view ColumnBlob(sqlite3_stmt* statement, int column) {
  const auto* blob = static_cast<const char*>(sqlite3_column_blob(statement, column));
  if (!blob) return {};
  return {blob, static_cast<size_t>(sqlite3_column_bytes(statement, column))};
}
inline bool ColumnIsNull(sqlite3_stmt* statement, int column) {
  return sqlite3_column_type(statement, column) == SQLITE_NULL;
}
inline int64_t ColumnInt64(sqlite3_stmt* statement, int column) {
  return sqlite3_column_int64(statement, column);
}

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_DATABASE_H_
