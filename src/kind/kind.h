// The base of every data kind, and what all kinds share: the result sender,
// the SQLite error report, the readable path of a backed-up file
// (decrypting on demand), and the stored-file path rule.
#ifndef KELDRA_KIND_KIND_H_
#define KELDRA_KIND_KIND_H_

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <vector>

#include "backup/BackupInfo.h"
#include "backup/ManifestFile.h"
#include "common/Observer.h"
#include "common/Sqlite.h"
#include "keldra/Kinds.h"
#include "kind/DatabaseWatch.h"
#include "kind/ScanContext.h"
#include "kind/StageSender.h"
#include "vorn/Json.h"

namespace keldra {

class DbBase;

class Kind : public VRNObserver {
 public:
  using Allocator = rapidjson::Document::AllocatorType;

  virtual ~Kind() = default;
  virtual void Run(const ScanContext& scan) = 0;
  // One ERROR line: "code: <errcode> msg: <SQLite's text for that code>".
  virtual void ReportSqliteError(sqlite3* database);
  // Called by the scan right after construction, before any notification.
  virtual void Configure(const BackupInfo& info) { (void)info; }

  // Sends one stage message:
  // {"stage","stage_total","status","sub_command_type","type","sub_type","result"}.
  // `result` is lent: it is back in the caller's hands, unchanged, on return.
  void SendResult(Allocator& allocator, rapidjson::Value& result, const char* taskId, int stage,
                  int stageTotal, int status, int type, int subType, const char* subCommandType);

  // Complete reading: the scan asked for everything the device holds, not
  // only what the fixed statements reach.
  bool CompleteReading() const { return completeReading_; }
  void SetCompleteReading(bool on) { completeReading_ = on; }

  // A database this kind could not read fully. `what` is one of "missing",
  // "not a regular file", "unreadable", "query failed", "locked".
  void AddProblem(std::string path, std::string what, std::string detail);
  // In complete reading, adds "problems" (an array, possibly empty) to a
  // closing result object; does nothing in exact reading.
  void AttachProblems(rapidjson::Value& closing, Allocator& allocator) const;
  bool HasProblems() const { return !problems_.empty(); }
  // How problems name watch `index`'s file: "<domain>/<relative path>".
  std::string WatchLabel(size_t index) const;
  // The record chosen for watch `index`; null when the manifest lists none.
  const ManifestFile* WatchedFile(size_t index) const;

  // A kind finds the files it reads by domain and relative path. It declares
  // them once (an empty `domain` accepts any, the device's own before an
  // app's) and gets back the index Locate takes.
  size_t WatchDatabase(std::string relativePath, std::string domain = {},
                       ExactMatch exact = ExactMatch::kSameDomain);
  size_t WatchFile(std::string relativePath, std::string domain = {},
                   ExactMatch exact = ExactMatch::kSameDomain);
  // The manifest reader's notification: one record, handed to the watches.
  void Update(void* argument, const char* commandType) override;
  // In complete reading, hands the manifest record `argument` to the watches
  // and returns true; false in exact reading.
  bool TakeRecordInCompleteReading(const void* argument);
  // The path to read for watch `index`. Exact reading: the first matching
  // record's readable path, taken when it was notified. Complete reading:
  // the stored file, deciphered where the backup is encrypted, or a merged
  // copy when a write-ahead log is listed beside it. "" when the manifest
  // lists no such file, or when it cannot be read, which complete reading
  // records as a problem.
  std::string Locate(size_t index);
  // Opens watch `index`'s database read-only; null, recorded as unreadable
  // with `detail`, when it does not open, and null unrecorded for "".
  sqlite::Database OpenOn(size_t index, const std::string& path, const char* detail);
  // Prepares `sql` on watch `index`'s open database; null, recorded as a
  // query problem, when it does not prepare.
  sqlite::Statement PrepareOn(size_t index, const sqlite::Database& database, const char* sql);
  // Records that a statement on watch `index`'s database failed.
  void AddQueryProblem(size_t index, sqlite3* database);
  void AddQueryFailure(size_t index, std::string detail);

  bool logResults = false;

 private:
  std::string MergeWithLog(const ManifestFile& file, const std::string& readable,
                           const ManifestFile& log);
  bool OpensAsDatabase(const std::string& path, const std::string& label);

  struct Problem {
    std::string path;
    std::string what;
    std::string detail;
  };
  bool completeReading_ = false;
  std::vector<Problem> problems_;
  std::vector<DatabaseWatch> watches_;
};

// A readable copy of a record's file: asks the decrypt module every time;
// the encrypted file's own path when it does not answer.
std::string DecryptOnDemand(const ManifestFile& record);

// backupDir + filePath for a plain record, DecryptOnDemand for an encrypted one;
// "" when its file id names no stored file or a link, FIFO, folder or the like
// stands in the stored file's place (a file simply missing keeps its path).
std::string ReadablePath(const ManifestFile& record);

// The size of a record's stored file; 0 when it is missing or not a regular
// file (a link is never measured through).
int64_t StoredSize(const ManifestFile& record);

// Type 2: folder + first two characters + separator + file id; else folder + file id.
// "" for a file id that names no stored file.
std::string StoredFilePath(const std::string& folder, int backupType, const std::string& fileID);

}  // namespace keldra

#endif  // KELDRA_KIND_KIND_H_
