// Recovery files in a split: asked for (recoveryCount), it writes BASE.par2
// and BASE.vol….par2 beside its segments, computed from the source beside
// the copy loop and held to the bytes the copy loop writes. The join's side
// is join_recovery.h.
#ifndef TREP_ENGINE_RECOVERY_JOB_H_
#define TREP_ENGINE_RECOVERY_JOB_H_

#include <cstdint>
#include <memory>
#include <string>

#include "engine/copy_loop.h"
#include "engine/engine.h"

namespace trep {

// The recovery data of a split: computed from the source (segment by
// segment as the split writes them: headers, payload, scrambled for
// "Encrypt") on two threads of the writer's while the copy loop runs, and
// fed by the copy loop (as its CopyObserver) with every segment's payload
// as written, which the writer holds to what it read. Onto removable
// media it is computed at the end, from the source.
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

}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_JOB_H_
