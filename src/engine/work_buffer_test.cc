#include "engine/work_buffer.h"

#include <gtest/gtest.h>

#include "planning/size_arithmetic.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

TEST(WorkBufferTest, WantedSize) {
  const uint64_t GiB = 1ull << 30;
  struct Case {
    uint32_t segmentSize;
    MemoryOption memoryOption;
    uint64_t physical;
    uint32_t wanted;
  } cases[] = {
      {1457664, MemoryOption::kMaximum, 8 * GiB, 10000000},
      {1457664, MemoryOption::kPhysical, 8 * GiB, 10000000},
      {1457664, MemoryOption::kHalf, 8 * GiB, 10000000},
      {734003200, MemoryOption::kMaximum, 1 * GiB, 734720000},
      {734003200, MemoryOption::kHalf, 1 * GiB, 536870912},
      {734003200, MemoryOption::kPhysical, 512 * 1024 * 1024, 536870912},
      // physical memory counts as 4,294,967,295
      {734003200, MemoryOption::kPhysical, 8 * GiB, 734720000},
      {4200000000u, MemoryOption::kHalf, 16 * GiB, 2147483647u},
      // the 32-bit sum wraps below the minimum
      {0xFFFFFFFFu, MemoryOption::kMaximum, 8 * GiB, 10000000},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wantedWorkBufferSize(c.segmentSize, c.memoryOption, c.physical), c.wanted)
        << c.segmentSize << " option " << codeValue(c.memoryOption);
}

class WorkBufferJobTest : public ::testing::Test {
 protected:
  void SetUp() override { platform.setNoticeAnswerer(&answers); }
  void TearDown() override { releaseWorkBuffer(ctx); }

  testing::FaultyPlatform platform;
  ScriptedAnswerer answers;
  JobSettings job;
  PersistedSettings options;
  BatchPlanning planning;
  JobContext ctx{job, options, platform, planning, nullptr};
};

TEST_F(WorkBufferJobTest, HalvesUntilAnAllocationSucceeds) {
  job.segmentSize = 1000;
  platform.failAllocationsAbove = 3000000;
  ASSERT_TRUE(allocateWorkBuffer(ctx));
  EXPECT_EQ(job.workBufferSize, 2500000u);  // 10,000,000 halved twice
  EXPECT_EQ(platform.allocationRequests,
            (std::vector<uint64_t>{10000064, 5000064, 2500064}));
  EXPECT_TRUE(answers.shown().empty());
  for (uint32_t i = 0; i < job.workBufferSize + 64; i += 4096) ASSERT_EQ(job.workBuffer[i], 0);
}

TEST_F(WorkBufferJobTest, KeptBufferIsUsedWithItsSize) {
  job.segmentSize = 1000;
  ASSERT_TRUE(allocateWorkBuffer(ctx));
  uint8_t* first = job.workBuffer;
  job.segmentSize = 50000000;
  ASSERT_TRUE(allocateWorkBuffer(ctx));
  EXPECT_EQ(job.workBuffer, first);
  EXPECT_EQ(job.workBufferSize, 10000000u);
  EXPECT_EQ(platform.allocationRequests.size(), 1u);
}

TEST_F(WorkBufferJobTest, NoBufferAtAnySizeEndsTheProcessWithCode5) {
  platform.failAllAllocations = true;
  answers.push(kLowerButton);  // "Open ReadMe"
  job.quiet = 1;               // shown in quiet mode too
  job.segmentSize = 1000;
  job.fileSize = 5000;
  job.isSplit = 1;
  job.jobState = kJobPrepared;
  testing::TempDir dir;
  job.outputFolder = dir.path();
  JobOutcome outcome = runJob(ctx);
  EXPECT_TRUE(outcome.endProcess);
  EXPECT_EQ(outcome.exitCode, kExitMemoryError);
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"Memory Allocation Error"});
  EXPECT_EQ(platform.readMeOpened, 1);
  // Halved from 10,000,000 while the half is at least 100 bytes.
  EXPECT_EQ(platform.allocationRequests.back(), 152u + 64);
}

}  // namespace
}  // namespace trep
