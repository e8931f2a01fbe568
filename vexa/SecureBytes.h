// A byte buffer for secrets (passwords, key-encryption keys, class and file
// keys): never copied implicitly, wiped with OPENSSL_cleanse whenever its
// contents are dropped.
#ifndef VEXA_SECUREBYTES_H_
#define VEXA_SECUREBYTES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace vexa {

class SecureBytes {
 public:
  SecureBytes() = default;
  // `size` zero bytes.
  explicit SecureBytes(size_t size);
  SecureBytes(const void* data, size_t size);
  explicit SecureBytes(std::string_view bytes) : SecureBytes(bytes.data(), bytes.size()) {}
  ~SecureBytes() { Clear(); }

  SecureBytes(SecureBytes&& other) noexcept;
  SecureBytes& operator=(SecureBytes&& other) noexcept;
  SecureBytes(const SecureBytes&) = delete;
  SecureBytes& operator=(const SecureBytes&) = delete;

  uint8_t* data() { return bytes_.get(); }
  const uint8_t* data() const { return bytes_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view View() const {
    return std::string_view(reinterpret_cast<const char*>(bytes_.get()), size_);
  }

  // Wipes and releases the contents.
  void Clear();
  // Keeps the first `size` bytes (size <= size()), wiping the rest.
  void Truncate(size_t size);

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_ = 0;
};

}  // namespace vexa

#endif  // VEXA_SECUREBYTES_H_
