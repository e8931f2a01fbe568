// SHA-1 through OpenSSL, with the digest and context fetched once: file ids
// are computed for every row, and a fresh fetch per call costs more than the
// hash of a short path.
#ifndef KELDRA_BUILDER_SHA1_H_
#define KELDRA_BUILDER_SHA1_H_

#include <memory>
#include <string>
#include <string_view>

namespace builder {

class Sha1 {
 public:
  Sha1();
  ~Sha1();
  Sha1(const Sha1&) = delete;
  Sha1& operator=(const Sha1&) = delete;

  void Update(std::string_view bytes);
  // The 20-byte digest of everything given since the last Final; starts over.
  std::string Final();

  // One-shot digest of `bytes`, raw.
  std::string Of(std::string_view bytes);
  // The same as 40 lowercase hex digits.
  std::string HexOf(std::string_view bytes);

  static std::string Hex(std::string_view raw);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace builder

#endif  // KELDRA_BUILDER_SHA1_H_
