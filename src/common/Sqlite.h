// Shared owners for SQLite handles, and the one way the module opens a
// database: read-only, immutable (no journal, WAL or lock file is made, a
// missing file is never created) and hardened against hostile files.
#ifndef KELDRA_COMMON_SQLITE_H_
#define KELDRA_COMMON_SQLITE_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace keldra::sqlite {

using Database = std::shared_ptr<sqlite3>;        // closes with sqlite3_close
using Statement = std::shared_ptr<sqlite3_stmt>;  // finalizes; keeps its database open

// Null when the file cannot be opened (an empty path included) or is not a
// regular file reached without following a link.
Database OpenReadOnly(const std::string& path);

// Null when the statement does not prepare.
Statement Prepare(const Database& database, const char* sql);

// The URI SQLite is given for a path: file:<percent-encoded>?immutable=1.
std::string ImmutableUri(const std::string& path);

// Column accessors that never return null text.
inline std::string_view Text(sqlite3_stmt* statement, int column) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  if (!text) return {};
  return {text, static_cast<size_t>(sqlite3_column_bytes(statement, column))};
}
inline bool IsNull(sqlite3_stmt* statement, int column) {
  return sqlite3_column_type(statement, column) == SQLITE_NULL;
}
inline int64_t Int64(sqlite3_stmt* statement, int column) {
  return sqlite3_column_int64(statement, column);
}

}  // namespace keldra::sqlite

#endif  // KELDRA_COMMON_SQLITE_H_
