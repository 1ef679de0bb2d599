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

}  // namespace trep
