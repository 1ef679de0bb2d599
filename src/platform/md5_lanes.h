// MD5 over many independent streams at once. The system's MD5 (platform/
// digest.h) hashes one stream at a time; the recovery files need the MD5 of
// every segment, fed piece by piece, side by side. MD5's steps are serial
// within a stream but independent between streams, so a vector of 32-bit
// lanes advances one stream per lane; each kernel keeps two vectors going
// to hide the wait between steps: 8 streams with SSE2, 16 with AVX2, 32 with
// AVX-512. The kernel is picked at run time by what the processor has; the
// tests and fuzz_md5_lanes hold every kernel to the system's MD5.
#ifndef TREP_PLATFORM_MD5_LANES_H_
#define TREP_PLATFORM_MD5_LANES_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/digest.h"

namespace trep {

enum class Md5Kernel { kPortable, kSse2, kAvx2, kAvx512 };

bool md5KernelAvailable(Md5Kernel kernel);
// The widest kernel the processor has.
Md5Kernel bestMd5Kernel();
// Streams one pass of the kernel advances together: 1, 8, 16 or 32.
std::size_t md5Lanes(Md5Kernel kernel);
const char* md5KernelName(Md5Kernel kernel);

// `streams` MD5 computations fed together. Each update() gives every
// stream its next piece; whole 64-byte blocks of up to md5Lanes() streams
// are hashed in one pass while that many streams have blocks left, the rest
// one stream at a time. Up to 63 bytes per stream wait for the next piece.
class Md5Streams {
 public:
  // A kernel the processor lacks is replaced by the best one it has.
  explicit Md5Streams(std::size_t streams, Md5Kernel kernel = bestMd5Kernel());

  std::size_t streams() const { return streams_.size(); }
  Md5Kernel kernel() const { return kernel_; }

  // Appends length[i] bytes at data[i] to stream i, for every stream; a
  // length may be 0 (then data[i] is not read and may be null). No
  // alignment is needed.
  void update(const uint8_t* const* data, const std::size_t* length);
  // The digest of every byte given to `stream` since construction or its
  // last finish(); the stream then starts anew.
  Md5Digest finish(std::size_t stream);

 private:
  struct Stream {
    uint32_t state[4];
    uint64_t bytes;        // given so far; bytes % 64 of them wait in `pending`
    uint8_t pending[64];
  };
  void hashBlocks();

  Md5Kernel kernel_;
  std::size_t lanes_;
  std::vector<Stream> streams_;
  // Within update(): each stream's next whole block and how many follow.
  std::vector<const uint8_t*> next_;
  std::vector<std::size_t> blocks_;
};

}  // namespace trep

#endif  // TREP_PLATFORM_MD5_LANES_H_
