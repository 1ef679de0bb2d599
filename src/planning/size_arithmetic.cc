#include "planning/size_arithmetic.h"

namespace trep {

// The largest size the size fields produce, just under 4 GiB.
constexpr uint32_t kLargestSegment = 4200000000u;

Quotient64 divide64(uint64_t dividend, uint32_t divisor) {
  return {dividend / divisor, static_cast<uint32_t>(dividend % divisor)};
}

void countFromSize(JobSettings& job) {
  const uint64_t fourGiB = 1ull << 32;
  if (job.segmentSize == 0) {
    uint32_t low = static_cast<uint32_t>(job.fileSize);
    job.segmentSize = low != 0 ? low : kLargestSegment;
  }
  if (job.fileSize < fourGiB && job.segmentSize > job.fileSize) {
    job.segmentSize = static_cast<uint32_t>(job.fileSize);
    job.segmentCount = 1;
    if (job.segmentSize == 0) job.segmentSize = 1;
    return;
  }
  Quotient64 d = divide64(job.fileSize, job.segmentSize);
  job.segmentCount = static_cast<uint32_t>(d.quotient) + (d.remainder != 0 ? 1 : 0);
  if (d.quotient > 0xFFFFFFFFull) job.segmentCount = 0xFFFFFFFFu;  // far beyond 9999
  if (job.segmentCount == 0) job.segmentCount = 1;
}

void sizeFromCount(JobSettings& job, uint32_t requested) {
  uint32_t n = requested;
  if (n < 1) n = 1;
  if (n > kMaxSegments) n = kMaxSegments;
  job.segmentCount = n;
  uint32_t q = n < 2 ? static_cast<uint32_t>(job.fileSize)
                     : static_cast<uint32_t>(divide64(job.fileSize, n).quotient);
  uint32_t q1 = q + 1;
  job.segmentSize = q1 + q1 / 256;
}

void adjustCountAtSplitStart(JobSettings& job) {
  countFromSize(job);
  // sizeFromCount clamps its request to 9999, so for any file below about
  // 40 TB the first pass already ends the loop; r only bounds it.
  uint32_t r = job.segmentCount;
  while (job.segmentCount > kMaxSegments && r > 5) {
    r -= 5;
    sizeFromCount(job, r);
    countFromSize(job);
  }
}

void BatchPlanning::adjustCountAtSplitStart(JobSettings& job) {
  trep::adjustCountAtSplitStart(job);
}

}  // namespace trep
