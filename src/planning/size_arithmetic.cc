#include "planning/size_arithmetic.h"

#include "planning/size_summary.h"

namespace trep {

const uint32_t kPresetKBytes[kPresetCount] = {
    0,        900,      1400,     122000,   102000,   255000,    766000,    660480,
    716800,   61440,    122880,   245760,   491520,   972800,    1966080,   3932160,
    7864320,  15728640, 4367142,  7926252,  31457280, 62914560,  125829120, 251658240};

const char* const kPresetNames[kPresetListEntries] = {
    "Manual",      "EMail",       "Floppy",      "Sup Flop",    "Zip 100",   "Zip 250",
    "Zip 750",     "CD 74",       "CD 80",       "Flash 64 M",  "Flash 128 M", "Flash 256 M",
    "Flash 512 M", "Flash 1 G",   "Flash 2 G",   "Flash 4 G",   "DVD SL",    "DVD DL"};

const char* const kUnitNames[4] = {"Bytes", "kBytes", "MBytes", "GBytes"};

namespace {

constexpr uint64_t kFourGiB = 1ull << 32;

// Runs `body` with sourceValid held at 0, so the change notifications of the
// handler's own writes are ignored; afterwards sourceValid is what it was.
template <typename Body>
void withSourceHeld(PlanningContext& p, Body body) {
  uint32_t was = p.job.sourceValid;
  p.job.sourceValid = 0;
  body();
  p.job.sourceValid = was;
}

void backToManual(PlanningContext& p) {
  if (p.sizes.presetChosen) {
    p.controls.select(CTL_PRESETS, 0);
    p.sizes.presetChosen = 0;
  }
}

void showCount(PlanningContext& p) {
  p.controls.setNumber(CTL_SEGMENT_COUNT, p.job.segmentCount);
  p.controls.setSliderPosition(CTL_SLIDER, p.job.segmentCount);
}

}  // namespace

Quotient64 divide64(uint64_t dividend, uint32_t divisor) {
  return {dividend / divisor, static_cast<uint32_t>(dividend % divisor)};
}

uint32_t segmentSizeOf(uint64_t size) {
  return size >= kFourGiB ? kLargestSegment : static_cast<uint32_t>(size);
}

uint32_t presetBytes(const JobSettings& job, int index) {
  if (index <= 0 || index >= kPresetCount) return 0;
  uint64_t bytes = static_cast<uint64_t>(kPresetKBytes[index]) * 1024;
  return segmentSizeOf(bytes > job.fileSize ? job.fileSize : bytes);
}

uint32_t presetSize(PlanningContext& p, int index) {
  if (index > 0 && index < kPresetCount &&
      static_cast<uint64_t>(kPresetKBytes[index]) * 1024 > p.job.fileSize)
    p.controls.setNumber(CTL_SEGMENT_COUNT, 1);
  return presetBytes(p.job, index);
}

void showSegmentSize(PlanningContext& p, uint32_t size) {
  int unit = 0;
  while (size > 10000) {
    size /= 1024;
    ++unit;
  }
  p.controls.setNumber(CTL_SIZE_NUMBER, size);
  p.controls.select(CTL_SIZE_UNIT, unit);
  p.sizes.preciseSize = 0;
}

void readSizeFields(PlanningContext& p) {
  int unit = p.controls.selection(CTL_SIZE_UNIT);
  uint64_t n = p.controls.number(CTL_SIZE_NUMBER);
  uint64_t precise = p.sizes.preciseSize;
  uint64_t result;
  uint64_t step = 1;  // bytes the precise size can be off by, rounded down
  switch (unit) {
    case 1:
      result = n >= 4194304 ? kLargestSegment : precise != 0 ? precise : n * 1024;
      break;
    case 2:
      result = n >= 4096 ? kLargestSegment : precise != 0 ? precise * 1024 : n * 1048576;
      if (precise != 0) step = 1024;
      break;
    case 3:
      result = n >= 4 ? kLargestSegment : precise != 0 ? precise * 1048576 : n * 1073741824;
      if (precise != 0) step = 1048576;
      break;
    default:
      result = n;
      break;
  }
  if (result == 0 || (p.job.fileSize < kFourGiB && result > p.job.fileSize))
    result = p.job.fileSize;
  // A size kept as "the whole file" must not come back a few hundred bytes
  // short of it, which would cut off a tiny second segment.
  if (p.job.fileSize < kFourGiB && result < p.job.fileSize && p.job.fileSize - result < step)
    result = p.job.fileSize;
  p.job.segmentSize = segmentSizeOf(result);
}

void countFromSize(JobSettings& job) {
  if (job.segmentSize == 0) job.segmentSize = segmentSizeOf(job.fileSize);
  if (job.segmentSize == 0) job.segmentSize = kLargestSegment;  // a multiple of 4 GiB
  if (job.fileSize < kFourGiB && job.segmentSize > job.fileSize) {
    job.segmentSize = static_cast<uint32_t>(job.fileSize);
    job.segmentCount = 1;
    if (job.segmentSize == 0) job.segmentSize = 1;
    return;
  }
  Quotient64 d = divide64(job.fileSize, job.segmentSize);
  uint64_t count = d.quotient + (d.remainder != 0 ? 1 : 0);
  job.segmentCount = count > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(count);
  if (job.segmentCount == 0) job.segmentCount = 1;
}

void countFromSize(PlanningContext& p) {
  if (p.controls.isWindow()) readSizeFields(p);
  countFromSize(p.job);
}

void sizeFromCount(JobSettings& job, uint32_t requested) {
  uint32_t n = requested < 1 ? 1 : requested > kMaxSegments ? kMaxSegments : requested;
  job.segmentCount = n;
  uint64_t q = n < 2 ? job.fileSize : divide64(job.fileSize, n).quotient;
  uint64_t q1 = q + 1;
  job.segmentSize = segmentSizeOf(q1 + q1 / 256);
}

void sizeFromCount(PlanningContext& p, uint32_t requested) {
  sizeFromCount(p.job, requested);
  if (p.job.segmentCount != requested) p.controls.setNumber(CTL_SEGMENT_COUNT, p.job.segmentCount);
}

void sizeFromCount(PlanningContext& p) {
  sizeFromCount(p, p.controls.number(CTL_SEGMENT_COUNT));
}

namespace {

// The loop of the count adjustment; `step` asks for r segments and derives
// the count back. sizeFromCount clamps its request to 9999, so for any file
// below about 40 TB the first pass ends the loop; r only bounds it.
template <typename Step>
void lowerCount(JobSettings& job, Step step) {
  uint32_t r = job.segmentCount;
  while (job.segmentCount > kMaxSegments && r > 5) {
    r -= 5;
    step(r);
  }
}

}  // namespace

void adjustCountAtSplitStart(JobSettings& job) {
  countFromSize(job);
  lowerCount(job, [&](uint32_t r) {
    sizeFromCount(job, r);
    countFromSize(job);
  });
}

void adjustCountAtSplitStart(PlanningContext& p) {
  countFromSize(p);
  lowerCount(p.job, [&](uint32_t r) {
    p.controls.setNumber(CTL_SEGMENT_COUNT, r);
    sizeFromCount(p, r);
    showSegmentSize(p, p.job.segmentSize);
    countFromSize(p);
  });
  p.controls.setNumber(CTL_SEGMENT_COUNT, p.job.segmentCount);
  writeSizeSummary(p);
}

void onPresetChanged(PlanningContext& p) {
  if (p.job.jobState != kJobIdle) return;
  withSourceHeld(p, [&] {
    int index = p.controls.selection(CTL_PRESETS);
    if (index != 0) p.sizes.presetChosen = 1;
    uint32_t v = presetSize(p, index);
    if (v != 0) {
      p.job.segmentSize = v;
      showSegmentSize(p, v);
      // The count follows the preset's exact size, not the rounded one the
      // fields show: read back, a preset larger than the file (shown as
      // 95 MBytes for 100,000,000 bytes) gave two segments, the second a
      // few hundred bytes, and "Zip 100" counted with 99 MBytes.
      countFromSize(p.job);
      showCount(p);
    }
  });
  writeSizeSummary(p);
}

void onSliderMoved(PlanningContext& p) {
  if (p.job.jobState >= kJobPrepared || !p.job.sourceValid) return;
  withSourceHeld(p, [&] {
    backToManual(p);
    uint32_t count = p.controls.sliderPosition(CTL_SLIDER);
    p.controls.setNumber(CTL_SEGMENT_COUNT, count);
    sizeFromCount(p, count);
    showSegmentSize(p, p.job.segmentSize);
  });
  writeSizeSummary(p);
}

void onCountChanged(PlanningContext& p) {
  if (p.job.jobState >= kJobPrepared || !p.job.sourceValid || p.options.sizeMode != SizeMode::kNumber) return;
  withSourceHeld(p, [&] {
    backToManual(p);
    sizeFromCount(p);
    showSegmentSize(p, p.job.segmentSize);
  });
  writeSizeSummary(p);
}

void onSizeChanged(PlanningContext& p) {
  if (p.job.jobState >= kJobPrepared || !p.job.sourceValid || p.options.sizeMode != SizeMode::kSize) return;
  withSourceHeld(p, [&] {
    backToManual(p);
    p.sizes.preciseSize = 0;
    countFromSize(p);
    showCount(p);
  });
  writeSizeSummary(p);
}

void onSizeModeChosen(PlanningContext& p, SizeMode sizeMode) {
  p.options.sizeMode = sizeMode;
  if (sizeMode == SizeMode::kNumber) onCountChanged(p);
  if (sizeMode == SizeMode::kSize) onSizeChanged(p);
}

void Planner::adjustCountAtSplitStart(JobSettings&) { trep::adjustCountAtSplitStart(p_); }

void Planner::writeSizeSummary(JobSettings&) { trep::writeSizeSummary(p_); }

}  // namespace trep
