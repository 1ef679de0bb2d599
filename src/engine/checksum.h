// The file checksum ("CRC") recorded by a split and verified by a join. Not
// a polynomial CRC but an additive checksum: two running 32-bit sums over a
// window that slides one byte per step. Stored headers carry values made by
// it, so it must be reproduced bit for bit.
#ifndef TREP_ENGINE_CHECKSUM_H_
#define TREP_ENGINE_CHECKSUM_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace trep {

// The checksum of the file at `path`; 0 when it cannot be computed (no work
// area, or the file cannot be opened).
uint32_t computeFileCrc(Platform& platform, const std::string& path);

// The running state of the checksum; exposed for tests.
struct CrcSums {
  uint32_t a = 1;
  uint32_t b = 0;
  uint32_t value() const { return (a << 16) + (b & 0xFFFF); }
};

// The chunk size in bytes: the file is taken in chunks of 10,000,000 bytes,
// the last one shorter.
constexpr uint32_t kCrcChunk = 10000000;

// The window pass over one chunk of n bytes at the start of `area`, which
// holds at least ceil(n / 4) + 3 bytes (bytes beyond n are what the previous
// chunk left there). Only those first ceil(n / 4) + 3 bytes take part.
void crcWindowPass(const uint8_t* area, uint32_t n, CrcSums* sums);

// The ways the window pass can sum bytes; crcWindowPass takes the fastest
// the processor has. Exposed for tests, which hold every one to the same
// results.
enum class CrcKernel { kPortable, kSse2, kAvx2 };
bool crcKernelAvailable(CrcKernel kernel);
void crcWindowPassWith(CrcKernel kernel, const uint8_t* area, uint32_t n, CrcSums* sums);

// Bytes of the zero-filled area computeFileCrc reads each chunk into for a
// file of `fileSize` bytes: what the window pass of its first (largest)
// chunk reads, 2,500,003 for a file of 10,000,000 bytes or more.
uint32_t crcAreaSize(uint64_t fileSize);

// How many bytes of a chunk of n bytes the window pass reads.
inline uint32_t crcBytesUsed(uint32_t n) {
  uint32_t used = (n + 3) / 4 + 3;
  return used < n ? used : n;
}

}  // namespace trep

#endif  // TREP_ENGINE_CHECKSUM_H_
