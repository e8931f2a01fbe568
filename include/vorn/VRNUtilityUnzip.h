// Inflating gzip and zlib streams into a caller's buffer.
#ifndef VORN_VRNUTILITYUNZIP_H_
#define VORN_VRNUTILITYUNZIP_H_

#include <cstddef>
#include <cstdint>

class VRNUtilityUnzip {
 public:
  enum Result : int {
    kOk = 0,
    kOutputTooSmall = 1,  // *outputLength holds the full inflated size
    kCorrupt = 2,         // *outputLength is 0
  };

  // Inflates `input` (gzip or zlib header, detected) into `output`, never
  // writing more than *outputLength bytes. On success returns kOk with
  // *outputLength = bytes written. When the output does not fit, the stream is
  // still inflated to its end (without storing) so that *outputLength reports
  // the full size; a stream whose inflated size exceeds kMaxCountedSize counts
  // as corrupt. A gzip member followed by another (1f 8b) is inflated on into
  // it, as gzip(1) does; other bytes after the stream's end are ignored.
  static int GZDecompress(const uint8_t* input, size_t inputLength, uint8_t* output,
                          size_t* outputLength);

  static constexpr uint64_t kMaxCountedSize = uint64_t{1} << 32;
};

#endif  // VORN_VRNUTILITYUNZIP_H_
