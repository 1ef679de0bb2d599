#include "engine/checksum.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TREP_CRC_X86 1
#endif

namespace trep {
namespace {

// The window pass rests on two sums over the bytes x[0 .. n-1] of a range,
// both modulo 2^32 like the checksum itself: sum = Σ x[i] and
// weighted = Σ i·x[i]. Modular arithmetic makes every regrouping exact, so
// the order in which the bytes are added does not matter.
struct ByteSums {
  uint32_t sum = 0;
  uint32_t weighted = 0;
};

// Adler's trick: with P(t) = x[0] + ... + x[t-1], Σ P(t) for t = 1..n equals
// Σ (n - i)·x[i] = n·sum - weighted; two additions per byte, no product.
ByteSums byteSumsPortable(const uint8_t* x, uint32_t n) {
  uint32_t sum = 0, prefixes = 0;
  for (uint32_t i = 0; i < n; ++i) {
    sum += x[i];
    prefixes += sum;
  }
  return {sum, n * sum - prefixes};
}

#ifdef TREP_CRC_X86
// The same sums 32 bytes at a time with SSE2 (every x86-64 has it; a 32-bit
// build checks the processor first). For vector k of 16 bytes, with v(k) its
// byte sum and index i = 16k + l: Σ i·x[i] = 16·Σ k·v(k) + Σ l·x[16k + l],
// and Σ k·v(k) = (K - 1)·Σ v(k) - Σ_k (v(0) + ... + v(k-1)).
__attribute__((target("sse2"))) ByteSums byteSumsSse2(const uint8_t* x, uint32_t n) {
  const uint32_t vectors = n / 16 & ~1u;  // pairs of vectors
  const __m128i zero = _mm_setzero_si128();
  const __m128i lowWeights = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
  const __m128i highWeights = _mm_setr_epi16(8, 9, 10, 11, 12, 13, 14, 15);
  __m128i sums = zero;      // Σ v(k), in 32-bit lanes 0 and 2
  __m128i prefixes = zero;  // Σ over k of (v(0) + ... + v(k-1)), twice per pair
  __m128i inner = zero;     // Σ l·x[16k + l]
  for (uint32_t k = 0; k < vectors; k += 2) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 16 * k));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + 16 * k + 16));
    __m128i va = _mm_sad_epu8(a, zero);
    __m128i vb = _mm_sad_epu8(b, zero);
    // Before vector k: sums; before vector k + 1: sums + v(k).
    prefixes = _mm_add_epi32(prefixes, _mm_add_epi32(_mm_add_epi32(sums, sums), va));
    sums = _mm_add_epi32(sums, _mm_add_epi32(va, vb));
    __m128i wa = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(a, zero), lowWeights),
                               _mm_madd_epi16(_mm_unpackhi_epi8(a, zero), highWeights));
    __m128i wb = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(b, zero), lowWeights),
                               _mm_madd_epi16(_mm_unpackhi_epi8(b, zero), highWeights));
    inner = _mm_add_epi32(inner, _mm_add_epi32(wa, wb));
  }
  alignas(16) uint32_t s[4], p[4], w[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(s), sums);
  _mm_store_si128(reinterpret_cast<__m128i*>(p), prefixes);
  _mm_store_si128(reinterpret_cast<__m128i*>(w), inner);
  ByteSums r;
  r.sum = s[0] + s[2];
  const uint32_t prefixTotal = p[0] + p[2];
  const uint32_t innerTotal = w[0] + w[1] + w[2] + w[3];
  r.weighted = vectors == 0 ? 0 : 16 * ((vectors - 1) * r.sum - prefixTotal) + innerTotal;

  // The last bytes one at a time, at their place in the range.
  const uint32_t done = 16 * vectors;
  ByteSums tail = byteSumsPortable(x + done, n - done);
  r.weighted += done * tail.sum + tail.weighted;
  r.sum += tail.sum;
  return r;
}
#endif

#ifdef TREP_CRC_X86
// As byteSumsSse2, 64 bytes a step in vectors of 32 (AVX2, where the
// processor and the system have it). Unpacking works within each 16-byte
// half, so the low half of a vector holds bytes 0-7 and 16-23, the high half
// bytes 8-15 and 24-31, each paired with its own index.
__attribute__((target("avx2"))) ByteSums byteSumsAvx2(const uint8_t* x, uint32_t n) {
  const uint32_t vectors = n / 32 & ~1u;  // pairs of vectors
  const __m256i zero = _mm256_setzero_si256();
  const __m256i lowWeights =
      _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 16, 17, 18, 19, 20, 21, 22, 23);
  const __m256i highWeights =
      _mm256_setr_epi16(8, 9, 10, 11, 12, 13, 14, 15, 24, 25, 26, 27, 28, 29, 30, 31);
  __m256i sums = zero, prefixes = zero, inner = zero;
  for (uint32_t k = 0; k < vectors; k += 2) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 32 * k));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(x + 32 * k + 32));
    __m256i va = _mm256_sad_epu8(a, zero);
    __m256i vb = _mm256_sad_epu8(b, zero);
    prefixes = _mm256_add_epi32(prefixes, _mm256_add_epi32(_mm256_add_epi32(sums, sums), va));
    sums = _mm256_add_epi32(sums, _mm256_add_epi32(va, vb));
    __m256i wa =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(a, zero), lowWeights),
                         _mm256_madd_epi16(_mm256_unpackhi_epi8(a, zero), highWeights));
    __m256i wb =
        _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi8(b, zero), lowWeights),
                         _mm256_madd_epi16(_mm256_unpackhi_epi8(b, zero), highWeights));
    inner = _mm256_add_epi32(inner, _mm256_add_epi32(wa, wb));
  }
  alignas(32) uint32_t s[8], p[8], w[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(s), sums);
  _mm256_store_si256(reinterpret_cast<__m256i*>(p), prefixes);
  _mm256_store_si256(reinterpret_cast<__m256i*>(w), inner);
  ByteSums r;
  r.sum = s[0] + s[2] + s[4] + s[6];
  const uint32_t prefixTotal = p[0] + p[2] + p[4] + p[6];
  uint32_t innerTotal = 0;
  for (uint32_t v : w) innerTotal += v;
  r.weighted = vectors == 0 ? 0 : 32 * ((vectors - 1) * r.sum - prefixTotal) + innerTotal;

  const uint32_t done = 32 * vectors;
  ByteSums tail = byteSumsSse2(x + done, n - done);
  r.weighted += done * tail.sum + tail.weighted;
  r.sum += tail.sum;
  return r;
}
#endif

using ByteSumsFunction = ByteSums (*)(const uint8_t*, uint32_t);

ByteSumsFunction byteSumsFor(CrcKernel kernel) {
  switch (kernel) {
#ifdef TREP_CRC_X86
    case CrcKernel::kAvx2: return byteSumsAvx2;
    case CrcKernel::kSse2: return byteSumsSse2;
#endif
    default: return byteSumsPortable;
  }
}

// The fastest kernel this processor has, chosen once.
ByteSums byteSums(const uint8_t* x, uint32_t n) {
  static const ByteSumsFunction best = [] {
    for (CrcKernel k : {CrcKernel::kAvx2, CrcKernel::kSse2})
      if (crcKernelAvailable(k)) return byteSumsFor(k);
    return byteSumsPortable;
  }();
  return best(x, n);
}

}  // namespace

bool crcKernelAvailable(CrcKernel kernel) {
  switch (kernel) {
    case CrcKernel::kPortable: return true;
#ifdef TREP_CRC_X86
    case CrcKernel::kSse2:
#ifdef __SSE2__
      return true;
#else
      __builtin_cpu_init();
      return __builtin_cpu_supports("sse2") != 0;
#endif
    case CrcKernel::kAvx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") != 0;
#endif
    default: return false;
  }
}

namespace {

// Step j (j = 0 .. s-1, s = ceil(n/4)) adds the little-endian word at byte j,
// w(j) = x[j] + x[j+1]·2^8 + x[j+2]·2^16 + x[j+3]·2^24, to a, then a to b.
// After the s steps:
//   a = a0 + Σ w(j)
//   b = b0 + s·a0 + Σ (s - j)·w(j)
// and byte lane d of the word contributes, with P(t) and M(t) the sum and
// the index-weighted sum of x[0 .. t-1]:
//   Σ x[j+d]           = P(s+d) - P(d)
//   Σ (s - j)·x[j+d]   = (s+d)·(P(s+d) - P(d)) - (M(s+d) - M(d)).
// When n is no multiple of 4, the last step adds up to three more bytes from
// x[s .. s+2] shifted into the high lanes, then a to b once more.
void windowPass(ByteSumsFunction byteSumsOf, const uint8_t* area, uint32_t n,
                CrcSums* sums) {
  if (n == 0) return;
  const uint32_t s = (n + 3) / 4;
  uint32_t P[8], M[8];  // at t = 0, 1, 2, 3 and s, s+1, s+2, s+3
  P[0] = M[0] = 0;
  for (uint32_t t = 1; t <= 3; ++t) {
    P[t] = P[t - 1] + area[t - 1];
    M[t] = M[t - 1] + (t - 1) * area[t - 1];
  }
  ByteSums head = byteSumsOf(area, s);
  P[4] = head.sum;
  M[4] = head.weighted;
  for (uint32_t d = 1; d <= 3; ++d) {
    P[4 + d] = P[3 + d] + area[s + d - 1];
    M[4 + d] = M[3 + d] + (s + d - 1) * area[s + d - 1];
  }
  uint32_t wordSum = 0, weightedWordSum = 0;
  for (uint32_t d = 0; d < 4; ++d) {
    uint32_t plain = P[4 + d] - P[d];
    uint32_t weighted = (s + d) * plain - (M[4 + d] - M[d]);
    wordSum += plain << (8 * d);
    weightedWordSum += weighted << (8 * d);
  }
  uint32_t a = sums->a + wordSum;
  uint32_t b = sums->b + s * sums->a + weightedWordSum;

  const uint32_t k = n - 4 * (s - 1);  // bytes the last step covers: 1 .. 4
  if (k <= 3) {
    const uint8_t* p = area + s;
    uint32_t t;
    if (k == 3)
      t = (static_cast<uint32_t>(p[0]) << 24) + (static_cast<uint32_t>(p[2]) << 8);
    else if (k == 2)
      t = (static_cast<uint32_t>(p[0]) << 16) + (static_cast<uint32_t>(p[1]) << 24);
    else
      t = static_cast<uint32_t>(p[0]) << 24;
    a += t;
    b += a;
  }
  sums->a = a;
  sums->b = b;
}

}  // namespace

void crcWindowPass(const uint8_t* area, uint32_t n, CrcSums* sums) {
  windowPass(byteSums, area, n, sums);
}

void crcWindowPassWith(CrcKernel kernel, const uint8_t* area, uint32_t n, CrcSums* sums) {
  windowPass(byteSumsFor(kernel), area, n, sums);
}

uint32_t crcAreaSize(uint64_t fileSize) {
  uint32_t size = static_cast<uint32_t>(fileSize);  // the high half is ignored
  uint32_t first = size < kCrcChunk ? size : kCrcChunk;
  uint32_t used = (first + 3) / 4 + 3;  // the window reaches 3 bytes past its steps
  return used;
}

uint32_t computeFileCrc(Platform& platform, const std::string& path,
                        std::atomic<uint64_t>* covered) {
  std::unique_ptr<File> file =
      platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting);
  if (!file) return 0;
  uint64_t size = 0;
  if (!file->size(&size)) return 0;
  const uint32_t areaSize = crcAreaSize(size);
  auto* area = static_cast<uint8_t*>(platform.allocateZeroed(areaSize));
  if (area == nullptr) return 0;
  std::unique_ptr<uint8_t, std::function<void(uint8_t*)>> owned(
      area, [&platform](uint8_t* block) { platform.release(block); });

  CrcSums sums;
  uint32_t remaining = static_cast<uint32_t>(size);  // the high half is ignored
  uint32_t n = kCrcChunk;
  uint64_t chunkStart = 0;
  while (remaining != 0) {
    if (remaining < n) n = remaining;
    // Only the bytes the window pass reads are fetched; the rest of the
    // chunk is skipped. A failed read leaves the area as it was, and a
    // last chunk of 1 to 3 bytes sees what the previous chunk left past it.
    uint32_t got = 0;
    file->seek(chunkStart);
    file->read(area, crcBytesUsed(n), &got);
    crcWindowPass(area, n, &sums);
    chunkStart += n;
    remaining -= n;
    if (covered != nullptr) *covered = chunkStart;
  }
  return sums.value();
}

namespace {

constexpr uint32_t kCrcHead = (kCrcChunk + 3) / 4 + 3;  // bytes a full chunk's pass reads

}  // namespace

CrcStream::CrcStream(uint64_t expectedTotal)
    : expectedTotal_(expectedTotal), area_(kCrcHead, 0) {
  starts_.push_back(sums_);
}

void CrcStream::add(const uint8_t* data, std::size_t n) {
  // The last chunk that counts, when the total is known and beyond 32 bits.
  const bool keep = expectedTotal_ != kUnknownTotal && expectedTotal_ >> 32 != 0;
  const uint64_t counted = static_cast<uint32_t>(expectedTotal_);
  const uint64_t keptChunk = counted / kCrcChunk;
  while (n != 0) {
    const uint64_t chunk = position_ / kCrcChunk;
    const uint32_t inChunk = static_cast<uint32_t>(position_ % kCrcChunk);
    const uint32_t take =
        static_cast<uint32_t>(std::min<uint64_t>(n, kCrcChunk - inChunk));
    if (inChunk < kCrcHead) {
      const uint32_t head = std::min<uint32_t>(take, kCrcHead - inChunk);
      std::memcpy(area_.data() + inChunk, data, head);
      if (keep && chunk == keptChunk) {
        if (keptHead_.empty()) keptHead_.assign(area_.begin(), area_.end());
        std::memcpy(keptHead_.data() + inChunk, data, head);
      }
    }
    // The first bytes of the chunk before the kept one, which a last chunk
    // of 1 to 3 bytes reads past its own.
    if (keep && chunk + 1 == keptChunk && inChunk < 4) {
      for (uint32_t i = 0; i < take && inChunk + i < 4; ++i) keptBefore_[inChunk + i] = data[i];
    }
    position_ += take;
    data += take;
    n -= take;
    if (position_ % kCrcChunk == 0) {
      crcWindowPass(area_.data(), kCrcChunk, &sums_);
      starts_.push_back(sums_);
    }
  }
}

bool CrcStream::value(uint32_t* crc, const ReadBack& readBack) const {
  const uint64_t counted = static_cast<uint32_t>(position_);  // the high half is ignored
  const uint64_t chunk = counted / kCrcChunk;
  const uint32_t rest = static_cast<uint32_t>(counted % kCrcChunk);
  CrcSums sums = starts_[chunk];
  if (rest == 0) {
    *crc = sums.value();
    return true;
  }
  if (counted == position_) {  // below 4 GiB: the chunk in progress is the last
    std::vector<uint8_t> area = area_;
    crcWindowPass(area.data(), rest, &sums);
    *crc = sums.value();
    return true;
  }
  std::vector<uint8_t> area(kCrcHead, 0);
  if (expectedTotal_ == position_ && !keptHead_.empty()) {
    area = keptHead_;
    // Past the bytes read from the last chunk lies what the chunk before left.
    for (uint32_t i = crcBytesUsed(rest); i < 4; ++i) area[i] = keptBefore_[i];
  } else {
    if (!readBack) return false;
    if (chunk != 0 && !readBack((chunk - 1) * kCrcChunk, area.data(), 4)) return false;
    if (!readBack(chunk * kCrcChunk, area.data(), crcBytesUsed(rest))) return false;
  }
  crcWindowPass(area.data(), rest, &sums);
  *crc = sums.value();
  return true;
}

}  // namespace trep
