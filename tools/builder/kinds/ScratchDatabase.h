// A device database written to a temporary file, so that it can be stored in
// a backup (BackupBuilder::AddFileFromDisk) or handed to a command by path.
// Rows go in through cached prepared statements, so large tables build fast.
#ifndef KELDRA_BUILDER_KINDS_SCRATCHDATABASE_H_
#define KELDRA_BUILDER_KINDS_SCRATCHDATABASE_H_

#include <sqlite3.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace builder {

// A BLOB column value (a std::string alone is stored as TEXT).
struct Blob {
  std::string bytes;
};

// One column value; the empty alternative is NULL.
using Field = std::variant<std::monostate, int64_t, double, std::string, Blob>;

template <typename T>
Field Nullable(const std::optional<T>& value) {
  if (!value) return std::monostate{};
  return Field(*value);
}

class ScratchDatabase {
 public:
  // A new, empty database file below $TMPDIR (or /tmp), removed again by
  // the destructor.
  ScratchDatabase();
  // A new, empty database at `path` (replacing a file there), kept.
  explicit ScratchDatabase(std::string path);
  ~ScratchDatabase();
  ScratchDatabase(const ScratchDatabase&) = delete;
  ScratchDatabase& operator=(const ScratchDatabase&) = delete;

  // Runs statements without results; throws BuildError on failure.
  void Exec(const std::string& sql);
  // INSERT INTO table (names) VALUES (...).
  void Insert(const std::string& table,
              std::initializer_list<std::pair<const char*, Field>> columns);
  // The same for a column list built at run time.
  void Insert(const std::string& table, const std::vector<std::pair<std::string, Field>>& columns);

  // Commits, closes and leaves the file in WAL mode, as devices keep their
  // stores (no side file remains). Returns the file's path.
  const std::string& Finish();
  const std::string& Path() const { return path_; }

 private:
  sqlite3_stmt* Statement(const std::string& sql);
  void Bind(sqlite3_stmt* statement, int index, const Field& field);
  void Step(sqlite3_stmt* statement);

  void Open();

  std::string path_;
  bool keep_ = false;
  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_SCRATCHDATABASE_H_
