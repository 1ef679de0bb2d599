// Segment size and count: each follows from the other. The user fixes one in
// three ways (sizeMode): a preset medium and the slider, a count, or a size
// and unit; the routines here keep the controls and the job in step.
#ifndef TREP_PLANNING_SIZE_ARITHMETIC_H_
#define TREP_PLANNING_SIZE_ARITHMETIC_H_

#include <cstdint>

#include "engine/engine.h"
#include "planning/planning.h"

namespace trep {

// The largest segment size the program makes, just under 4 GiB; every size
// that would be 4 GiB or more becomes this one.
constexpr uint32_t kLargestSegment = 4200000000u;

struct Quotient64 {
  uint64_t quotient;
  uint32_t remainder;
};

// Exact unsigned division of a 64-bit number by a non-zero 32-bit one.
Quotient64 divide64(uint64_t dividend, uint32_t divisor);

// A 64-bit size as a segment size: kLargestSegment when it does not fit.
uint32_t segmentSizeOf(uint64_t size);

// The preset media: 24 entries in kilobytes; entry i serves list index i,
// entries 18 to 23 have no list entry (the wizard's DVD button uses 19).
constexpr int kPresetCount = 24;
constexpr int kPresetListEntries = 18;
extern const uint32_t kPresetKBytes[kPresetCount];
extern const char* const kPresetNames[kPresetListEntries];
extern const char* const kUnitNames[4];  // "Bytes", "kBytes", "MBytes", "GBytes"

// The segment size of preset `index` in bytes; 0 for "Manual". A preset
// larger than the file gives the file (and the count field shows 1).
uint32_t presetSize(PlanningContext& p, int index);
// The same size without touching a control.
uint32_t presetBytes(const JobSettings& job, int index);

// Shows a size as a number of at most 10000 and its unit; clears preciseSize.
void showSegmentSize(PlanningContext& p, uint32_t size);

// segmentSize from the size number and unit (with preciseSize restoring the
// precision the display rounded away).
void readSizeFields(PlanningContext& p);

// segmentCount := fileSize / segmentSize rounded up (at least 1): exactly the
// number of segment files a split with that size writes. With a window the
// size fields are read first. A size above a file under 4 GiB becomes the
// file size (count 1); a size of 0 becomes the file size, or kLargestSegment
// when the file size is a multiple of 4 GiB; a count that does not fit 32
// bits saturates at 4,294,967,295.
void countFromSize(PlanningContext& p);
void countFromSize(JobSettings& job);  // no window

// segmentCount and segmentSize from a requested count (with a window: the
// Number field), clamped to 1..9999: size = q + 1 + (q + 1) / 256 with
// q = fileSize / n, so the derived count never exceeds the request.
void sizeFromCount(PlanningContext& p);
void sizeFromCount(PlanningContext& p, uint32_t requested);
void sizeFromCount(JobSettings& job, uint32_t requested);  // no window

// Run by the split at its start: keeps the count at 9999 or below by asking
// for 5 fewer segments at a time, then shows the count and the summary.
void adjustCountAtSplitStart(PlanningContext& p);
void adjustCountAtSplitStart(JobSettings& job);  // no window

// The handlers of the size controls. Each does nothing while a job runs or
// the source is not valid, and holds sourceValid at 0 while it writes so the
// notifications of its own writes are ignored.
void onPresetChanged(PlanningContext& p);
void onSliderMoved(PlanningContext& p);
void onCountChanged(PlanningContext& p);
void onSizeChanged(PlanningContext& p);
void onSizeModeChosen(PlanningContext& p, SizeMode sizeMode);

// The planning steps the split calls at its start, on the surface it was
// made for (the main window, or none in batch mode).
// Batch mode: no window to update.
class BatchPlanning : public SplitPlanning {
 public:
  void adjustCountAtSplitStart(JobSettings& job) override { trep::adjustCountAtSplitStart(job); }
  void writeSizeSummary(JobSettings&) override {}
};

class Planner : public SplitPlanning {
 public:
  explicit Planner(PlanningContext p) : p_(p) {}
  void adjustCountAtSplitStart(JobSettings&) override;
  void writeSizeSummary(JobSettings&) override;

 private:
  PlanningContext p_;
};

}  // namespace trep

#endif  // TREP_PLANNING_SIZE_ARITHMETIC_H_
