#include "builder/kinds/ScratchDatabase.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include "builder/BackupBuilder.h"

namespace builder {
namespace {

std::string TemporaryPath() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/keldra-db-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  int fd = mkstemp(buffer.data());
  if (fd < 0) throw BuildError("cannot create a temporary database file");
  close(fd);
  return buffer.data();
}

}  // namespace

ScratchDatabase::ScratchDatabase() : path_(TemporaryPath()) {
  Open();
}

ScratchDatabase::ScratchDatabase(std::string path) : path_(std::move(path)), keep_(true) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::remove((path_ + suffix).c_str());
  Open();
}

void ScratchDatabase::Open() {
  if (sqlite3_open(path_.c_str(), &db_) != SQLITE_OK) {
    std::string message = sqlite3_errmsg(db_);
    sqlite3_close(db_);
    db_ = nullptr;
    if (!keep_) std::remove(path_.c_str());
    throw BuildError("cannot open " + path_ + ": " + message);
  }
  try {
    Exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=OFF; BEGIN");
  } catch (...) {
    sqlite3_close(db_);
    db_ = nullptr;
    if (!keep_) std::remove(path_.c_str());
    throw;
  }
}

ScratchDatabase::~ScratchDatabase() {
  for (auto& entry : statements_) sqlite3_finalize(entry.second);
  if (db_) sqlite3_close(db_);
  if (!keep_)
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path_ + suffix).c_str());
}

void ScratchDatabase::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw BuildError("sql failed (" + message + "): " + sql.substr(0, 200));
  }
}

sqlite3_stmt* ScratchDatabase::Statement(const std::string& sql) {
  auto found = statements_.find(sql);
  if (found != statements_.end()) {
    sqlite3_reset(found->second);
    sqlite3_clear_bindings(found->second);
    return found->second;
  }
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    throw BuildError(std::string("cannot prepare (") + sqlite3_errmsg(db_) + "): " + sql);
  statements_.emplace(sql, statement);
  return statement;
}

void ScratchDatabase::Bind(sqlite3_stmt* statement, int index, const Field& field) {
  int rc = SQLITE_OK;
  if (std::holds_alternative<int64_t>(field)) {
    rc = sqlite3_bind_int64(statement, index, std::get<int64_t>(field));
  } else if (std::holds_alternative<double>(field)) {
    rc = sqlite3_bind_double(statement, index, std::get<double>(field));
  } else if (const auto* text = std::get_if<std::string>(&field)) {
    rc = sqlite3_bind_text64(statement, index, text->data(), text->size(), SQLITE_TRANSIENT,
                             SQLITE_UTF8);
  } else if (const auto* blob = std::get_if<Blob>(&field)) {
    rc = sqlite3_bind_blob64(statement, index, blob->bytes.data(), blob->bytes.size(),
                             SQLITE_TRANSIENT);
  } else {
    rc = sqlite3_bind_null(statement, index);
  }
  if (rc != SQLITE_OK) throw BuildError(std::string("cannot bind: ") + sqlite3_errmsg(db_));
}

void ScratchDatabase::Step(sqlite3_stmt* statement) {
  if (sqlite3_step(statement) != SQLITE_DONE)
    throw BuildError(std::string("insert failed: ") + sqlite3_errmsg(db_));
}

void ScratchDatabase::Insert(const std::string& table,
                             std::initializer_list<std::pair<const char*, Field>> columns) {
  std::vector<std::pair<std::string, Field>> list;
  list.reserve(columns.size());
  for (const auto& column : columns) list.emplace_back(column.first, column.second);
  Insert(table, list);
}

void ScratchDatabase::Insert(const std::string& table,
                             const std::vector<std::pair<std::string, Field>>& columns) {
  std::string sql = "INSERT INTO " + table + " (";
  std::string values;
  for (size_t i = 0; i < columns.size(); ++i) {
    sql += (i ? "," : "") + columns[i].first;
    values += i ? ",?" : "?";
  }
  sql += ") VALUES (" + values + ")";
  sqlite3_stmt* statement = Statement(sql);
  for (size_t i = 0; i < columns.size(); ++i)
    Bind(statement, static_cast<int>(i + 1), columns[i].second);
  Step(statement);
}

const std::string& ScratchDatabase::Finish() {
  if (!db_) return path_;
  Exec("COMMIT");
  for (auto& entry : statements_) sqlite3_finalize(entry.second);
  statements_.clear();
  // Closing the last connection checkpoints the log into the file and
  // removes it; the header keeps saying WAL.
  if (sqlite3_close(db_) != SQLITE_OK) throw BuildError("cannot close " + path_);
  db_ = nullptr;
  return path_;
}

}  // namespace builder
