// The checks that keep the decrypt module's reads inside the backup and its
// writes inside the temporary folder it is given, whatever a manifest or a
// request holds. Output names come from validated file ids, never from
// manifest paths.
#ifndef VEXA_SAFEPATHS_H_
#define VEXA_SAFEPATHS_H_

#include <optional>
#include <string>
#include <string_view>

namespace vexa {

// The folder with a trailing separator ("/" or "\\" already counts).
std::string NormaliseFolder(std::string_view folder);

// 40 hexadecimal digits, lowercased; nullopt for anything else.
std::optional<std::string> ParseFileId(std::string_view text);

// The file id named by a stored file's path: `path` must be `folder`
// followed by "xx/<id>" (subfolders) or "<id>" (flat), with xx the id's
// first two digits. nullopt for any other shape.
std::optional<std::string> StoredFileId(const std::string& folder, const std::string& path,
                                        bool subfolders);

// Whether decrypted copies may go into `tempDir`: an absolute path without
// ".." components, naming a directory itself (not a link to one) that this
// process's user owns and no one else may enter (0700), and that does not lie
// inside the backup folder. `why` tells which check failed.
bool IsUsableTempDir(const std::string& tempDir, const std::string& backupDir, std::string* why);

// Whether the file `path` would lie inside `folder` once both are resolved
// (the file need not exist; its folder must).
bool LiesInside(const std::string& path, const std::string& folder);

}  // namespace vexa

#endif  // VEXA_SAFEPATHS_H_
