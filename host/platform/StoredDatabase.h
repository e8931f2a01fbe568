// How the platform's readers open a database of a backup: never changing it.
// A lone file is opened the way the module opens one (read-only, immutable:
// no journal, WAL or lock file is made). When a "-wal" file
// lies beside it, its newest rows live there; then the main file and the WAL
// are copied into a private scratch folder (0700, below the project temporary
// folder), the copy is opened, and the folder is removed when the database
// is closed.
#ifndef HOST_PLATFORM_STOREDDATABASE_H_
#define HOST_PLATFORM_STOREDDATABASE_H_

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/Sqlite.h"
#include "common/StoredFile.h"
#include "platform/Platform.h"

namespace host {

class StoredDatabase {
 public:
  // Null when the file is missing, not a regular file (a link to one
  // included) or not a database.
  static std::unique_ptr<StoredDatabase> Open(const std::string& path,
                                              const PlatformOptions& options);
  ~StoredDatabase();
  StoredDatabase(const StoredDatabase&) = delete;
  StoredDatabase& operator=(const StoredDatabase&) = delete;

  sqlite3* Handle() const { return database_.get(); }
  const keldra::sqlite::Database& Shared() const { return database_; }
  // Whether the file actually read is a private copy with its WAL applied.
  bool ReadsScratchCopy() const { return !scratchFolder_.empty(); }

  // Names of the tables, from sqlite_master, in its order.
  std::vector<std::string> Tables() const;
  bool HasTable(const std::string& table) const;
  // Column names of a table (PRAGMA table_info); empty for a missing table.
  std::set<std::string> Columns(const std::string& table) const;

 private:
  StoredDatabase() = default;
  bool OpenImmutable(const std::string& path);
  bool OpenScratchCopy(const keldra::RegularFile& main, const keldra::RegularFile& wal,
                       const PlatformOptions& options);

  keldra::sqlite::Database database_;
  std::string scratchFolder_;  // "" when the backup's own file is read
};

// A prepared statement; not Ok when it does not prepare.
class Query {
 public:
  Query(const StoredDatabase& database, const std::string& sql);

  bool Ok() const { return statement_ != nullptr; }
  bool Bind(int index, int64_t value);
  bool Bind(int index, const std::string& value);
  // The next row; false at the end or on an error.
  bool Step();

  bool IsNull(int column) const;
  std::string_view Text(int column) const;
  // The integer value of an integer or real column (clamped); 0 otherwise.
  int64_t Int64(int column) const;
  // The value of a number column, 0 for anything else or a value that is
  // not finite (JSON cannot carry those).
  double Real(int column) const;

 private:
  keldra::sqlite::Statement owner_;  // keeps the database open while it lives
  sqlite3_stmt* statement_;
};

// A name as an SQL identifier, in double quotes.
std::string QuoteIdentifier(std::string_view name);

}  // namespace host

#endif  // HOST_PLATFORM_STOREDDATABASE_H_
