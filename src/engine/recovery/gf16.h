// Arithmetic in GF(2^16), the field the recovery data is computed in: the
// polynomials over GF(2) modulo x^16 + x^12 + x^3 + x + 1 (0x1100B), of
// which 2 (the polynomial x) generates every non-zero element. Addition is
// XOR. Data is taken as 16-bit little-endian words.
#ifndef TREP_ENGINE_RECOVERY_GF16_H_
#define TREP_ENGINE_RECOVERY_GF16_H_

#include <cstddef>
#include <cstdint>

namespace trep {
namespace recovery {

constexpr uint32_t kGfGenerator = 0x1100B;
constexpr uint32_t kGfOrder = 65535;  // non-zero elements

uint16_t gfMultiply(uint16_t a, uint16_t b);
// a must not be 0.
uint16_t gfInverse(uint16_t a);
// 2^n.
uint16_t gfExp(uint64_t n);
// a^e; 0^0 is 1.
uint16_t gfPower(uint16_t a, uint64_t e);

// The exponent n of input slice k's constant 2^n (k counted from 0 over the
// whole set in its order): the k-th n >= 1 with n mod 3, 5, 17 and 257 all
// non-zero, so that 2^n generates the field. There are 32,768 such n below
// 65535, hence at most 32,768 input slices. k must be below that.
uint32_t sliceConstantLog(uint32_t k);
constexpr uint32_t kMaxInputSlices = 32768;

// The coefficient of input slice k in recovery slice e: (2^n_k)^e.
inline uint16_t recoveryCoefficient(uint32_t k, uint32_t e) {
  return gfExp(static_cast<uint64_t>(sliceConstantLog(k)) * e);
}

// A coefficient made ready for the multiply-add: c times each of the 16
// values of each of a word's four nibbles, low and high bytes apart, laid
// out for the vector kernels' byte shuffles (each row of 16 twice, one per
// 128-bit lane). 128 multiplications: prepare a coefficient once and use it
// for every piece of data it multiplies, never once per piece.
struct GfFactor {
  GfFactor() = default;
  explicit GfFactor(uint16_t c);
  uint16_t value = 0;
  // rows 0-3: low bytes of c·(v << 4p) for nibble place p; rows 4-7: high.
  alignas(32) uint8_t rows[8][32] = {};
};

// dst ^= f[0]·sources[0] ^ f[1]·sources[1] ^ ... over n bytes (n even) of
// 16-bit little-endian words: the step every recovery and repair
// computation is made of. Each byte of dst is read and written once per
// call however many sources there are, so memory traffic falls with every
// source taken in the same call. Uses the fastest kernel the processor has.
void gfMultiplyAddMany(const GfFactor* factors, const uint8_t* const* sources,
                       std::size_t count, uint8_t* dst, std::size_t n);

// One source: dst ^= f · src.
inline void gfMultiplyAdd(const GfFactor& f, const uint8_t* src, uint8_t* dst, std::size_t n) {
  gfMultiplyAddMany(&f, &src, 1, dst, n);
}
// The same for a coefficient used once (prepares it on every call).
void gfMultiplyAdd(uint16_t c, const uint8_t* src, uint8_t* dst, std::size_t n);

// The kernels; exposed for tests, which hold each to the portable one, and
// for the benchmarks.
enum class GfKernel { kPortable, kSsse3, kAvx2 };
bool gfKernelAvailable(GfKernel kernel);
void gfMultiplyAddManyWith(GfKernel kernel, const GfFactor* factors,
                           const uint8_t* const* sources, std::size_t count, uint8_t* dst,
                           std::size_t n);
inline void gfMultiplyAddWith(GfKernel kernel, uint16_t c, const uint8_t* src, uint8_t* dst,
                              std::size_t n) {
  const GfFactor f(c);
  gfMultiplyAddManyWith(kernel, &f, &src, 1, dst, n);
}
const char* gfKernelName(GfKernel kernel);
GfKernel gfBestKernel();

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_GF16_H_
