// The file checksum ("CRC") recorded by a split and verified by a join. Not
// a polynomial CRC but an additive checksum: two running 32-bit sums over a
// window that slides one byte per step. Stored headers carry values made by
// it, so it must be reproduced bit for bit.
#ifndef TREP_ENGINE_CHECKSUM_H_
#define TREP_ENGINE_CHECKSUM_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace trep {

// The checksum of the file at `path`; 0 when it cannot be computed (no work
// area, or the file cannot be opened). `covered`, when given, is set to the
// bytes of the file passed so far, for a progress display.
uint32_t computeFileCrc(Platform& platform, const std::string& path,
                        std::atomic<uint64_t>* covered = nullptr);

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

// The same checksum over bytes that pass once, in order, and cannot be read
// again from the start (a pipe): a join writing to standard output, a split
// reading standard input, a check of a series. It keeps the head of the
// chunk in progress (what computeFileCrc would read of it) and the sums at
// every chunk's start, 8 bytes per 10,000,000.
//
// Only the low 32 bits of the total count, so for 4 GiB and more the last
// chunk that counts lies somewhere back in the stream: given the total in
// advance (`expectedTotal`) the stream keeps that chunk's head as it
// passes; otherwise value() reads it back through `readBack`.
class CrcStream {
 public:
  static constexpr uint64_t kUnknownTotal = UINT64_MAX;
  explicit CrcStream(uint64_t expectedTotal = kUnknownTotal);
  void add(const uint8_t* data, std::size_t n);
  uint64_t bytes() const { return position_; }
  // Reads n bytes at `offset` of the stream into `out`; false when it cannot.
  using ReadBack = std::function<bool(uint64_t offset, uint8_t* out, uint32_t n)>;
  // The checksum of the bytes added; false when it cannot be computed (a
  // stream of 4 GiB or more whose chunk could not be read back).
  bool value(uint32_t* crc, const ReadBack& readBack = nullptr) const;

 private:
  uint64_t expectedTotal_;
  uint64_t position_ = 0;
  std::vector<uint8_t> area_;       // the head of the chunk in progress
  std::vector<CrcSums> starts_;     // sums at the start of chunk k
  CrcSums sums_;                    // sums at the start of the chunk in progress
  // With an expected total of 4 GiB or more: the head of its last chunk
  // that counts, and the first bytes of the chunk before it.
  std::vector<uint8_t> keptHead_;
  uint8_t keptBefore_[4] = {0, 0, 0, 0};
};

}  // namespace trep

#endif  // TREP_ENGINE_CHECKSUM_H_
