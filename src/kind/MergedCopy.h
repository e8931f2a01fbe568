// A database whose newest rows are still in its write-ahead log is read from
// a copy: the database and the log side by side under their real names in
// the run's temporary folder, where SQLite may write. The backup itself is
// never opened for writing.
#ifndef KELDRA_KIND_MERGEDCOPY_H_
#define KELDRA_KIND_MERGEDCOPY_H_

#include <optional>
#include <string>

namespace keldra {

// Copies `databasePath` to `folder`/`name` and `logPath` to `folder`/`name`-wal,
// then applies the log to the copy and leaves it in rollback mode, so that an
// immutable read-only open sees every row. The copy's path, or nullopt with
// `error` set.
std::optional<std::string> MergeLogIntoCopy(const std::string& databasePath,
                                            const std::string& logPath, const std::string& folder,
                                            const std::string& name, std::string& error);

}  // namespace keldra

#endif  // KELDRA_KIND_MERGEDCOPY_H_
