// Digests the recovery files need: MD5 (the packets' and the files' hashes)
// and CRC-32 (the slices' quick checks). They come from the system's own
// libraries, never written by hand: OpenSSL's libcrypto and zlib on POSIX,
// Windows' CNG (bcrypt) and a static zlib on Windows.
#ifndef TREP_PLATFORM_DIGEST_H_
#define TREP_PLATFORM_DIGEST_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace trep {

using Md5Digest = std::array<uint8_t, 16>;

// An MD5 computation fed piece by piece. finish() gives the digest of every
// byte given since construction or the last finish(), and starts anew.
class Md5 {
 public:
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;
  void update(const void* data, std::size_t n);
  Md5Digest finish();
  // Takes over the state of `other` (the bytes it was given so far), so
  // that one stream can end in two digests: a file's and its zero-padded
  // slice's.
  void copyFrom(const Md5& other);

  struct State;  // the system's hash object

 private:
  std::unique_ptr<State> state_;
};

// The MD5 of one block of bytes.
Md5Digest md5Of(const void* data, std::size_t n);

// CRC-32 as zlib's crc32(): start with crc = 0; crc32Update(crc32Update(0,
// a), b) is the CRC of a followed by b.
uint32_t crc32Update(uint32_t crc, const void* data, std::size_t n);
// The CRC of the bytes `crc` stands for followed by n zero bytes, without
// going through them (zlib's crc32_combine): a short last slice is padded so.
uint32_t crc32Zeros(uint32_t crc, uint64_t n);

}  // namespace trep

#endif  // TREP_PLATFORM_DIGEST_H_
