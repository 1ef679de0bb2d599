#include <atomic>
#include <string>

#include "engine/copy_loop.h"
#include "engine/engine.h"
#include "engine/scramble.h"
#include "engine/work_buffer.h"

namespace trep {

JobOutcome runJob(JobContext& ctx) {
  JobSettings& job = ctx.job;
  uint32_t expected = kJobPrepared;
  if (!job.jobState.compare_exchange_strong(expected, kJobTaken)) return {};
  job.jobResult = kResultFinished;
  job.bytesMoved = 0;
  // A stop asked for before the job took its result still ends it. Read
  // after the store above: a stop that comes later sets jobResult itself.
  if (job.stopRequested) job.jobResult = kResultAborted;
  job.currentSegment = 0;

  if (job.isSplit) ctx.planning.adjustCountAtSplitStart(job);
  if (ctx.window) ctx.window->showSegmentCount(job.segmentCount);
  ctx.planning.writeSizeSummary(job);

  std::string folder = job.outputFolder.str();
  Status made = ctx.platform.createFolder(folder);
  if (!made && !job.multiRemovable && !ctx.platform.folderExists(folder)) {
    ctx.lastFailure = made;
    if (!job.quiet && raiseFailureNotice(ctx, kDirectoryError, kOk, kOpenReadMe, made) ==
                          kLowerButton)
      ctx.platform.openReadMe();
    return {true, kExitDirectoryError};
  }

  if (!allocateWorkBuffer(ctx)) return {true, kExitMemoryError};
  tellOfLeftTemporaries(ctx, folder);
  // The key is lengthened in place: the scrambling reads its first 32
  // characters from cipherKey.
  if (job.encrypt) prepareKey(job);

  PathEnd end = job.isSplit ? runSplit(ctx) : runJoin(ctx);
  // Intended: an abort at an overwrite question or an unreadable segment
  // returns here without releasing the buffer or ending the job state;
  // allocateWorkBuffer keeps a buffer it already holds, so the next job
  // reuses it, and the process's end frees it.
  if (end == PathEnd::kEarlyReturn) return {};

  releaseWorkBuffer(ctx);
  job.jobState = kJobEnded;
  return {};
}

uint32_t raiseFailureNotice(JobContext& ctx, std::string message, const char* first,
                            const char* second, const Status& failure, bool firstRetries) {
  NoticeParameters notice;
  notice.message = std::move(message);
  notice.firstButton = first;
  notice.secondButton = second;
  notice.kind = 10;
  notice.reason = failure.toString();
  notice.lastingFailure = firstRetries && failure.lasting();
  if (!failure.ok() && failure.sameAs(ctx.lastFailure)) ctx.lastFailureShown = true;
  return ctx.platform.raiseNotice(notice);
}

bool confirmOverwrite(JobContext& ctx, const std::string& path) {
  if (ctx.job.jobResult == kResultAborted) return false;  // stopped from outside
  if (!ctx.platform.nameTaken(path)) return true;
  if (raiseNotice(ctx.platform, kFileExists, kOverwriteIt, kAbortProcedure) == kLowerButton ||
      ctx.job.jobResult == kResultAborted) {
    ctx.job.jobResult = kResultAborted;
    return false;
  }
  return true;
}

namespace {

// The question itself, in quiet mode too; see askRetryOrAbort.
bool ask(JobContext& ctx, const char* message, const Status& failure) {
  JobSettings& job = ctx.job;
  if (job.jobResult == kResultAborted) return false;  // stopped from outside
  if (!failure.ok()) {
    ctx.lastFailure = failure;
    ctx.lastFailureShown = false;
    if (failure.sameAs(ctx.repeatedFailure)) {
      ++ctx.repeats;
    } else {
      ctx.repeatedFailure = failure;
      ctx.repeats = 0;
    }
    if (ctx.repeats >= (failure.lasting() ? kLastingRetries : kMendableRetries)) {
      ctx.gaveUp = true;
      job.jobResult = kResultAborted;
      return false;
    }
  }
  if (raiseFailureNotice(ctx, message, kOk, kAbortProcedure, failure, true) == kLowerButton ||
      job.jobResult == kResultAborted) {  // or stopped while the question was open
    job.jobResult = kResultAborted;
    return false;
  }
  return true;
}

}  // namespace

bool askRetryOrAbort(JobContext& ctx, const char* message, const Status& failure) {
  if (ctx.job.quiet) {
    if (!failure.ok()) ctx.lastFailure = failure;
    ctx.job.jobResult = kResultAborted;
    return false;
  }
  return ask(ctx, message, failure);
}

bool askAfterWriteError(JobContext& ctx, const Status& failure) {
  return ask(ctx, kWriteError, failure);
}

namespace {

// Bytes read and written at a time within a chunk: small enough to stay in
// the processor's cache from the read through the XOR to the write. On
// Windows each call costs more (under Wine a 1 GiB split took 0.85 s with
// 256 KiB pieces, 0.66 s with 2 MiB; natively 256 KiB stays the faster).
#ifdef _WIN32
constexpr uint32_t kPiece = 2 * 1024 * 1024;
#else
constexpr uint32_t kPiece = 256 * 1024;
#endif

// Scrambles the bytes of `piece` that lie below scramble->limit; `at` is the
// payload index of piece[0].
void scramblePiece(const PayloadScramble* scramble, uint64_t at, uint8_t* piece, uint32_t n) {
  if (scramble == nullptr || at >= scramble->limit) return;
  uint64_t inRange = scramble->limit - at;
  scrambleBytes(scramble->key, at, piece, static_cast<std::size_t>(inRange < n ? inRange : n));
}

// Bytes moved inside the system in one call: a chunk can be a whole
// segment, and a stop from outside is looked at between these.
constexpr uint32_t kDirectSlice = 64 * 1024 * 1024;

enum class Moved { kWhole, kFailed, kStopped };

// One chunk of n bytes, payload bytes `at` .. at + n - 1 of the segment,
// the source being at `sourceAt` (when known): moved whole, failed with the
// failed call's reason in *why (ok for a short read), or left part-way
// because the job was stopped from outside (`stop` turned 99). `tryDirect`
// is cleared once the files turn out not to allow a move inside the system.
//
// A source known to hold the whole chunk is moved inside the system, or else
// piece by piece through the start of the work buffer. Any other source is
// read whole first, so a chunk it cannot fill fails before anything of it is
// written, as it always did.
Moved moveChunk(File* source, File* destination, uint8_t* buffer, uint32_t n, uint64_t at,
                bool sourceKnown, uint64_t sourceAt, const PayloadScramble* scramble,
                CopyObserver* observer, bool* tryDirect, const std::atomic<uint32_t>& stop,
                std::atomic<uint64_t>& moved, Status* why) {
  *why = Status();
  if (source == nullptr || destination == nullptr) return Moved::kFailed;
  uint64_t size = 0;
  const bool full = sourceKnown && source->size(&size) && size >= sourceAt &&
                    size - sourceAt >= n;
  if (!full) {
    uint32_t got = 0, put = 0;
    *why = source->read(buffer, n, &got);
    if (!*why || got != n) return Moved::kFailed;
    scramblePiece(scramble, at, buffer, n);
    *why = destination->write(buffer, n, &put);
    if (!*why || put != n) return Moved::kFailed;
    if (observer != nullptr) observer->copied(at, buffer, n);
    moved += n;
    return Moved::kWhole;
  }
  uint32_t done = 0;
  const bool scrambled = scramble != nullptr && at < scramble->limit;
  while (!scrambled && *tryDirect && done < n) {
    if (stop == kResultAborted) return Moved::kStopped;
    uint32_t slice = n - done < kDirectSlice ? n - done : kDirectSlice;
    uint32_t movedNow = 0;
    switch (destination->moveFrom(*source, slice, &movedNow, why)) {
      case DirectMove::kMoved:
        if (movedNow != slice) return Moved::kFailed;
        done += slice;
        moved += slice;
        break;
      case DirectMove::kFailed: return Moved::kFailed;
      case DirectMove::kUnsupported: *tryDirect = false; break;
    }
  }
  while (done < n) {
    if (stop == kResultAborted) return Moved::kStopped;
    uint32_t piece = n - done < kPiece ? n - done : kPiece;
    uint32_t got = 0, put = 0;
    *why = source->read(buffer, piece, &got);
    if (!*why || got != piece) return Moved::kFailed;
    scramblePiece(scramble, at + done, buffer, piece);
    *why = destination->write(buffer, piece, &put);
    if (!*why || put != piece) return Moved::kFailed;
    if (observer != nullptr) observer->copied(at + done, buffer, piece);
    done += piece;
    moved += piece;
  }
  return Moved::kWhole;
}

// After a failed chunk, puts a file back at the chunk's start. A file that
// cannot be put back cannot have the chunk again: its failure, which ends
// the job rather than skip or repeat bytes.
Status rewind(File* file, bool known, uint64_t at) {
  if (file == nullptr || !known) return Status();
  return file->seek(at);
}

// "OK" after a failed chunk: both files back at its start, or the job ends
// (99) with the reason.
bool rewound(JobContext& ctx, File* source, bool sourceKnown, uint64_t sourceAt,
             File* destination, bool destinationKnown, uint64_t destinationAt) {
  Status back = rewind(source, sourceKnown, sourceAt);
  if (back) back = rewind(destination, destinationKnown, destinationAt);
  if (back) return true;
  ctx.lastFailure = back;
  ctx.job.jobResult = kResultAborted;
  return false;
}

}  // namespace

void copyChunks(JobContext& ctx, File* source, File* destination, uint64_t total,
                uint32_t base, const PayloadScramble* scramble, CopyObserver* observer) {
  JobSettings& job = ctx.job;
  uint64_t chunkSize = job.workBufferSize;
  uint64_t remaining = total;
  bool tryDirect = observer == nullptr;
  while (remaining != 0) {
    uint64_t done = total - remaining;
    uint64_t percent = done * 100 / total;
    uint64_t p = job.progressShare * percent / 100 + base;
    if (p >= 100) p = 99;
    job.jobState = kJobRunning + static_cast<uint32_t>(p);

    if (remaining < chunkSize) chunkSize = remaining;
    uint64_t sourceAt = 0, destinationAt = 0;
    bool sourceKnown = source != nullptr && source->tell(&sourceAt);
    bool destinationKnown = destination != nullptr && destination->tell(&destinationAt);
    Status why;
    Moved moved = moveChunk(source, destination, job.workBuffer, static_cast<uint32_t>(chunkSize),
                            done, sourceKnown, sourceAt, scramble, observer, &tryDirect,
                            job.jobResult, job.bytesMoved, &why);
    if (moved == Moved::kStopped) return;
    if (moved == Moved::kFailed) {
      if (!askAfterWriteError(ctx, why)) return;
      // "OK": the same chunk again, so no data is silently skipped.
      if (!rewound(ctx, source, sourceKnown, sourceAt, destination, destinationKnown,
                   destinationAt))
        return;
      continue;
    }
    remaining -= chunkSize;
    if (job.jobResult == kResultAborted) return;
  }
}

bool writeOrAsk(JobContext& ctx, File* file, const void* data, uint32_t n) {
  for (;;) {
    uint64_t at = 0;
    bool known = file != nullptr && file->tell(&at);
    uint32_t put = 0;
    Status written;
    if (file != nullptr) {
      written = file->write(data, n, &put);
      if (written && put == n) return true;
    }
    if (!askAfterWriteError(ctx, written)) return false;
    if (!rewound(ctx, nullptr, false, 0, file, known, at)) return false;
  }
}

}  // namespace trep
