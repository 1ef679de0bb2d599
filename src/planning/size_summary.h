// The one-line summary under the size controls.
#ifndef TREP_PLANNING_SIZE_SUMMARY_H_
#define TREP_PLANNING_SIZE_SUMMARY_H_

#include <string>

#include "planning/planning.h"

namespace trep {

// "File will be Trepped into 3 files of 900 kBytes", "File was Trepped into
// 12 files", "Too many files! (9,999 max.)" or "Pick a valid file.". For a
// split it records preciseSize, the size one unit finer than shown.
std::string sizeSummary(const JobSettings& job, uint32_t* preciseSize);

// Writes the summary into control 1030 (with no window only preciseSize changes).
void writeSizeSummary(PlanningContext& p);

// A 64-bit byte count with groups of three digits separated by ", ":
// 1234567 gives "1, 234, 567".
std::string groupedSize(uint64_t size);

// Shows groupedSize(size) in control `id`.
void showFileSize(PlanningContext& p, int id, uint64_t size);

}  // namespace trep

#endif  // TREP_PLANNING_SIZE_SUMMARY_H_
