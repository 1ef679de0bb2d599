#include "platform/digest.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/test_support.h"

namespace trep {
namespace {

using testing::hexOf;

// Values published with the algorithms (RFC 1321; the CRC-32 check value).
TEST(DigestTest, KnownValues) {
  struct Row {
    std::string text;
    const char* md5;
    uint32_t crc;
  } rows[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e", 0x00000000},
      {"abc", "900150983cd24fb0d6963f7d28e17f72", 0x352441C2},
      {"123456789", "25f9e794323b453885f5181f1b624d0b", 0xCBF43926},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0", 0x20159D7F},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(hexOf(md5Of(r.text.data(), r.text.size())), r.md5) << r.text;
    EXPECT_EQ(crc32Update(0, r.text.data(), r.text.size()), r.crc) << r.text;
  }
}

TEST(DigestTest, PiecesGiveTheWholeAndFinishStartsAnew) {
  const std::string text = "The quick brown fox jumps over the lazy dog";
  Md5 md5;
  uint32_t crc = 0;
  for (std::size_t at = 0; at < text.size(); at += 5) {
    std::size_t n = std::min<std::size_t>(5, text.size() - at);
    md5.update(text.data() + at, n);
    crc = crc32Update(crc, text.data() + at, n);
  }
  EXPECT_EQ(hexOf(md5.finish()), "9e107d9d372bb6826bd81d3542a419d6");
  EXPECT_EQ(crc, 0x414FA339u);
  md5.update("abc", 3);
  EXPECT_EQ(hexOf(md5.finish()), "900150983cd24fb0d6963f7d28e17f72");
}

// Zeros appended by combining, against zeros fed byte for byte: lengths
// of one run, of several, and past 2^20.
TEST(DigestTest, ZerosAppendedAsIfFed) {
  const std::string zeros((1 << 20) + 3, '\0');
  for (std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{2}, std::size_t{7},
                        std::size_t{4096}, std::size_t{65533}, zeros.size()}) {
    for (const std::string& before : {std::string(), std::string("abc")}) {
      uint32_t start = crc32Update(0, before.data(), before.size());
      EXPECT_EQ(crc32Zeros(start, n), crc32Update(start, zeros.data(), n))
          << n << " zeros after '" << before << "'";
    }
  }
}

TEST(DigestTest, ACopyGoesOnFromTheSameState) {
  Md5 whole, padded;
  padded.update("abc", 3);
  whole.copyFrom(padded);
  padded.update("\0", 1);
  EXPECT_EQ(hexOf(whole.finish()), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(hexOf(padded.finish()), hexOf(md5Of("abc\0", 4)));
  whole.update("abc", 3);  // the copy started anew after finish()
  EXPECT_EQ(hexOf(whole.finish()), "900150983cd24fb0d6963f7d28e17f72");
}

}  // namespace
}  // namespace trep
