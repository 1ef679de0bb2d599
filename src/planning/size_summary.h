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

// The recovery files a split of this job writes: the setting, at most one
// per segment; 0 for a join or no valid file.
uint32_t recoveryFilesOf(const JobSettings& job, const PersistedSettings& options);

// The number typed into a recovery-files field (1032), at most 9999.
uint32_t recoveryFilesTyped(Controls& c);

// What the summary adds for them: "+ 2 recovery files", or "" for none.
std::string recoverySummary(const JobSettings& job, const PersistedSettings& options);

// Writes the summary into control 1030 and the recovery files' part into
// 1034 (with no window only preciseSize changes).
void writeSizeSummary(PlanningContext& p);

// A 64-bit byte count with groups of three digits separated by ", ":
// 1234567 gives "1, 234, 567".
std::string groupedSize(uint64_t size);

// Shows groupedSize(size) in control `id`.
void showFileSize(PlanningContext& p, int id, uint64_t size);

}  // namespace trep

#endif  // TREP_PLANNING_SIZE_SUMMARY_H_
