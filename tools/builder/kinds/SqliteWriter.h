// A SQLite database being written by one of the device-database writers,
// and the base those writers share: fill rows, then write them to a file or
// straight into a backup.
#ifndef KELDRA_BUILDER_KINDS_SQLITEWRITER_H_
#define KELDRA_BUILDER_KINDS_SQLITEWRITER_H_

#include <sqlite3.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "builder/BackupBuilder.h"
#include "builder/kinds/Cell.h"

namespace builder {

class SqliteDatabase {
 public:
  // A new database file at `path` (an existing file there is replaced), or
  // an in-memory one when `path` is empty.
  explicit SqliteDatabase(const std::string& path);
  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  // Runs one or more statements; throws BuildError when one fails.
  void Exec(const std::string& sql);
  // Runs one statement with `cells` bound to its parameters in order; the
  // statement is prepared once and reused.
  void Run(const std::string& sql, const std::vector<Cell>& cells);
  int64_t LastInsertRowId() const;
  // The bytes of the whole database file.
  std::string Serialize();

  sqlite3* Handle() const { return db_.get(); }

 private:
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
  };
  struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
  };

  sqlite3_stmt* Prepared(const std::string& sql);

  // Statements are declared last so that they are finalized first.
  std::unique_ptr<sqlite3, Close> db_;
  std::map<std::string, std::unique_ptr<sqlite3_stmt, Finalize>> statements_;
};

// A writer of one device database: subclasses hold the rows a test adds and
// write schema and rows in Populate.
class DatabaseWriter {
 public:
  virtual ~DatabaseWriter() = default;

  // Writes the database file at `path`, replacing what is there.
  void Write(const std::string& path) const;
  // The database file's bytes.
  std::string Bytes() const;
  // Stores the database in `backup` under its usual domain and path (or the
  // ones given); returns the file id.
  std::string AddTo(BackupBuilder& backup) const;
  std::string AddTo(BackupBuilder& backup, const std::string& domain,
                    const std::string& relativePath) const;

  virtual const char* Domain() const = 0;
  virtual const char* RelativePath() const = 0;

 protected:
  // Creates the schema and inserts the rows, inside one transaction.
  virtual void Populate(SqliteDatabase& database) const = 0;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_SQLITEWRITER_H_
