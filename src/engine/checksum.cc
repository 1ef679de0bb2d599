#include "engine/checksum.h"

#include <functional>
#include <memory>

namespace trep {

namespace {

inline uint32_t le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

void crcWindowPass(const uint8_t* area, uint32_t n, CrcSums* sums) {
  uint32_t a = sums->a, b = sums->b;
  uint32_t k = n;
  const uint8_t* p = area;
  while (k != 0) {
    a += le32(p);
    ++p;  // one byte, not four
    b += a;
    if (k <= 3) {
      uint32_t t;
      if (k == 3)
        t = (static_cast<uint32_t>(p[0]) << 24) + (static_cast<uint32_t>(p[2]) << 8);
      else if (k == 2)
        t = (static_cast<uint32_t>(p[0]) << 16) + (static_cast<uint32_t>(p[1]) << 24);
      else
        t = static_cast<uint32_t>(p[0]) << 24;
      a += t;
      b += a;
      k = 0;
    } else {
      k -= 4;
    }
  }
  sums->a = a;
  sums->b = b;
}

uint32_t computeFileCrc(Platform& platform, const std::string& path) {
  auto* area = static_cast<uint8_t*>(platform.allocateZeroed(kCrcArea));
  if (area == nullptr) return 0;
  std::unique_ptr<uint8_t, std::function<void(uint8_t*)>> owned(
      area, [&platform](uint8_t* block) { platform.release(block); });
  std::unique_ptr<File> file =
      platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting);
  if (!file) return 0;
  uint64_t size = 0;
  if (!file->size(&size)) return 0;

  CrcSums sums;
  uint32_t remaining = static_cast<uint32_t>(size);  // the high half is ignored
  uint32_t n = kCrcChunk;
  uint64_t chunkStart = 0;
  while (remaining != 0) {
    if (remaining < n) n = remaining;
    // Only the bytes the window pass reads are fetched; the rest of the
    // chunk is skipped. A failed read leaves the area as it was.
    uint32_t got = 0;
    file->seek(chunkStart);
    file->read(area, crcBytesUsed(n), &got);
    crcWindowPass(area, n, &sums);
    chunkStart += n;
    remaining -= n;
  }
  return sums.value();
}

}  // namespace trep
