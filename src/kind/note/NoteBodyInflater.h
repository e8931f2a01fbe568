// The decompression buffer of one note store: allocated once and reused for
// every body, grown by doubling from 256 bytes to a 4 MiB cap and never
// shrunk. A body the utility inflater cannot fit in it goes to the host.
#ifndef KELDRA_KIND_NOTE_NOTEBODYINFLATER_H_
#define KELDRA_KIND_NOTE_NOTEBODYINFLATER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace keldra {

class NoteBodyInflater {
 public:
  static constexpr size_t kInitialSize = 256;
  static constexpr size_t kMaxSize = 4194304;

  // The inflated bytes of `blob`, valid until the next call; none when
  // neither the utility inflater nor the host could inflate it.
  std::optional<std::string_view> Inflate(const uint8_t* blob, size_t length);

  // Complete reading: as Inflate, but a body that only lacked room is
  // inflated again into a buffer of its full size (up to the cap) before the
  // host is asked.
  std::optional<std::string_view> InflateWhole(const uint8_t* blob, size_t length);

  // The size the buffer is offered to the utility inflater with.
  size_t TargetSize() const { return target_; }

 private:
  void GrowFor(size_t blobLength);
  std::optional<std::string_view> AskHost(const uint8_t* blob, size_t length, size_t reported);

  std::string buffer_;
  size_t target_ = kInitialSize;
};

}  // namespace keldra

#endif  // KELDRA_KIND_NOTE_NOTEBODYINFLATER_H_
