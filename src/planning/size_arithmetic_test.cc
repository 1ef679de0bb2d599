#include "planning/size_arithmetic.h"

#include <gtest/gtest.h>

namespace trep {
namespace {

TEST(SizeArithmeticTest, Divide64) {
  Quotient64 d = divide64(5ull << 30, 3);
  EXPECT_EQ(d.quotient, (5ull << 30) / 3);
  EXPECT_EQ(d.remainder, (5ull << 30) % 3);
  d = divide64(0xFFFFFFFFFFFFFFFFull, 0xFFFFFFFFu);
  EXPECT_EQ(d.quotient, 0x100000001ull);
  EXPECT_EQ(d.remainder, 0u);
}

TEST(SizeArithmeticTest, CountFromSizeRoundsUp) {
  const uint64_t GiB = 1ull << 30;
  struct Case {
    uint64_t fileSize;
    uint32_t segmentSize;
    uint32_t count;
    uint32_t sizeAfter;
  } cases[] = {
      {1000, 500, 2, 500},
      {1000, 499, 3, 499},
      {1000, 502, 2, 502},
      {1000, 2000, 1, 1000},            // larger than the file: the file size
      {1000, 0, 1, 1000},               // no size: the file size
      {5 * GiB, 2u << 30, 3, 2u << 30},
      {4 * GiB, 0, 2, 4200000000u},     // a low half of 0 never divides by zero
  };
  for (const Case& c : cases) {
    JobSettings job;
    job.fileSize = c.fileSize;
    job.segmentSize = c.segmentSize;
    countFromSize(job);
    EXPECT_EQ(job.segmentCount, c.count) << c.fileSize << "/" << c.segmentSize;
    EXPECT_EQ(job.segmentSize, c.sizeAfter) << c.fileSize << "/" << c.segmentSize;
  }
}

TEST(SizeArithmeticTest, SizeFromCountAddsAMargin) {
  JobSettings job;
  job.fileSize = 1000;
  sizeFromCount(job, 2);
  EXPECT_EQ(job.segmentSize, 502u);  // 501 + 501 / 256
  countFromSize(job);
  EXPECT_EQ(job.segmentCount, 2u);

  job.fileSize = 1000000000;
  sizeFromCount(job, 1000);
  EXPECT_EQ(job.segmentSize, 1003907u);
  countFromSize(job);
  EXPECT_EQ(job.segmentCount, 997u);

  sizeFromCount(job, 12000);
  EXPECT_EQ(job.segmentCount, 9999u);
  sizeFromCount(job, 0);
  EXPECT_EQ(job.segmentCount, 1u);
}

TEST(SizeArithmeticTest, AdjustmentKeepsASplitAt9999SegmentsOrFewer) {
  JobSettings job;
  job.fileSize = 10000;
  job.segmentSize = 1;
  adjustCountAtSplitStart(job);
  EXPECT_LE(job.segmentCount, 9999u);
  EXPECT_EQ(job.segmentCount, (10000 + job.segmentSize - 1) / job.segmentSize);

  job.fileSize = 3000;
  job.segmentSize = 1000;
  adjustCountAtSplitStart(job);
  EXPECT_EQ(job.segmentCount, 3u);
  EXPECT_EQ(job.segmentSize, 1000u);
}

}  // namespace
}  // namespace trep
