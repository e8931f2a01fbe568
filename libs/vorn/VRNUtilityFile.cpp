#include "vorn/VRNUtilityFile.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <stdexcept>

#include "vorn/VRNUtilityString.h"

namespace {

// SHA-1 fetched from the default provider once per process.
const EVP_MD* Sha1Md() {
  static const EVP_MD* md = [] {
    const EVP_MD* fetched = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    return fetched ? fetched : EVP_sha1();
  }();
  return md;
}

struct CtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// One digest context per thread, reused by every call of that thread.
EVP_MD_CTX* ThreadCtx() {
  thread_local std::unique_ptr<EVP_MD_CTX, CtxFree> ctx(EVP_MD_CTX_new());
  if (!ctx) throw std::bad_alloc();
  return ctx.get();
}

void Sha1Raw(const void* data, size_t length, unsigned char digest[20]) {
  EVP_MD_CTX* ctx = ThreadCtx();
  unsigned int size = 0;
  if (!data) length = 0;
  if (EVP_DigestInit_ex2(ctx, Sha1Md(), nullptr) != 1 ||
      (length && EVP_DigestUpdate(ctx, data, length) != 1) ||
      EVP_DigestFinal_ex(ctx, digest, &size) != 1 || size != 20) {
    throw std::runtime_error("SHA-1 digest failed");
  }
}

}  // namespace

bool VRNUtilityFile::IsFileExist(const char* path) {
  struct stat info;
  return path && *path && stat(path, &info) == 0;
}

int64_t VRNUtilityFile::GetFileSize(const char16_t* widePath) {
  if (!widePath) return 0;
  char* path = VRNUtilityString::ConvertUnicodeToUtf8(widePath);
  const int64_t size = GetFileSize(path);
  VRNUtilityString::Free(path);
  return size;
}

int64_t VRNUtilityFile::GetFileSize(const char* path) {
  if (!path || !*path) return 0;
  struct stat info;
  // stat first so that nothing but a regular file is ever opened.
  if (stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return 0;  // unreadable
  int64_t size = 0;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) size = static_cast<int64_t>(info.st_size);
  close(fd);
  return size;
}

char* VRNUtilityFile::CalcStringToSha1Hash(const char* text) {
  return CalcStringToSha1Hash(text, text ? std::strlen(text) : 0);
}

char* VRNUtilityFile::CalcStringToSha1Hash(const char* text, size_t length) {
  char hex[41];
  Sha1HexInto(text, text ? length : 0, hex);
  return VRNUtilityString::Duplicate(std::string(hex, 40));
}

std::string VRNUtilityFile::Sha1Hex(const void* data, size_t length) {
  char hex[41];
  Sha1HexInto(data, length, hex);
  return std::string(hex, 40);
}

void VRNUtilityFile::Sha1HexInto(const void* data, size_t length, char* out) {
  static const char kHex[] = "0123456789abcdef";
  unsigned char digest[20];
  Sha1Raw(data, length, digest);
  for (int i = 0; i < 20; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  out[40] = '\0';
}
