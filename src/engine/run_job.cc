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
  job.currentSegment = 0;

  if (job.isSplit) ctx.planning.adjustCountAtSplitStart(job);
  if (ctx.window) ctx.window->showSegmentCount(job.segmentCount);
  ctx.planning.writeSizeSummary(job);

  std::string folder = job.outputFolder.str();
  Status made = ctx.platform.createFolder(folder);
  if (!made && !job.multiRemovable && !ctx.platform.folderExists(folder)) {
    ctx.lastFailure = made;
    if (!job.quiet &&
        raiseNotice(ctx.platform, kDirectoryError, kOk, kOpenReadMe) == kLowerButton)
      ctx.platform.openReadMe();
    return {true, kExitDirectoryError};
  }

  if (!allocateWorkBuffer(ctx)) return {true, kExitMemoryError};
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

bool confirmOverwrite(JobContext& ctx, const std::string& path) {
  bool exists = ctx.platform.openFile(path, FileAccess::kRead, FileShare::kNone,
                                      FileCreate::kOpenExisting) != nullptr;
  if (!exists) return true;
  if (raiseNotice(ctx.platform, kFileExists, kOverwriteIt, kAbortProcedure) ==
      kLowerButton) {
    ctx.job.jobResult = kResultAborted;
    return false;
  }
  return true;
}

bool askRetryOrAbort(JobContext& ctx, const char* message) {
  if (ctx.job.quiet) {
    ctx.job.jobResult = kResultAborted;
    return false;
  }
  if (raiseNotice(ctx.platform, message, kOk, kAbortProcedure) == kLowerButton) {
    ctx.job.jobResult = kResultAborted;
    return false;
  }
  return true;
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

// One chunk of n bytes, payload bytes `at` .. at + n - 1 of the segment,
// the source being at `sourceAt` (when known): moved whole, or false with
// the failed call's reason in *why (ok for a short read). `tryDirect` is
// cleared once the files turn out not to allow a move inside the system.
//
// A source known to hold the whole chunk is moved inside the system, or else
// piece by piece through the start of the work buffer. Any other source is
// read whole first, so a chunk it cannot fill fails before anything of it is
// written, as it always did.
bool moveChunk(File* source, File* destination, uint8_t* buffer, uint32_t n, uint64_t at,
               bool sourceKnown, uint64_t sourceAt, const PayloadScramble* scramble,
               CopyObserver* observer, bool* tryDirect, Status* why) {
  *why = Status();
  if (source == nullptr || destination == nullptr) return false;
  uint64_t size = 0;
  const bool full = sourceKnown && source->size(&size) && size >= sourceAt &&
                    size - sourceAt >= n;
  if (!full) {
    uint32_t got = 0, put = 0;
    *why = source->read(buffer, n, &got);
    if (!*why || got != n) return false;
    scramblePiece(scramble, at, buffer, n);
    *why = destination->write(buffer, n, &put);
    if (!*why || put != n) return false;
    if (observer != nullptr) observer->copied(at, buffer, n);
    return true;
  }
  const bool scrambled = scramble != nullptr && at < scramble->limit;
  if (!scrambled && *tryDirect) {
    uint32_t moved = 0;
    switch (destination->moveFrom(*source, n, &moved, why)) {
      case DirectMove::kMoved: return moved == n;
      case DirectMove::kFailed: return false;
      case DirectMove::kUnsupported: *tryDirect = false; break;
    }
  }
  for (uint32_t done = 0; done < n;) {
    uint32_t piece = n - done < kPiece ? n - done : kPiece;
    uint32_t got = 0, put = 0;
    *why = source->read(buffer, piece, &got);
    if (!*why || got != piece) return false;
    scramblePiece(scramble, at + done, buffer, piece);
    *why = destination->write(buffer, piece, &put);
    if (!*why || put != piece) return false;
    if (observer != nullptr) observer->copied(at + done, buffer, piece);
    done += piece;
  }
  return true;
}

// After a failed chunk, puts both files back at the chunk's start.
void rewind(File* file, bool known, uint64_t at) {
  if (file != nullptr && known) file->seek(at);
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
    if (!moveChunk(source, destination, job.workBuffer, static_cast<uint32_t>(chunkSize), done,
                   sourceKnown, sourceAt, scramble, observer, &tryDirect, &why)) {
      ctx.lastFailure = why;
      if (raiseNotice(ctx.platform, kWriteError, kOk, kAbortProcedure) == kLowerButton) {
        job.jobResult = kResultAborted;
        return;
      }
      // "OK": the same chunk again, so no data is silently skipped.
      rewind(source, sourceKnown, sourceAt);
      rewind(destination, destinationKnown, destinationAt);
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
    if (file != nullptr) {
      Status written = file->write(data, n, &put);
      if (written && put == n) return true;
      ctx.lastFailure = written;
    }
    if (raiseNotice(ctx.platform, kWriteError, kOk, kAbortProcedure) == kLowerButton) {
      ctx.job.jobResult = kResultAborted;
      return false;
    }
    rewind(file, known, at);
  }
}

std::unique_ptr<File> createOrAsk(JobContext& ctx, const std::string& path, FileAccess access,
                                  uint32_t attributes) {
  for (;;) {
    std::unique_ptr<File> file = ctx.platform.openFile(
        path, access, FileShare::kNone, FileCreate::kCreateAlways, attributes, &ctx.lastFailure);
    if (file) return file;
    if (raiseNotice(ctx.platform, kWriteError, kOk, kAbortProcedure) == kLowerButton) {
      ctx.job.jobResult = kResultAborted;
      return nullptr;
    }
  }
}

}  // namespace trep
