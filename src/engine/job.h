// The job record: one split or join, shared by whoever prepares the job (main
// window, wizard, command line) and the engine that carries it out.
#ifndef TREP_ENGINE_JOB_H_
#define TREP_ENGINE_JOB_H_

#include <atomic>
#include <cstdint>
#include <memory>

#include "platform/fixed_text.h"
#include "platform/status.h"

namespace trep {

namespace recovery {
struct SetReading;  // engine/recovery/recovery_set.h
}

// Values of jobState.
constexpr uint32_t kJobIdle = 0;
constexpr uint32_t kJobAnalysing = 1;      // source analysis is running
constexpr uint32_t kJobPrepared = 10;      // may start
constexpr uint32_t kJobTaken = 11;         // the engine has taken it
constexpr uint32_t kJobRunning = 100;      // 100..199: progress = value - 100
constexpr uint32_t kJobEnded = 200;

// Values of jobResult (also the process exit code of a batch job).
constexpr uint32_t kResultFinished = 0;
constexpr uint32_t kResultCrcFailed = 1;
// A join whose series has more missing or damaged segments than its
// recovery files can rebuild: nothing was made under the original's name.
constexpr uint32_t kResultNotRepairable = 6;
constexpr uint32_t kResultAborted = 99;

constexpr uint32_t kMaxSegments = 9999;

// A finished job and a job whose checksum failed end with the end-of-job
// notice; an aborted one does not (its own notices said why).
inline bool endsWithNotice(uint32_t jobResult) {
  return jobResult == kResultFinished || jobResult == kResultCrcFailed;
}

// The codes of the options. Each value is what the settings file stores and
// the index of the entry in the window's list: neither may change.
enum class RebuildMethod : uint32_t {
  kTrep = 0,     // "Trep": segments with headers, rebuilt by the program
  kBatFile = 1,  // "BAT file": headerless segments and UnTrep.bat
};
enum class DestinationMode : uint32_t {
  kFolder = 0,          // the folder field as it stands
  kMultiRemovable = 1,  // removable media one after the other (never stored: see chooseDestination)
  kNamedFolder = 2,     // a folder named after the file inside the field's folder
  kSameAsSource = 3,    // the source's own folder
};
enum class MemoryOption : uint32_t {
  kMaximum = 0,   // the work buffer as large as the segment wants
  kPhysical = 1,  // at most the total physical memory
  kHalf = 2,      // at most half of it
};
enum class SizeMode : uint32_t {
  kFast = 0,    // a preset medium or the slider
  kNumber = 1,  // a count of segments
  kSize = 2,    // a size of the user's own
};

// A code's stored value, for the settings file and the lists.
template <typename Code>
constexpr uint32_t codeValue(Code code) {
  return static_cast<uint32_t>(code);
}

// The user's options, kept in the settings file; also their live copy. Only
// the main thread writes them, and only while no job runs (jobState below
// 10); the worker reads useCrc, useDescription, rebuildMethod and
// memoryOption.
struct PersistedSettings {
  uint32_t wizardAtStart = 0;
  RebuildMethod rebuildMethod = RebuildMethod::kTrep;
  DestinationMode destinationMode = DestinationMode::kFolder;
  uint32_t useCrc = 0;           // non-zero: compute at split, verify at join
  uint32_t useDescription = 0;   // low 16 bits go into the full header
  uint32_t alwaysOnTop = 0;
  MemoryOption memoryOption = MemoryOption::kMaximum;
  SizeMode sizeMode = SizeMode::kFast;
  uint32_t wizardRunning = 0;
  uint32_t sliderMax = 0;
  // Recovery files a split of the window writes (0: none), 0..9999. Stored
  // in the reserved bytes of the options block, where a 0 keeps the file's
  // bytes as they always were.
  uint32_t recoveryFiles = 0;
};

// Who writes what. The main thread (the window, the wizard, start-up) owns
// the record while jobState is below 10: source analysis, the size and
// destination rules and readOptions fill it then. The start command sets
// jobState to 10 and only then starts the worker, which owns every field
// but jobState and jobResult until it returns; the main thread meanwhile
// reads jobState and jobResult only, and writes jobResult 99 (with
// stopRequested) when the user quits; trep's signal thread does the same. The fields the worker writes besides its working values:
//   segmentCount, segmentSize  the count adjustment at a split's start
//   fileCrc, fileAttributes, the three times
//                              a split, read from its source for the header
//   originalName, baseName     a split (from sourcePath); a join (the name
//                              cut to fit the folder, and its four-character base)
//   sourcePath                 a join: the rebuilt file from then on
//   cipherKey                  prepareKey makes it the key's bytes, at least 32
// The window reads them again once the worker has returned.
struct JobSettings {
  // Written by one side at a time (start command 10; engine 11, 100..199,
  // 200 and the result; monitor 0), read by the other without a lock.
  std::atomic<uint32_t> jobState{kJobIdle};
  std::atomic<uint32_t> jobResult{kResultFinished};
  // Set, together with jobResult 99, by whoever ends a running job from
  // outside (the window's Quit, a signal to trep); the engine then stops
  // within a chunk and removes what it was writing. Stays set for a job
  // that had not yet taken jobResult; the window clears it before it
  // starts a worker.
  std::atomic<uint32_t> stopRequested{0};

  uint32_t isSplit = 0;
  uint32_t sourceValid = 0;
  uint32_t quiet = 0;
  uint32_t encrypt = 0;
  uint32_t multiRemovable = 0;
  uint32_t rawSeries = 0;

  PathText sourcePath;
  // Left by the analysis, so that a source it did not take can be explained
  // without opening it again: the result of opening (and measuring) the
  // file a split would read or segment 0001 of a join; for a split that
  // opened, its size in bytes.
  Status sourceStatus;
  uint64_t sourceBytes = 0;
  PathText outputFolder;   // no trailing separator
  PathText segmentFolder;  // join: folder, separator and base name
  FixedText<8> segmentExtension;  // join: ".trp" spelt as the chosen segment spells it
  PathText description;
  PathText originalName;   // file name without folder
  PathText cipherKey;
  BaseNameText baseName;   // four characters

  uint32_t segmentCount = 0;  // 1..9999 for a job
  uint32_t segmentSize = 0;   // split: payload bytes per segment; join: size of segment 0001
  uint64_t firstSegmentBytes = 0;  // join: the whole size of segment 0001, beyond 32 bits too
  uint64_t fileSize = 0;      // bytes of the original file
  uint32_t fileCrc = 0;
  uint32_t fileAttributes = 0;  // 16 bits are stored in the header
  uint64_t creationTime = 0;    // Windows file-time values
  uint64_t lastAccessTime = 0;
  uint64_t lastWriteTime = 0;

  // Recovery files. A split writes recoveryCount of them after its segments
  // (0: none, and the split is exactly what it was without them). A join
  // that found recovery files beside its series reports how many segments
  // it read from what they rebuilt, and, when the damage was too much for
  // them, which segments were missing and damaged.
  // headerLost: the analysis found segment 0001 lost, and its header could
  // not be rebuilt from the recovery files; the join only reports why.
  uint32_t recoveryCount = 0;
  uint32_t segmentsRebuilt = 0;
  PathText recoveryReport;
  uint32_t headerLost = 0;
  // The analysis's reading of a join's recovery files: the join takes it
  // while the files are those it read (recovery::readRecoveryFiles).
  std::shared_ptr<const recovery::SetReading> recoveryFilesRead;
  // Recovery files found beside the series but not used (another series',
  // or claims nothing on disk backs): why, as the join said it.
  PathText recoveryNote;
  // A join without recovery files whose segments are not of the sizes the
  // header and the other segments say (two swapped, one cut or grown):
  // which, as the join said it; the rebuilt file is then damaged (result 1).
  PathText damageNote;
  // Files of an interrupted job found in the output folder: which, as the
  // job said it.
  PathText leftoverNote;

  // Payload bytes the copy loop has moved in this job, for a progress
  // display: written by the worker, read by whoever shows it. A chunk moved
  // again after "OK" counts again.
  std::atomic<uint64_t> bytesMoved{0};
  // The same for a phase that is not the copy (writing recovery files,
  // checking segments by them, rebuilding segments): bytes it has read and
  // will read in all; 0 of 0 where it cannot tell. Set before the phase's
  // title, so a display never pairs a title with another phase's figures.
  std::atomic<uint64_t> phaseBytesDone{0};
  std::atomic<uint64_t> phaseBytesTotal{0};

  // The engine's working values.
  uint32_t headerSize = 0;      // header bytes at the start of the current segment: 652, 8 or 0
  uint32_t currentSegment = 0;  // 1-based; 0 before the first
  uint32_t progressShare = 0;   // 100 / (count + 1)
  uint8_t* workBuffer = nullptr;  // workBufferSize + 64 bytes, zero-filled
  uint32_t workBufferSize = 0;    // bytes the copy loop moves at a time
};

}  // namespace trep

#endif  // TREP_ENGINE_JOB_H_
