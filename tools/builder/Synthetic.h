// Large manifests shaped like a real device's, for benchmarks and for tests
// that need volume rather than content.
#ifndef KELDRA_BUILDER_SYNTHETIC_H_
#define KELDRA_BUILDER_SYNTHETIC_H_

#include <cstddef>
#include <cstdint>

#include "builder/BackupBuilder.h"

namespace builder {

// Adds exactly `rows` manifest rows (no stored files): app containers,
// camera roll, message attachments and system domains, about a quarter of
// them directories and a few symbolic links, with the databases the data
// kinds read spread evenly among them (the first at row 0). The same seed
// always gives the same rows in the same order. Rows already added (real
// content) take precedence over synthetic ones with the same file id, so add
// them first.
void AddSyntheticFiles(BackupBuilder& builder, size_t rows, uint64_t seed);

}  // namespace builder

#endif  // KELDRA_BUILDER_SYNTHETIC_H_
