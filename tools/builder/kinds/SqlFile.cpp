#include "builder/kinds/SqlFile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "builder/BackupBuilder.h"

namespace builder {

SqlFile::SqlFile(const std::string& path) : path_(path) {
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  if (sqlite3_open_v2(path.c_str(), &database_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      nullptr) != SQLITE_OK) {
    std::string message = sqlite3_errmsg(database_);
    sqlite3_close(database_);
    database_ = nullptr;
    throw BuildError("cannot create " + path + ": " + message);
  }
  Exec("BEGIN");
}

SqlFile::~SqlFile() {
  try {
    Close();
  } catch (...) {
    // Destructors must not throw; a caller that cares calls Close itself.
  }
}

void SqlFile::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(database_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw BuildError(path_ + ": " + message + " in: " + sql);
  }
}

void SqlFile::Run(const std::string& sql, std::initializer_list<SqlValue> values) {
  sqlite3_stmt*& statement = statements_[sql];
  if (!statement &&
      sqlite3_prepare_v2(database_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    throw BuildError(path_ + ": " + sqlite3_errmsg(database_) + " in: " + sql);
  sqlite3_reset(statement);
  int index = 1;
  for (const SqlValue& value : values) {
    if (const auto* number = std::get_if<int64_t>(&value)) {
      sqlite3_bind_int64(statement, index, *number);
    } else if (const auto* real = std::get_if<double>(&value)) {
      sqlite3_bind_double(statement, index, *real);
    } else if (const auto* text = std::get_if<std::string>(&value)) {
      sqlite3_bind_text(statement, index, text->data(), static_cast<int>(text->size()),
                        SQLITE_TRANSIENT);
    } else {
      sqlite3_bind_null(statement, index);
    }
    ++index;
  }
  if (sqlite3_step(statement) != SQLITE_DONE)
    throw BuildError(path_ + ": " + sqlite3_errmsg(database_) + " in: " + sql);
}

void SqlFile::Close() {
  if (!database_) return;
  for (auto& entry : statements_) sqlite3_finalize(entry.second);
  statements_.clear();
  sqlite3* database = database_;
  database_ = nullptr;
  char* error = nullptr;
  int rc = sqlite3_exec(database, "COMMIT", nullptr, nullptr, &error);
  sqlite3_free(error);
  sqlite3_close(database);
  if (rc != SQLITE_OK) throw BuildError("cannot commit " + path_);
}

ScratchPath::ScratchPath(const std::string& stem) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/keldra-builder-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) throw BuildError("cannot make a scratch folder in " + pattern);
  folder_ = buffer.data();
  path_ = folder_ + "/" + stem;
}

ScratchPath::~ScratchPath() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw BuildError("cannot read " + path);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace builder
