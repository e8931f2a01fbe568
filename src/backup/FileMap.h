// The relative-path index of a manifest: for every distinct relativePath the
// record read last with it, in ascending byte order of the path.
#ifndef KELDRA_BACKUP_FILEMAP_H_
#define KELDRA_BACKUP_FILEMAP_H_

#include <string_view>
#include <utility>
#include <vector>

#include "backup/ManifestFile.h"

namespace keldra {

class FileMap {
 public:
  using Entry = std::pair<std::string_view, const ManifestFile*>;
  using const_iterator = std::vector<Entry>::const_iterator;

  // Indexes the records, given in read order.
  void Build(const ManifestRecords& records);

  // The record for an exact, case-sensitive relative path, or null.
  const ManifestFile* Find(std::string_view relativePath) const;

  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }

 private:
  std::vector<Entry> entries_;
};

}  // namespace keldra

#endif  // KELDRA_BACKUP_FILEMAP_H_
