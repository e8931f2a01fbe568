#include "builder/kinds/SqliteWriter.h"

#include <cstdio>

namespace builder {
namespace {

void Bind(sqlite3_stmt* statement, int index, const Cell& cell) {
  switch (cell.type) {
    case Cell::Type::kNull:
      sqlite3_bind_null(statement, index);
      break;
    case Cell::Type::kInteger:
      sqlite3_bind_int64(statement, index, cell.integer);
      break;
    case Cell::Type::kReal:
      sqlite3_bind_double(statement, index, cell.real);
      break;
    case Cell::Type::kText:
      sqlite3_bind_text64(statement, index, cell.bytes.data(), cell.bytes.size(), SQLITE_TRANSIENT,
                          SQLITE_UTF8);
      break;
    case Cell::Type::kBlob:
      sqlite3_bind_blob64(statement, index, cell.bytes.data(), cell.bytes.size(), SQLITE_TRANSIENT);
      break;
  }
}

}  // namespace

SqliteDatabase::SqliteDatabase(const std::string& path) {
  if (!path.empty()) std::remove(path.c_str());
  const std::string name = path.empty() ? ":memory:" : path;
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(name.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  db_.reset(raw);
  if (rc != SQLITE_OK) {
    throw BuildError("cannot create database " + name + ": " +
                     (raw ? sqlite3_errmsg(raw) : "out of memory"));
  }
}

SqliteDatabase::~SqliteDatabase() = default;

void SqliteDatabase::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string text = error ? error : "unknown error";
    sqlite3_free(error);
    throw BuildError("sqlite: " + text + " in: " + sql.substr(0, 200));
  }
}

sqlite3_stmt* SqliteDatabase::Prepared(const std::string& sql) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) return found->second.get();
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db_.get(), sql.c_str(), -1, &raw, nullptr);
  std::unique_ptr<sqlite3_stmt, Finalize> statement(raw);
  if (rc != SQLITE_OK || !raw)
    throw BuildError(std::string("sqlite: ") + sqlite3_errmsg(db_.get()) + " in: " + sql);
  return statements_.emplace(sql, std::move(statement)).first->second.get();
}

void SqliteDatabase::Run(const std::string& sql, const std::vector<Cell>& cells) {
  sqlite3_stmt* statement = Prepared(sql);
  sqlite3_reset(statement);
  sqlite3_clear_bindings(statement);
  for (size_t i = 0; i < cells.size(); ++i) Bind(statement, static_cast<int>(i + 1), cells[i]);
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  if (rc != SQLITE_DONE)
    throw BuildError(std::string("sqlite: ") + sqlite3_errmsg(db_.get()) + " in: " + sql);
  sqlite3_reset(statement);
}

int64_t SqliteDatabase::LastInsertRowId() const {
  return sqlite3_last_insert_rowid(db_.get());
}

std::string SqliteDatabase::Serialize() {
  sqlite3_int64 size = 0;
  unsigned char* bytes = sqlite3_serialize(db_.get(), "main", &size, 0);
  if (!bytes) throw BuildError("sqlite: cannot serialize the database");
  std::string copy(reinterpret_cast<const char*>(bytes), static_cast<size_t>(size));
  sqlite3_free(bytes);
  return copy;
}

void DatabaseWriter::Write(const std::string& path) const {
  SqliteDatabase database(path);
  database.Exec("BEGIN");
  Populate(database);
  database.Exec("COMMIT");
}

std::string DatabaseWriter::Bytes() const {
  SqliteDatabase database("");
  database.Exec("BEGIN");
  Populate(database);
  database.Exec("COMMIT");
  return database.Serialize();
}

std::string DatabaseWriter::AddTo(BackupBuilder& backup) const {
  return AddTo(backup, Domain(), RelativePath());
}

std::string DatabaseWriter::AddTo(BackupBuilder& backup, const std::string& domain,
                                  const std::string& relativePath) const {
  return backup.AddFile(domain, relativePath, Bytes());
}

}  // namespace builder
