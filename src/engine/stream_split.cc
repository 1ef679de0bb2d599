// The split of a stream (trep's standard input): its length is known only
// when it ends. Segments are written as the bytes come; segment 0001 keeps
// its temporary name until the end, when its full header (count, size,
// checksum) is written and it takes its name. Recovery files, which need
// the whole series, are made afterwards from the segments on disk.
#include <algorithm>
#include <memory>
#include <string>

#include "engine/checksum.h"
#include "engine/copy_loop.h"
#include "engine/naming.h"
#include "engine/recovery_job.h"
#include "engine/segment_format.h"
#include "platform/platform_wrapper.h"

namespace trep {
namespace {

// The payloads of a series just written, read as the one file they were
// cut from: what the recovery writer and the checksum read back.
class SeriesPayload : public File {
 public:
  // `first`: segment 0001 already open (before it has its name), or null:
  // it is opened by its name.
  SeriesPayload(Platform& platform, std::string prefix, File* first, uint64_t payload,
                uint64_t total)
      : platform_(platform), prefix_(std::move(prefix)), first_(first), payload_(payload),
        total_(total) {}
  Status read(void* buffer, uint32_t n, uint32_t* done) override {
    *done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (*done < n && position_ < total_) {
      const uint32_t segment = static_cast<uint32_t>(position_ / payload_) + 1;
      const uint64_t within = position_ % payload_;
      File* file = nullptr;
      if (segment == 1 && first_ != nullptr) {
        file = first_;
      } else {
        if (segment != openSegment_) {
          Status why;
          file_ = platform_.openFile(segmentPath(prefix_, segment), FileAccess::kRead,
                                     FileShare::kRead, FileCreate::kOpenExisting,
                                     kAttributeNormal, &why);
          if (!file_) return why;
          openSegment_ = segment;
        }
        file = file_.get();
      }
      Status sought = file->seek((segment == 1 ? kFullHeaderSize : kShortHeaderSize) + within);
      if (!sought) return sought;
      const uint64_t left = std::min<uint64_t>(payload_ - within, total_ - position_);
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(n - *done, left));
      uint32_t got = 0;
      Status read = file->read(out + *done, want, &got);
      if (!read) return read;
      if (got == 0) break;  // a segment shorter than written: the caller sees fewer bytes
      *done += got;
      position_ += got;
    }
    return Status();
  }
  Status write(const void*, uint32_t, uint32_t* done) override {
    *done = 0;
    return Status::failure(prefix_, "Not writable", 0, true);
  }
  Status seek(uint64_t offset) override {
    position_ = offset;
    return Status();
  }
  Status tell(uint64_t* offset) override {
    *offset = position_;
    return Status();
  }
  Status size(uint64_t* bytes) override {
    *bytes = total_;
    return Status();
  }
  Status getTimes(FileTimes*) override { return Status(); }
  Status setTimes(const FileTimes&) override { return Status(); }

 private:
  Platform& platform_;
  std::string prefix_;
  File* first_;
  uint64_t payload_;
  uint64_t total_;
  uint64_t position_ = 0;
  uint32_t openSegment_ = 0;
  std::unique_ptr<File> file_;
};

// The platform the recovery writer sees: the split's source path opens
// the series' payloads.
class PayloadPlatform : public PlatformWrapper {
 public:
  PayloadPlatform(Platform& target, std::string source, std::function<std::unique_ptr<File>()> open)
      : PlatformWrapper(&target), source_(std::move(source)), open_(std::move(open)) {}
  std::unique_ptr<File> openFile(const std::string& path, FileAccess access, FileShare share,
                                 FileCreate create, uint32_t attributes,
                                 Status* why) override {
    if (path == source_ && access == FileAccess::kRead) return open_();
    return PlatformWrapper::openFile(path, access, share, create, attributes, why);
  }

 private:
  std::string source_;
  std::function<std::unique_ptr<File>()> open_;
};

// Up to n bytes from the stream; fewer only where it ends. False when a
// read failed (the reason is then in *why).
bool readUpTo(File* input, uint8_t* buffer, uint32_t n, uint32_t* got, Status* why) {
  *got = 0;
  while (*got < n) {
    uint32_t now = 0;
    *why = input->read(buffer + *got, n - *got, &now);
    if (!*why) return false;
    if (now == 0) break;
    *got += now;
  }
  return true;
}

// Recovery files for the series just written, from its segments on disk.
void writeStreamRecovery(JobContext& ctx, const std::string& prefix) {
  JobSettings& job = ctx.job;
  const uint64_t payload = job.segmentSize;
  const uint32_t count = job.segmentCount;
  const uint64_t total = job.fileSize;
  auto open = [&ctx, prefix, payload, total]() -> std::unique_ptr<File> {
    return std::make_unique<SeriesPayload>(ctx.platform, prefix, nullptr, payload, total);
  };
  PayloadPlatform platform(ctx.platform, job.sourcePath.str(), open);
  JobContext rctx{job, ctx.options, platform, ctx.planning, ctx.window};
  rctx.recoveryMemory = ctx.recoveryMemory;
  std::unique_ptr<SplitRecovery> recovery = startSplitRecovery(rctx);
  if (job.jobResult == kResultAborted || !recovery) return;
  std::unique_ptr<File> series = open();
  for (uint32_t n = 1; n <= count && job.jobResult != kResultAborted; ++n) {
    job.currentSegment = n;
    if (ctx.window) ctx.window->setTitle("Recovery data of segment " + std::to_string(n));
    const uint64_t length = std::min<uint64_t>(payload, total - payload * (n - 1));
    series->seek(payload * (n - 1));
    for (uint64_t at = 0; at < length;) {
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(job.workBufferSize, length - at));
      uint32_t got = 0;
      Status why = series->read(job.workBuffer, want, &got);
      if (!why || got != want) {
        ctx.lastFailure = why;
        if (raiseFailureNotice(ctx, "The segment " + segmentPath(prefix, n) +
                                        " cannot be read back for the recovery files.",
                               kOk, kOpenReadMe, why) == kLowerButton)
          ctx.platform.openReadMe();
        job.jobResult = kResultAborted;
        return;
      }
      recovery->copied(at, job.workBuffer, got);
      at += got;
    }
  }
  writeRecoveryFiles(rctx, recovery.get());
}

}  // namespace

PathEnd runStreamSplit(JobContext& ctx) {
  JobSettings& job = ctx.job;
  File* input = ctx.streamInput;
  job.baseName = splitBaseName(job.originalName.view());
  job.fileAttributes = kAttributeNormal;
  const std::string prefix = job.outputFolder.str() + kPathSeparator + job.baseName.str();
  const uint64_t payload = job.segmentSize;
  // Bytes taken from the stream at a time: a pipe gives little per read, and
  // a piece that stays in the processor's cache is written fastest.
  constexpr uint64_t kStreamPiece = 1u << 20;
  const uint32_t piece = static_cast<uint32_t>(
      std::min<uint64_t>(std::min<uint64_t>(job.workBufferSize, kStreamPiece), payload));
  CrcStream crc;
  std::unique_ptr<OutputFile> first;
  uint64_t total = 0;
  uint32_t n = 0;
  uint32_t completed = 0;  // segments 2 .. completed have their names
  bool ended = false;
  job.progressShare = 0;
  while (!ended && job.jobResult != kResultAborted) {
    uint32_t got = 0;
    Status why;
    if (!readUpTo(input, job.workBuffer, piece, &got, &why)) {
      ctx.lastFailure = why;
      job.jobResult = kResultAborted;
      break;
    }
    if (got == 0) break;  // the stream ended on a segment's edge
    ++n;
    job.currentSegment = n;
    if (ctx.window) ctx.window->setTitle("Trepping File " + std::to_string(n));
    if (n > kMaxSegments) {
      if (raiseNotice(ctx.platform,
                      "The input is longer than 9999 segments of this size hold: choose "
                      "larger segments.",
                      kOk, kOpenReadMe) == kLowerButton)
        ctx.platform.openReadMe();
      job.jobResult = kResultAborted;
      break;
    }
    const std::string path = segmentPath(prefix, n);
    if (!confirmOverwrite(ctx, path)) break;
    auto segment = std::make_unique<OutputFile>(ctx, path);
    if (!segment->create()) break;
    // Segment 0001's header is written again at the end, when it is known.
    FullHeader blank{};
    if (n == 1 ? !writeOrAsk(ctx, segment->file(), blank.data(), kFullHeaderSize)
               : !writeOrAsk(ctx, segment->file(), kMagic, kShortHeaderSize))
      break;
    uint64_t inSegment = 0;
    for (;;) {
      if (!writeOrAsk(ctx, segment->file(), job.workBuffer, got)) break;
      crc.add(job.workBuffer, got);
      inSegment += got;
      total += got;
      job.bytesMoved += got;
      if (job.jobResult == kResultAborted) break;
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(piece, payload - inSegment));
      if (want == 0) break;  // the segment is full
      if (!readUpTo(input, job.workBuffer, want, &got, &why)) {
        ctx.lastFailure = why;
        job.jobResult = kResultAborted;
        break;
      }
      if (got < want) ended = true;
      if (got == 0) break;
    }
    if (job.jobResult == kResultAborted) break;
    if (n == 1)
      first = std::move(segment);
    else if (!segment->complete(nullptr, kAttributeNormal))
      break;
    else
      completed = n;
  }
  if (job.jobResult == kResultAborted || n == 0) {
    // Without segment 0001's header the segments written are of no use to
    // anyone: they go too (0001 goes with its temporary name).
    for (uint32_t k = 2; k <= completed; ++k) ctx.platform.deleteFile(segmentPath(prefix, k));
    job.segmentCount = 0;
    job.fileSize = 0;
    return PathEnd::kEnded;
  }

  job.segmentCount = n;
  job.fileSize = total;
  job.fileCrc = 0;
  if (ctx.options.useCrc) {
    // 4 GiB and more: the chunk that counts last is read back from the
    // segments, 0001 through its own handle (nothing else may open it).
    uint32_t value = 0;
    Status why;
    auto readBack = [&](uint64_t at, uint8_t* out, uint32_t count) {
      if (!first->reopenForReading(&why)) return false;
      SeriesPayload series(ctx.platform, prefix, first->file(), payload, total);
      uint32_t got = 0;
      series.seek(at);
      why = series.read(out, count, &got);
      return why.ok() && got == count;
    };
    if (!crc.value(&value, readBack)) {
      // Not silently a series without a checksum: the split fails.
      ctx.lastFailure = why;
      if (raiseFailureNotice(ctx, "The checksum cannot be completed: the written data cannot be "
                                  "read back.", kOk, kOpenReadMe, why) == kLowerButton)
        ctx.platform.openReadMe();
      job.jobResult = kResultAborted;
      for (uint32_t k = 2; k <= completed; ++k) ctx.platform.deleteFile(segmentPath(prefix, k));
      return PathEnd::kEnded;
    }
    job.fileCrc = value;
  }
  FullHeader header = encodeFullHeader(job, n, ctx.options.useDescription);
  first->file()->seek(0);
  if (!writeOrAsk(ctx, first->file(), header.data(), kFullHeaderSize)) return PathEnd::kEnded;
  if (!first->complete(nullptr, kAttributeNormal)) return PathEnd::kEnded;
  first.reset();

  if (job.recoveryCount != 0) {
    if (job.recoveryCount > n) {
      tellInformation(ctx.platform, "The input made " + std::to_string(n) +
                                        (n == 1 ? " segment" : " segments") + ": " +
                                        std::to_string(n) + " recovery files are written instead of " +
                                        std::to_string(job.recoveryCount) + ".");
      job.recoveryCount = n;
    }
    writeStreamRecovery(ctx, prefix);
  }
  return PathEnd::kEnded;
}

}  // namespace trep
