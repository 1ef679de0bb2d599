#include "engine/checksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testing/test_support.h"

namespace trep {
namespace {

using testing::writeBytes;

std::vector<uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

// byte i = (i * 2654435761 >> 13) mod 256, on 64-bit numbers.
std::vector<uint8_t> generated(std::size_t n) {
  std::vector<uint8_t> v(n);
  for (uint64_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>((i * 2654435761ull) >> 13);
  return v;
}

class ChecksumTest : public ::testing::Test {
 protected:
  uint32_t crcOf(const std::vector<uint8_t>& bytes) {
    writeBytes(dir.file("f"), bytes);
    return computeFileCrc(platform, dir.file("f"));
  }
  testing::TempDir dir;
  testing::FaultyPlatform platform;
};

// Values from an independent implementation of the same steps.
TEST_F(ChecksumTest, KnownValues) {
  std::vector<uint8_t> ramp(1000);
  for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<uint8_t>(i * 7 + 3);
  struct Case {
    std::vector<uint8_t> bytes;
    uint32_t crc;
  } cases[] = {
      {{}, 65536},                                 // A = 1, B = 0
      {bytesOf("abc"), 1650640068},                // 0x6262C4C4
      {bytesOf("Hello, Trep!"), 1041921297},
      {ramp, 1359114290},
      {{1}, 131076},           {{1, 2}, 33686532},       {{1, 2, 3}, 33686532},
      {{1, 2, 3, 4}, 33686018}, {{1, 2, 3, 4, 5}, 84151306}, {{1, 2, 3, 4, 5, 6}, 84151306},
      {{1, 2, 3, 4, 5, 6, 7}, 168038666},
  };
  for (const Case& c : cases) EXPECT_EQ(crcOf(c.bytes), c.crc) << c.bytes.size() << " bytes";
}

TEST_F(ChecksumTest, ChunkBoundaries) {
  // 10,000,000 - 1, exactly one chunk, and last chunks of 1, 2 and 3 bytes,
  // whose window reaches into what the previous chunk left in the area.
  const std::vector<uint8_t> all = generated(10000003);
  struct Case {
    std::size_t size;
    uint32_t crc;
  } cases[] = {{9999999, 2514034075u},
               {10000000, 3654911938u},
               {10000001, 2498605468u},
               {10000002, 2850937756u},
               {10000003, 3706523292u}};
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.size));
    EXPECT_EQ(crcOf(bytes), c.crc) << c.size;
  }
}

TEST_F(ChecksumTest, OnlyTheFirstQuarterOfAChunkCounts) {
  std::vector<uint8_t> a = generated(1000);
  std::vector<uint8_t> b = a;
  for (std::size_t i = 250 + 3; i < b.size(); ++i) b[i] ^= 0x5A;  // after ceil(n/4) + 3 bytes
  EXPECT_EQ(crcOf(a), crcOf(b));
  b[249] ^= 1;  // read by the last step of the window
  EXPECT_NE(crcOf(a), crcOf(b));
}

TEST_F(ChecksumTest, NothingToComputeGivesZero) {
  EXPECT_EQ(computeFileCrc(platform, dir.file("missing")), 0u);
  writeBytes(dir.file("f"), {1, 2, 3});
  platform.failAllAllocations = true;
  EXPECT_EQ(computeFileCrc(platform, dir.file("f")), 0u);
  EXPECT_EQ(platform.allocationRequests.back(), crcAreaSize(3));
}

TEST(ChecksumWindowTest, BytesUsed) {
  EXPECT_EQ(crcBytesUsed(1), 1u);
  EXPECT_EQ(crcBytesUsed(3), 3u);
  EXPECT_EQ(crcBytesUsed(8), 5u);
  EXPECT_EQ(crcBytesUsed(10000000), 2500003u);
}

}  // namespace
}  // namespace trep
