// Device databases written through SQL, for the builder's kinds: a database
// file made in a private scratch place, stored into a backup, then removed.
#ifndef KELDRA_BUILDER_KINDS_SQLFILE_H_
#define KELDRA_BUILDER_KINDS_SQLFILE_H_

#include <sqlite3.h>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <variant>

namespace builder {

using SqlValue = std::variant<std::nullptr_t, int64_t, double, std::string>;

class SqlFile {
 public:
  // Creates an empty database at `path`, replacing any file there.
  explicit SqlFile(const std::string& path);
  ~SqlFile();
  SqlFile(const SqlFile&) = delete;
  SqlFile& operator=(const SqlFile&) = delete;

  void Exec(const std::string& sql);
  // Runs a statement with its parameters bound in order (prepared once per
  // text and reused).
  void Run(const std::string& sql, std::initializer_list<SqlValue> values);
  // Commits and closes; later calls do nothing. The destructor calls it.
  void Close();

 private:
  sqlite3* database_ = nullptr;
  std::map<std::string, sqlite3_stmt*> statements_;
  std::string path_;
};

// A path in the temporary folder, removed (with SQLite side files) when the
// owner goes.
class ScratchPath {
 public:
  explicit ScratchPath(const std::string& stem);
  ~ScratchPath();
  ScratchPath(const ScratchPath&) = delete;
  ScratchPath& operator=(const ScratchPath&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string folder_;
  std::string path_;
};

// The bytes of a file, or a BuildError.
std::string ReadWholeFile(const std::string& path);

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_SQLFILE_H_
