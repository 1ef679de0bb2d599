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

// dst ^= c * src over n bytes (n even) of 16-bit little-endian words: the
// step every recovery and repair computation is made of. Uses the fastest
// kernel the processor has.
void gfMultiplyAdd(uint16_t c, const uint8_t* src, uint8_t* dst, std::size_t n);

// The kernels; exposed for tests, which hold each to the portable one.
enum class GfKernel { kPortable, kSsse3, kAvx2 };
bool gfKernelAvailable(GfKernel kernel);
void gfMultiplyAddWith(GfKernel kernel, uint16_t c, const uint8_t* src, uint8_t* dst,
                       std::size_t n);
const char* gfKernelName(GfKernel kernel);
GfKernel gfBestKernel();

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_GF16_H_
