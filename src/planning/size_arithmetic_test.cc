#include "planning/size_arithmetic.h"

#include <gtest/gtest.h>

#include <memory>

#include "planning/size_summary.h"
#include "testing/test_doubles.h"

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

// The window versions, on a surface kept in memory.
namespace trep {
namespace {

class SizeControlsTest : public ::testing::Test {
 protected:
  void load(uint64_t fileSize) {
    job.fileSize = fileSize;
    job.isSplit = 1;
    job.sourceValid = 1;
  }
  uint32_t shownNumber(int id) { return controls.number(id); }

  JobSettings job;
  PersistedSettings options;
  ScriptedAnswerer answers;
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  MemoryControls controls;
  SizeState sizes;
  PlanningContext p{job, options, *platform, controls, sizes};
};

TEST_F(SizeControlsTest, ShowSegmentSizeAndReadItBack) {
  struct Case {
    uint32_t size;
    uint32_t number;
    int unit;
    uint32_t readBack;
  } cases[] = {
      {10000, 10000, 0, 10000},        {10001, 9, 1, 9216},
      {921600, 900, 1, 921600},        {5156250, 5035, 1, 5155840},
      {734003200, 700, 2, 734003200},  {4200000000u, 4005, 2, 4199546880u},
  };
  load(5ull << 30);
  for (const Case& c : cases) {
    showSegmentSize(p, c.size);
    EXPECT_EQ(shownNumber(CTL_SIZE_NUMBER), c.number) << c.size;
    EXPECT_EQ(controls.selection(CTL_SIZE_UNIT), c.unit) << c.size;
    EXPECT_EQ(sizes.preciseSize, 0u);
    readSizeFields(p);
    EXPECT_EQ(job.segmentSize, c.readBack) << c.size;
  }
}

TEST_F(SizeControlsTest, TypedSizes) {
  struct Case {
    uint64_t fileSize;
    uint32_t number;
    int unit;
    uint32_t size;
  } cases[] = {
      {5ull << 30, 4096, 2, 4200000000u},   {5ull << 30, 99999, 2, 4200000000u},
      {5ull << 30, 4095, 2, 4293918720u},   {5ull << 30, 4, 3, 4200000000u},
      {5ull << 30, 4194304, 1, 4200000000u}, {1000, 2, 1, 1000},  // above the file: the file
      {1000, 0, 0, 1000},                   {5ull << 30, 0, 1, kLargestSegment},  // not the low half
  };
  for (const Case& c : cases) {
    load(c.fileSize);
    controls.setNumber(CTL_SIZE_NUMBER, c.number);
    controls.select(CTL_SIZE_UNIT, c.unit);
    readSizeFields(p);
    EXPECT_EQ(job.segmentSize, c.size) << c.number << " unit " << c.unit;
  }
}

TEST_F(SizeControlsTest, PreciseSizeRestoresWhatTheDisplayRounded) {
  load(10000000);
  job.segmentSize = 5156250;
  job.segmentCount = 2;
  showSegmentSize(p, job.segmentSize);
  writeSizeSummary(p);
  EXPECT_EQ(sizes.preciseSize, 5156250u);
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "File will be Trepped into 2 files of 5035 kBytes");
  countFromSize(p);
  EXPECT_EQ(job.segmentSize, 5156250u);
}

TEST_F(SizeControlsTest, RequestedCountsOfABillionBytes) {
  load(1000000000);
  struct Case {
    uint32_t requested;
    uint32_t count;
  } cases[] = {{256, 256}, {257, 256}, {258, 257}, {300, 299}, {1000, 997}, {2, 2}};
  for (const Case& c : cases) {
    controls.setNumber(CTL_SEGMENT_COUNT, c.requested);
    sizeFromCount(p);
    countFromSize(job);
    EXPECT_EQ(job.segmentCount, c.count) << c.requested;
  }
  controls.setNumber(CTL_SEGMENT_COUNT, 257);
  sizeFromCount(p);
  EXPECT_EQ(job.segmentSize, 3906250u);
}

TEST_F(SizeControlsTest, CountFieldIsClamped) {
  load(1000000);
  struct Case {
    std::string typed;
    uint32_t shown;
  } cases[] = {{"0", 1}, {"", 1}, {"12000", 9999}, {"abc", 1}};
  for (const Case& c : cases) {
    controls.setText(CTL_SEGMENT_COUNT, c.typed);
    sizeFromCount(p);
    EXPECT_EQ(controls.text(CTL_SEGMENT_COUNT), std::to_string(c.shown)) << c.typed;
    EXPECT_EQ(job.segmentCount, c.shown);
  }
}

TEST_F(SizeControlsTest, SizesOf4GiBOrMoreBecomeTheLargestSegment) {
  // "DVD SL" for a 10 GiB file, the whole of a 5 GiB file in one segment, and
  // a 40 GiB file in two: never their low 32 bits.
  load(10ull << 30);
  EXPECT_EQ(presetSize(p, 16), kLargestSegment);
  load(5ull << 30);
  sizeFromCount(p, 1);
  EXPECT_EQ(job.segmentSize, kLargestSegment);
  load(40ull << 30);
  sizeFromCount(p, 2);
  EXPECT_EQ(job.segmentSize, kLargestSegment);
  // A preset above a 10 GiB file: the file, which does not fit either.
  load(10ull << 30);
  EXPECT_EQ(presetSize(p, 20), kLargestSegment);
}

TEST_F(SizeControlsTest, CountsThatDoNotFitSaturate) {
  load(1ull << 40);
  job.segmentSize = 1;
  countFromSize(job);
  EXPECT_EQ(job.segmentCount, 0xFFFFFFFFu);
}

// A preset counts with its exact size, which the fields can only show
// rounded; the summary keeps the size for the split's start. A preset larger
// than the file leaves one segment of the whole file.
TEST_F(SizeControlsTest, PresetsCountWithTheirExactSize) {
  struct Case {
    uint64_t fileSize;
    int preset;
    const char* shown;
    int unit;
    uint32_t size;
    uint32_t count;
    const char* summary;
  } cases[] = {
      // Larger than the file: one segment of the whole file.
      {100000000, 8, "95", 2, 100000000, 1, "File will be Trepped into 1 files of 95 MBytes"},
      {10000000, 7, "9765", 1, 10000000, 1, "File will be Trepped into 1 files of 9765 kBytes"},
      // "Zip 100" (102,000 kB) shows as 99 MBytes; 99 MiB would give 11.
      {1000000000, 4, "99", 2, 104448000, 10, "File will be Trepped into 10 files of 99 MBytes"},
      {10000000, 2, "1400", 1, 1433600, 7, "File will be Trepped into 7 files of 1400 kBytes"},
  };
  for (const Case& c : cases) {
    load(c.fileSize);
    controls.select(CTL_PRESETS, c.preset);
    onPresetChanged(p);
    EXPECT_EQ(controls.text(CTL_SIZE_NUMBER), c.shown) << c.preset;
    EXPECT_EQ(controls.selection(CTL_SIZE_UNIT), c.unit);
    EXPECT_EQ(job.segmentSize, c.size);
    EXPECT_EQ(job.segmentCount, c.count);
    EXPECT_EQ(controls.text(CTL_SEGMENT_COUNT), std::to_string(c.count));
    EXPECT_EQ(controls.sliderPosition(CTL_SLIDER), c.count);
    EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), c.summary);
    EXPECT_EQ(sizes.presetChosen, 1u);
    EXPECT_EQ(job.sourceValid, 1u);
    // A split's start derives the same count from the fields (the wizard
    // starts a count of 1; the main window refuses it).
    adjustCountAtSplitStart(p);
    EXPECT_EQ(job.segmentSize, c.size) << c.preset;
    EXPECT_EQ(job.segmentCount, c.count);
  }
}

TEST_F(SizeControlsTest, PresetTable) {
  EXPECT_EQ(kPresetKBytes[1], 900u);
  EXPECT_EQ(kPresetKBytes[8], 716800u);
  EXPECT_EQ(kPresetKBytes[16], 7864320u);
  EXPECT_EQ(kPresetKBytes[19], 7926252u);
  EXPECT_EQ(kPresetKBytes[23], 251658240u);
  EXPECT_STREQ(kPresetNames[17], "DVD DL");
  load(1ull << 40);
  struct Case {
    int index;
    uint32_t bytes;
  } cases[] = {{0, 0}, {1, 921600}, {2, 1433600}, {7, 676331520}, {8, 734003200},
               {13, 996147200}, {15, 4026531840u}, {17, kLargestSegment}};
  for (const Case& c : cases) EXPECT_EQ(presetSize(p, c.index), c.bytes) << c.index;
}

TEST_F(SizeControlsTest, ManualChangeAfterAPresetGoesBackToManual) {
  load(10000000);
  controls.select(CTL_PRESETS, 1);  // "EMail"
  onPresetChanged(p);
  EXPECT_EQ(job.segmentCount, 11u);
  controls.setSliderPosition(CTL_SLIDER, 4);
  onSliderMoved(p);
  EXPECT_EQ(controls.selection(CTL_PRESETS), 0);
  EXPECT_EQ(sizes.presetChosen, 0u);
  EXPECT_EQ(controls.text(CTL_SEGMENT_COUNT), "4");
  EXPECT_EQ(job.segmentSize, 2500001u + 2500001u / 256);
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "File will be Trepped into 4 files of 2450 kBytes");
}

TEST_F(SizeControlsTest, HandlersRespectTheirGuards) {
  load(10000000);
  options.sizeMode = SizeMode::kFast;  // the Number field belongs to mode Number
  controls.setText(CTL_SEGMENT_COUNT, "5");
  onCountChanged(p);
  EXPECT_EQ(job.segmentCount, 0u);
  options.sizeMode = SizeMode::kNumber;
  job.jobState = kJobRunning + 5;
  onCountChanged(p);
  EXPECT_EQ(job.segmentCount, 0u);
  job.jobState = kJobIdle;
  onSizeModeChosen(p, SizeMode::kNumber);
  EXPECT_EQ(job.segmentCount, 5u);

  // A preset picked with no valid file leaves the source invalid.
  job.sourceValid = 0;
  controls.select(CTL_PRESETS, 2);
  onPresetChanged(p);
  EXPECT_EQ(job.sourceValid, 0u);
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "Pick a valid file.");
}

TEST_F(SizeControlsTest, SplitStartLowersTheCountAndShowsIt) {
  load(10000);
  options.sizeMode = SizeMode::kSize;
  showSegmentSize(p, 1);  // 1 Byte: 10000 segments
  adjustCountAtSplitStart(p);
  EXPECT_LE(job.segmentCount, 9999u);
  EXPECT_EQ(job.segmentCount, (10000 + job.segmentSize - 1) / job.segmentSize);
  EXPECT_EQ(controls.text(CTL_SEGMENT_COUNT), std::to_string(job.segmentCount));
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY),
            "File will be Trepped into " + std::to_string(job.segmentCount) + " files of " +
                std::to_string(job.segmentSize) + " Bytes");
}

}  // namespace
}  // namespace trep
