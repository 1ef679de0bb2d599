#include "engine/recovery/gf16.h"

#include <gtest/gtest.h>

#include <vector>

#include "testing/test_support.h"

namespace trep {
namespace recovery {
namespace {

// Shift-and-add multiplication modulo the field's polynomial, the textbook
// way, to hold the table-driven one to.
uint16_t slowMultiply(uint16_t a, uint16_t b) {
  uint32_t product = 0, x = a;
  for (int bit = 0; bit < 16; ++bit) {
    if (b & (1u << bit)) product ^= x;
    x <<= 1;
    if (x & 0x10000) x ^= kGfGenerator;
  }
  return static_cast<uint16_t>(product);
}

TEST(Gf16Test, MultiplicationIsThePolynomialProduct) {
  const uint16_t values[] = {0, 1, 2, 3, 0x100B, 0x8000, 0xFFFF, 0x1234, 0xBEEF};
  for (uint16_t a : values)
    for (uint16_t b : values) EXPECT_EQ(gfMultiply(a, b), slowMultiply(a, b)) << a << " " << b;
  EXPECT_EQ(gfMultiply(0x8000, 2), 0x100B);  // x^16 = x^12 + x^3 + x + 1
}

TEST(Gf16Test, TwoGeneratesTheFieldAndEveryElementHasAnInverse) {
  std::vector<bool> seen(65536, false);
  for (uint32_t n = 0; n < kGfOrder; ++n) {
    uint16_t v = gfExp(n);
    ASSERT_FALSE(seen[v]) << n;
    seen[v] = true;
  }
  EXPECT_FALSE(seen[0]);
  EXPECT_EQ(gfExp(kGfOrder), 1);
  for (uint32_t a = 1; a < 65536; ++a)
    ASSERT_EQ(gfMultiply(static_cast<uint16_t>(a), gfInverse(static_cast<uint16_t>(a))), 1) << a;
  EXPECT_EQ(gfPower(0x1234, 0), 1);
  EXPECT_EQ(gfPower(0, 5), 0);
  EXPECT_EQ(gfPower(3, 3), gfMultiply(3, gfMultiply(3, 3)));
}

TEST(Gf16Test, SliceConstantsSkipMultiplesOf3_5_17_257) {
  const uint32_t first[] = {1, 2, 4, 7, 8, 11, 13, 14, 16, 19, 22, 23, 26, 28, 29, 31, 32};
  for (uint32_t k = 0; k < sizeof first / sizeof first[0]; ++k)
    EXPECT_EQ(sliceConstantLog(k), first[k]) << k;
  uint32_t previous = 0;
  for (uint32_t k = 0; k < kMaxInputSlices; ++k) {
    uint32_t n = sliceConstantLog(k);
    ASSERT_GT(n, previous);
    ASSERT_TRUE(n % 3 && n % 5 && n % 17 && n % 257) << n;
    previous = n;
  }
  EXPECT_LT(previous, kGfOrder);
  // 2^n for slice k raised to e: the coefficient of slice k in recovery slice e.
  EXPECT_EQ(recoveryCoefficient(0, 0), 1);
  EXPECT_EQ(recoveryCoefficient(3, 2), gfPower(gfExp(7), 2));
}

// Every kernel gives the portable kernel's bytes: lengths around the vector
// steps, offsets that break alignment, constants at the edges.
TEST(Gf16Test, VectorKernelsMatchThePortableOne) {
  const std::vector<uint8_t> src = testing::patternBytes(5000, 7);
  const std::vector<uint8_t> start = testing::patternBytes(5000, 8);
  const std::size_t lengths[] = {0, 2, 30, 32, 34, 62, 64, 66, 126, 128, 130, 1000, 4098};
  const std::size_t offsets[] = {0, 1, 2, 5};
  const uint16_t constants[] = {0, 1, 2, 0x8000, 0xFFFF, 0x5A3C};
  int checked = 0;
  for (GfKernel kernel : {GfKernel::kSsse3, GfKernel::kAvx2}) {
    if (!gfKernelAvailable(kernel)) continue;
    for (std::size_t n : lengths)
      for (std::size_t off : offsets)
        for (uint16_t c : constants) {
          std::vector<uint8_t> want = start, got = start;
          gfMultiplyAddWith(GfKernel::kPortable, c, src.data() + off, want.data() + off, n);
          gfMultiplyAddWith(kernel, c, src.data() + off, got.data() + off, n);
          ASSERT_EQ(got, want) << gfKernelName(kernel) << " n=" << n << " off=" << off
                               << " c=" << c;
          ++checked;
        }
  }
  if (checked == 0) GTEST_SKIP() << "no vector kernel on this processor";
}

// Many sources in one call give the sum of their products taken one at a
// time by the portable kernel, in every kernel: counts around the group a
// kernel takes in one pass, zero coefficients among them, lengths around
// the vector steps.
TEST(Gf16Test, ManySourcesGiveTheSumOfTheirProducts) {
  const std::size_t kMost = 20;
  std::vector<std::vector<uint8_t>> sources;
  std::vector<const uint8_t*> pointers;
  std::vector<GfFactor> factors;
  for (std::size_t s = 0; s < kMost; ++s) {
    sources.push_back(testing::patternBytes(4200, static_cast<uint32_t>(20 + s)));
    // every fourth coefficient 0: a source that adds nothing
    factors.emplace_back(static_cast<uint16_t>(s % 4 == 3 ? 0 : 0x1F3D * (s + 1) + 1));
  }
  for (const auto& s : sources) pointers.push_back(s.data());
  const std::vector<uint8_t> start = testing::patternBytes(4200, 9);
  const std::size_t counts[] = {1, 2, 7, 8, 9, 16, 20};
  const std::size_t lengths[] = {0, 2, 62, 64, 66, 130, 4098};
  for (GfKernel kernel : {GfKernel::kPortable, GfKernel::kSsse3, GfKernel::kAvx2}) {
    if (!gfKernelAvailable(kernel)) continue;
    for (std::size_t count : counts)
      for (std::size_t n : lengths) {
        std::vector<uint8_t> want = start, got = start;
        for (std::size_t s = 0; s < count; ++s)
          for (std::size_t i = 0; i + 1 < n; i += 2) {
            uint16_t word = static_cast<uint16_t>(sources[s][i] | sources[s][i + 1] << 8);
            uint16_t p = slowMultiply(factors[s].value, word);
            want[i] ^= static_cast<uint8_t>(p);
            want[i + 1] ^= static_cast<uint8_t>(p >> 8);
          }
        gfMultiplyAddManyWith(kernel, factors.data(), pointers.data(), count, got.data(), n);
        ASSERT_EQ(got, want) << gfKernelName(kernel) << " count=" << count << " n=" << n;
      }
  }
}

TEST(Gf16Test, PortableKernelMultipliesEachWord) {
  const std::vector<uint8_t> src = testing::patternBytes(64, 3);
  std::vector<uint8_t> dst(64, 0x11);
  gfMultiplyAddWith(GfKernel::kPortable, 0x1234, src.data(), dst.data(), src.size());
  for (std::size_t i = 0; i < 64; i += 2) {
    uint16_t word = static_cast<uint16_t>(src[i] | src[i + 1] << 8);
    uint16_t expected = slowMultiply(0x1234, word) ^ 0x1111;
    ASSERT_EQ(dst[i] | dst[i + 1] << 8, expected) << i;
  }
}

}  // namespace
}  // namespace recovery
}  // namespace trep
