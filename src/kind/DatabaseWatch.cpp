#include "kind/DatabaseWatch.h"

#include <utility>

namespace keldra {
namespace {

bool StartsWith(std::string_view text, std::string_view head) {
  return text.compare(0, head.size(), head) == 0;
}

}  // namespace

bool IsAppDomain(std::string_view domain) {
  // AppDomain-, AppDomainGroup-, AppDomainPlugin- and the system containers.
  return StartsWith(domain, "AppDomain") || StartsWith(domain, "SysContainerDomain-") ||
         StartsWith(domain, "SysSharedContainerDomain-");
}

std::string RecordLabel(const ManifestFile& record) {
  std::string label(record.domain);
  label += '/';
  label += record.relativePath;
  return label;
}

DatabaseWatch::DatabaseWatch(std::string relativePath, std::string domain, bool sqlite,
                             ExactMatch exact)
    : relativePath_(std::move(relativePath)),
      logPath_(relativePath_ + "-wal"),
      domain_(std::move(domain)),
      sqlite_(sqlite),
      exact_(exact) {}

bool DatabaseWatch::WantsExactly(const ManifestFile& record) const {
  if (exact_ == ExactMatch::kNone || !exactPath_.empty() || relativePath_.empty()) return false;
  if (exact_ == ExactMatch::kSameDomain && !domain_.empty() && record.domain != domain_)
    return false;
  return record.relativePath == relativePath_;
}

bool DatabaseWatch::Offer(const ManifestFile& record) {
  if (relativePath_.empty() || (!domain_.empty() && record.domain != domain_)) return false;
  if (record.relativePath == relativePath_) {
    files_.push_back(&record);
    return true;
  }
  if (sqlite_ && record.relativePath == logPath_) {
    logs_.push_back(&record);
    return true;
  }
  return false;
}

const ManifestFile* DatabaseWatch::File() const {
  const ManifestFile* chosen = nullptr;
  for (const ManifestFile* file : files_) {
    if (!IsAppDomain(file->domain)) return file;
    if (!chosen) chosen = file;
  }
  return chosen;
}

const ManifestFile* DatabaseWatch::Log() const {
  const ManifestFile* file = File();
  if (!file) return nullptr;
  for (const ManifestFile* log : logs_)
    if (log->domain == file->domain) return log;
  return nullptr;
}

}  // namespace keldra
