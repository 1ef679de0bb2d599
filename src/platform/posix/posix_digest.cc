// MD5 from OpenSSL's libcrypto (EVP).
#include <openssl/evp.h>

#include <cstdlib>

#include "platform/digest.h"

namespace trep {

struct Md5::State {
  EVP_MD_CTX* context = nullptr;
};

Md5::Md5() : state_(new State) {
  state_->context = EVP_MD_CTX_new();
  // Without a hash context nothing can be checked; like a failed allocation
  // of the C++ runtime, that ends the program.
  if (state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_md5(), nullptr) != 1)
    std::abort();
}

Md5::~Md5() { EVP_MD_CTX_free(state_->context); }

void Md5::update(const void* data, std::size_t n) {
  if (n != 0) EVP_DigestUpdate(state_->context, data, n);
}

Md5Digest Md5::finish() {
  Md5Digest digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(state_->context, digest.data(), &length);
  EVP_DigestInit_ex(state_->context, EVP_md5(), nullptr);
  return digest;
}

void Md5::copyFrom(const Md5& other) {
  if (EVP_MD_CTX_copy_ex(state_->context, other.state_->context) != 1) std::abort();
}

}  // namespace trep
