#include "SecureBytes.h"

#include <openssl/crypto.h>

#include <cstring>
#include <utility>

namespace vexa {

SecureBytes::SecureBytes(size_t size) : bytes_(new uint8_t[size ? size : 1]()), size_(size) {}

SecureBytes::SecureBytes(const void* data, size_t size) : SecureBytes(size) {
  if (size) std::memcpy(bytes_.get(), data, size);
}

SecureBytes::SecureBytes(SecureBytes&& other) noexcept
    : bytes_(std::move(other.bytes_)), size_(std::exchange(other.size_, 0)) {}

SecureBytes& SecureBytes::operator=(SecureBytes&& other) noexcept {
  if (this != &other) {
    Clear();
    bytes_ = std::move(other.bytes_);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

void SecureBytes::Clear() {
  if (bytes_ && size_) OPENSSL_cleanse(bytes_.get(), size_);
  bytes_.reset();
  size_ = 0;
}

void SecureBytes::Truncate(size_t size) {
  if (size >= size_) return;
  OPENSSL_cleanse(bytes_.get() + size, size_ - size);
  size_ = size;
}

}  // namespace vexa
