// The split path of runJob: cuts the source into numbered segment files.
#include <memory>
#include <string>

#include "engine/checksum.h"
#include "engine/copy_loop.h"
#include "engine/naming.h"
#include "engine/rebuild_batch.h"
#include "engine/recovery_job.h"
#include "engine/segment_format.h"

namespace trep {
namespace {

struct SplitState {
  std::string prefix;  // output folder, separator, base name
  File* source = nullptr;
  CopyObserver* recovery = nullptr;  // sees every payload byte as written
};

// One segment: its questions, its file, its payload. `open` is segment 0001
// of a series with headers, already created with its header written.
void copySplitSegment(JobContext& ctx, SplitState& s, uint64_t length,
                      std::unique_ptr<File> open) {
  JobSettings& job = ctx.job;
  ++job.currentSegment;
  if (ctx.window)
    ctx.window->setTitle("Trepping File " + std::to_string(job.currentSegment));
  if (job.multiRemovable && job.currentSegment != 1) askRetryOrAbort(ctx, kMediaReady);
  if (job.currentSegment > kMaxSegments) {
    // The four-digit number has no room for segment 10000. Intended as the
    // last guard: the count adjustment keeps a split at 9999 segments, so
    // only a size the planning did not foresee gets here, and it gets the
    // plain system box with the program's name, as it always has.
    ctx.platform.showMessageBox(kProgramTitle, kProgramFile);
    job.jobResult = kResultAborted;
  }
  if (job.jobResult == kResultAborted) return;

  uint32_t count = job.segmentCount == 0 ? 1 : job.segmentCount;
  uint32_t base = static_cast<uint32_t>(
      static_cast<uint64_t>(job.currentSegment - 1) * 100 / count);

  std::unique_ptr<File> segment = std::move(open);
  if (!segment) {
    std::string path = segmentPath(s.prefix, job.currentSegment);
    if (!confirmOverwrite(ctx, path)) return;
    segment = createOrAsk(ctx, path, FileAccess::kReadWrite);
    if (!segment) return;
    if (ctx.options.rebuildMethod == RebuildMethod::kTrep &&
        !writeOrAsk(ctx, segment.get(), kMagic, kShortHeaderSize))
      return;
  }

  // "Encrypt" scrambles the payload in the work buffer on its way to the
  // segment: bytes 0 .. P - 2 of each segment's payload, P = segmentSize.
  // P - 1, not P: stored series rely on the last payload byte of every full
  // segment staying clear. A chunk written before an abort is scrambled too.
  PayloadScramble scramble;
  if (job.encrypt) {
    scramble.key = job.cipherKey.c_str();
    scramble.limit = job.segmentSize == 0 ? 0 : job.segmentSize - 1u;
  }
  copyChunks(ctx, s.source, segment.get(), length, base, job.encrypt ? &scramble : nullptr,
             s.recovery);
}

}  // namespace

PathEnd runSplit(JobContext& ctx) {
  JobSettings& job = ctx.job;
  PersistedSettings& options = ctx.options;
  Platform& platform = ctx.platform;
  const std::string sourcePath = job.sourcePath.str();

  if (options.useCrc) {
    if (ctx.window) ctx.window->setTitle(kCheckingCrc);
    job.fileCrc = computeFileCrc(platform, sourcePath);
    if (ctx.window) ctx.window->showCrc(job.fileCrc);
  } else {
    job.fileCrc = 0;
  }

  uint32_t attributes = platform.fileAttributes(sourcePath);
  job.fileAttributes = attributes == kInvalidAttributes ? kAttributeNormal : attributes;

  std::unique_ptr<File> source =
      platform.openFile(sourcePath, FileAccess::kRead, FileShare::kRead,
                        FileCreate::kOpenExisting, kAttributeNormal, &ctx.lastFailure);
  if (!source) {
    // Gone (or locked) since it was chosen: say so before any segment is made,
    // rather than a write error on every chunk.
    if (raiseNotice(platform, "The file \"" + sourcePath + "\" can no longer be read.", kOk,
                    kOpenReadMe) == kLowerButton)
      platform.openReadMe();
    job.jobResult = kResultAborted;
    return PathEnd::kEnded;
  }

  // The header records the name; the segments are named after its base.
  job.originalName = originalNameOf(sourcePath);
  job.baseName = splitBaseName(job.originalName.view());

  SplitState s;
  s.prefix = job.outputFolder.str() + kPathSeparator + job.baseName.str();
  s.source = source.get();
  const uint32_t count = job.segmentCount;

  std::unique_ptr<File> first;
  if (options.rebuildMethod == RebuildMethod::kBatFile) {
    // Before any segment; an abort here still ends the job normally.
    if (!writeRebuildBatch(ctx, count)) return PathEnd::kEnded;
    job.headerSize = 0;
  } else {
    job.headerSize = kFullHeaderSize;
    std::string path = segmentPath(s.prefix, 1);
    if (!confirmOverwrite(ctx, path)) return PathEnd::kEarlyReturn;
    first = createOrAsk(ctx, path, FileAccess::kReadWrite);
    if (!first) return PathEnd::kEnded;
    FileTimes times;
    source->getTimes(&times);
    job.creationTime = times.creation;
    job.lastAccessTime = times.lastAccess;
    job.lastWriteTime = times.lastWrite;
    FullHeader header = encodeFullHeader(job, count, options.useDescription);
    writeOrAsk(ctx, first.get(), header.data(), kFullHeaderSize);
  }

  job.progressShare = 100 / (count + 1);
  std::unique_ptr<SplitRecovery> recovery = startSplitRecovery(ctx);
  if (job.jobResult == kResultAborted) return PathEnd::kEnded;
  s.recovery = recovery.get();

  uint64_t remaining = job.fileSize;
  for (;;) {
    uint64_t length;
    if (remaining > job.segmentSize) {
      length = job.segmentSize;
      remaining -= job.segmentSize;
    } else {
      length = remaining;
      remaining = 0;
    }
    if (length == 0) break;
    copySplitSegment(ctx, s, length, std::move(first));
    if (options.rebuildMethod == RebuildMethod::kTrep) job.headerSize = kShortHeaderSize;
    if (job.jobResult == kResultAborted) break;
  }
  writeRecoveryFiles(ctx, recovery.get());
  return PathEnd::kEnded;
}

}  // namespace trep
