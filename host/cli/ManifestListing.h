// The host's own read of a backup's manifest, for listing and exporting
// files: every row with its domain, path, file id and type.
#ifndef HOST_CLI_MANIFESTLISTING_H_
#define HOST_CLI_MANIFESTLISTING_H_

#include <cstdint>
#include <functional>
#include <string>

namespace cli {

enum class EntryType { kFile, kDirectory, kLink, kOther };

struct ListedFile {
  std::string domain;
  std::string relativePath;
  std::string fileID;
  EntryType type = EntryType::kOther;
};

struct ManifestCounts {
  uint64_t files = 0, directories = 0, links = 0, other = 0;
  uint64_t Total() const { return files + directories + links + other; }
};

// Calls `visit` for every row of a Manifest.db at `databasePath` (plain or
// already deciphered); stops early when it returns false. False with `error`
// set when the database cannot be read.
bool ForEachManifestDbRow(const std::string& databasePath,
                          const std::function<bool(const ListedFile&)>& visit, std::string* error);
// The same for the legacy Manifest.mbdb of a backup folder (file ids computed).
bool ForEachMbdbEntry(const std::string& mbdbPath,
                      const std::function<bool(const ListedFile&)>& visit, std::string* error);

void Count(ManifestCounts& counts, const ListedFile& file);

}  // namespace cli

#endif  // HOST_CLI_MANIFESTLISTING_H_
