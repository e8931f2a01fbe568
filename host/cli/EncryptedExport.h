// Deciphering stored files of an unlocked encrypted backup to chosen paths,
// through the module's export command (the keys stay in the decrypt module).
#ifndef HOST_CLI_ENCRYPTEDEXPORT_H_
#define HOST_CLI_ENCRYPTEDEXPORT_H_

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "Harness.h"

namespace cli {

// Sends one batch of (file id, destination) through the module's export
// command; returns the ids the decrypt module answered (it writes each file
// itself, never over another). `legacy`: a Manifest.mbdb backup, whose
// stored files have no sub-folder.
std::set<std::string> ExportBatch(const host::SendOptions& options, const std::string& folder,
                                  const std::vector<std::pair<std::string, std::string>>& batch,
                                  bool legacy);

}  // namespace cli

#endif  // HOST_CLI_ENCRYPTEDEXPORT_H_
