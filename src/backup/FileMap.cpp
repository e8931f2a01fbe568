#include "backup/FileMap.h"

#include <algorithm>

namespace keldra {

void FileMap::Build(const ManifestRecords& records) {
  entries_.clear();
  entries_.reserve(records.size());
  for (const ManifestFile& record : records) entries_.emplace_back(record.relativePath, &record);
  // Stable: records with one path stay in read order, so the last of each
  // run is the one read last, which a later row replaces an earlier one with.
  std::stable_sort(entries_.begin(), entries_.end(),
                   [](const Entry& a, const Entry& b) { return a.first < b.first; });
  size_t kept = 0;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (i + 1 < entries_.size() && entries_[i + 1].first == entries_[i].first) continue;
    entries_[kept++] = entries_[i];
  }
  entries_.resize(kept);
  entries_.shrink_to_fit();
}

const ManifestFile* FileMap::Find(std::string_view relativePath) const {
  auto it =
      std::lower_bound(entries_.begin(), entries_.end(), relativePath,
                       [](const Entry& entry, std::string_view key) { return entry.first < key; });
  if (it == entries_.end() || it->first != relativePath) return nullptr;
  return it->second;
}

}  // namespace keldra
