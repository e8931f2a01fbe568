// AES-256-CBC with a zero IV and PKCS#7 padding, the cipher of every stored
// file and of Manifest.db, decrypted as a stream in bounded chunks: a
// multi-gigabyte video never sits in memory. The padding, not any size a
// manifest records, decides the plaintext's length.
#ifndef VEXA_FILEDECRYPTOR_H_
#define VEXA_FILEDECRYPTOR_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "SecureBytes.h"

namespace vexa {

inline constexpr size_t kChunkSize = 1 << 20;
inline constexpr size_t kBlockSize = 16;

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Exactly `count` bytes; false when fewer can be had.
  virtual bool Read(uint8_t* out, size_t count) = 0;
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // All of the bytes; false when they cannot be taken.
  virtual bool Write(const uint8_t* data, size_t count) = 0;
};

// An open descriptor, read or written from its current position.
class FdSource : public ByteSource {
 public:
  explicit FdSource(int fd) : fd_(fd) {}
  bool Read(uint8_t* out, size_t count) override;

 private:
  int fd_;
};

class FdSink : public ByteSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  bool Write(const uint8_t* data, size_t count) override;

 private:
  int fd_;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string_view bytes) : bytes_(bytes) {}
  bool Read(uint8_t* out, size_t count) override;

 private:
  std::string_view bytes_;
};

// Appends to a string, refusing to let it grow past `limit` bytes.
class StringSink : public ByteSink {
 public:
  StringSink(std::string& out, uint64_t limit) : out_(out), limit_(limit) {}
  bool Write(const uint8_t* data, size_t count) override;

 private:
  std::string& out_;
  uint64_t limit_;
};

enum class DecryptStatus {
  kOk,
  kBadLength,   // the ciphertext is not a whole number of blocks
  kBadPadding,  // the last block does not end in valid PKCS#7 padding
  kReadFailed,
  kWriteFailed,
  kCipherFailed,
};

struct DecryptResult {
  DecryptStatus status = DecryptStatus::kOk;
  uint64_t length = 0;  // plaintext bytes delivered to the sink
  bool ok() const { return status == DecryptStatus::kOk; }
};

const char* DescribeStatus(DecryptStatus status);

// Decrypts `length` ciphertext bytes from `source` with the 32-byte `key`
// into `sink`. A zero-length input gives an empty plaintext. On failure the
// sink may hold a prefix of the plaintext; the caller discards it.
DecryptResult DecryptCbc(ByteSource& source, uint64_t length, const SecureBytes& key,
                         ByteSink& sink);

// Passes `length` bytes through unchanged: stored files that carry no key.
DecryptResult CopyStream(ByteSource& source, uint64_t length, ByteSink& sink);

}  // namespace vexa

#endif  // VEXA_FILEDECRYPTOR_H_
