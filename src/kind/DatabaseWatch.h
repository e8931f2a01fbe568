// A file a kind reads, found among the manifest's records by relative path
// (and domain, when the kind names one). Complete reading gathers every
// candidate and the write-ahead log listed beside it; exact reading keeps the
// first record that matches and can be read.
#ifndef KELDRA_KIND_DATABASEWATCH_H_
#define KELDRA_KIND_DATABASEWATCH_H_

#include <string>
#include <utility>
#include <vector>

#include "backup/ManifestFile.h"

namespace keldra {

// How exact reading matches a watch's records.
enum class ExactMatch {
  kSameDomain,  // the watch's domain, when it names one
  kAnyDomain,   // the relative path alone, whatever the watch's domain
  kNone,        // the file is read in complete reading only
};

class DatabaseWatch {
 public:
  // An empty `domain` accepts every domain. `sqlite`: the file is a database
  // that may have a log beside it.
  DatabaseWatch(std::string relativePath, std::string domain, bool sqlite,
                ExactMatch exact = ExactMatch::kSameDomain);

  // Keeps `record` when it is the watched file or its log; true when kept.
  // Records are the manifest reader's and outlive the watch's use.
  bool Offer(const ManifestFile& record);

  // The watched file: the device's own domain before an app's, then the
  // first listed. Null when the manifest lists none.
  const ManifestFile* File() const;
  // The log listed in the chosen file's domain; null when none.
  const ManifestFile* Log() const;

  bool IsDatabase() const { return sqlite_; }

  // Exact reading: true while no path is kept and `record` is the file.
  bool WantsExactly(const ManifestFile& record) const;
  void KeepExactPath(std::string path) { exactPath_ = std::move(path); }
  const std::string& ExactPath() const { return exactPath_; }

 private:
  std::string relativePath_;
  std::string logPath_;
  std::string domain_;
  bool sqlite_;
  ExactMatch exact_;
  std::string exactPath_;
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
