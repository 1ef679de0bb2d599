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
// of a series with headers, already made with its header written. A
// segment gets its name once its payload is complete; one left part-way (an
// abort, a stop from outside) is removed.
void copySplitSegment(JobContext& ctx, SplitState& s, uint64_t length,
                      std::unique_ptr<OutputFile> open) {
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

  std::unique_ptr<OutputFile> segment = std::move(open);
  if (!segment) {
    std::string path = segmentPath(s.prefix, job.currentSegment);
    if (!confirmOverwrite(ctx, path)) return;
    segment = std::make_unique<OutputFile>(ctx, path);
    if (!segment->create()) return;
    if (ctx.options.rebuildMethod == RebuildMethod::kTrep &&
        !writeOrAsk(ctx, segment->file(), kMagic, kShortHeaderSize))
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
  copyChunks(ctx, s.source, segment->file(), length, base, job.encrypt ? &scramble : nullptr,
             s.recovery);
  if (job.jobResult != kResultAborted) segment->complete(nullptr, kAttributeNormal);
}

// Segments numbered on from the series just written that an earlier series
// of the same base name left in the folder: a rebuild of headerless
// segments reads every consecutive number and would append them. Told, not
// removed: they are the user's files.
void tellOfLeftovers(JobContext& ctx, const SplitState& s) {
  const JobSettings& job = ctx.job;
  Platform& platform = ctx.platform;
  const uint32_t written = job.currentSegment;
  uint32_t last = written;
  while (last < kMaxSegments &&
         platform.fileAttributes(segmentPath(s.prefix, last + 1)) != kInvalidAttributes)
    ++last;
  if (last == written) return;
  auto name = [&](uint32_t n) {
    return "\"" + job.baseName.str() + zeroPadded(n, 4) + ".trp\"";
  };
  std::string which = last == written + 1
                          ? "Segment " + name(last) + " of an earlier series is"
                          : "Segments " + name(written + 1) + " to " + name(last) +
                                " of an earlier series are";
  tellInformation(platform, which + " still in the output folder. A rebuild of this series' "
                                     "headerless segments by Trep would append them: remove them "
                                     "first. (UnTrep.bat leaves them out.)");
}

}  // namespace

PathEnd runSplit(JobContext& ctx) {
  if (ctx.streamInput != nullptr) return runStreamSplit(ctx);
  JobSettings& job = ctx.job;
  PersistedSettings& options = ctx.options;
  Platform& platform = ctx.platform;
  const std::string sourcePath = job.sourcePath.str();

  if (options.useCrc) {
    if (ctx.window) ctx.window->setTitle(kCheckingCrc);
    job.fileCrc = computeFileCrc(platform, sourcePath, &job.bytesMoved);
    job.bytesMoved = 0;  // from here the copy's
    if (ctx.window) ctx.window->showCrc(job.fileCrc);
  } else {
    job.fileCrc = 0;
  }
  if (job.jobResult == kResultAborted) return PathEnd::kEnded;  // stopped meanwhile

  uint32_t attributes = platform.fileAttributes(sourcePath);
  job.fileAttributes = attributes == kInvalidAttributes ? kAttributeNormal : attributes;

  std::unique_ptr<File> source =
      platform.openFile(sourcePath, FileAccess::kRead, FileShare::kRead,
                        FileCreate::kOpenExisting, kAttributeNormal, &ctx.lastFailure);
  if (!source) {
    // Gone (or locked) since it was chosen: say so before any segment is made,
    // rather than a write error on every chunk.
    if (raiseFailureNotice(ctx, "The file \"" + sourcePath + "\" can no longer be read.", kOk,
                           kOpenReadMe, ctx.lastFailure) == kLowerButton)
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

  std::unique_ptr<OutputFile> first;
  if (options.rebuildMethod == RebuildMethod::kBatFile) {
    // Before any segment; an abort here still ends the job normally.
    if (!writeRebuildBatch(ctx, count)) return PathEnd::kEnded;
    job.headerSize = 0;
  } else {
    job.headerSize = kFullHeaderSize;
    std::string path = segmentPath(s.prefix, 1);
    if (!confirmOverwrite(ctx, path)) return PathEnd::kEarlyReturn;
    first = std::make_unique<OutputFile>(ctx, path);
    if (!first->create()) return PathEnd::kEnded;
    FileTimes times;
    source->getTimes(&times);
    job.creationTime = times.creation;
    job.lastAccessTime = times.lastAccess;
    job.lastWriteTime = times.lastWrite;
    FullHeader header = encodeFullHeader(job, count, options.useDescription);
    writeOrAsk(ctx, first->file(), header.data(), kFullHeaderSize);
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
  if (options.rebuildMethod == RebuildMethod::kBatFile && job.jobResult == kResultFinished &&
      !job.quiet)
    tellOfLeftovers(ctx, s);
  return PathEnd::kEnded;
}

}  // namespace trep
