// Turns the chosen path into a job: a split of any file, or the join of the
// series a ".trp" segment belongs to.
#ifndef TREP_PLANNING_SOURCE_ANALYSIS_H_
#define TREP_PLANNING_SOURCE_ANALYSIS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/naming.h"  // safeOriginalName and the name rules it uses
#include "planning/planning.h"
#include "platform/platform.h"

namespace trep {

inline constexpr char kCannotFindFirst[] = "Cannot find first file!";
inline constexpr char kNoHeader[] = "These files don't have a Trep header.";
inline constexpr char kOtherVersion[] = "These files were Trepped by a different version.";
inline constexpr char kAttemptAnyway[] = "Attempt to UnTrep them anyway.";

// What the window shows while it holds no valid source (as at start-up).
inline constexpr char kNoFileName[] = "No File";
inline constexpr char kStartUndecided[] = "Decide!";
inline constexpr char kNoSourcePath[] = "None Selected";
// The size fields then: 2 segments of 900 kBytes, the look of a window
// that has yet to take a file (no job is made from them).
inline constexpr uint32_t kNoSourceSizeShown = 921600;
inline constexpr uint32_t kNoSourceCountShown = 2;

inline constexpr char kBadSegmentCount[] =
    "The number of segments must be at least 2 and at most 9999.";

// True when the path ends in ".trp", in any letter case: nothing else
// decides between a split and a join.
bool isSegmentName(std::string_view path);

// The default segment size of a split: half the file (shifted further until
// it fits 32 bits) plus 1/32 of that; kLargestSegment when that reaches 4 GiB.
uint32_t defaultSegmentSize(uint64_t fileSize);

// Analyses sourcePath. Split: measures the file (an empty or unreadable one
// is not taken) and proposes a size and count. Join: finds segment 0001 of
// the series, checks its magic (asking before it takes a series of another
// version or without a header) and reads its header into the job. Then
// fills the surface, applies the destination rule, refreshes the control
// states and the summary. Does nothing while a job runs, while another
// analysis runs, or while sourceValid is set.
void analyseSource(PlanningContext& p);

// The source as the window shows it: the file's name (its last 30
// characters), its size and the start button's caption ("Go Trep!" or
// "Go UnTrep!"); "No File", 0 and "Decide!" while no valid source is held.
void showSource(PlanningContext& p);

// A path typed, chosen or dropped as the source (jobState 0 only). The valid
// split source the job holds already, unchanged on disk, is kept as it
// stands: analysed again it would put back the output folder and the sizes
// the user set; its controls are refreshed (a job that ended leaves them
// locked). Any other path is analysed; one longer than a path may be is
// never cut to a shorter one, which may name another file: it leaves no
// source.
void takeSource(PlanningContext& p, const std::string& path);

// A path dropped on the window or the wizard's first page. Ignored unless
// jobState is 0. An existing folder becomes the output folder (shown in the
// folder field, then the destination rule), but only once a valid source is
// chosen; anything else is taken as the source (takeSource). The file system
// decides, not the name: a folder may have a dot in its name, a file none.
void takeDroppedPath(PlanningContext& p, const std::string& path);

}  // namespace trep

#endif  // TREP_PLANNING_SOURCE_ANALYSIS_H_
