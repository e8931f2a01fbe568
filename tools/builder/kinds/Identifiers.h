// Stable identifiers and filler bytes for generated device data: the same
// seed always gives the same value, so generated databases are reproducible.
#ifndef KELDRA_BUILDER_KINDS_IDENTIFIERS_H_
#define KELDRA_BUILDER_KINDS_IDENTIFIERS_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace builder {

// An uppercase 8-4-4-4-12 UUID text derived from `seed`.
std::string UuidText(std::string_view seed);
// `count` bytes that look random, derived from `seed`.
std::string SeededBytes(std::string_view seed, size_t count);

}  // namespace builder

#endif  // KELDRA_BUILDER_KINDS_IDENTIFIERS_H_
