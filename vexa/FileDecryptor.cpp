#include "FileDecryptor.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

namespace vexa {
namespace {

struct CipherContextFree {
  void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};

// A heap buffer wiped before it is released: it holds plaintext.
class WipedBuffer {
 public:
  explicit WipedBuffer(size_t size) : bytes_(new uint8_t[size]), size_(size) {}
  ~WipedBuffer() { OPENSSL_cleanse(bytes_.get(), size_); }
  WipedBuffer(const WipedBuffer&) = delete;
  WipedBuffer& operator=(const WipedBuffer&) = delete;
  uint8_t* get() { return bytes_.get(); }

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  size_t size_;
};

// The plaintext length of the final block once its padding is checked, or
// -1 when the padding is not PKCS#7.
int UnpaddedLength(const uint8_t* block) {
  unsigned pad = block[kBlockSize - 1];
  if (pad == 0 || pad > kBlockSize) return -1;
  for (unsigned i = kBlockSize - pad; i < kBlockSize; ++i)
    if (block[i] != pad) return -1;
  return static_cast<int>(kBlockSize - pad);
}

}  // namespace

bool FdSource::Read(uint8_t* out, size_t count) {
  while (count > 0) {
    ssize_t got = ::read(fd_, out, count);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    count -= static_cast<size_t>(got);
  }
  return true;
}

bool FdSink::Write(const uint8_t* data, size_t count) {
  while (count > 0) {
    ssize_t put = ::write(fd_, data, count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    count -= static_cast<size_t>(put);
  }
  return true;
}

bool MemorySource::Read(uint8_t* out, size_t count) {
  if (count > bytes_.size()) return false;
  if (count) std::memcpy(out, bytes_.data(), count);
  bytes_.remove_prefix(count);
  return true;
}

bool StringSink::Write(const uint8_t* data, size_t count) {
  if (count > limit_ || out_.size() > limit_ - count) return false;
  out_.append(reinterpret_cast<const char*>(data), count);
  return true;
}

const char* DescribeStatus(DecryptStatus status) {
  switch (status) {
    case DecryptStatus::kOk:
      return "ok";
    case DecryptStatus::kBadLength:
      return "ciphertext length is not a multiple of 16";
    case DecryptStatus::kBadPadding:
      return "bad padding";
    case DecryptStatus::kReadFailed:
      return "cannot read the stored file";
    case DecryptStatus::kWriteFailed:
      return "cannot write the output";
    case DecryptStatus::kCipherFailed:
      return "cipher failure";
  }
  return "unknown";
}

DecryptResult DecryptCbc(ByteSource& source, uint64_t length, const SecureBytes& key,
                         ByteSink& sink) {
  DecryptResult result;
  if (length % kBlockSize != 0) {
    result.status = DecryptStatus::kBadLength;
    return result;
  }
  if (length == 0) return result;
  if (key.size() != 32) {
    result.status = DecryptStatus::kCipherFailed;
    return result;
  }
  static const uint8_t kZeroIv[kBlockSize] = {};
  std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree> context(EVP_CIPHER_CTX_new());
  if (!context ||
      EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), kZeroIv) != 1 ||
      EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
    result.status = DecryptStatus::kCipherFailed;
    return result;
  }
  const size_t chunk = length < kChunkSize ? static_cast<size_t>(length) : kChunkSize;
  WipedBuffer cipher(chunk);
  WipedBuffer plain(chunk);
  uint64_t left = length;
  while (left > 0) {
    size_t piece = left < chunk ? static_cast<size_t>(left) : chunk;
    if (!source.Read(cipher.get(), piece)) {
      result.status = DecryptStatus::kReadFailed;
      return result;
    }
    int produced = 0;
    if (EVP_DecryptUpdate(context.get(), plain.get(), &produced, cipher.get(),
                          static_cast<int>(piece)) != 1 ||
        produced != static_cast<int>(piece)) {
      result.status = DecryptStatus::kCipherFailed;
      return result;
    }
    left -= piece;
    size_t keep = piece;
    if (left == 0) {
      // The final piece holds the final block, whose padding is stripped.
      int tail = UnpaddedLength(plain.get() + piece - kBlockSize);
      if (tail < 0) {
        result.status = DecryptStatus::kBadPadding;
        return result;
      }
      keep = piece - kBlockSize + static_cast<size_t>(tail);
    }
    if (keep > 0 && !sink.Write(plain.get(), keep)) {
      result.status = DecryptStatus::kWriteFailed;
      return result;
    }
    result.length += keep;
  }
  return result;
}

DecryptResult CopyStream(ByteSource& source, uint64_t length, ByteSink& sink) {
  DecryptResult result;
  const size_t chunk = length < kChunkSize ? static_cast<size_t>(length) : kChunkSize;
  if (chunk == 0) return result;
  auto buffer = std::make_unique<uint8_t[]>(chunk);
  uint64_t left = length;
  while (left > 0) {
    size_t piece = left < chunk ? static_cast<size_t>(left) : chunk;
    if (!source.Read(buffer.get(), piece)) {
      result.status = DecryptStatus::kReadFailed;
      return result;
    }
    if (!sink.Write(buffer.get(), piece)) {
      result.status = DecryptStatus::kWriteFailed;
      return result;
    }
    left -= piece;
    result.length += piece;
  }
  return result;
}

}  // namespace vexa
