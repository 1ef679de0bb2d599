// The job engine's entry: runJob carries out the split or join prepared in
// JobSettings, on a worker thread or (quiet batch mode) the main thread.
#ifndef TREP_ENGINE_ENGINE_H_
#define TREP_ENGINE_ENGINE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/exit_codes.h"
#include "engine/job.h"
#include "platform/platform.h"

namespace trep {

// The main window's fields the engine writes while a job runs. Batch mode has
// no window: the engine is then given none and skips these updates.
class JobWindow {
 public:
  virtual ~JobWindow() = default;
  virtual void setTitle(std::string_view title) = 0;
  virtual void showSegmentCount(uint32_t count) = 0;
  virtual void showCrc(uint32_t crc) = 0;
};

// The size arithmetic of the planning layer that a split calls at its start:
// the count adjustment (which keeps a split at 9999 segments or fewer) and the
// size summary. Implementations update the window they were made for.
class SplitPlanning {
 public:
  virtual ~SplitPlanning() = default;
  virtual void adjustCountAtSplitStart(JobSettings& job) = 0;
  virtual void writeSizeSummary(JobSettings& job) = 0;
};

class JoinRecovery;  // recovery_job.h

// Everything a job works with besides its own record.
struct JobContext {
  JobSettings& job;
  PersistedSettings& options;
  Platform& platform;
  SplitPlanning& planning;
  JobWindow* window = nullptr;  // none in batch mode
  // The system's reason for the latest failure that raised one of the
  // engine's questions or ended the job: a file or folder that could not be
  // made or opened, a read or write that failed. Ok when that failure had no
  // system reason (a file shorter than expected) or nothing failed.
  Status lastFailure{};
  // True when lastFailure's reason went out with the notice about it, so a
  // program that shows reasons need not repeat it.
  bool lastFailureShown = false;
  // The failure asked about last and how many times in a row it came back
  // after "OK" (see askRetryOrAbort).
  Status repeatedFailure{};
  uint32_t repeats = 0;
  // True when the job was aborted because the same failure kept coming back.
  bool gaveUp = false;
  // A join's recovery files, while the join that found them runs.
  JoinRecovery* recovery = nullptr;
  // A join's rebuilt bytes go here (trep's standard output) instead of into
  // a file: no name, no temporary, no times or attributes, no question. The
  // caller saw every byte written, so it checks the size and checksum.
  File* streamOutput = nullptr;
  // A split reads this stream (trep's standard input) instead of
  // sourcePath; originalName, segmentSize and the times are the caller's.
  File* streamInput = nullptr;
  // Bytes of recovery data held in memory at a time, by a split writing
  // recovery files and by a join rebuilding segments; more is done in passes.
  uint64_t recoveryMemory = uint64_t{128} << 20;
};

// How runJob ended. Two failures end the whole process with a fixed exit
// code; the caller, which owns the process, does the ending.
struct JobOutcome {
  bool endProcess = false;
  int exitCode = 0;
};

// Runs the job when jobState is 10; otherwise returns at once. The outcome is
// in jobState and jobResult (see job.h).
JobOutcome runJob(JobContext& ctx);

// The engine's two questions, shared by the split and the join.
// Returns at once when nothing but a folder has the name `path`; otherwise
// (a file, or a link, also one whose target is missing) asks whether to
// replace it and sets jobResult to 99 when the user declines. True when the
// caller may replace it. A link is replaced itself, never its target.
bool confirmOverwrite(JobContext& ctx, const std::string& path);
// Quiet mode: sets jobResult to 99 unasked. Otherwise asks with "OK" and
// "Abort procedure"; the latter sets jobResult to 99. True for "OK".
// `failure`, when the question follows one, becomes lastFailure and goes
// with the notice as its reason. The same failure (same file, same reason)
// coming back after "OK" is not asked about without end: one that trying
// again cannot mend (Status::lasting) ends the job as aborted when it comes
// back after kLastingRetries answers "OK" in a row, any other after
// kMendableRetries; gaveUp then tells. A job stopped from outside (jobResult
// already 99) is never asked on.
bool askRetryOrAbort(JobContext& ctx, const char* message, const Status& failure = Status());

// "OK" answers after which the same failure ends the job (see above). A
// person at the window or the terminal has tried three times; a script that
// answers "OK" to everything is stopped after that many.
constexpr uint32_t kLastingRetries = 3;
constexpr uint32_t kMendableRetries = 100;

// The end-of-job notice's text for a job that endsWithNotice.
inline const char* endNoticeText(uint32_t jobResult) {
  return jobResult == kResultFinished ? kEndFinished : kEndCrcFailed;
}
// The same, followed by what the recovery files did for a join:
// "Finished — 2 segments rebuilt from recovery files".
std::string endNoticeText(const JobSettings& job);

// Texts of the engine's notices.
inline constexpr char kFileExists[] = "File already exists.";
inline constexpr char kOverwriteIt[] = "Overwrite it";
inline constexpr char kWriteError[] = "File Write Error. The disk might be full.";
inline constexpr char kMediaReady[] = "Is Removable Media Ready?";
inline constexpr char kReadError[] = "File Read Error; is Removable Media Ready?";
inline constexpr char kDirectoryError[] = "Directory creation error";
inline constexpr char kMemoryError[] = "Memory Allocation Error";

}  // namespace trep

#endif  // TREP_ENGINE_ENGINE_H_
