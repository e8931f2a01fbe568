// Manifest.mbdb decoding: every prefix and mutation of a manifest must decode
// to the complete entries it holds, never read past the input.
#include <cstddef>
#include <cstdint>

#include "formats/MbdbParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  keldra::ByteReader reader(data, size);
  keldra::MbdbParser parser(reader);
  if (!parser.ReadHeader()) return 0;
  keldra::MbdbEntry entry;
  size_t entries = 0;
  while (parser.Next(entry)) {
    // Each entry consumes at least its five length words and fixed block.
    if (++entries > size / 50 + 1) __builtin_trap();
  }
  return 0;
}
