// attributedBody decoding: any bytes must decode, or be refused, without
// reading past the input, exhausting the stack or looping; whatever text
// comes out is bytes of the input.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "formats/TypedStream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace host::typedstream;
  std::optional<Archive> archive = Archive::Read(data, size);
  if (archive) {
    int32_t entries = static_cast<int32_t>(archive->Entries().size());
    for (int32_t index = 0; index < entries; ++index) StringOf(*archive, index);
  }
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::optional<AttributedString> decoded = DecodeAttributedString(data, size);
  if (decoded && (!archive || input.find(decoded->text) == std::string_view::npos))
    __builtin_trap();
  std::optional<std::string> text = DecodeText(data, size);
  if (text && (!archive || input.find(*text) == std::string_view::npos)) __builtin_trap();
  return 0;
}
