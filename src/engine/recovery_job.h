// Recovery files in a job. A split asked for them (recoveryCount) writes
// BASE.par2 and BASE.vol….par2 beside its segments, computed from the bytes
// as the copy loop writes them. A join that finds them beside its series
// checks every segment against them, rebuilds what is missing or damaged
// into a work folder of its own (never into the series' folder, which may
// be read-only media), and then reads those segments from there.
#ifndef TREP_ENGINE_RECOVERY_JOB_H_
#define TREP_ENGINE_RECOVERY_JOB_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/copy_loop.h"
#include "engine/engine.h"

namespace trep {

namespace recovery {
struct RecoverySet;
}

// The recovery data of a split, fed by the copy loop (as its CopyObserver)
// with every segment's payload as written; it adds the headers itself.
class SplitRecovery : public CopyObserver {
 public:
  ~SplitRecovery() override;  // nothing is left under a temporary name
  void copied(uint64_t at, const uint8_t* data, uint32_t n) override;

  struct State;

 private:
  friend std::unique_ptr<SplitRecovery> startSplitRecovery(JobContext& ctx);
  friend void writeRecoveryFiles(JobContext& ctx, SplitRecovery* recovery);
  explicit SplitRecovery(std::unique_ptr<State> s);
  std::unique_ptr<State> s_;
};

// Called by the split once its headers are settled (segment 0001's written)
// and before any payload moves, with or without recovery files asked for.
// Recovery files of an earlier series of the same name in the folder are
// removed first, when the user agrees ("Abort procedure": jobResult 99).
// Nothing (nullptr) when no recovery files were asked for; nullptr and
// jobResult 99, after a notice, when they cannot be made at all (no memory).
std::unique_ptr<SplitRecovery> startSplitRecovery(JobContext& ctx);

// Called after the cut: writes the recovery files unless the split was
// aborted. With "Multi-Removable" they are asked for like one more medium.
// A failure leaves none of them behind and ends the job with 99 after a
// notice naming the file.
void writeRecoveryFiles(JobContext& ctx, SplitRecovery* recovery);

// The recovery side of one join; lives for the join and removes every
// segment it rebuilt when it goes.
class JoinRecovery {
 public:
  explicit JoinRecovery(JobContext& ctx);
  ~JoinRecovery();
  JoinRecovery(const JoinRecovery&) = delete;
  JoinRecovery& operator=(const JoinRecovery&) = delete;

  // Looks for recovery files of the series beside it. None, or none that
  // describe it (judgeSet): true, and the join is the join it always was,
  // having said why a set it found is not used (recoveryNote). Otherwise
  // checks the series: segments missing or not of their size are rebuilt at
  // once; the others are checked on a thread of their own while the join
  // copies, each before the join reads it. False when the join must not
  // begin: jobResult holds why (6, the damage is more than the recovery
  // files mend, after a notice; 99, aborted).
  bool start();

  // The file segment n is to be read from, once it is known to be whole:
  // the segment itself, or what the recovery data rebuilt for it. Empty
  // when it is damaged beyond what the recovery files mend (jobResult 6,
  // after a notice) or the user aborted (99).
  std::string segmentPath(uint32_t n);

  // Segments the recovery files vouch for, 1 .. n in a row; 0 without them.
  uint32_t segmentsVouchedFor() const;

  struct State;

 private:
  std::unique_ptr<State> s_;
};

// Whether a recovery set describes the series `prefix` (folder, separator,
// base name); the rule is written out beside judgeSet. `header`: segment
// 0001's header as read from the disk, or null (a headerless series, 0001
// lost or unreadable). When the set's own header for 0001 had to be rebuilt
// to compare, *firstBytes (when given) receives 0001's first bytes as the
// set records them; otherwise it is left empty. For another verdict, *why
// says what gave the set away.
enum class SetVerdict {
  kThisSeries,
  kOtherSeries,  // names, count, sizes or content say another series'
  kUnbacked,     // it claims sizes no bytes on disk back
};
SetVerdict judgeSet(Platform& platform, const recovery::RecoverySet& set,
                    const std::string& prefix, const JobSettings* header,
                    std::vector<uint8_t>* firstBytes, std::string* why);
// What the join says of a set it does not use.
std::string notUsedText(const std::string& prefix, SetVerdict verdict, const std::string& why);

// The join's hooks: the path segment n is read from, with or without
// recovery files, and for a headerless series how many segments it has
// when recovery files tell (0: count the files).
std::string joinSegmentPath(JobContext& ctx, uint32_t n);
uint32_t recoveredSegmentCount(const JobContext& ctx);

// Source analysis, choosing a segment of a series with recovery files
// beside it: what to take segment 0001's header from.
enum class FirstSegment {
  kAsFound,  // 0001 as it is: no recovery files name it, or it is what they record
  kRebuilt,  // 0001 lost, or not what they record: its first bytes rebuilt from them
  kLost,     // 0001 lost or damaged beyond what its first bytes can be rebuilt from
};
// For kRebuilt: `bytes` holds 0001's first bytes (up to `capacity`, its
// header; *got of them), checked against the recovery files' hash, and
// *length its length. For kLost: *segments is the number of segments the
// recovery files describe; the join then reports the damage (jobResult 6).
FirstSegment firstSegmentFromRecovery(Platform& platform, const std::string& prefix,
                                      uint8_t* bytes, uint32_t capacity, uint32_t* got,
                                      uint64_t* length, uint32_t* segments);

}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_JOB_H_
