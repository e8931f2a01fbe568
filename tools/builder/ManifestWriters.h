// The two manifest formats a backup can carry.
#ifndef KELDRA_BUILDER_MANIFESTWRITERS_H_
#define KELDRA_BUILDER_MANIFESTWRITERS_H_

#include <memory>
#include <string>

#include "builder/BackupBuilder.h"

namespace builder {

// Manifest.db: the Files and Properties tables of current backups, written in
// one transaction in rollback-journal mode, so nothing but the database file
// is left once it is closed.
std::unique_ptr<ManifestWriter> OpenDbManifest(const std::string& path);

// Manifest.mbdb: the length-prefixed records of older backups.
std::unique_ptr<ManifestWriter> OpenMbdbManifest(const std::string& path);

}  // namespace builder

#endif  // KELDRA_BUILDER_MANIFESTWRITERS_H_
