#include "cli/KindNames.h"

#include <algorithm>
#include <sstream>

namespace cli {

std::optional<std::vector<int>> ParseKindList(const std::string& text, std::string* error) {
  std::vector<int> numbers;
  if (text == "all") {
    for (const KindName& kind : kKindNames) numbers.push_back(kind.number);
    return numbers;
  }
  std::stringstream stream(text);
  std::string item;
  while (std::getline(stream, item, ',')) {
    if (item.empty()) continue;
    int found = -1;
    for (const KindName& kind : kKindNames)
      if (item == kind.name || item == std::to_string(kind.number)) found = kind.number;
    if (found < 0) {
      if (error) {
        *error = "unknown kind '" + item + "' (kinds:";
        for (const KindName& kind : kKindNames) *error += std::string(" ") + kind.name;
        *error += ")";
      }
      return std::nullopt;
    }
    if (std::find(numbers.begin(), numbers.end(), found) == numbers.end()) numbers.push_back(found);
  }
  if (numbers.empty()) {
    if (error) *error = "no kind named in '" + text + "'";
    return std::nullopt;
  }
  return numbers;
}

const char* KindNameOf(int number) {
  const KindName* kind = keldra::KindOfType(number);
  return kind && kind->number == number ? kind->name : "unknown";
}

}  // namespace cli
