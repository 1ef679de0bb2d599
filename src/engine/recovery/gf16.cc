#include "engine/recovery/gf16.h"

#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TREP_GF_X86 1
#endif

namespace trep {
namespace recovery {
namespace {

// exp[i] = 2^i for i in 0 .. 2·65535 (twice round, so a sum of two logs
// needs no reduction); log[x] for x != 0.
struct Tables {
  std::vector<uint16_t> exp;
  std::vector<uint16_t> log;
  std::vector<uint16_t> sliceLogs;
  Tables() : exp(2 * kGfOrder + 1), log(65536) {
    uint32_t x = 1;
    for (uint32_t i = 0; i < kGfOrder; ++i) {
      exp[i] = static_cast<uint16_t>(x);
      log[x] = static_cast<uint16_t>(i);
      x <<= 1;
      if (x & 0x10000) x ^= kGfGenerator;
    }
    for (uint32_t i = kGfOrder; i < exp.size(); ++i) exp[i] = exp[i - kGfOrder];
    for (uint32_t n = 1; n < kGfOrder && sliceLogs.size() < kMaxInputSlices; ++n)
      if (n % 3 != 0 && n % 5 != 0 && n % 17 != 0 && n % 257 != 0)
        sliceLogs.push_back(static_cast<uint16_t>(n));
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

// c times each of the 256 values of a word's low byte and of its high byte:
// c·w = low[w & 0xFF] ^ high[w >> 8].
struct ByteTables {
  uint16_t low[256];
  uint16_t high[256];
  explicit ByteTables(uint16_t c) {
    for (uint32_t v = 0; v < 256; ++v) {
      low[v] = gfMultiply(c, static_cast<uint16_t>(v));
      high[v] = gfMultiply(c, static_cast<uint16_t>(v << 8));
    }
  }
};

void multiplyAddPortable(uint16_t c, const uint8_t* src, uint8_t* dst, std::size_t n) {
  if (c == 0) return;
  const ByteTables t(c);
  for (std::size_t i = 0; i + 1 < n; i += 2) {
    uint16_t product = t.low[src[i]] ^ t.high[src[i + 1]];
    dst[i] ^= static_cast<uint8_t>(product);
    dst[i + 1] ^= static_cast<uint8_t>(product >> 8);
  }
}

#ifdef TREP_GF_X86
// The split-nibble method: a word w = n0 + n1·2^4 + n2·2^8 + n3·2^12, so
// c·w = c·n0 ^ c·(n1·2^4) ^ c·(n2·2^8) ^ c·(n3·2^12), each a lookup among 16
// values, done 16 or 32 at a time by a byte shuffle. lowBytes[p][v] and
// highBytes[p][v] are the low and high byte of c·(v·2^(4p)).
struct NibbleTables {
  alignas(16) uint8_t lowBytes[4][16];
  alignas(16) uint8_t highBytes[4][16];
  explicit NibbleTables(uint16_t c) {
    for (int p = 0; p < 4; ++p)
      for (int v = 0; v < 16; ++v) {
        uint16_t product = gfMultiply(c, static_cast<uint16_t>(v << (4 * p)));
        lowBytes[p][v] = static_cast<uint8_t>(product);
        highBytes[p][v] = static_cast<uint8_t>(product >> 8);
      }
  }
};

// 16 words: the words' low bytes gathered in one vector and their high bytes
// in another, each byte cut into nibbles and looked up, the two result
// vectors interleaved back into words.
__attribute__((target("ssse3"))) void multiplyAddSsse3(uint16_t c, const uint8_t* src,
                                                       uint8_t* dst, std::size_t n) {
  if (c == 0) return;
  const NibbleTables t(c);
  __m128i tl[4], th[4];
  for (int p = 0; p < 4; ++p) {
    tl[p] = _mm_load_si128(reinterpret_cast<const __m128i*>(t.lowBytes[p]));
    th[p] = _mm_load_si128(reinterpret_cast<const __m128i*>(t.highBytes[p]));
  }
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i lowByte = _mm_set1_epi16(0x00FF);
  std::size_t i = 0;
  for (; i + 32 <= n; i += 32) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 16));
    __m128i lo = _mm_packus_epi16(_mm_and_si128(a, lowByte), _mm_and_si128(b, lowByte));
    __m128i hi = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
    __m128i n0 = _mm_and_si128(lo, nibble);
    __m128i n1 = _mm_and_si128(_mm_srli_epi16(lo, 4), nibble);
    __m128i n2 = _mm_and_si128(hi, nibble);
    __m128i n3 = _mm_and_si128(_mm_srli_epi16(hi, 4), nibble);
    __m128i rl = _mm_xor_si128(
        _mm_xor_si128(_mm_shuffle_epi8(tl[0], n0), _mm_shuffle_epi8(tl[1], n1)),
        _mm_xor_si128(_mm_shuffle_epi8(tl[2], n2), _mm_shuffle_epi8(tl[3], n3)));
    __m128i rh = _mm_xor_si128(
        _mm_xor_si128(_mm_shuffle_epi8(th[0], n0), _mm_shuffle_epi8(th[1], n1)),
        _mm_xor_si128(_mm_shuffle_epi8(th[2], n2), _mm_shuffle_epi8(th[3], n3)));
    __m128i* out = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(out, _mm_xor_si128(_mm_loadu_si128(out), _mm_unpacklo_epi8(rl, rh)));
    _mm_storeu_si128(out + 1,
                     _mm_xor_si128(_mm_loadu_si128(out + 1), _mm_unpackhi_epi8(rl, rh)));
  }
  multiplyAddPortable(c, src + i, dst + i, n - i);
}

// As the SSSE3 kernel, 32 words a step. Packing and unpacking both work
// within each 128-bit half, so unpacking undoes the packing exactly: the low
// unpack gives back the words of the first load, the high one the second's.
__attribute__((target("avx2"))) void multiplyAddAvx2(uint16_t c, const uint8_t* src,
                                                     uint8_t* dst, std::size_t n) {
  if (c == 0) return;
  const NibbleTables t(c);
  __m256i tl[4], th[4];
  for (int p = 0; p < 4; ++p) {
    tl[p] = _mm256_broadcastsi128_si256(
        _mm_load_si128(reinterpret_cast<const __m128i*>(t.lowBytes[p])));
    th[p] = _mm256_broadcastsi128_si256(
        _mm_load_si128(reinterpret_cast<const __m128i*>(t.highBytes[p])));
  }
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i lowByte = _mm256_set1_epi16(0x00FF);
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i + 32));
    __m256i lo =
        _mm256_packus_epi16(_mm256_and_si256(a, lowByte), _mm256_and_si256(b, lowByte));
    __m256i hi = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
    __m256i n0 = _mm256_and_si256(lo, nibble);
    __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(lo, 4), nibble);
    __m256i n2 = _mm256_and_si256(hi, nibble);
    __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(hi, 4), nibble);
    __m256i rl = _mm256_xor_si256(
        _mm256_xor_si256(_mm256_shuffle_epi8(tl[0], n0), _mm256_shuffle_epi8(tl[1], n1)),
        _mm256_xor_si256(_mm256_shuffle_epi8(tl[2], n2), _mm256_shuffle_epi8(tl[3], n3)));
    __m256i rh = _mm256_xor_si256(
        _mm256_xor_si256(_mm256_shuffle_epi8(th[0], n0), _mm256_shuffle_epi8(th[1], n1)),
        _mm256_xor_si256(_mm256_shuffle_epi8(th[2], n2), _mm256_shuffle_epi8(th[3], n3)));
    __m256i* out = reinterpret_cast<__m256i*>(dst + i);
    _mm256_storeu_si256(
        out, _mm256_xor_si256(_mm256_loadu_si256(out), _mm256_unpacklo_epi8(rl, rh)));
    _mm256_storeu_si256(
        out + 1, _mm256_xor_si256(_mm256_loadu_si256(out + 1), _mm256_unpackhi_epi8(rl, rh)));
  }
  multiplyAddSsse3(c, src + i, dst + i, n - i);
}
#endif

using MultiplyAdd = void (*)(uint16_t, const uint8_t*, uint8_t*, std::size_t);

MultiplyAdd kernelFunction(GfKernel kernel) {
  switch (kernel) {
#ifdef TREP_GF_X86
    case GfKernel::kAvx2: return multiplyAddAvx2;
    case GfKernel::kSsse3: return multiplyAddSsse3;
#endif
    default: return multiplyAddPortable;
  }
}

}  // namespace

uint16_t gfMultiply(uint16_t a, uint16_t b) {
  if (a == 0 || b == 0) return 0;
  const Tables& t = tables();
  return t.exp[t.log[a] + t.log[b]];
}

uint16_t gfInverse(uint16_t a) {
  const Tables& t = tables();
  return t.exp[kGfOrder - t.log[a]];
}

uint16_t gfExp(uint64_t n) { return tables().exp[n % kGfOrder]; }

uint16_t gfPower(uint16_t a, uint64_t e) {
  if (e == 0) return 1;
  if (a == 0) return 0;
  return gfExp(static_cast<uint64_t>(tables().log[a]) * (e % kGfOrder));
}

uint32_t sliceConstantLog(uint32_t k) { return tables().sliceLogs[k]; }

bool gfKernelAvailable(GfKernel kernel) {
  switch (kernel) {
    case GfKernel::kPortable: return true;
#ifdef TREP_GF_X86
    case GfKernel::kSsse3:
      __builtin_cpu_init();
      return __builtin_cpu_supports("ssse3") != 0;
    case GfKernel::kAvx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") != 0;
#endif
    default: return false;
  }
}

const char* gfKernelName(GfKernel kernel) {
  switch (kernel) {
    case GfKernel::kSsse3: return "SSSE3";
    case GfKernel::kAvx2: return "AVX2";
    default: return "portable";
  }
}

GfKernel gfBestKernel() {
  static const GfKernel best = [] {
    for (GfKernel k : {GfKernel::kAvx2, GfKernel::kSsse3})
      if (gfKernelAvailable(k)) return k;
    return GfKernel::kPortable;
  }();
  return best;
}

void gfMultiplyAddWith(GfKernel kernel, uint16_t c, const uint8_t* src, uint8_t* dst,
                       std::size_t n) {
  kernelFunction(kernel)(c, src, dst, n);
}

void gfMultiplyAdd(uint16_t c, const uint8_t* src, uint8_t* dst, std::size_t n) {
  static const MultiplyAdd best = kernelFunction(gfBestKernel());
  best(c, src, dst, n);
}

}  // namespace recovery
}  // namespace trep
