// Turns the chosen path into a job: a split of any file, or the join of the
// series a ".trp" segment belongs to.
#ifndef TREP_PLANNING_SOURCE_ANALYSIS_H_
#define TREP_PLANNING_SOURCE_ANALYSIS_H_

#include <cstdint>
#include <string_view>

#include "engine/job.h"
#include "platform/platform.h"

namespace trep {

// True when the path ends in ".trp", in any letter case.
bool isSegmentName(std::string_view path);

// Analysis with no window (batch mode): for a file to split, measures it,
// proposes the default size (half the file plus 1/32 of that half), sets
// isSplit, sourceValid and originalName, and applies the no-window output
// rule. Does nothing while a job runs or sourceValid is set. An empty or
// unreadable file, or a segment file (joining is not built yet), leaves
// sourceValid 0.
void analyseSource(JobSettings& job, PersistedSettings& options, Platform& platform);

}  // namespace trep

#endif  // TREP_PLANNING_SOURCE_ANALYSIS_H_
