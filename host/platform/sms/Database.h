// What the host's messages reader needs beyond the shared SQLite owners and
// opens: the tables and columns a database really has.
#ifndef HOST_PLATFORM_SMS_DATABASE_H_
#define HOST_PLATFORM_SMS_DATABASE_H_

#include <set>
#include <string>
#include <string_view>

#include "common/Sqlite.h"

namespace host::sms {

using keldra::sqlite::Database;
using keldra::sqlite::Int64;
using keldra::sqlite::IsNull;
using keldra::sqlite::Statement;
using keldra::sqlite::Text;

// Null when the statement does not prepare.
inline Statement Prepare(const Database& database, const std::string& sql) {
  return keldra::sqlite::Prepare(database, sql.c_str());
}

inline std::string_view Blob(sqlite3_stmt* statement, int column) {
  const auto* blob = static_cast<const char*>(sqlite3_column_blob(statement, column));
  if (!blob) return {};
  return {blob, static_cast<size_t>(sqlite3_column_bytes(statement, column))};
}

// Names of the ordinary tables (not views, not virtual tables), lowercase.
std::set<std::string> TableNames(const Database& database);
// Column names of a table, lowercase; empty when it has none or is missing.
std::set<std::string> ColumnNames(const Database& database, const std::string& table);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_DATABASE_H_
