// A series read one way. The join, trep check and the window's analysis
// all go by this survey: which segments are there, their sizes against
// the header, whether the recovery files beside the series are its own,
// and what they say of each segment; so they can never disagree about the
// same folder.
#ifndef TREP_ENGINE_SERIES_SURVEY_H_
#define TREP_ENGINE_SERIES_SURVEY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/job.h"
#include "engine/recovery/recovery_set.h"
#include "platform/platform.h"

namespace trep {

// How many segments of a headerless series there are from 0001 on: the
// series ends at the first number with no regular file (a folder of a
// segment's name is no segment).
uint32_t countHeaderlessSegments(Platform& platform, std::string_view prefix,
                                 std::string_view extension);

// What the disk shows of one segment, before its bytes are checked.
enum class SegmentState {
  kThere,       // of the size the series says (or any size, where it cannot say)
  kMissing,     // no file of its name
  kNotAFile,    // a folder, pipe or device of its name
  kInUse,       // held by another job (a join holds its segments alone)
  kUnreadable,  // cannot be opened or read
  kWrongSize,   // not of the size the header and the other segments say
  kNoMagic,     // a later segment whose first 8 bytes are not the magic
};

struct SegmentFinding {
  uint32_t number = 0;
  std::string path;
  SegmentState state = SegmentState::kMissing;
  uint64_t size = 0;      // bytes on disk
  uint64_t expected = 0;  // bytes it should have; 0 when the series cannot say
  Status why;             // kInUse, kUnreadable, kNotAFile: the system's reason
};

// What the survey made of recovery files beside the series.
enum class SetUse {
  kNone,           // none there
  kUnusable,       // there, but no whole set (why: readRecoverySet's)
  kAmbiguous,      // two sets that cannot be told apart: the join refuses
  kNotThisSeries,  // a set, but another series' or one that cannot be trusted
  // A set that may be this series' (recovery::SetVerdict::kUnconfirmed):
  // not used, and the join ends 1, as it cannot vouch for what it makes.
  kUnconfirmed,
  kUsed,           // this series' set: every segment is checked by it
};

struct SeriesSurvey {
  std::string prefix;  // folder, separator and base name
  std::string folder, base;
  uint32_t count = 0;  // segments the series has, as far as can be told
  std::vector<SegmentFinding> segments;  // 1 .. count
  std::shared_ptr<const recovery::SetReading> reading;
  SetUse setUse = SetUse::kNone;
  recovery::RecoverySet set;  // kUsed: the set of the reading that is this series
  // kUnusable, kAmbiguous, kNotThisSeries, kUnconfirmed: said by every
  // face, in these words.
  std::string setNote;

  bool allThere() const;  // every segment kThere
  const SegmentFinding* firstInUse() const;
  const SegmentFinding* firstUnreadable() const;
};

// Surveys the series the analysed job names (segmentFolder,
// segmentExtension, rawSeries, headerLost and the header's fields). Reads
// the recovery files once, taking up job.recoveryFilesRead while they stand.
SeriesSurvey surveySeries(Platform& platform, const JobSettings& job);

// The words trep check and a refusing join use for a segment's state.
std::string segmentStateText(const SegmentFinding& s);

}  // namespace trep

#endif  // TREP_ENGINE_SERIES_SURVEY_H_
