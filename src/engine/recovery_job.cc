#include "engine/recovery_job.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/naming.h"
#include "engine/recovery/block_io.h"
#include "engine/recovery/recovery_set.h"
#include "engine/recovery/recovery_writer.h"
#include "engine/scramble.h"
#include "engine/segment_format.h"
#include "platform/folder_listing.h"

namespace trep {

using recovery::RecoveryWriter;

namespace {

inline constexpr char kWritingRecovery[] = "Writing recovery files";
inline constexpr char kRemoveThem[] = "Remove them";

}  // namespace

// ---------------------------------------------------------------- split ---

struct SplitRecovery::State {
  explicit State(JobContext& c) : ctx(c) {}

  JobContext& ctx;
  // Handles of the source of their own (the copy loop's moves on as it
  // reads), one per reader at once: the recovery data is read on two
  // threads, and a handle's seek and read belong together.
  std::mutex sourceMutex;
  std::vector<std::unique_ptr<File>> idleSources;
  std::unique_ptr<RecoveryWriter> writer;
  bool headers = false;          // segment 0001 opens with the full header, the others with the magic
  FullHeader fullHeader{};
  uint64_t segmentSize = 0;      // payload of a full segment
  uint64_t fileSize = 0;
  uint32_t count = 0;
  std::string key;               // "Encrypt": the prepared key; empty: none
  std::vector<uint64_t> payloadFed;
  std::vector<bool> headerFed;
  bool broken = false;           // the copy loop's bytes came out of order

  const uint8_t* headerOf(uint32_t i) const {
    return i == 0 ? fullHeader.data() : reinterpret_cast<const uint8_t*>(kMagic);
  }
  uint32_t headerSizeOf(uint32_t i) const {
    return !headers ? 0 : i == 0 ? kFullHeaderSize : kShortHeaderSize;
  }
  uint64_t payloadOf(uint32_t i) const {
    const uint64_t start = i * segmentSize;
    return std::min(segmentSize, fileSize - start);
  }

  std::unique_ptr<File> takeSource(Status* why = nullptr) {
    std::lock_guard<std::mutex> lock(sourceMutex);
    if (!idleSources.empty()) {
      std::unique_ptr<File> f = std::move(idleSources.back());
      idleSources.pop_back();
      return f;
    }
    return ctx.platform.openFile(ctx.job.sourcePath.str(), FileAccess::kRead, FileShare::kRead,
                                 FileCreate::kOpenExisting, kAttributeNormal, why);
  }
  void giveBack(std::unique_ptr<File> f) {
    if (!f) return;
    std::lock_guard<std::mutex> lock(sourceMutex);
    idleSources.push_back(std::move(f));
  }

  // The bytes of segment i (0-based) as the split writes them: header, then
  // the source's payload, scrambled for "Encrypt" as the copy loop does it.
  std::size_t read(uint32_t i, uint64_t offset, uint8_t* out, std::size_t n) {
    const uint32_t h = headerSizeOf(i);
    std::size_t done = 0;
    if (offset < h) {
      done = static_cast<std::size_t>(std::min<uint64_t>(n, h - offset));
      std::memcpy(out, headerOf(i) + offset, done);
    }
    if (done == n) return done;
    const uint64_t payloadAt = offset + done - h;
    const std::size_t want =
        static_cast<std::size_t>(std::min<uint64_t>(n - done, payloadOf(i) - payloadAt));
    std::unique_ptr<File> source = takeSource();
    const std::size_t got =
        source ? recovery::readAt(*source, i * segmentSize + payloadAt, out + done, want) : 0;
    giveBack(std::move(source));
    // Payload bytes 0 .. P - 2 of every segment are scrambled (see scramble.h).
    const uint64_t limit = segmentSize - 1;
    if (!key.empty() && payloadAt < limit)
      scrambleBytes(key.c_str(), payloadAt, out + done,
                    static_cast<std::size_t>(std::min<uint64_t>(got, limit - payloadAt)));
    return done + got;
  }
};

SplitRecovery::SplitRecovery(std::unique_ptr<State> s) : s_(std::move(s)) {}
SplitRecovery::~SplitRecovery() {
  // The writer's threads read through State::read: they end before the
  // state they read goes.
  if (s_) s_->writer.reset();
}

void SplitRecovery::copied(uint64_t at, const uint8_t* data, uint32_t n) {
  State& s = *s_;
  const uint32_t i = s.ctx.job.currentSegment - 1;
  if (i >= s.count) {
    s.broken = true;
    return;
  }
  if (!s.headerFed[i]) {
    s.writer->feed(i, s.headerOf(i), s.headerSizeOf(i));
    s.headerFed[i] = true;
  }
  // A chunk moved again after "OK" comes again: only what is new counts.
  uint64_t& fed = s.payloadFed[i];
  if (at > fed) {
    s.broken = true;
    return;
  }
  if (at + n <= fed) return;
  const uint64_t skip = fed - at;
  s.writer->feed(i, data + skip, static_cast<std::size_t>(n - skip));
  fed += n - skip;
}

namespace {

// Recovery files of an earlier series of the same base name in the split's
// folder describe segments this split replaces: left there, a join would
// take them for this series' and "mend" it back into the old one. They go
// when the user agrees (the split's own are written at its end). False,
// with jobResult 99, when the user would rather stop.
bool removeEarlierRecoveryFiles(JobContext& ctx) {
  JobSettings& job = ctx.job;
  const std::string folder = job.outputFolder.str();
  std::vector<std::string> found;
  for (const std::string& name : listFolder(folder))
    if (recovery::isRecoveryFileName(name, job.baseName.str())) found.push_back(name);
  if (found.empty()) return true;
  std::sort(found.begin(), found.end());
  std::string names;
  for (std::size_t i = 0; i < found.size() && i < 4; ++i) names += (i == 0 ? "" : ", ") + found[i];
  if (found.size() > 4) names += " and " + std::to_string(found.size() - 4) + " more";
  if (raiseNotice(ctx.platform,
                  "Recovery files of an earlier series lie in the folder (" + names +
                      "). They do not fit the new segments and would mislead a rebuild.",
                  kRemoveThem, kAbortProcedure) == kLowerButton) {
    job.jobResult = kResultAborted;
    return false;
  }
  for (const std::string& name : found) ctx.platform.deleteFile(folder + kPathSeparator + name);
  return true;
}

}  // namespace

std::unique_ptr<SplitRecovery> startSplitRecovery(JobContext& ctx) {
  JobSettings& job = ctx.job;
  if (!removeEarlierRecoveryFiles(ctx)) return nullptr;
  if (job.recoveryCount == 0 || job.segmentSize == 0) return nullptr;
  auto s = std::make_unique<SplitRecovery::State>(ctx);
  s->headers = ctx.options.rebuildMethod == RebuildMethod::kTrep;
  s->segmentSize = job.segmentSize;
  s->fileSize = job.fileSize;
  s->count = static_cast<uint32_t>((job.fileSize + job.segmentSize - 1) / job.segmentSize);
  if (s->headers) s->fullHeader = encodeFullHeader(job, job.segmentCount, ctx.options.useDescription);
  if (job.encrypt) s->key = job.cipherKey.str();
  s->payloadFed.assign(s->count, 0);
  s->headerFed.assign(s->count, false);

  Status why;
  auto refuse = [&](const std::string& problem) -> std::unique_ptr<SplitRecovery> {
    if (!why.ok()) ctx.lastFailure = why;
    if (raiseFailureNotice(ctx, "The recovery files cannot be made. " + problem, kOk, kOpenReadMe,
                           why) == kLowerButton)
      ctx.platform.openReadMe();
    job.jobResult = kResultAborted;
    return nullptr;
  };
  std::unique_ptr<File> source = s->takeSource(&why);
  if (!source) return refuse("The file \"" + job.sourcePath.str() + "\" cannot be read.");
  s->giveBack(std::move(source));

  // The set's order comes from every segment's first 16 KiB, read here
  // from the source; the writer holds them to the bytes the copy loop gives.
  std::vector<recovery::InputFile> files(s->count);
  std::vector<uint8_t> first(recovery::kFirstBytesHashed);
  for (uint32_t i = 0; i < s->count; ++i) {
    recovery::InputFile& f = files[i];
    f.name = job.baseName.str() + zeroPadded(i + 1, 4) + ".trp";
    f.length = s->headerSizeOf(i) + s->payloadOf(i);
    const std::size_t want =
        static_cast<std::size_t>(std::min<uint64_t>(f.length, recovery::kFirstBytesHashed));
    if (s->read(i, 0, first.data(), want) != want)
      return refuse("The file \"" + job.sourcePath.str() + "\" cannot be read.");
    f.firstHash = recovery::firstBytesHash(first.data(), want);
  }
  s->writer = std::make_unique<RecoveryWriter>(ctx.platform, job.outputFolder.str(),
                                               job.baseName.str(), std::move(files),
                                               job.recoveryCount, 0, ctx.recoveryMemory);
  // The source is there to read now: the recovery data is computed from it
  // beside the copy loop, which feeds what it writes to be held to it. Onto
  // removable media the volumes wait for the last medium, and are computed
  // then.
  if (!job.multiRemovable) {
    SplitRecovery::State* state = s.get();
    s->writer->setReader([state](uint32_t i, uint64_t offset, uint8_t* out, std::size_t n) {
      return state->read(i, offset, out, n);
    });
  }
  std::string problem;
  if (!s->writer->start(&problem, &why)) return refuse(problem);
  return std::unique_ptr<SplitRecovery>(new SplitRecovery(std::move(s)));
}

void writeRecoveryFiles(JobContext& ctx, SplitRecovery* recovery) {
  JobSettings& job = ctx.job;
  if (recovery == nullptr || job.jobResult == kResultAborted) return;
  SplitRecovery::State& s = *recovery->s_;
  auto fail = [&](const std::string& problem, const Status& why = Status()) {
    if (raiseFailureNotice(ctx, "The recovery files could not be written. " + problem, kOk,
                           kOpenReadMe, why) == kLowerButton)
      ctx.platform.openReadMe();
    job.jobResult = kResultAborted;
  };
  for (uint32_t i = 0; i < s.count; ++i)
    if (s.payloadFed[i] != s.payloadOf(i)) s.broken = true;
  if (s.broken) return fail("The segments were not written in order.");

  if (job.multiRemovable && !askRetryOrAbort(ctx, kMediaReady)) return;
  for (const std::string& name : s.writer->fileNames())
    if (!confirmOverwrite(ctx, job.outputFolder.str() + kPathSeparator + name)) return;
  // The computation began beside the copy: the phase shows what is left.
  const RecoveryWriter::Progress before = s.writer->progress();
  job.phaseBytesDone = before.done;
  job.phaseBytesTotal = before.total;
  if (ctx.window) ctx.window->setTitle(kWritingRecovery);
  // Onto removable media the recovery data is computed now, from the
  // source: the segments are gone with their media.
  if (job.multiRemovable)
    s.writer->setReader([&s](uint32_t i, uint64_t offset, uint8_t* out, std::size_t n) {
      return s.read(i, offset, out, n);
    });
  std::string problem;
  Status why;
  RecoveryWriter& writer = *s.writer;
  const auto keepGoing = [&job, &writer] {
    job.phaseBytesDone = writer.progress().done;
    return job.jobResult != kResultAborted;
  };
  if (!writer.finish(&problem, keepGoing, &why)) {
    if (problem.empty()) return;  // aborted: nothing left behind
    fail(problem, why);
  }
}

}  // namespace trep
