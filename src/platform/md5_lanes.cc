#include "platform/md5_lanes.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#if defined(__GNUC__) && !defined(__clang__)
// GCC 12's AVX-512 intrinsics start from a deliberately undefined vector
// (_mm512_undefined_epi32) that -W(maybe-)uninitialized then reports
// wherever they are inlined; nothing here reads an undefined value.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#else
#include <immintrin.h>
#endif
#define TREP_MD5_X86 1
#endif

namespace trep {
namespace {

// The 64 steps of MD5's compression of one 64-byte block (RFC 1321, 3.4),
// for every kernel: STEP(round function, the four registers in the order
// the step uses them, message word, additive constant, left rotation). A
// step is a = b + ((a + fn(b, c, d) + m[word] + constant) <<< rotation).
#define TREP_MD5_STEPS(STEP)               \
  STEP(F, a, b, c, d, 0, 0xd76aa478, 7)    \
  STEP(F, d, a, b, c, 1, 0xe8c7b756, 12)   \
  STEP(F, c, d, a, b, 2, 0x242070db, 17)   \
  STEP(F, b, c, d, a, 3, 0xc1bdceee, 22)   \
  STEP(F, a, b, c, d, 4, 0xf57c0faf, 7)    \
  STEP(F, d, a, b, c, 5, 0x4787c62a, 12)   \
  STEP(F, c, d, a, b, 6, 0xa8304613, 17)   \
  STEP(F, b, c, d, a, 7, 0xfd469501, 22)   \
  STEP(F, a, b, c, d, 8, 0x698098d8, 7)    \
  STEP(F, d, a, b, c, 9, 0x8b44f7af, 12)   \
  STEP(F, c, d, a, b, 10, 0xffff5bb1, 17)  \
  STEP(F, b, c, d, a, 11, 0x895cd7be, 22)  \
  STEP(F, a, b, c, d, 12, 0x6b901122, 7)   \
  STEP(F, d, a, b, c, 13, 0xfd987193, 12)  \
  STEP(F, c, d, a, b, 14, 0xa679438e, 17)  \
  STEP(F, b, c, d, a, 15, 0x49b40821, 22)  \
  STEP(G, a, b, c, d, 1, 0xf61e2562, 5)    \
  STEP(G, d, a, b, c, 6, 0xc040b340, 9)    \
  STEP(G, c, d, a, b, 11, 0x265e5a51, 14)  \
  STEP(G, b, c, d, a, 0, 0xe9b6c7aa, 20)   \
  STEP(G, a, b, c, d, 5, 0xd62f105d, 5)    \
  STEP(G, d, a, b, c, 10, 0x02441453, 9)   \
  STEP(G, c, d, a, b, 15, 0xd8a1e681, 14)  \
  STEP(G, b, c, d, a, 4, 0xe7d3fbc8, 20)   \
  STEP(G, a, b, c, d, 9, 0x21e1cde6, 5)    \
  STEP(G, d, a, b, c, 14, 0xc33707d6, 9)   \
  STEP(G, c, d, a, b, 3, 0xf4d50d87, 14)   \
  STEP(G, b, c, d, a, 8, 0x455a14ed, 20)   \
  STEP(G, a, b, c, d, 13, 0xa9e3e905, 5)   \
  STEP(G, d, a, b, c, 2, 0xfcefa3f8, 9)    \
  STEP(G, c, d, a, b, 7, 0x676f02d9, 14)   \
  STEP(G, b, c, d, a, 12, 0x8d2a4c8a, 20)  \
  STEP(H, a, b, c, d, 5, 0xfffa3942, 4)    \
  STEP(H, d, a, b, c, 8, 0x8771f681, 11)   \
  STEP(H, c, d, a, b, 11, 0x6d9d6122, 16)  \
  STEP(H, b, c, d, a, 14, 0xfde5380c, 23)  \
  STEP(H, a, b, c, d, 1, 0xa4beea44, 4)    \
  STEP(H, d, a, b, c, 4, 0x4bdecfa9, 11)   \
  STEP(H, c, d, a, b, 7, 0xf6bb4b60, 16)   \
  STEP(H, b, c, d, a, 10, 0xbebfbc70, 23)  \
  STEP(H, a, b, c, d, 13, 0x289b7ec6, 4)   \
  STEP(H, d, a, b, c, 0, 0xeaa127fa, 11)   \
  STEP(H, c, d, a, b, 3, 0xd4ef3085, 16)   \
  STEP(H, b, c, d, a, 6, 0x04881d05, 23)   \
  STEP(H, a, b, c, d, 9, 0xd9d4d039, 4)    \
  STEP(H, d, a, b, c, 12, 0xe6db99e5, 11)  \
  STEP(H, c, d, a, b, 15, 0x1fa27cf8, 16)  \
  STEP(H, b, c, d, a, 2, 0xc4ac5665, 23)   \
  STEP(I, a, b, c, d, 0, 0xf4292244, 6)    \
  STEP(I, d, a, b, c, 7, 0x432aff97, 10)   \
  STEP(I, c, d, a, b, 14, 0xab9423a7, 15)  \
  STEP(I, b, c, d, a, 5, 0xfc93a039, 21)   \
  STEP(I, a, b, c, d, 12, 0x655b59c3, 6)   \
  STEP(I, d, a, b, c, 3, 0x8f0ccc92, 10)   \
  STEP(I, c, d, a, b, 10, 0xffeff47d, 15)  \
  STEP(I, b, c, d, a, 1, 0x85845dd1, 21)   \
  STEP(I, a, b, c, d, 8, 0x6fa87e4f, 6)    \
  STEP(I, d, a, b, c, 15, 0xfe2ce6e0, 10)  \
  STEP(I, c, d, a, b, 6, 0xa3014314, 15)   \
  STEP(I, b, c, d, a, 13, 0x4e0811a1, 21)  \
  STEP(I, a, b, c, d, 4, 0xf7537e82, 6)    \
  STEP(I, d, a, b, c, 11, 0xbd3af235, 10)  \
  STEP(I, c, d, a, b, 2, 0x2ad7d2bb, 15)   \
  STEP(I, b, c, d, a, 9, 0xeb86d391, 21)

// The state every stream starts from (RFC 1321, 3.3).
constexpr uint32_t kInitialState[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

constexpr std::size_t kMostLanes = 32;

// A kernel: `blocks` 64-byte blocks of each of its lanes' streams, lane l's
// at data[l], data[l] + 64, ...; states[l] is that stream's four words. A
// kernel of n lanes is given exactly n of each.
using Kernel = void (*)(uint32_t* const* states, const uint8_t* const* data, std::size_t blocks);

// One stream at a time, on any processor. The round functions in the forms
// that need fewest operations: F = (x & y) | (~x & z), G = (x & z) | (y & ~z).
#define TREP_MD5_SCALAR_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define TREP_MD5_SCALAR_G(x, y, z) ((y) ^ ((z) & ((x) ^ (y))))
#define TREP_MD5_SCALAR_H(x, y, z) ((x) ^ (y) ^ (z))
#define TREP_MD5_SCALAR_I(x, y, z) ((y) ^ ((x) | ~(z)))
#define TREP_MD5_SCALAR_STEP(fn, a, b, c, d, w, k, s)                                \
  {                                                                                 \
    const uint32_t t = (a + m[w] + uint32_t{k}) + TREP_MD5_SCALAR_##fn(b, c, d);     \
    a = b + ((t << s) | (t >> (32 - s)));                                           \
  }

void blocksPortable(uint32_t* state, const uint8_t* p, std::size_t blocks) {
  for (; blocks != 0; --blocks, p += 64) {
    uint32_t m[16];
    for (int w = 0; w < 16; ++w)  // little-endian words, whatever the processor's order
      m[w] = uint32_t{p[4 * w]} | uint32_t{p[4 * w + 1]} << 8 | uint32_t{p[4 * w + 2]} << 16 |
             uint32_t{p[4 * w + 3]} << 24;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    TREP_MD5_STEPS(TREP_MD5_SCALAR_STEP)
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
  }
}

void portableKernel(uint32_t* const* states, const uint8_t* const* data, std::size_t blocks) {
  blocksPortable(states[0], data[0], blocks);
}

#ifdef TREP_MD5_X86
// The vector kernels keep word w of a block of every lane in one vector and
// the registers a, b, c, d of every lane in one vector each. A block is
// loaded as rows (one lane's consecutive words per vector) and transposed
// into those columns. MD5's words are little-endian, as x86's.
//
// Each step waits for the one before, and a vector instruction's result
// comes later than a scalar one's, so one vector of lanes would leave the
// processor mostly idle: each kernel advances two vectors of lanes (two
// groups) side by side, the second's registers named a2, b2, c2, d2 and its
// words m2. A step's additions are ordered so that only the round function
// waits for the previous step's result: a + m[w] + constant is ready before.

// The compiler takes the stack to be 16-byte aligned where a function is
// entered and keeps vectors there with instructions that demand it; 32-bit
// Windows promises only 4 bytes (to a thread the system starts, to a
// callback), so there the kernels align their own frames.
#if defined(__i386__)
#define TREP_MD5_ALIGNS_STACK __attribute__((force_align_arg_pointer))
#else
#define TREP_MD5_ALIGNS_STACK
#endif

// The states of `width` lanes from states[0], one register per row.
template <int width>
void gatherStates(uint32_t* const* states, uint32_t (*words)[width]) {
  for (int l = 0; l < width; ++l)
    for (int i = 0; i < 4; ++i) words[i][l] = states[l][i];
}
template <int width>
void scatterStates(uint32_t (*words)[width], uint32_t* const* states) {
  for (int l = 0; l < width; ++l)
    for (int i = 0; i < 4; ++i) states[l][i] = words[i][l];
}

// --- SSE2: 2 x 4 lanes, each block loaded and transposed 4 words at a time.
#define TREP_MD5_SSE2_F(x, y, z) _mm_xor_si128(z, _mm_and_si128(x, _mm_xor_si128(y, z)))
#define TREP_MD5_SSE2_G(x, y, z) _mm_xor_si128(y, _mm_and_si128(z, _mm_xor_si128(x, y)))
#define TREP_MD5_SSE2_H(x, y, z) _mm_xor_si128(_mm_xor_si128(x, y), z)
#define TREP_MD5_SSE2_I(x, y, z) _mm_xor_si128(y, _mm_or_si128(x, _mm_xor_si128(z, ones)))
#define TREP_MD5_SSE2_ONE(fn, a, b, c, d, m, w, k, s)                                         \
  {                                                                                          \
    const __m128i t = _mm_add_epi32(                                                         \
        _mm_add_epi32(a, _mm_add_epi32(m[w], _mm_set1_epi32(static_cast<int>(uint32_t{k})))), \
        TREP_MD5_SSE2_##fn(b, c, d));                                                        \
    a = _mm_add_epi32(b, _mm_or_si128(_mm_slli_epi32(t, s), _mm_srli_epi32(t, 32 - s)));     \
  }
#define TREP_MD5_SSE2_STEP(fn, a, b, c, d, w, k, s) \
  TREP_MD5_SSE2_ONE(fn, a, b, c, d, m, w, k, s)    \
  TREP_MD5_SSE2_ONE(fn, a##2, b##2, c##2, d##2, m2, w, k, s)

// r[l] holds words 0-3 of lane l; c[w] gets word w of lanes 0-3.
__attribute__((target("sse2"))) inline void transpose4(const __m128i* r, __m128i* c) {
  const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]), t1 = _mm_unpackhi_epi32(r[0], r[1]);
  const __m128i t2 = _mm_unpacklo_epi32(r[2], r[3]), t3 = _mm_unpackhi_epi32(r[2], r[3]);
  c[0] = _mm_unpacklo_epi64(t0, t2);
  c[1] = _mm_unpackhi_epi64(t0, t2);
  c[2] = _mm_unpacklo_epi64(t1, t3);
  c[3] = _mm_unpackhi_epi64(t1, t3);
}

// m[w]: word w of the block at `at` of lanes data[0] to data[3].
__attribute__((target("sse2"))) inline void loadBlock4(const uint8_t* const* data, std::size_t at,
                                                       __m128i* m) {
  for (int q = 0; q < 4; ++q) {
    __m128i r[4];
    for (int l = 0; l < 4; ++l)
      r[l] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data[l] + at + 16 * q));
    transpose4(r, m + 4 * q);
  }
}

__attribute__((target("sse2"))) TREP_MD5_ALIGNS_STACK
void sse2Kernel(uint32_t* const* states, const uint8_t* const* data, std::size_t blocks) {
  const __m128i ones = _mm_set1_epi32(-1);
  uint32_t words[4][8];
  gatherStates<8>(states, words);
  const auto* h = reinterpret_cast<const __m128i*>(words);  // 2 vectors a row
  __m128i a = _mm_loadu_si128(h), b = _mm_loadu_si128(h + 2), c = _mm_loadu_si128(h + 4),
          d = _mm_loadu_si128(h + 6);
  __m128i a2 = _mm_loadu_si128(h + 1), b2 = _mm_loadu_si128(h + 3),
          c2 = _mm_loadu_si128(h + 5), d2 = _mm_loadu_si128(h + 7);
  for (std::size_t at = 0; at < 64 * blocks; at += 64) {
    __m128i m[16], m2[16];
    loadBlock4(data, at, m);
    loadBlock4(data + 4, at, m2);
    const __m128i a0 = a, b0 = b, c0 = c, d0 = d, a20 = a2, b20 = b2, c20 = c2, d20 = d2;
    TREP_MD5_STEPS(TREP_MD5_SSE2_STEP)
    a = _mm_add_epi32(a, a0), b = _mm_add_epi32(b, b0);
    c = _mm_add_epi32(c, c0), d = _mm_add_epi32(d, d0);
    a2 = _mm_add_epi32(a2, a20), b2 = _mm_add_epi32(b2, b20);
    c2 = _mm_add_epi32(c2, c20), d2 = _mm_add_epi32(d2, d20);
  }
  auto* out = reinterpret_cast<__m128i*>(words);
  _mm_storeu_si128(out, a), _mm_storeu_si128(out + 2, b);
  _mm_storeu_si128(out + 4, c), _mm_storeu_si128(out + 6, d);
  _mm_storeu_si128(out + 1, a2), _mm_storeu_si128(out + 3, b2);
  _mm_storeu_si128(out + 5, c2), _mm_storeu_si128(out + 7, d2);
  scatterStates<8>(words, states);
}

// --- AVX2: 2 x 8 lanes, each block loaded and transposed 8 words at a time.
#define TREP_MD5_AVX2_F(x, y, z) _mm256_xor_si256(z, _mm256_and_si256(x, _mm256_xor_si256(y, z)))
#define TREP_MD5_AVX2_G(x, y, z) _mm256_xor_si256(y, _mm256_and_si256(z, _mm256_xor_si256(x, y)))
#define TREP_MD5_AVX2_H(x, y, z) _mm256_xor_si256(_mm256_xor_si256(x, y), z)
#define TREP_MD5_AVX2_I(x, y, z) \
  _mm256_xor_si256(y, _mm256_or_si256(x, _mm256_xor_si256(z, ones)))
#define TREP_MD5_AVX2_ONE(fn, a, b, c, d, m, w, k, s)                                   \
  {                                                                                    \
    const __m256i t = _mm256_add_epi32(                                                \
        _mm256_add_epi32(                                                              \
            a, _mm256_add_epi32(m[w], _mm256_set1_epi32(static_cast<int>(uint32_t{k})))), \
        TREP_MD5_AVX2_##fn(b, c, d));                                                  \
    a = _mm256_add_epi32(                                                              \
        b, _mm256_or_si256(_mm256_slli_epi32(t, s), _mm256_srli_epi32(t, 32 - s)));    \
  }
#define TREP_MD5_AVX2_STEP(fn, a, b, c, d, w, k, s) \
  TREP_MD5_AVX2_ONE(fn, a, b, c, d, m, w, k, s)    \
  TREP_MD5_AVX2_ONE(fn, a##2, b##2, c##2, d##2, m2, w, k, s)

// r[l] holds words 0-7 of lane l; c[w] gets word w of lanes 0-7. Within
// each 128-bit half, the unpacks make u[4i + k] hold word k (low half) or
// 4 + k (high half) of lanes 4i to 4i + 3; the halves are then paired.
__attribute__((target("avx2"))) inline void transpose8(const __m256i* r, __m256i* c) {
  __m256i t[8], u[8];
  for (int i = 0; i < 4; ++i) {
    t[2 * i] = _mm256_unpacklo_epi32(r[2 * i], r[2 * i + 1]);
    t[2 * i + 1] = _mm256_unpackhi_epi32(r[2 * i], r[2 * i + 1]);
  }
  for (int i = 0; i < 2; ++i) {
    u[4 * i] = _mm256_unpacklo_epi64(t[4 * i], t[4 * i + 2]);
    u[4 * i + 1] = _mm256_unpackhi_epi64(t[4 * i], t[4 * i + 2]);
    u[4 * i + 2] = _mm256_unpacklo_epi64(t[4 * i + 1], t[4 * i + 3]);
    u[4 * i + 3] = _mm256_unpackhi_epi64(t[4 * i + 1], t[4 * i + 3]);
  }
  for (int k = 0; k < 4; ++k) {
    c[k] = _mm256_permute2x128_si256(u[k], u[4 + k], 0x20);
    c[4 + k] = _mm256_permute2x128_si256(u[k], u[4 + k], 0x31);
  }
}

// m[w]: word w of the block at `at` of lanes data[0] to data[7].
__attribute__((target("avx2"))) inline void loadBlock8(const uint8_t* const* data, std::size_t at,
                                                       __m256i* m) {
  for (int half = 0; half < 2; ++half) {
    __m256i r[8];
    for (int l = 0; l < 8; ++l)
      r[l] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data[l] + at + 32 * half));
    transpose8(r, m + 8 * half);
  }
}

__attribute__((target("avx2"))) TREP_MD5_ALIGNS_STACK
void avx2Kernel(uint32_t* const* states, const uint8_t* const* data, std::size_t blocks) {
  const __m256i ones = _mm256_set1_epi32(-1);
  uint32_t words[4][16];
  gatherStates<16>(states, words);
  const auto* h = reinterpret_cast<const __m256i*>(words);  // 2 vectors a row
  __m256i a = _mm256_loadu_si256(h), b = _mm256_loadu_si256(h + 2),
          c = _mm256_loadu_si256(h + 4), d = _mm256_loadu_si256(h + 6);
  __m256i a2 = _mm256_loadu_si256(h + 1), b2 = _mm256_loadu_si256(h + 3),
          c2 = _mm256_loadu_si256(h + 5), d2 = _mm256_loadu_si256(h + 7);
  for (std::size_t at = 0; at < 64 * blocks; at += 64) {
    __m256i m[16], m2[16];
    loadBlock8(data, at, m);
    loadBlock8(data + 8, at, m2);
    const __m256i a0 = a, b0 = b, c0 = c, d0 = d, a20 = a2, b20 = b2, c20 = c2, d20 = d2;
    TREP_MD5_STEPS(TREP_MD5_AVX2_STEP)
    a = _mm256_add_epi32(a, a0), b = _mm256_add_epi32(b, b0);
    c = _mm256_add_epi32(c, c0), d = _mm256_add_epi32(d, d0);
    a2 = _mm256_add_epi32(a2, a20), b2 = _mm256_add_epi32(b2, b20);
    c2 = _mm256_add_epi32(c2, c20), d2 = _mm256_add_epi32(d2, d20);
  }
  auto* out = reinterpret_cast<__m256i*>(words);
  _mm256_storeu_si256(out, a), _mm256_storeu_si256(out + 2, b);
  _mm256_storeu_si256(out + 4, c), _mm256_storeu_si256(out + 6, d);
  _mm256_storeu_si256(out + 1, a2), _mm256_storeu_si256(out + 3, b2);
  _mm256_storeu_si256(out + 5, c2), _mm256_storeu_si256(out + 7, d2);
  scatterStates<16>(words, states);
}

// --- AVX-512: 2 x 16 lanes, a whole block of each loaded at once. Each
// round function is one three-input logic instruction; its immediate is the
// function's truth table over x = 0xF0, y = 0xCC, z = 0xAA.
#define TREP_MD5_AVX512_F(x, y, z) _mm512_ternarylogic_epi32(x, y, z, 0xCA)
#define TREP_MD5_AVX512_G(x, y, z) _mm512_ternarylogic_epi32(x, y, z, 0xE4)
#define TREP_MD5_AVX512_H(x, y, z) _mm512_ternarylogic_epi32(x, y, z, 0x96)
#define TREP_MD5_AVX512_I(x, y, z) _mm512_ternarylogic_epi32(x, y, z, 0x39)
#define TREP_MD5_AVX512_ONE(fn, a, b, c, d, m, w, k, s)                                 \
  {                                                                                    \
    const __m512i t = _mm512_add_epi32(                                                \
        _mm512_add_epi32(                                                              \
            a, _mm512_add_epi32(m[w], _mm512_set1_epi32(static_cast<int>(uint32_t{k})))), \
        TREP_MD5_AVX512_##fn(b, c, d));                                                \
    a = _mm512_add_epi32(b, _mm512_rol_epi32(t, s));                                   \
  }
#define TREP_MD5_AVX512_STEP(fn, a, b, c, d, w, k, s) \
  TREP_MD5_AVX512_ONE(fn, a, b, c, d, m, w, k, s)    \
  TREP_MD5_AVX512_ONE(fn, a##2, b##2, c##2, d##2, m2, w, k, s)

// r[l] holds the 16 words of lane l; c[w] gets word w of lanes 0-15. The
// unpacks work as in transpose8, leaving in u[4i + k] word 4j + k of lanes
// 4i to 4i + 3 in its 128-bit quarter j; the quarters are then transposed
// as a 4 x 4 matrix, one for each k.
__attribute__((target("avx512f"))) inline void transpose16(const __m512i* r, __m512i* c) {
  __m512i t[16], u[16];
  for (int i = 0; i < 8; ++i) {
    t[2 * i] = _mm512_unpacklo_epi32(r[2 * i], r[2 * i + 1]);
    t[2 * i + 1] = _mm512_unpackhi_epi32(r[2 * i], r[2 * i + 1]);
  }
  for (int i = 0; i < 4; ++i) {
    u[4 * i] = _mm512_unpacklo_epi64(t[4 * i], t[4 * i + 2]);
    u[4 * i + 1] = _mm512_unpackhi_epi64(t[4 * i], t[4 * i + 2]);
    u[4 * i + 2] = _mm512_unpacklo_epi64(t[4 * i + 1], t[4 * i + 3]);
    u[4 * i + 3] = _mm512_unpackhi_epi64(t[4 * i + 1], t[4 * i + 3]);
  }
  for (int k = 0; k < 4; ++k) {
    // quarters 0, 1 (0x44) and 2, 3 (0xEE) of two rows side by side ...
    const __m512i v0 = _mm512_shuffle_i32x4(u[k], u[4 + k], 0x44);
    const __m512i v1 = _mm512_shuffle_i32x4(u[k], u[4 + k], 0xEE);
    const __m512i v2 = _mm512_shuffle_i32x4(u[8 + k], u[12 + k], 0x44);
    const __m512i v3 = _mm512_shuffle_i32x4(u[8 + k], u[12 + k], 0xEE);
    // ... then the even (0x88) and the odd (0xDD) quarters of each pair.
    c[k] = _mm512_shuffle_i32x4(v0, v2, 0x88);
    c[4 + k] = _mm512_shuffle_i32x4(v0, v2, 0xDD);
    c[8 + k] = _mm512_shuffle_i32x4(v1, v3, 0x88);
    c[12 + k] = _mm512_shuffle_i32x4(v1, v3, 0xDD);
  }
}

// m[w]: word w of the block at `at` of lanes data[0] to data[15].
__attribute__((target("avx512f"))) inline void loadBlock16(const uint8_t* const* data,
                                                           std::size_t at, __m512i* m) {
  __m512i r[16];
  for (int l = 0; l < 16; ++l) r[l] = _mm512_loadu_si512(data[l] + at);
  transpose16(r, m);
}

__attribute__((target("avx512f"))) TREP_MD5_ALIGNS_STACK
void avx512Kernel(uint32_t* const* states, const uint8_t* const* data, std::size_t blocks) {
  uint32_t words[4][32];
  gatherStates<32>(states, words);
  const uint32_t* h = words[0];  // 2 vectors a row
  __m512i a = _mm512_loadu_si512(h), b = _mm512_loadu_si512(h + 32),
          c = _mm512_loadu_si512(h + 64), d = _mm512_loadu_si512(h + 96);
  __m512i a2 = _mm512_loadu_si512(h + 16), b2 = _mm512_loadu_si512(h + 48),
          c2 = _mm512_loadu_si512(h + 80), d2 = _mm512_loadu_si512(h + 112);
  for (std::size_t at = 0; at < 64 * blocks; at += 64) {
    __m512i m[16], m2[16];
    loadBlock16(data, at, m);
    loadBlock16(data + 16, at, m2);
    const __m512i a0 = a, b0 = b, c0 = c, d0 = d, a20 = a2, b20 = b2, c20 = c2, d20 = d2;
    TREP_MD5_STEPS(TREP_MD5_AVX512_STEP)
    a = _mm512_add_epi32(a, a0), b = _mm512_add_epi32(b, b0);
    c = _mm512_add_epi32(c, c0), d = _mm512_add_epi32(d, d0);
    a2 = _mm512_add_epi32(a2, a20), b2 = _mm512_add_epi32(b2, b20);
    c2 = _mm512_add_epi32(c2, c20), d2 = _mm512_add_epi32(d2, d20);
  }
  uint32_t* out = words[0];
  _mm512_storeu_si512(out, a), _mm512_storeu_si512(out + 32, b);
  _mm512_storeu_si512(out + 64, c), _mm512_storeu_si512(out + 96, d);
  _mm512_storeu_si512(out + 16, a2), _mm512_storeu_si512(out + 48, b2);
  _mm512_storeu_si512(out + 80, c2), _mm512_storeu_si512(out + 112, d2);
  scatterStates<32>(words, states);
}
#endif  // TREP_MD5_X86

Kernel kernelFunction(Md5Kernel kernel) {
  switch (kernel) {
#ifdef TREP_MD5_X86
    case Md5Kernel::kSse2: return sse2Kernel;
    case Md5Kernel::kAvx2: return avx2Kernel;
    case Md5Kernel::kAvx512: return avx512Kernel;
#endif
    default: return portableKernel;
  }
}

void restart(uint32_t* state) { std::memcpy(state, kInitialState, sizeof kInitialState); }

}  // namespace

bool md5KernelAvailable(Md5Kernel kernel) {
  switch (kernel) {
    case Md5Kernel::kPortable: return true;
#ifdef TREP_MD5_X86
    // The checks include the system's saving of the wider registers.
    case Md5Kernel::kSse2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("sse2") != 0;
    case Md5Kernel::kAvx2:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx2") != 0;
    case Md5Kernel::kAvx512:
      __builtin_cpu_init();
      return __builtin_cpu_supports("avx512f") != 0;
#endif
    default: return false;
  }
}

Md5Kernel bestMd5Kernel() {
  static const Md5Kernel best = [] {
    for (Md5Kernel k : {Md5Kernel::kAvx512, Md5Kernel::kAvx2, Md5Kernel::kSse2})
      if (md5KernelAvailable(k)) return k;
    return Md5Kernel::kPortable;
  }();
  return best;
}

std::size_t md5Lanes(Md5Kernel kernel) {
  switch (kernel) {
    case Md5Kernel::kSse2: return 8;
    case Md5Kernel::kAvx2: return 16;
    case Md5Kernel::kAvx512: return 32;
    default: return 1;
  }
}

const char* md5KernelName(Md5Kernel kernel) {
  switch (kernel) {
    case Md5Kernel::kSse2: return "SSE2";
    case Md5Kernel::kAvx2: return "AVX2";
    case Md5Kernel::kAvx512: return "AVX-512";
    default: return "portable";
  }
}

Md5Streams::Md5Streams(std::size_t streams, Md5Kernel kernel)
    : kernel_(md5KernelAvailable(kernel) ? kernel : bestMd5Kernel()),
      lanes_(md5Lanes(kernel_)),
      streams_(streams),
      next_(streams),
      blocks_(streams) {
  for (Stream& s : streams_) {
    restart(s.state);
    s.bytes = 0;
  }
}

void Md5Streams::update(const uint8_t* const* data, const std::size_t* length) {
  for (std::size_t i = 0; i < streams_.size(); ++i) {
    Stream& s = streams_[i];
    blocks_[i] = 0;
    std::size_t n = length[i];
    if (n == 0) continue;
    const uint8_t* p = data[i];
    const std::size_t waiting = static_cast<std::size_t>(s.bytes % 64);
    s.bytes += n;
    if (waiting != 0) {  // complete the waiting block first, if this piece can
      const std::size_t taken = std::min(64 - waiting, n);
      std::memcpy(s.pending + waiting, p, taken);
      p += taken;
      n -= taken;
      if (waiting + taken < 64) continue;
      blocksPortable(s.state, s.pending, 1);
    }
    next_[i] = p;
    blocks_[i] = n / 64;
    // The bytes past the last whole block wait; the blocks are read in place.
    std::memcpy(s.pending, p + (n - n % 64), n % 64);
  }
  hashBlocks();
}

// Gives each lane a stream with blocks left, and runs the kernel over as
// many blocks as every occupied lane has; a lane whose stream is done takes
// the next one. A lane without a stream hashes a copy of another lane's
// blocks into a spare state, so the kernel never branches by lane. One
// stream left alone is finished one block at a time without the vectors.
void Md5Streams::hashBlocks() {
  const Kernel kernel = kernelFunction(kernel_);
  constexpr std::size_t kFree = ~std::size_t{0};
  std::size_t lane[kMostLanes];
  std::fill(lane, lane + lanes_, kFree);
  std::size_t occupied = 0, following = 0;
  uint32_t spare[4] = {};
  uint32_t* states[kMostLanes];
  const uint8_t* data[kMostLanes];
  for (;;) {
    for (std::size_t l = 0; l < lanes_; ++l) {
      if (lane[l] != kFree) continue;
      while (following < streams_.size() && blocks_[following] == 0) ++following;
      if (following == streams_.size()) break;
      lane[l] = following++;
      ++occupied;
    }
    if (occupied == 0) return;
    if (occupied == 1) {  // the last stream with blocks, or the portable kernel's one lane
      std::size_t* only =
          std::find_if(lane, lane + lanes_, [&](std::size_t x) { return x != kFree; });
      blocksPortable(streams_[*only].state, next_[*only], blocks_[*only]);
      blocks_[*only] = 0;
      *only = kFree;
      occupied = 0;
      continue;
    }
    std::size_t run = ~std::size_t{0};
    const uint8_t* any = nullptr;
    for (std::size_t l = 0; l < lanes_; ++l)
      if (lane[l] != kFree) {
        run = std::min(run, blocks_[lane[l]]);
        any = next_[lane[l]];
      }
    for (std::size_t l = 0; l < lanes_; ++l) {
      states[l] = lane[l] != kFree ? streams_[lane[l]].state : spare;
      data[l] = lane[l] != kFree ? next_[lane[l]] : any;
    }
    kernel(states, data, run);
    for (std::size_t l = 0; l < lanes_; ++l) {
      if (lane[l] == kFree) continue;
      next_[lane[l]] += 64 * run;
      if ((blocks_[lane[l]] -= run) == 0) {
        lane[l] = kFree;
        --occupied;
      }
    }
  }
}

Md5Digest Md5Streams::finish(std::size_t stream) {
  Stream& s = streams_[stream];
  // The padding (RFC 1321, 3.1-3.2): a 1 bit, zeros to 56 bytes past a
  // multiple of 64, then the length in bits as 64-bit little-endian.
  const std::size_t waiting = static_cast<std::size_t>(s.bytes % 64);
  uint8_t tail[128] = {};
  std::memcpy(tail, s.pending, waiting);
  tail[waiting] = 0x80;
  const std::size_t size = waiting < 56 ? 64 : 128;
  const uint64_t bits = s.bytes * 8;
  for (int i = 0; i < 8; ++i) tail[size - 8 + i] = static_cast<uint8_t>(bits >> (8 * i));
  blocksPortable(s.state, tail, size / 64);
  Md5Digest digest;
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<uint8_t>(s.state[i / 4] >> (8 * (i % 4)));
  restart(s.state);
  s.bytes = 0;
  return digest;
}

}  // namespace trep
