// MD5 from Windows' CNG (bcrypt.dll, a system library).
#include <windows.h>
#include <bcrypt.h>

#include <cstdlib>

#include "platform/digest.h"

namespace trep {
namespace {

// The provider is opened once for the process and never closed.
BCRYPT_ALG_HANDLE md5Provider() {
  static BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE h = nullptr;
    if (BCryptOpenAlgorithmProvider(&h, BCRYPT_MD5_ALGORITHM, nullptr, 0) < 0) std::abort();
    return h;
  }();
  return provider;
}

}  // namespace

struct Md5::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  void open() {
    // Without a hash object nothing can be checked; like a failed allocation
    // of the C++ runtime, that ends the program.
    if (BCryptCreateHash(md5Provider(), &hash, nullptr, 0, nullptr, 0, 0) < 0) std::abort();
  }
};

Md5::Md5() : state_(new State) { state_->open(); }

Md5::~Md5() { BCryptDestroyHash(state_->hash); }

void Md5::update(const void* data, std::size_t n) {
  auto* p = static_cast<UCHAR*>(const_cast<void*>(data));
  while (n != 0) {
    ULONG piece = n > 0x40000000u ? 0x40000000u : static_cast<ULONG>(n);
    BCryptHashData(state_->hash, p, piece, 0);
    p += piece;
    n -= piece;
  }
}

Md5Digest Md5::finish() {
  Md5Digest digest{};
  BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
  BCryptDestroyHash(state_->hash);
  state_->open();
  return digest;
}

void Md5::copyFrom(const Md5& other) {
  BCRYPT_HASH_HANDLE copy = nullptr;
  if (BCryptDuplicateHash(other.state_->hash, &copy, nullptr, 0, 0) < 0) std::abort();
  BCryptDestroyHash(state_->hash);
  state_->hash = copy;
}

}  // namespace trep
