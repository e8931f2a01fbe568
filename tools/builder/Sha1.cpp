#include "builder/Sha1.h"

#include <openssl/evp.h>

#include "builder/BackupBuilder.h"

namespace builder {

struct Sha1::State {
  struct MdFree {
    void operator()(EVP_MD* md) const { EVP_MD_free(md); }
  };
  struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD, MdFree> md{EVP_MD_fetch(nullptr, "SHA1", nullptr)};
  std::unique_ptr<EVP_MD_CTX, ContextFree> context{EVP_MD_CTX_new()};
  bool started = false;

  void Start() {
    if (!started && EVP_DigestInit_ex(context.get(), md.get(), nullptr) != 1)
      throw BuildError("SHA-1 is not available");
    started = true;
  }
};

Sha1::Sha1() : state_(std::make_unique<State>()) {
  if (!state_->md || !state_->context) throw BuildError("SHA-1 is not available");
}

Sha1::~Sha1() = default;

void Sha1::Update(std::string_view bytes) {
  state_->Start();
  EVP_DigestUpdate(state_->context.get(), bytes.data(), bytes.size());
}

std::string Sha1::Final() {
  state_->Start();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context.get(), digest, &length);
  state_->started = false;
  return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string Sha1::Of(std::string_view bytes) {
  Update(bytes);
  return Final();
}

std::string Sha1::HexOf(std::string_view bytes) {
  return Hex(Of(bytes));
}

std::string Sha1::Hex(std::string_view raw) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(raw.size() * 2);
  for (unsigned char c : raw) {
    text.push_back(kDigits[c >> 4]);
    text.push_back(kDigits[c & 15]);
  }
  return text;
}

}  // namespace builder
