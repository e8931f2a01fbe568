// Internal to libvorn: one UTF-8 decoding step shared by the UTF-16
// conversion and the JSON text repair, so both agree on what is invalid.
//
// Invalid input is handled by "substitution of maximal subparts" (Unicode
// chapter 3, U+FFFD substitution): every maximal prefix of a well-formed
// sequence that cannot be completed counts as one error, and a byte that can
// begin no sequence counts as one error on its own.
#ifndef VORN_UTF8DECODE_H_
#define VORN_UTF8DECODE_H_

#include <cstddef>
#include <cstdint>

namespace vorn {
namespace utf8 {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kInvalid = 0xFFFFFFFF;

// Decodes the sequence at `p` (n >= 1 bytes available). Sets *used to the
// bytes it covers (1..4) and returns the code point, or kInvalid for one
// maximal invalid subpart of *used bytes.
inline char32_t DecodeOne(const unsigned char* p, size_t n, size_t* used) {
  const unsigned char lead = p[0];
  if (lead < 0x80) {
    *used = 1;
    return lead;
  }
  size_t need;              // continuation bytes after the lead
  unsigned char lo = 0x80;  // bounds of the first continuation byte
  unsigned char hi = 0xBF;
  char32_t cp;
  if (lead >= 0xC2 && lead <= 0xDF) {
    need = 1;
    cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 2;
    cp = lead & 0x0F;
    if (lead == 0xE0)
      lo = 0xA0;  // no overlongs
    else if (lead == 0xED)
      hi = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 3;
    cp = lead & 0x07;
    if (lead == 0xF0)
      lo = 0x90;  // no overlongs
    else if (lead == 0xF4)
      hi = 0x8F;  // nothing above U+10FFFF
  } else {
    *used = 1;  // 80..C1 and F5..FF begin no sequence
    return kInvalid;
  }
  for (size_t i = 1; i <= need; ++i) {
    if (i >= n) {
      *used = i;  // truncated at the end of the input
      return kInvalid;
    }
    const unsigned char c = p[i];
    const unsigned char min = i == 1 ? lo : 0x80;
    const unsigned char max = i == 1 ? hi : 0xBF;
    if (c < min || c > max) {
      *used = i;  // the maximal subpart ends before this byte
      return kInvalid;
    }
    cp = (cp << 6) | (c & 0x3F);
  }
  *used = need + 1;
  return cp;
}

// Appends the UTF-8 form of a valid code point to `out`; returns the bytes written.
inline size_t EncodeOne(char32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace utf8
}  // namespace vorn

#endif  // VORN_UTF8DECODE_H_
