// A file a kind reads in complete reading, found among the manifest's
// records by relative path (and domain, when the kind names one), together
// with the write-ahead log listed beside it.
#ifndef KELDRA_KIND_DATABASEWATCH_H_
#define KELDRA_KIND_DATABASEWATCH_H_

#include <string>
#include <vector>

#include "backup/ManifestFile.h"

namespace keldra {

class DatabaseWatch {
 public:
  // An empty `domain` accepts every domain. `sqlite`: the file is a database
  // that may have a log beside it.
  DatabaseWatch(std::string relativePath, std::string domain, bool sqlite);

  // Keeps `record` when it is the watched file or its log; true when kept.
  // Records are the manifest reader's and outlive the watch's use.
  bool Offer(const ManifestFile& record);

  // The watched file: the device's own domain before an app's, then the
  // first listed. Null when the manifest lists none.
  const ManifestFile* File() const;
  // The log listed in the chosen file's domain; null when none.
  const ManifestFile* Log() const;

  bool IsDatabase() const { return sqlite_; }

 private:
  std::string relativePath_;
  std::string logPath_;
  std::string domain_;
  bool sqlite_;
  std::vector<const ManifestFile*> files_;
  std::vector<const ManifestFile*> logs_;
};

// True for the domains of apps and their extensions, which may hold a file
// with the same relative path as the device's own.
bool IsAppDomain(std::string_view domain);

// "<domain>/<relative path>": how a problem names a backed-up file.
std::string RecordLabel(const ManifestFile& record);

}  // namespace keldra

#endif  // KELDRA_KIND_DATABASEWATCH_H_
