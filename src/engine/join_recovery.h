// Recovery files in a join. A join that finds them beside its series
// checks every segment against them, rebuilds what is missing or damaged
// into a work folder of its own (never into the series' folder, which may
// be read-only media), and then reads those segments from there.
#ifndef TREP_ENGINE_JOIN_RECOVERY_H_
#define TREP_ENGINE_JOIN_RECOVERY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace trep {

namespace recovery {
enum class SetVerdict;
}

// The recovery side of one join; lives for the join and removes every
// segment it rebuilt when it goes.
class JoinRecovery {
 public:
  explicit JoinRecovery(JobContext& ctx);
  ~JoinRecovery();
  JoinRecovery(const JoinRecovery&) = delete;
  JoinRecovery& operator=(const JoinRecovery&) = delete;

  // Looks for recovery files of the series beside it. None, or none that
  // describe it (recovery::judgeSet): true, and the join is the join it
  // always was, having said why a set it found is not used (recoveryNote).
  // Otherwise checks the series: segments missing or not of their size are
  // rebuilt at once; the others are checked on a thread of their own while
  // the join copies, each before the join reads it. When source analysis
  // found no header (0001 lost beyond what its first bytes alone rebuild
  // from), the repair runs at once and the header is read from the 0001 it
  // rebuilt. False when the join must not begin: jobResult holds why (6,
  // the damage is more than the recovery files mend, after a notice; 99,
  // aborted).
  bool start();

  // The file segment n is to be read from, once it is known to be whole:
  // the segment itself, or what the recovery data rebuilt for it. Empty
  // when it is damaged beyond what the recovery files mend (jobResult 6,
  // after a notice) or the user aborted (99).
  std::string segmentPath(uint32_t n);

  // Segments the recovery files vouch for, 1 .. n in a row; 0 without them.
  uint32_t segmentsVouchedFor() const;

  // Without recovery files of the series: why the join cannot end well,
  // in words: segments of other sizes than the series says (two swapped,
  // one cut or grown), which make the rebuilt file damaged, or a set
  // beside it that may be this series' and records other bytes, which
  // leaves it unvouched for. Empty when nothing stands against it.
  const std::string& doubt() const;

  struct State;

 private:
  std::unique_ptr<State> s_;
};

// What the join says of a set it does not use.
std::string notUsedText(const std::string& prefix, recovery::SetVerdict verdict,
                        const std::string& why);

// The join's hooks: the path segment n is read from, with or without
// recovery files, and for a headerless series how many segments it has
// when recovery files tell (0: count the files).
std::string joinSegmentPath(JobContext& ctx, uint32_t n);
uint32_t recoveredSegmentCount(const JobContext& ctx);

}  // namespace trep

#endif  // TREP_ENGINE_JOIN_RECOVERY_H_
