// Segment size and count: each follows from the other.
#ifndef TREP_PLANNING_SIZE_ARITHMETIC_H_
#define TREP_PLANNING_SIZE_ARITHMETIC_H_

#include <cstdint>

#include "engine/engine.h"
#include "engine/job.h"

namespace trep {

struct Quotient64 {
  uint64_t quotient;
  uint32_t remainder;
};

// Exact unsigned division of a 64-bit number by a non-zero 32-bit one.
Quotient64 divide64(uint64_t dividend, uint32_t divisor);

// segmentCount := fileSize / segmentSize rounded up (at least 1): exactly the
// number of segment files a split with that size writes. A segment size above
// a file under 4 GiB becomes the file size (count 1). Sizes of 0 are replaced
// by the file size, or by 4,200,000,000 bytes when the file size is a
// multiple of 4 GiB, so the division never divides by zero.
void countFromSize(JobSettings& job);

// segmentCount and segmentSize from a requested count, clamped to 1..9999:
// size = q + 1 + (q + 1) / 256 with q = fileSize / n (low 32 bits).
void sizeFromCount(JobSettings& job, uint32_t requested);

// The split's count adjustment with no window: while the count exceeds 9999,
// ask for 5 fewer segments until it does not.
void adjustCountAtSplitStart(JobSettings& job);

// The size arithmetic of a job run without a window (batch mode).
class BatchPlanning : public SplitPlanning {
 public:
  void adjustCountAtSplitStart(JobSettings& job) override;
  void writeSizeSummary(JobSettings&) override {}
};

}  // namespace trep

#endif  // TREP_PLANNING_SIZE_ARITHMETIC_H_
