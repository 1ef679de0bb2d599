// MD5 from OpenSSL's libcrypto (EVP), CRC-32 from zlib.
#include <openssl/evp.h>
#include <zlib.h>

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

Md5Digest md5Of(const void* data, std::size_t n) {
  Md5 md5;
  md5.update(data, n);
  return md5.finish();
}

uint32_t crc32Update(uint32_t crc, const void* data, std::size_t n) {
  const auto* p = static_cast<const Bytef*>(data);
  while (n != 0) {
    uInt piece = n > 0x40000000u ? 0x40000000u : static_cast<uInt>(n);
    crc = static_cast<uint32_t>(crc32(crc, p, piece));
    p += piece;
    n -= piece;
  }
  return crc;
}

}  // namespace trep
