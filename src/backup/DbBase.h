// The common base of the two manifest readers. A reader is a subject (the
// kinds attach to it and hear of every file record while it loads) and an
// observer (kinds find it by notifying its command type).
#ifndef KELDRA_BACKUP_DBBASE_H_
#define KELDRA_BACKUP_DBBASE_H_

#include <string>
#include <string_view>
#include <unordered_set>

#include "backup/FileMap.h"
#include "backup/ManifestFile.h"
#include "common/Arena.h"
#include "common/HugePages.h"
#include "common/Observer.h"
#include "keldra/Status.h"

namespace keldra {

class DbBase : public VRNSubject, public VRNObserver {
 public:
  ~DbBase() override = default;

  // Reads the manifest of `backupDir` (ending in a separator), announcing every
  // record to the attached observers before reading the next.
  Status Load(const std::string& backupDir, bool isEncrypted, const std::string& unused);
  // The relative-path index (built on first use).
  virtual const FileMap& GetFileMap();
  // The error code of the last Load.
  virtual int GetLastError() const { return lastError_; }

  // Answers a kind's query: stores this reader through `argument` (a
  // DbBase**) when the command type is this reader's own.
  void Update(void* argument, const char* commandType) override;

  // Every record, in the order read.
  const ManifestRecords& Records() const { return records_; }
  virtual const char* CommandType() const = 0;

 protected:
  // Creates, stores and announces one record. `filePath` is derived from the
  // file id by the reader's layout.
  const ManifestFile& AddRecord(std::string_view fileID, std::string_view domain,
                                std::string_view relativePath, int32_t flags, bool encrypted);
  // Load's work, by the reader's format.
  virtual Status ReadManifest(bool isEncrypted) = 0;
  // How a stored file is named below the backup folder.
  virtual bool StoredInSubfolder() const = 0;
  // Sets tempDir_ to this backup's folder for deciphered copies inside the
  // platform's temporary folder; false when the platform gives none.
  bool PrepareTempDir();

  std::string backupDir_;
  std::string tempDir_;
  int lastError_ = 0;

 private:
  std::string_view InternDomain(std::string_view domain);

  // Records and their texts take about 200 bytes a row; first here, so it
  // goes last.
  HugePageStore memory_;
  Arena arena_{&memory_};
  std::unordered_set<std::string_view> domains_;  // views into arena_
  std::string_view lastDomain_;
  ManifestRecords records_{&memory_};
  FileMap fileMap_;
  size_t mappedRecords_ = 0;
  bool mapBuilt_ = false;
};

}  // namespace keldra

#endif  // KELDRA_BACKUP_DBBASE_H_
