// The parts of the digests both systems share: zlib's CRC-32, and the MD5
// of one block through the system's Md5.
#include <zlib.h>

#include "platform/digest.h"

namespace trep {

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

uint32_t crc32Zeros(uint32_t crc, uint64_t n) {
  // zeros is the CRC of `run` zero bytes; runs double from one byte, and
  // every bit of n appends one. Runs stay below 2^31: z_off_t may be 32 bits.
  const Bytef zero = 0;
  uLong zeros = crc32(0, &zero, 1);
  uLong c = crc;
  for (uint64_t run = 1; n != 0; run <<= 1, n >>= 1) {
    if (run == (uint64_t{1} << 30)) {  // the rest in runs of 2^30 bytes
      for (uint64_t k = 0; k < n; ++k)
        c = crc32_combine(c, zeros, static_cast<z_off_t>(run));
      break;
    }
    if (n & 1) c = crc32_combine(c, zeros, static_cast<z_off_t>(run));
    zeros = crc32_combine(zeros, zeros, static_cast<z_off_t>(run));
  }
  return static_cast<uint32_t>(c);
}

}  // namespace trep
