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

// Sources taken together by one pass of a kernel: more would spread the
// hardware's prefetching over too many streams.
constexpr std::size_t kGroup = 8;

// The product of a word with a prepared coefficient, one nibble place at a
// time (the vector kernels' method, one word at a time).
inline uint16_t productOf(const GfFactor& f, uint16_t w) {
  uint16_t p = 0;
  for (int place = 0; place < 4; ++place) {
    const unsigned v = (w >> (4 * place)) & 0xF;
    p ^= static_cast<uint16_t>(f.rows[place][v] | f.rows[4 + place][v] << 8);
  }
  return p;
}

void manyPortable(const GfFactor* const* f, const uint8_t* const* src, std::size_t count,
                  std::size_t from, uint8_t* dst, std::size_t n) {
  for (std::size_t i = from; i + 1 < n; i += 2) {
    uint16_t sum = 0;
    for (std::size_t s = 0; s < count; ++s)
      sum ^= productOf(*f[s], static_cast<uint16_t>(src[s][i] | src[s][i + 1] << 8));
    dst[i] ^= static_cast<uint8_t>(sum);
    dst[i + 1] ^= static_cast<uint8_t>(sum >> 8);
  }
}

#ifdef TREP_GF_X86
// The split-nibble method: a word w = n0 + n1·2^4 + n2·2^8 + n3·2^12, so
// c·w = c·n0 ^ c·(n1·2^4) ^ c·(n2·2^8) ^ c·(n3·2^12), each a lookup among 16
// values, done 16 or 32 at a time by a byte shuffle. 16 words a step: their
// low bytes gathered in one vector and their high bytes in another, each
// byte cut into nibbles and looked up; the products of every source are
// summed in that gathered form and interleaved back into words once.
__attribute__((target("ssse3"))) void manySsse3(const GfFactor* const* f, const uint8_t* const* src,
                                                std::size_t count, std::size_t from,
                                                uint8_t* dst, std::size_t n) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i lowByte = _mm_set1_epi16(0x00FF);
  std::size_t i = from;
  for (; i + 32 <= n; i += 32) {
    __m128i rl = _mm_setzero_si128(), rh = _mm_setzero_si128();
    for (std::size_t s = 0; s < count; ++s) {
      const auto* t = reinterpret_cast<const __m128i*>(f[s]->rows);  // rows are 2 vectors apart
      __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[s] + i));
      __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src[s] + i + 16));
      __m128i lo = _mm_packus_epi16(_mm_and_si128(a, lowByte), _mm_and_si128(b, lowByte));
      __m128i hi = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
      __m128i n0 = _mm_and_si128(lo, nibble);
      __m128i n1 = _mm_and_si128(_mm_srli_epi16(lo, 4), nibble);
      __m128i n2 = _mm_and_si128(hi, nibble);
      __m128i n3 = _mm_and_si128(_mm_srli_epi16(hi, 4), nibble);
      // Rows are loaded unaligned: a GfFactor may sit anywhere in memory.
      const __m128i r0 = _mm_loadu_si128(t), r1 = _mm_loadu_si128(t + 2),
                    r2 = _mm_loadu_si128(t + 4), r3 = _mm_loadu_si128(t + 6),
                    r4 = _mm_loadu_si128(t + 8), r5 = _mm_loadu_si128(t + 10),
                    r6 = _mm_loadu_si128(t + 12), r7 = _mm_loadu_si128(t + 14);
      rl = _mm_xor_si128(rl, _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(r0, n0),
                                                         _mm_shuffle_epi8(r1, n1)),
                                           _mm_xor_si128(_mm_shuffle_epi8(r2, n2),
                                                         _mm_shuffle_epi8(r3, n3))));
      rh = _mm_xor_si128(rh, _mm_xor_si128(_mm_xor_si128(_mm_shuffle_epi8(r4, n0),
                                                         _mm_shuffle_epi8(r5, n1)),
                                           _mm_xor_si128(_mm_shuffle_epi8(r6, n2),
                                                         _mm_shuffle_epi8(r7, n3))));
    }
    __m128i* out = reinterpret_cast<__m128i*>(dst + i);
    _mm_storeu_si128(out, _mm_xor_si128(_mm_loadu_si128(out), _mm_unpacklo_epi8(rl, rh)));
    _mm_storeu_si128(out + 1,
                     _mm_xor_si128(_mm_loadu_si128(out + 1), _mm_unpackhi_epi8(rl, rh)));
  }
  manyPortable(f, src, count, i, dst, n);
}

// As the SSSE3 kernel, 32 words a step. Packing and unpacking both work
// within each 128-bit half, so unpacking undoes the packing exactly: the low
// unpack gives back the words of the first load, the high one the second's.
__attribute__((target("avx2"))) void manyAvx2(const GfFactor* const* f, const uint8_t* const* src,
                                              std::size_t count, std::size_t from,
                                              uint8_t* dst, std::size_t n) {
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i lowByte = _mm256_set1_epi16(0x00FF);
  std::size_t i = from;
  for (; i + 64 <= n; i += 64) {
    __m256i rl = _mm256_setzero_si256(), rh = _mm256_setzero_si256();
    for (std::size_t s = 0; s < count; ++s) {
      const auto* t = reinterpret_cast<const __m256i*>(f[s]->rows);
      __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src[s] + i));
      __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src[s] + i + 32));
      __m256i lo =
          _mm256_packus_epi16(_mm256_and_si256(a, lowByte), _mm256_and_si256(b, lowByte));
      __m256i hi = _mm256_packus_epi16(_mm256_srli_epi16(a, 8), _mm256_srli_epi16(b, 8));
      __m256i n0 = _mm256_and_si256(lo, nibble);
      __m256i n1 = _mm256_and_si256(_mm256_srli_epi16(lo, 4), nibble);
      __m256i n2 = _mm256_and_si256(hi, nibble);
      __m256i n3 = _mm256_and_si256(_mm256_srli_epi16(hi, 4), nibble);
      const __m256i r0 = _mm256_loadu_si256(t), r1 = _mm256_loadu_si256(t + 1),
                    r2 = _mm256_loadu_si256(t + 2), r3 = _mm256_loadu_si256(t + 3),
                    r4 = _mm256_loadu_si256(t + 4), r5 = _mm256_loadu_si256(t + 5),
                    r6 = _mm256_loadu_si256(t + 6), r7 = _mm256_loadu_si256(t + 7);
      rl = _mm256_xor_si256(
          rl, _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(r0, n0),
                                                _mm256_shuffle_epi8(r1, n1)),
                               _mm256_xor_si256(_mm256_shuffle_epi8(r2, n2),
                                                _mm256_shuffle_epi8(r3, n3))));
      rh = _mm256_xor_si256(
          rh, _mm256_xor_si256(_mm256_xor_si256(_mm256_shuffle_epi8(r4, n0),
                                                _mm256_shuffle_epi8(r5, n1)),
                               _mm256_xor_si256(_mm256_shuffle_epi8(r6, n2),
                                                _mm256_shuffle_epi8(r7, n3))));
    }
    __m256i* out = reinterpret_cast<__m256i*>(dst + i);
    _mm256_storeu_si256(
        out, _mm256_xor_si256(_mm256_loadu_si256(out), _mm256_unpacklo_epi8(rl, rh)));
    _mm256_storeu_si256(
        out + 1, _mm256_xor_si256(_mm256_loadu_si256(out + 1), _mm256_unpackhi_epi8(rl, rh)));
  }
  manySsse3(f, src, count, i, dst, n);
}
#endif

// A kernel: dst[from .. n) ^= Σ f[s] · src[s][from .. n), count ≤ kGroup.
using Kernel = void (*)(const GfFactor* const*, const uint8_t* const*, std::size_t, std::size_t,
                        uint8_t*, std::size_t);

Kernel kernelFunction(GfKernel kernel) {
  switch (kernel) {
#ifdef TREP_GF_X86
    case GfKernel::kAvx2: return manyAvx2;
    case GfKernel::kSsse3: return manySsse3;
#endif
    default: return manyPortable;
  }
}

// The sources with a non-zero coefficient, kGroup at a time.
void runGrouped(Kernel kernel, const GfFactor* factors, const uint8_t* const* sources,
                std::size_t count, uint8_t* dst, std::size_t n) {
  const GfFactor* f[kGroup];
  const uint8_t* s[kGroup];
  std::size_t taken = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (factors[i].value == 0) continue;
    f[taken] = &factors[i];
    s[taken++] = sources[i];
    if (taken == kGroup) {
      kernel(f, s, taken, 0, dst, n);
      taken = 0;
    }
  }
  if (taken != 0) kernel(f, s, taken, 0, dst, n);
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

GfFactor::GfFactor(uint16_t c) : value(c) {
  for (int place = 0; place < 4; ++place)
    for (int v = 0; v < 16; ++v) {
      const uint16_t product = gfMultiply(c, static_cast<uint16_t>(v << (4 * place)));
      rows[place][v] = rows[place][v + 16] = static_cast<uint8_t>(product);
      rows[4 + place][v] = rows[4 + place][v + 16] = static_cast<uint8_t>(product >> 8);
    }
}

void gfMultiplyAddManyWith(GfKernel kernel, const GfFactor* factors,
                           const uint8_t* const* sources, std::size_t count, uint8_t* dst,
                           std::size_t n) {
  runGrouped(kernelFunction(kernel), factors, sources, count, dst, n);
}

void gfMultiplyAddMany(const GfFactor* factors, const uint8_t* const* sources,
                       std::size_t count, uint8_t* dst, std::size_t n) {
  static const Kernel best = kernelFunction(gfBestKernel());
  runGrouped(best, factors, sources, count, dst, n);
}

void gfMultiplyAdd(uint16_t c, const uint8_t* src, uint8_t* dst, std::size_t n) {
  if (c == 0) return;
  const GfFactor f(c);
  gfMultiplyAddMany(&f, &src, 1, dst, n);
}

}  // namespace recovery
}  // namespace trep
