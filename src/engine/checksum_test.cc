#include "engine/checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
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

// The stream gives computeFileCrc's value for the same bytes, whatever the
// pieces they come in: around the chunk edges and the last-chunk cases of
// 1 to 3 bytes, which read what the chunk before left past them.
TEST_F(ChecksumTest, StreamMatchesTheFile) {
  const std::size_t sizes[] = {0, 1, 2, 3, 4, 5, 999, 9999999, 10000000, 10000001,
                               10000002, 10000003, 10000004, 20000000, 25000007};
  const std::vector<uint8_t> all = generated(25000007);
  for (std::size_t size : sizes) {
    std::vector<uint8_t> bytes(all.begin(), all.begin() + size);
    const uint32_t expected = crcOf(bytes);
    for (std::size_t piece : {std::size_t{1} << 20, std::size_t{65537}}) {
      if (piece == 65537 && size > 10000004) continue;  // the small pieces need not go far
      CrcStream unknown;
      CrcStream known(size);
      for (std::size_t at = 0; at < size; at += piece) {
        std::size_t n = std::min(piece, size - at);
        unknown.add(bytes.data() + at, n);
        known.add(bytes.data() + at, n);
      }
      uint32_t a = 0, b = 0;
      ASSERT_TRUE(unknown.value(&a)) << size;
      ASSERT_TRUE(known.value(&b)) << size;
      EXPECT_EQ(a, expected) << size << " in pieces of " << piece;
      EXPECT_EQ(b, expected) << size << " in pieces of " << piece;
    }
  }
}

// Beyond 4 GiB only the low 32 bits of the length count, so the last chunk
// that counts lies far back: the stream that knew the total kept it, the
// other reads it back, and without a way back it says it cannot tell.
TEST_F(ChecksumTest, StreamBeyondFourGiB) {
  const uint64_t size = (uint64_t{1} << 32) + 10000002;  // counts 10,000,002: chunk 1, 2 bytes
  const std::vector<uint8_t> head = generated(20000000);
  auto byteAt = [&](uint64_t i) -> uint8_t { return i < head.size() ? head[i] : 0; };
  // The file: the generated head, then zeros (sparse) to the full length.
  {
    writeBytes(dir.file("big"), head);
    std::unique_ptr<File> f = platform.openFile(dir.file("big"), FileAccess::kReadWrite,
                                                FileShare::kNone, FileCreate::kOpenExisting);
    ASSERT_NE(f, nullptr);
    uint8_t zero = 0;
    uint32_t put = 0;
    ASSERT_TRUE(f->seek(size - 1).ok());
    ASSERT_TRUE(f->write(&zero, 1, &put).ok());
  }
  const uint32_t expected = computeFileCrc(platform, dir.file("big"));
  CrcStream unknown;
  CrcStream known(size);
  std::vector<uint8_t> piece(kCrcChunk);
  for (uint64_t at = 0; at < size; at += piece.size()) {
    std::size_t n = static_cast<std::size_t>(std::min<uint64_t>(piece.size(), size - at));
    if (at < head.size())
      for (std::size_t i = 0; i < n; ++i) piece[i] = byteAt(at + i);
    else if (at - piece.size() < head.size())
      std::fill(piece.begin(), piece.end(), 0);
    unknown.add(piece.data(), n);
    known.add(piece.data(), n);
  }
  uint32_t crc = 0;
  ASSERT_TRUE(known.value(&crc));
  EXPECT_EQ(crc, expected);
  EXPECT_FALSE(unknown.value(&crc));
  auto readBack = [&](uint64_t offset, uint8_t* out, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) out[i] = byteAt(offset + i);
    return true;
  };
  crc = 0;
  ASSERT_TRUE(unknown.value(&crc, readBack));
  EXPECT_EQ(crc, expected);
}

}  // namespace
}  // namespace trep
