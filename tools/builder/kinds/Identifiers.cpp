#include "builder/kinds/Identifiers.h"

#include <cctype>

#include "builder/Sha1.h"

namespace builder {

std::string UuidText(std::string_view seed) {
  Sha1 sha1;
  std::string hex = sha1.HexOf(seed).substr(0, 32);
  for (char& c : hex) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
         hex.substr(16, 4) + "-" + hex.substr(20, 12);
}

std::string SeededBytes(std::string_view seed, size_t count) {
  Sha1 sha1;
  std::string bytes;
  std::string block = sha1.Of(seed);
  while (bytes.size() < count) {
    bytes += block;
    block = sha1.Of(block);
  }
  bytes.resize(count);
  return bytes;
}

}  // namespace builder
