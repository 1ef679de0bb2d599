// The join path of runJob: rebuilds the original file from its series.
#include <memory>
#include <string>

#include "engine/checksum.h"
#include "engine/copy_loop.h"
#include "engine/naming.h"
#include "engine/join_recovery.h"
#include "engine/segment_format.h"
#include "engine/series_survey.h"

namespace trep {
namespace {

// Attribute bits a rebuilt file may carry: read-only, hidden, system and
// archive. Anything else in a header (a folder bit, say) is not applied.
constexpr uint32_t kRestorableAttributes = 0x1 | 0x2 | 0x4 | 0x20;

// Segment n of the series being read, as its folder spells it.
std::string segmentOf(JobContext& ctx, uint32_t n) {
  return findSegmentPath(ctx.platform, ctx.job.segmentFolder.view(),
                         ctx.job.segmentExtension.view(), n);
}

// How many consecutive segments of a headerless series exist from 0001 on:
// the series ends at the first missing number.
uint32_t countHeaderless(JobContext& ctx) {
  if (uint32_t vouched = recoveredSegmentCount(ctx)) return vouched;
  return countHeaderlessSegments(ctx.platform, ctx.job.segmentFolder.view(),
                                 ctx.job.segmentExtension.view());
}

enum class Opened { kOpen, kSeriesEnded, kAborted };

// Opens segment n for reading; read access is enough, and segments on
// read-only media open too. A scrambled segment is unscrambled as it passes
// through the work buffer, so the file itself is only read. A segment that
// cannot be opened raises the read error question for a series with headers
// and for any scrambled series ("OK" tries again).
Opened openSegment(JobContext& ctx, const std::string& path, std::unique_ptr<File>* out) {
  JobSettings& job = ctx.job;
  Platform& platform = ctx.platform;
  if (job.rawSeries && platform.fileAttributes(path) == kInvalidAttributes)
    return Opened::kSeriesEnded;
  for (;;) {
    Status why;
    *out = platform.openFile(path, FileAccess::kRead, FileShare::kNone,
                             FileCreate::kOpenExisting, kAttributeNormal, &why);
    if (*out) return Opened::kOpen;
    ctx.lastFailure = why;
    if (job.encrypt) {
      if (!askRetryOrAbort(ctx, kReadError, why)) return Opened::kAborted;
      continue;
    }
    if (job.rawSeries || !askRetryOrAbort(ctx, kReadError, why)) {
      job.jobResult = kResultAborted;
      return Opened::kAborted;
    }
  }
}

// Step 1: how many segments the join reads, and the header of the first.
// A headerless series is counted from its files: it ends at the first
// missing number.
uint32_t prepareSeries(JobContext& ctx) {
  JobSettings& job = ctx.job;
  if (job.rawSeries) {
    job.headerSize = 0;
    return countHeaderless(ctx);
  }
  job.headerSize = kFullHeaderSize;
  return job.segmentCount;
}

// The payload of a full segment, for the scrambling range. segmentSize holds
// only the low 32 bits of a first segment of 4 GiB or more.
uint64_t fullPayloadOf(const JobSettings& job) {
  const uint64_t firstBytes =
      job.firstSegmentBytes != 0 ? job.firstSegmentBytes : job.segmentSize;
  return firstBytes > job.headerSize ? firstBytes - job.headerSize : 0;
}

// Step 2: the series' description, shown before anything is written.
void showDescription(JobContext& ctx) {
  const JobSettings& job = ctx.job;
  if (job.description.empty() || ctx.options.useDescription == 0 || job.quiet) return;
  if (raiseNotice(ctx.platform, job.description.str(), kOk, kOpenReadMe) == kLowerButton)
    ctx.platform.openReadMe();
}

// Step 3: the rebuilt file's path. A recorded name too long for a path on
// this system is cut before its extension, so the file can be made at all.
std::string rebuiltPathOf(JobSettings& job) {
  const std::size_t folder = systemLength(job.outputFolder.view()) + 1;
  if (folder + 1 < kLongestPath)
    job.originalName = cutBeforeExtension(job.originalName.view(), kLongestPath - folder);
  return job.outputFolder.str() + kPathSeparator + job.originalName.str();
}

// A join never replaces a file it reads: true (and jobResult 99, with a
// notice) when the rebuilt file would be one of the series' segments.
bool wouldReplaceOwnSegment(JobContext& ctx, const std::string& rebuilt, uint32_t segments) {
  Platform& platform = ctx.platform;
  if (platform.fileAttributes(rebuilt) == kInvalidAttributes) return false;
  for (uint32_t n = 1; n <= segments; ++n) {
    if (!platform.sameFile(rebuilt, segmentOf(ctx, n))) continue;
    if (raiseNotice(platform,
                    "The rebuilt file \"" + rebuilt +
                        "\" would replace a segment of its own series. Choose another "
                        "output folder.",
                    kOk, kOpenReadMe) == kLowerButton)
      platform.openReadMe();
    ctx.job.jobResult = kResultAborted;
    return true;
  }
  return false;
}

// Step 7: the payload of every segment appended to `output`, in order.
// kEarlyReturn when a segment could not be read and the user (or quiet
// mode) gave up.
PathEnd appendSegments(JobContext& ctx, File* output, uint32_t segments) {
  JobSettings& job = ctx.job;
  const uint64_t fullPayload = fullPayloadOf(job);
  job.progressShare = 100 / (segments + 1);
  job.currentSegment = 0;
  const uint32_t progressCount = segments == 0 ? 1 : segments;
  while (job.currentSegment < segments && job.jobResult != kResultAborted) {
    ++job.currentSegment;
    std::string path = joinSegmentPath(ctx, job.currentSegment);
    if (path.empty()) return PathEnd::kEnded;  // beyond repair (jobResult 6), or aborted
    if (ctx.window)
      ctx.window->setTitle("UnTrepping " + job.baseName.str() +
                           zeroPadded(job.currentSegment, 4) + ".trp");
    std::unique_ptr<File> segment;
    Opened opened = openSegment(ctx, path, &segment);
    if (opened == Opened::kSeriesEnded) break;  // a headerless series ends normally
    if (opened == Opened::kAborted) return PathEnd::kEarlyReturn;

    // A segment that cannot be measured or sought in is not joined as
    // empty: the read error, as for one that cannot be opened.
    uint64_t size = 0;
    Status measured = segment->size(&size);
    if (measured && size > job.headerSize) measured = segment->seek(job.headerSize);
    if (!measured) {
      ctx.lastFailure = measured.withPath(path);
      segment.reset();
      if (!askRetryOrAbort(ctx, kReadError, ctx.lastFailure)) {
        job.jobResult = kResultAborted;
        return PathEnd::kEarlyReturn;
      }
      --job.currentSegment;  // "OK": this segment again
      continue;
    }
    uint64_t length = size > job.headerSize ? size - job.headerSize : 0;
    uint32_t base = static_cast<uint32_t>(
        static_cast<uint64_t>(job.currentSegment - 1) * 100 / progressCount);
    // Payload bytes 0 .. P - 2 of every segment were scrambled, P being the
    // payload of a full segment; the same XOR restores them.
    PayloadScramble scramble;
    if (job.encrypt) {
      scramble.key = job.cipherKey.c_str();
      scramble.limit = fullPayload == 0 ? 0 : fullPayload - 1;
    }
    copyChunks(ctx, segment.get(), output, length, base, job.encrypt ? &scramble : nullptr);
    segment.reset();
    if (!job.rawSeries) job.headerSize = kShortHeaderSize;
  }
  return PathEnd::kEnded;
}

// Step 8: the header's times and attributes on the rebuilt file, which then
// gets its name. A rebuilt file of another size than its header recorded is
// damaged (a segment cut short, a header cut short), whether or not a
// checksum was asked for: jobResult 1, never reported as finished; it still
// gets its name, for the user to look at. False when the job was aborted
// (nothing then has the name, and an older file of that name stays).
bool completeRebuiltFile(JobContext& ctx, OutputFile& output) {
  JobSettings& job = ctx.job;
  uint64_t rebuiltSize = 0;
  bool sized = output.file()->size(&rebuiltSize).ok();
  FileTimes times;
  times.creation = job.creationTime;
  times.lastAccess = job.lastAccessTime;
  times.lastWrite = job.lastWriteTime;
  // A headerless series records no times and no attributes.
  uint32_t attributes = job.rawSeries ? kAttributeNormal
                                      : (job.fileAttributes & kRestorableAttributes);
  if (!output.complete(job.rawSeries ? nullptr : &times,
                       attributes == 0 ? kAttributeNormal : attributes))
    return false;
  if (!job.rawSeries && (!sized || rebuiltSize != job.fileSize))
    job.jobResult = kResultCrcFailed;
  return true;
}

// Step 9: the checksum of the rebuilt file against the header's. A
// checksum of 0 in the header means the split computed none.
void verifyChecksum(JobContext& ctx, const std::string& rebuilt) {
  JobSettings& job = ctx.job;
  if (!ctx.options.useCrc || job.jobResult != kResultFinished || job.fileCrc == 0) return;
  if (ctx.window) ctx.window->setTitle(kCheckingCrc);
  job.bytesMoved = 0;  // from here the checksum's
  if (computeFileCrc(ctx.platform, rebuilt, &job.bytesMoved) != job.fileCrc)
    job.jobResult = kResultCrcFailed;
}

}  // namespace

PathEnd runJoin(JobContext& ctx) {
  JobSettings& job = ctx.job;
  JoinRecovery recovery(ctx);  // what it rebuilds goes with it, on every way out
  if (!recovery.start()) return PathEnd::kEnded;
  const uint32_t segments = prepareSeries(ctx);
  showDescription(ctx);

  if (job.jobResult == kResultAborted) return PathEnd::kEnded;  // stopped meanwhile
  const std::string rebuilt = rebuiltPathOf(job);
  // The join's contract: from here sourcePath names the rebuilt file and
  // baseName is its first four characters (the title shows it).
  job.sourcePath = rebuilt;
  job.baseName = firstCharacters(job.originalName.view(), 4);

  // Segments of other sizes than the series says, or a set that may be
  // this series' and records other bytes, with nothing to mend them: the
  // bytes go as they are, and the join ends 1 (never 0), saying why.
  auto judgeSizes = [&] {
    if (recovery.doubt().empty() || job.jobResult != kResultFinished) return;
    job.damageNote = recovery.doubt();
    job.jobResult = kResultCrcFailed;
  };
  if (ctx.streamOutput != nullptr) {
    const PathEnd end = appendSegments(ctx, ctx.streamOutput, segments);
    judgeSizes();
    return end;
  }
  if (wouldReplaceOwnSegment(ctx, rebuilt, segments)) return PathEnd::kEnded;
  if (!confirmOverwrite(ctx, rebuilt)) return PathEnd::kEarlyReturn;
  // Written under a temporary name; an abort anywhere below removes it and
  // leaves a file of the recorded name as it was.
  OutputFile output(ctx, rebuilt);
  if (!output.create()) return PathEnd::kEnded;

  if (appendSegments(ctx, output.file(), segments) == PathEnd::kEarlyReturn)
    return PathEnd::kEarlyReturn;
  // Aborted, or beyond repair: the temporary file goes (output's end), and
  // nothing is made under the original's name.
  if (job.jobResult == kResultAborted || job.jobResult == kResultNotRepairable)
    return PathEnd::kEnded;
  if (!completeRebuiltFile(ctx, output)) return PathEnd::kEnded;
  verifyChecksum(ctx, rebuilt);
  judgeSizes();
  return PathEnd::kEnded;
}

}  // namespace trep
