// The one way anything opens a file it reads from a backup. A backup folder
// is untrusted: its manifest may name files outside it, and what lies in it
// may be a link, a FIFO, a device or a folder where a file is expected. Only
// a regular file reached without following a link is ever read; everything
// else counts as missing. Opens never block, so a FIFO cannot hang a reader.
#ifndef KELDRA_COMMON_STOREDFILE_H_
#define KELDRA_COMMON_STOREDFILE_H_

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/UniqueFd.h"
#include "common/UniqueFile.h"

namespace keldra {

struct RegularFile {
  UniqueFd fd;  // blocking reads, close-on-exec
  uint64_t size = 0;
};

// Whether a manifest's file id can name a stored file: not empty, without a
// path separator or NUL, and neither it nor its two-character sub-folder
// naming "." or "..".
bool NamesStoredFile(std::string_view fileId);

// Where a file id is stored below its backup folder: "ab/abcd…" in a
// Manifest.db backup, the id itself in a Manifest.mbdb one. "" when the id
// names no stored file.
std::string StoredRelativePath(std::string_view fileId, bool inSubfolder);

// `path` when it is a regular file; its last component is not followed.
// nullopt for anything else, or when it cannot be opened; errno is ENOENT
// when nothing is there.
std::optional<RegularFile> OpenRegularFile(const std::string& path);

// `relative` below the backup `folder` ("Manifest.db", "ab/abcd…"): every
// component must be a plain name, each folder a real folder and the file a
// regular file, none of them a link. errno as for OpenRegularFile.
std::optional<RegularFile> OpenStoredFile(const std::string& folder, std::string_view relative);

// The size of a stored file as OpenStoredFile reaches it; 0 for anything it
// refuses, so a link never reports the size of what it points to.
uint64_t StoredFileSize(const std::string& folder, std::string_view relative);

// OpenRegularFile as a stdio stream; null for anything else.
UniqueFile OpenRegularStream(const std::string& path);

// The whole content of a regular file of at most `limit` bytes.
std::optional<std::string> ReadRegularFile(const std::string& path, uint64_t limit);

}  // namespace keldra

#endif  // KELDRA_COMMON_STOREDFILE_H_
