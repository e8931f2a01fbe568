#include "kind/MergedCopy.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "common/StoredFile.h"
#include "common/UniqueFd.h"

namespace keldra {
namespace {

bool WriteAll(int descriptor, const char* data, size_t length) {
  while (length > 0) {
    ssize_t written = write(descriptor, data, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    length -= static_cast<size_t>(written);
  }
  return true;
}

bool CopyFile(const std::string& from, const std::string& to, std::string& error) {
  std::optional<RegularFile> source = OpenRegularFile(from);
  if (!source) {
    error = "cannot open " + from + ": " + std::strerror(errno);
    return false;
  }
  // O_NOFOLLOW: a link planted in the temporary folder is not written through.
  UniqueFd target(open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!target) {
    error = "cannot create " + to + ": " + std::strerror(errno);
    return false;
  }
  char buffer[64 * 1024];
  for (;;) {
    ssize_t got = read(source->fd.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = "cannot read " + from + ": " + std::strerror(errno);
      return false;
    }
    if (got == 0) return true;
    if (!WriteAll(target.get(), buffer, static_cast<size_t>(got))) {
      error = "cannot write " + to + ": " + std::strerror(errno);
      return false;
    }
  }
}

using Connection = std::unique_ptr<sqlite3, int (*)(sqlite3*)>;

// Opening the copy read-write lets SQLite recover the log; switching to
// rollback mode checkpoints every frame into the main file and removes the
// log, so later immutable opens need nothing beside it.
bool ApplyLog(const std::string& path, std::string& error) {
  sqlite3* raw = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  Connection connection(raw, &sqlite3_close);
  if (rc != SQLITE_OK) {
    error = sqlite3_errstr(rc);
    return false;
  }
  sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
  sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  if (sqlite3_exec(raw, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(raw);
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> MergeLogIntoCopy(const std::string& databasePath,
                                            const std::string& logPath, const std::string& folder,
                                            const std::string& name, std::string& error) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = "cannot create " + folder + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const std::string copy = folder + name;
  // A leftover log or index of an earlier copy must not be replayed into this one.
  unlink((copy + "-shm").c_str());
  if (!CopyFile(databasePath, copy, error) || !CopyFile(logPath, copy + "-wal", error) ||
      !ApplyLog(copy, error))
    return std::nullopt;
  return copy;
}

}  // namespace keldra
