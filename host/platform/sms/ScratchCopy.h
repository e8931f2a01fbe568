// A private copy of a database and its write-ahead log. A database whose
// newest rows live in a "-wal" file beside it cannot be read in place without
// SQLite writing next to the original; the copy is read instead, in a folder
// only this user can enter, and removed with everything SQLite made there.
#ifndef HOST_PLATFORM_SMS_SCRATCHCOPY_H_
#define HOST_PLATFORM_SMS_SCRATCHCOPY_H_

#include <memory>
#include <string>

namespace host::sms {

class ScratchCopy {
 public:
  // Copies `path` and `path` + "-wal" into a new 0700 folder below
  // `tempDir` (which ends in "/"). Null when either copy fails.
  static std::unique_ptr<ScratchCopy> Make(const std::string& path, const std::string& tempDir);
  ~ScratchCopy();
  ScratchCopy(const ScratchCopy&) = delete;
  ScratchCopy& operator=(const ScratchCopy&) = delete;

  const std::string& DatabasePath() const { return database_; }

 private:
  explicit ScratchCopy(std::string folder) : folder_(std::move(folder)) {}
  std::string folder_;  // no trailing "/"
  std::string database_;
};

// Whether a "-wal" file lies beside `path`.
bool HasWriteAheadLog(const std::string& path);

}  // namespace host::sms

#endif  // HOST_PLATFORM_SMS_SCRATCHCOPY_H_
