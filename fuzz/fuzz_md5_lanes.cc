// The MD5 of many streams at once, held to the system's MD5 in every kernel
// the processor has. The input's first bytes shape the run:
//   byte 0: streams, 1 + b % 72 (past twice the widest kernel's 32 lanes);
//   byte 1: plan length, 1 + b % 16;  byte 2: piece scale, 1 + b % 16;
//   then one byte per stream: where it starts in the payload (b/256 of it);
//   then the plan: update u gives stream s plan[(u·streams + s) % length]
//   · scale bytes (0 included), until the stream's bytes run out;
//   the rest is the payload, every stream reading it from its start to its
//   end.
// Every stream's digest must be the system's digest of the same bytes, and
// a finished stream must start anew.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/digest.h"
#include "platform/md5_lanes.h"

using namespace trep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const std::size_t streams = 1 + data[0] % 72;
  const std::size_t planLength = 1 + data[1] % 16;
  const std::size_t scale = 1 + data[2] % 16;
  std::size_t at = 3;
  if (size < at + streams + planLength) return 0;
  const uint8_t* starts = data + at;
  at += streams;
  const uint8_t* plan = data + at;
  at += planLength;
  const uint8_t* payload = data + at;
  const std::size_t payloadSize = size - at;

  std::vector<const uint8_t*> begin(streams);
  std::vector<std::size_t> total(streams);
  std::vector<Md5Digest> want(streams);
  for (std::size_t s = 0; s < streams; ++s) {
    const std::size_t offset = starts[s] * payloadSize / 256;
    begin[s] = payload + offset;
    total[s] = payloadSize - offset;
    want[s] = md5Of(begin[s], total[s]);
  }
  const Md5Digest empty = md5Of("", 0);

  for (Md5Kernel kernel :
       {Md5Kernel::kPortable, Md5Kernel::kSse2, Md5Kernel::kAvx2, Md5Kernel::kAvx512}) {
    if (!md5KernelAvailable(kernel)) continue;
    Md5Streams md5(streams, kernel);
    FUZZ_CHECK(md5.kernel() == kernel);
    FUZZ_CHECK(md5.streams() == streams);
    std::vector<std::size_t> done(streams, 0), lengths(streams);
    std::vector<const uint8_t*> pieces(streams);
    for (std::size_t update = 0;; ++update) {
      bool left = false, given = false;
      for (std::size_t s = 0; s < streams; ++s) left = left || done[s] < total[s];
      if (!left) break;
      for (std::size_t s = 0; s < streams; ++s) {
        const std::size_t wanted = plan[(update * streams + s) % planLength] * scale;
        lengths[s] = std::min(wanted, total[s] - done[s]);
        given = given || lengths[s] != 0;
      }
      if (!given)  // a plan of zeros: the rest in one piece
        for (std::size_t s = 0; s < streams; ++s) lengths[s] = total[s] - done[s];
      for (std::size_t s = 0; s < streams; ++s) {
        // a piece of no bytes may have no address
        pieces[s] = lengths[s] == 0 ? nullptr : begin[s] + done[s];
        done[s] += lengths[s];
      }
      md5.update(pieces.data(), lengths.data());
    }
    for (std::size_t s = 0; s < streams; ++s) FUZZ_CHECK(md5.finish(s) == want[s]);
    FUZZ_CHECK(md5.finish(streams - 1) == empty);
  }
  return 0;
}
