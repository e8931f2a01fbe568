// The SQLite accessors the messages reader uses on the statements it runs
// over the shared database owners.
#ifndef HOST_PLATFORM_SMS_DATABASE_H_
#define HOST_PLATFORM_SMS_DATABASE_H_

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

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_DATABASE_H_
