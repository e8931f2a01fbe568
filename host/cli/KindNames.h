// The names people use for the kinds of data, and their numbers.
#ifndef HOST_CLI_KINDNAMES_H_
#define HOST_CLI_KINDNAMES_H_

#include <optional>
#include <string>
#include <vector>

#include "keldra/Kinds.h"

namespace cli {

using KindName = keldra::KindDescriptor;
inline constexpr const auto& kKindNames = keldra::kKinds;

// "all", or a comma-separated list of names or numbers, in the order given
// (duplicates dropped). nullopt with `error` set when a name is unknown.
std::optional<std::vector<int>> ParseKindList(const std::string& text, std::string* error);

const char* KindNameOf(int number);

}  // namespace cli

#endif  // HOST_CLI_KINDNAMES_H_
