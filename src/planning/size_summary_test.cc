#include "planning/size_summary.h"

#include <gtest/gtest.h>

namespace trep {
namespace {

TEST(SizeSummaryTest, Texts) {
  struct Case {
    uint32_t valid, split, count, size;
    const char* text;
    uint32_t precise;
  } cases[] = {
      {0, 1, 2, 1000, "Pick a valid file.", 77},
      {1, 1, 10000, 1000, "Too many files! (9,999 max.)", 77},
      {1, 1, 9999, 1000, "File will be Trepped into 9999 files of 1000 Bytes", 0},
      {1, 1, 2, 5155840, "File will be Trepped into 2 files of 5035 kBytes", 5155840},
      {1, 1, 2, 10000, "File will be Trepped into 2 files of 10000 Bytes", 0},
      {1, 1, 2, 4200000000u, "File will be Trepped into 2 files of 4005 MBytes", 4101562},
      {1, 1, 1, 500, "File will be Trepped into 1 files of 500 Bytes", 0},
      {1, 0, 12, 123456, "File was Trepped into 12 files", 77},  // a join keeps preciseSize
  };
  for (const Case& c : cases) {
    JobSettings job;
    job.sourceValid = c.valid;
    job.isSplit = c.split;
    job.segmentCount = c.count;
    job.segmentSize = c.size;
    uint32_t precise = 77;
    EXPECT_EQ(sizeSummary(job, &precise), c.text);
    EXPECT_EQ(precise, c.precise) << c.text;
  }
}

// The recovery files a split writes, and the summary's words for them: the
// setting, at most one per segment; none for a join or no file.
TEST(SizeSummaryTest, RecoveryFiles) {
  struct Case {
    uint32_t valid, split, count, setting;
    uint32_t files;
    const char* text;
  } cases[] = {
      {1, 1, 4, 0, 0, ""},
      {1, 1, 4, 1, 1, "+ 1 recovery file"},
      {1, 1, 1, 3, 1, "+ 1 recovery file"},  // one segment, one file at most
      {1, 1, 4, 2, 2, "+ 2 recovery files"},
      {1, 1, 4, 4, 4, "+ 4 recovery files"},
      {1, 1, 4, 9999, 4, "+ 4 recovery files"},
      {1, 1, 10000, 2, 0, ""},  // too many files: no job
      {1, 0, 4, 2, 0, ""},      // a join writes none
      {0, 1, 4, 2, 0, ""},
  };
  for (const Case& c : cases) {
    JobSettings job;
    PersistedSettings options;
    job.sourceValid = c.valid;
    job.isSplit = c.split;
    job.segmentCount = c.count;
    options.recoveryFiles = c.setting;
    EXPECT_EQ(recoveryFilesOf(job, options), c.files) << c.count << " " << c.setting;
    EXPECT_EQ(recoverySummary(job, options), c.text) << c.count << " " << c.setting;
  }
}

TEST(SizeSummaryTest, GroupedSize) {
  EXPECT_EQ(groupedSize(0), "0");
  EXPECT_EQ(groupedSize(999), "999");
  EXPECT_EQ(groupedSize(1000), "1, 000");
  EXPECT_EQ(groupedSize(1234567), "1, 234, 567");
  EXPECT_EQ(groupedSize(5368709120ull), "5, 368, 709, 120");
}

}  // namespace
}  // namespace trep
