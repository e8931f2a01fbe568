#include "platform/StoredDatabase.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "common/UniqueDir.h"

namespace host {
namespace {

// Copies an opened stored file into a new private file.
bool CopyFile(const keldra::RegularFile& from, const std::string& to) {
  keldra::UniqueFd out(
      open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out) return false;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    ssize_t got = read(from.fd.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    for (ssize_t done = 0; done < got;) {
      ssize_t wrote = write(out.get(), buffer.data() + done, static_cast<size_t>(got - done));
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) return false;
      done += wrote;
    }
  }
}

void RemoveFolder(const std::string& folder) {
  if (keldra::UniqueDir dir{opendir(folder.c_str())}) {
    while (dirent* entry = readdir(dir.get())) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((folder + "/" + name).c_str());
    }
  }
  rmdir(folder.c_str());
}

// The settings the module's read-only open uses, for the private copy.
void Harden(sqlite3* database) {
  sqlite3_db_config(database, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(database, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(database, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  sqlite3_exec(database, "PRAGMA mmap_size=0", nullptr, nullptr, nullptr);
}

// Reading the schema proves the file is a database SQLite can read.
bool ReadsAsDatabase(sqlite3* database) {
  return sqlite3_exec(database, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) ==
         SQLITE_OK;
}

}  // namespace

std::unique_ptr<StoredDatabase> StoredDatabase::Open(const std::string& path,
                                                     const PlatformOptions& options) {
  std::optional<keldra::RegularFile> main = keldra::OpenRegularFile(path);
  if (!main) return nullptr;
  std::unique_ptr<StoredDatabase> database(new StoredDatabase());
  std::optional<keldra::RegularFile> wal = keldra::OpenRegularFile(path + "-wal");
  if (wal && wal->size > 0 && database->OpenScratchCopy(*main, *wal, options)) return database;
  // Without a usable scratch folder the main file alone is still worth reading.
  if (!database->OpenImmutable(path)) return nullptr;
  return database;
}

StoredDatabase::~StoredDatabase() {
  database_.reset();
  if (!scratchFolder_.empty()) RemoveFolder(scratchFolder_);
}

bool StoredDatabase::OpenImmutable(const std::string& path) {
  database_ = keldra::sqlite::OpenReadOnly(path);
  return database_ && ReadsAsDatabase(database_.get());
}

bool StoredDatabase::OpenScratchCopy(const keldra::RegularFile& main,
                                     const keldra::RegularFile& wal,
                                     const PlatformOptions& options) {
  std::string root = ProjectTempDir(options);
  if (root.empty()) return false;
  std::string pattern = root + "scratch-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) return false;  // mkdtemp makes it 0700
  scratchFolder_ = name.data();
  std::string copy = scratchFolder_ + "/database";
  if (!CopyFile(main, copy) || !CopyFile(wal, copy + "-wal")) {
    RemoveFolder(scratchFolder_);
    scratchFolder_.clear();
    return false;
  }
  // The copy is ours: opened for writing, SQLite applies the WAL to it.
  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(copy.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc == SQLITE_OK) Harden(raw);
  keldra::sqlite::Database database(raw, [](sqlite3* db) { sqlite3_close_v2(db); });
  if (rc != SQLITE_OK || !ReadsAsDatabase(raw)) {
    database.reset();
    RemoveFolder(scratchFolder_);
    scratchFolder_.clear();
    return false;
  }
  database_ = std::move(database);
  return true;
}

std::vector<std::string> StoredDatabase::Tables() const {
  std::vector<std::string> tables;
  Query query(*this, "SELECT name FROM sqlite_master WHERE type = 'table'");
  while (query.Step()) tables.emplace_back(query.Text(0));
  return tables;
}

bool StoredDatabase::HasTable(const std::string& table) const {
  Query query(*this, "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  return query.Bind(1, table) && query.Step();
}

std::set<std::string> StoredDatabase::Columns(const std::string& table) const {
  std::set<std::string> columns;
  Query query(*this, "PRAGMA table_info(" + QuoteIdentifier(table) + ")");
  while (query.Step()) columns.emplace(query.Text(1));
  return columns;
}

Query::Query(const StoredDatabase& database, const std::string& sql)
    : owner_(keldra::sqlite::Prepare(database.Shared(), sql.c_str())), statement_(owner_.get()) {}

bool Query::Bind(int index, int64_t value) {
  return statement_ && sqlite3_bind_int64(statement_, index, value) == SQLITE_OK;
}

bool Query::Bind(int index, const std::string& value) {
  return statement_ &&
         sqlite3_bind_text(statement_, index, value.data(), static_cast<int>(value.size()),
                           SQLITE_TRANSIENT) == SQLITE_OK;
}

bool Query::Step() {
  return statement_ && sqlite3_step(statement_) == SQLITE_ROW;
}

bool Query::IsNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::string_view Query::Text(int column) const {
  const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  if (!text) return {};
  return {text, static_cast<size_t>(sqlite3_column_bytes(statement_, column))};
}

int64_t Query::Int64(int column) const {
  switch (sqlite3_column_type(statement_, column)) {
    case SQLITE_INTEGER:
      return sqlite3_column_int64(statement_, column);
    case SQLITE_FLOAT: {
      double value = sqlite3_column_double(statement_, column);
      if (!(value == value)) return 0;
      if (value >= 9223372036854775807.0) return INT64_MAX;
      if (value <= -9223372036854775808.0) return INT64_MIN;
      return static_cast<int64_t>(value);
    }
    default:
      return 0;
  }
}

double Query::Real(int column) const {
  int type = sqlite3_column_type(statement_, column);
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return 0;
  double value = sqlite3_column_double(statement_, column);
  return std::isfinite(value) ? value : 0;
}

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

}  // namespace host
