#include "KeyWrap.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>

#include "formats/ByteOrder.h"

namespace vexa {
namespace {

constexpr size_t kHalfBlock = 8;
constexpr uint8_t kIntegrityValue[kHalfBlock] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6};

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

}  // namespace

// Written over single-block AES rather than OpenSSL's wrap cipher, whose
// availability and flags differ between releases.
std::optional<SecureBytes> UnwrapKey(const SecureBytes& kek, std::string_view wrapped) {
  if (kek.size() != 32 || wrapped.size() < 3 * kHalfBlock || wrapped.size() % kHalfBlock != 0)
    return std::nullopt;
  const size_t n = wrapped.size() / kHalfBlock - 1;
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
  if (!context ||
      EVP_DecryptInit_ex(context.get(), EVP_aes_256_ecb(), nullptr, kek.data(), nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1)
    return std::nullopt;

  // a: the check register; r: the n half-blocks of the key being recovered;
  // block: A ^ t followed by R[i], decrypted in place.
  SecureBytes a(wrapped.data(), kHalfBlock);
  SecureBytes r(wrapped.data() + kHalfBlock, n * kHalfBlock);
  SecureBytes block(2 * kHalfBlock);
  SecureBytes plain(2 * kHalfBlock);
  for (int j = 5; j >= 0; --j) {
    for (size_t i = n; i >= 1; --i) {
      uint64_t t = static_cast<uint64_t>(n) * static_cast<uint64_t>(j) + i;
      uint8_t tBytes[kHalfBlock];
      keldra::WriteBigEndian(t, tBytes, kHalfBlock);
      for (size_t k = 0; k < kHalfBlock; ++k) block.data()[k] = a.data()[k] ^ tBytes[k];
      std::memcpy(block.data() + kHalfBlock, r.data() + (i - 1) * kHalfBlock, kHalfBlock);
      int length = 0;
      if (EVP_DecryptUpdate(context.get(), plain.data(), &length, block.data(),
                            static_cast<int>(block.size())) != 1 ||
          length != static_cast<int>(plain.size()))
        return std::nullopt;
      std::memcpy(a.data(), plain.data(), kHalfBlock);
      std::memcpy(r.data() + (i - 1) * kHalfBlock, plain.data() + kHalfBlock, kHalfBlock);
    }
  }
  if (CRYPTO_memcmp(a.data(), kIntegrityValue, kHalfBlock) != 0) return std::nullopt;
  return r;
}

}  // namespace vexa
