#include "kind/photo/ThumbnailSearch.h"

#include "kind/photo/PathMatcher.h"

namespace keldra {
namespace {

constexpr int32_t kRegularFile = 1;

// The photo's own record is never its thumbnail.
bool IsCandidate(const FileMap::Entry& entry, std::string_view ownPath) {
  return entry.second->flags == kRegularFile && entry.first != ownPath;
}

}  // namespace

std::string PhotoRelativePath(std::string_view photoPath) {
  std::string path = "Media/";
  path.append(photoPath);
  return path;
}

const ManifestFile* FirstContainingPlain(const FileMap& map, std::string_view photoPath) {
  std::string own = PhotoRelativePath(photoPath);
  for (const FileMap::Entry& entry : map) {
    if (IsCandidate(entry, own) && entry.first.find(photoPath) != std::string_view::npos)
      return entry.second;
  }
  return nullptr;
}

void ThumbnailSearch::Prepare(const std::vector<std::string_view>& photoPaths) {
  // The new paths, each once; the empty path is contained in every path.
  std::vector<std::string_view> patterns;
  std::vector<std::string> ownPaths;
  bool emptyPending = false;
  for (std::string_view path : photoPaths) {
    auto inserted = answers_.emplace(std::string(path), nullptr);
    if (!inserted.second) continue;
    if (path.empty()) {
      emptyPending = true;
      continue;
    }
    patterns.push_back(inserted.first->first);
    ownPaths.push_back(PhotoRelativePath(path));
  }
  if (patterns.empty() && !emptyPending) return;
  ++passes_;

  std::vector<const ManifestFile*> found(patterns.size(), nullptr);
  size_t pending = patterns.size();
  const ManifestFile* firstForEmpty = nullptr;
  std::string emptyOwn = PhotoRelativePath("");
  PathMatcher matcher(patterns);
  // Map order is ascending path order, so the first hit of a pattern is the
  // plain rule's answer.
  for (const FileMap::Entry& entry : map_) {
    if (pending == 0 && (!emptyPending || firstForEmpty)) break;
    if (entry.second->flags != kRegularFile) continue;
    if (emptyPending && !firstForEmpty && entry.first != emptyOwn) firstForEmpty = entry.second;
    if (pending == 0) continue;
    matcher.Scan(entry.first, [&](uint32_t index) {
      if (!found[index] && entry.first != ownPaths[index]) {
        found[index] = entry.second;
        --pending;
      }
      return pending != 0;
    });
  }
  for (size_t i = 0; i < patterns.size(); ++i) answers_[std::string(patterns[i])] = found[i];
  if (emptyPending) answers_[std::string()] = firstForEmpty;
}

const ManifestFile* ThumbnailSearch::Find(std::string_view photoPath) {
  auto known = answers_.find(std::string(photoPath));
  if (known == answers_.end()) {
    Prepare({photoPath});
    known = answers_.find(std::string(photoPath));
  }
  return known->second;
}

}  // namespace keldra
