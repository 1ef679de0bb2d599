#include "engine/recovery_job.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/naming.h"
#include "engine/recovery/block_io.h"
#include "engine/recovery/recovery_set.h"
#include "engine/recovery/recovery_writer.h"
#include "engine/recovery/repair.h"
#include "engine/scramble.h"
#include "engine/segment_format.h"
#include "platform/folder_listing.h"

namespace trep {

using recovery::RecoverySet;
using recovery::RecoveryWriter;
using recovery::RepairOutcome;
using recovery::RepairReport;
using recovery::SetFile;

namespace {

inline constexpr char kWritingRecovery[] = "Writing recovery files";
inline constexpr char kCheckingSegments[] = "Checking segments";
inline constexpr char kRebuildingSegments[] = "Rebuilding segments from recovery files";
inline constexpr char kRemoveThem[] = "Remove them";

// A series' prefix (folder, separator, base name) as the folder to list and
// the base name.
void splitPrefix(const std::string& prefix, std::string* folder, std::string* base) {
  const std::size_t cut = prefix.rfind(kPathSeparator);
  if (cut == std::string::npos) {
    *folder = ".";
    *base = prefix;
  } else {
    *folder = cut == 0 ? prefix.substr(0, 1) : prefix.substr(0, cut);
    *base = prefix.substr(cut + 1);
  }
}

std::string countOf(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string endNoticeText(const JobSettings& job) {
  std::string text = endNoticeText(job.jobResult.load());
  // Only a join that made its file tells what was rebuilt for it.
  if (job.segmentsRebuilt != 0 && job.jobResult != kResultAborted &&
      job.jobResult != kResultNotRepairable)
    text += " \xE2\x80\x94 " + countOf(job.segmentsRebuilt, "segment", "segments") +
            " rebuilt from recovery files";
  return text;
}

// ---------------------------------------------------------------- split ---

struct SplitRecovery::State {
  explicit State(JobContext& c) : ctx(c) {}

  JobContext& ctx;
  std::unique_ptr<File> source;  // a handle of its own: the copy loop's moves on as it reads
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
    const std::size_t got =
        recovery::readAt(*source, i * segmentSize + payloadAt, out + done, want);
    // Payload bytes 0 .. P - 2 of every segment are scrambled (see scramble.h).
    const uint64_t limit = segmentSize - 1;
    if (!key.empty() && payloadAt < limit)
      scrambleBytes(key.c_str(), payloadAt, out + done,
                    static_cast<std::size_t>(std::min<uint64_t>(got, limit - payloadAt)));
    return done + got;
  }
};

SplitRecovery::SplitRecovery(std::unique_ptr<State> s) : s_(std::move(s)) {}
SplitRecovery::~SplitRecovery() = default;

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

  auto refuse = [&](const std::string& problem) -> std::unique_ptr<SplitRecovery> {
    if (raiseNotice(ctx.platform, "The recovery files cannot be made. " + problem, kOk,
                    kOpenReadMe) == kLowerButton)
      ctx.platform.openReadMe();
    job.jobResult = kResultAborted;
    return nullptr;
  };
  s->source = ctx.platform.openFile(job.sourcePath.str(), FileAccess::kRead, FileShare::kRead,
                                    FileCreate::kOpenExisting, kAttributeNormal, &ctx.lastFailure);
  if (!s->source) return refuse("The file \"" + job.sourcePath.str() + "\" cannot be read.");

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
  std::string problem;
  if (!s->writer->start(&problem)) return refuse(problem);
  return std::unique_ptr<SplitRecovery>(new SplitRecovery(std::move(s)));
}

void writeRecoveryFiles(JobContext& ctx, SplitRecovery* recovery) {
  JobSettings& job = ctx.job;
  if (recovery == nullptr || job.jobResult == kResultAborted) return;
  SplitRecovery::State& s = *recovery->s_;
  auto fail = [&](const std::string& problem) {
    if (raiseNotice(ctx.platform, "The recovery files could not be written. " + problem, kOk,
                    kOpenReadMe) == kLowerButton)
      ctx.platform.openReadMe();
    job.jobResult = kResultAborted;
  };
  for (uint32_t i = 0; i < s.count; ++i)
    if (s.payloadFed[i] != s.payloadOf(i)) s.broken = true;
  if (s.broken) return fail("The segments were not written in order.");

  if (job.multiRemovable && !askRetryOrAbort(ctx, kMediaReady)) return;
  for (const std::string& name : s.writer->fileNames())
    if (!confirmOverwrite(ctx, job.outputFolder.str() + kPathSeparator + name)) return;
  if (ctx.window) ctx.window->setTitle(kWritingRecovery);
  // Later passes read the bytes again from the source: on removable media
  // the segments may be gone by now.
  s.writer->setReader([&s](uint32_t i, uint64_t offset, uint8_t* out, std::size_t n) {
    return s.read(i, offset, out, n);
  });
  std::string problem;
  if (!s.writer->finish(&problem, [&job] { return job.jobResult != kResultAborted; })) {
    if (problem.empty()) return;  // aborted: nothing left behind
    fail(problem);
  }
}

// ----------------------------------------------------------------- join ---

namespace {

// Segment numbers as the notices list them: "0001, 0005", at most a dozen.
std::string numbersText(const std::vector<uint32_t>& numbers) {
  constexpr std::size_t kShown = 12;
  const std::size_t shown = std::min(numbers.size(), kShown);
  std::string text;
  for (std::size_t i = 0; i < shown; ++i) {
    const bool last = i + 1 == shown && numbers.size() <= kShown;
    text += (i == 0 ? "" : last ? " and " : ", ") + zeroPadded(numbers[i], 4);
  }
  if (numbers.size() > kShown) text += " and " + std::to_string(numbers.size() - kShown) + " more";
  return text;
}

std::string damageText(const std::vector<uint32_t>& numbers, const char* state) {
  return (numbers.size() == 1 ? "segment " : "segments ") + numbersText(numbers) +
         (numbers.size() == 1 ? " is " : " are ") + state;
}

// What the notice says when the series cannot be mended.
std::string notRepairableText(const RecoverySet& set, const RepairReport& report) {
  std::string what;
  if (!report.missing.empty()) what = damageText(report.missing, "missing");
  if (!report.damaged.empty())
    what += (what.empty() ? "" : " and ") + damageText(report.damaged, "damaged");
  // Every refusal says something: a repair can also end on what the set
  // itself claims, with no segment named.
  std::string text =
      what.empty() ? "The series cannot be rebuilt." : "The series cannot be rebuilt: " + what + ".";
  if (report.outcome == RepairOutcome::kFailed || !report.problem.empty())
    return text + " " + (report.problem.empty() ? "The recovery files do not fit it." : report.problem);
  const std::size_t bad = report.missing.size() + report.damaged.size();
  const bool sliceASegment = set.inputSlices == set.files.size();
  if (sliceASegment && report.slicesNeeded == bad)
    return text + " The recovery files can rebuild only " + std::to_string(report.slicesAvailable) +
           " of these " + std::to_string(bad) + ".";
  return text + " The recovery files hold " + std::to_string(report.slicesAvailable) + " of the " +
         std::to_string(report.slicesNeeded) + " recovery slices needed.";
}

constexpr std::size_t kCheckPiece = 1 << 20;

}  // namespace

// ------------------------------------------------------------ evidence ---
//
// When a recovery set describes this series. A set is a claim about files
// of certain names; a set left beside a series by an earlier split under
// the same names would "mend" the series back into that other file, and a
// crafted one could claim anything. So a set is used only when every one
// of these holds (judgeSet applies them, in this order):
//
//  1. Names. The files it describes that bear this series' segment names
//     are 0001 .. N, each once and without a gap.
//  2. Sizes. Every size it claims is backed by bytes on disk: its slice
//     size by its recovery slices (each that long, inside its file), or in
//     a set that holds none, by the longest segment beside it; every file's
//     length by its slices (checked as the set is read).
//  3. The header. For a series with headers whose segment 0001 header was
//     read from the disk: that header counts N segments and records the
//     file size the set's segments carry (their lengths less 652 bytes for
//     0001 and 8 for every other). And when 0001 is not what the set
//     records (its length and the MD5 of its first 16 KiB), the header the
//     set records for it, rebuilt from the set, names the same file with
//     the same size, count, checksum, times and attributes: a later split
//     of the same name differs there, damage past the header does not.
//     Only a header whose count or size bytes alone are damaged passes
//     with another count or size: one whose name and times are those of
//     the header the set records (then the set's header is taken).
//  4. The content. Without a header read from the disk (a headerless
//     series, or 0001 lost or unreadable): at least one segment on disk is
//     what the set records, length and first 16 KiB.
//
// A set that passes is this series': every segment it describes is then
// checked by it, even when the damage hides every segment's first bytes.
// One that fails is said ("describe another series; not used") and the
// join goes on as it would without it.

namespace {

// The file sizes a series with headers of n segments carries in segments
// of these lengths; false when a length is shorter than its header.
bool payloadOf(const RecoverySet& set, uint32_t n, uint64_t* total) {
  *total = 0;
  for (const SetFile& f : set.files) {
    if (f.segment == 0) continue;
    const uint64_t header = f.segment == 1 ? kFullHeaderSize : kShortHeaderSize;
    if (f.description.length < header) return false;
    *total += f.description.length - header;
  }
  return n != 0;
}

// N when the set's segments are 0001 .. N, each once; 0 otherwise.
uint32_t namedSegments(const RecoverySet& set) {
  std::vector<bool> named(kMaxSegments + 1, false);
  uint32_t count = 0, last = 0;
  for (const SetFile& f : set.files) {
    if (f.segment == 0) continue;
    if (f.segment > kMaxSegments || named[f.segment]) return 0;
    named[f.segment] = true;
    ++count;
    last = std::max(last, f.segment);
  }
  return count == last ? count : 0;
}

// Whether segment f is on disk as the set records it: its length and the
// MD5 of its first 16 KiB.
bool segmentAsRecorded(Platform& platform, const std::string& prefix, const SetFile& f) {
  std::unique_ptr<File> file =
      platform.openFile(findSegmentPath(platform, prefix, {}, f.segment), FileAccess::kRead,
                        FileShare::kRead, FileCreate::kOpenExisting);
  uint64_t size = 0;
  if (!file || !file->size(&size) || size != f.description.length) return false;
  std::vector<uint8_t> first(recovery::kFirstBytesHashed);
  const std::size_t got = recovery::readAt(*file, 0, first.data(), first.size());
  return recovery::firstBytesHash(first.data(), got) == f.description.firstHash;
}

// Two headers of one split: the fields a later split of the same name
// (or of other data) changes.
bool sameSplit(const JobSettings& a, const JobSettings& b) {
  return a.segmentCount == b.segmentCount && a.fileSize == b.fileSize &&
         a.fileCrc == b.fileCrc && a.originalName.str() == b.originalName.str() &&
         a.creationTime == b.creationTime && a.lastAccessTime == b.lastAccessTime &&
         a.lastWriteTime == b.lastWriteTime && a.fileAttributes == b.fileAttributes;
}

}  // namespace

SetVerdict judgeSet(Platform& platform, const RecoverySet& set, const std::string& prefix,
                    const JobSettings* header, std::vector<uint8_t>* firstBytes,
                    std::string* why) {
  std::string folder, base;
  splitPrefix(prefix, &folder, &base);
  if (firstBytes != nullptr) firstBytes->clear();
  // 1. Names.
  const uint32_t n = namedSegments(set);
  if (n == 0) {
    *why = "they name no unbroken row of its segments";
    return SetVerdict::kOtherSeries;
  }
  // 2. Sizes: a set without recovery slices backs its slice size by nothing
  // but the segments (a slice is never longer than the longest file, to a
  // multiple of 4).
  if (set.recovery.empty()) {
    uint64_t longest = 0;
    for (const SetFile& f : set.files) {
      if (f.segment == 0) continue;
      std::unique_ptr<File> file =
          platform.openFile(findSegmentPath(platform, prefix, {}, f.segment), FileAccess::kRead,
                            FileShare::kRead, FileCreate::kOpenExisting);
      uint64_t size = 0;
      if (file && file->size(&size)) longest = std::max(longest, size);
    }
    if (set.sliceSize > (longest + 3) / 4 * 4) {
      *why = "they claim slices of " + std::to_string(set.sliceSize) +
             " bytes, longer than any of its segments";
      return SetVerdict::kUnbacked;
    }
  }
  std::size_t first = set.files.size();
  for (std::size_t i = 0; i < set.files.size(); ++i)
    if (set.files[i].segment == 1) first = i;

  // 3. The header read from the disk.
  if (header != nullptr) {
    // The header the set records for 0001, when it must be compared.
    std::vector<uint8_t> rebuilt;
    JobSettings recorded;
    auto setHeader = [&]() {
      std::string problem;
      if (!rebuilt.empty()) return true;
      if (!recovery::rebuildFirstBytes(platform, set, folder, base, first, &rebuilt, &problem) ||
          rebuilt.size() < kFullHeaderSize ||
          std::memcmp(rebuilt.data(), kMagic, kMagicSize) != 0) {
        rebuilt.clear();
        return false;
      }
      uint32_t useDescription = 0;
      decodeFullHeader(rebuilt.data(), rebuilt.size(), &recorded, &useDescription);
      return true;
    };
    uint64_t payload = 0;
    const bool countAgrees = header->segmentCount == n;
    const bool sizeAgrees = payloadOf(set, n, &payload) && payload == header->fileSize;
    if (!countAgrees || !sizeAgrees) {
      // Damage to 0001's count or size bytes, which leaves the header
      // readable, is told from another split by the rest of it: the same
      // name and times as the header the set records. The caller then takes
      // the set's header.
      if (setHeader() && recorded.originalName.str() == header->originalName.str() &&
          recorded.creationTime == header->creationTime &&
          recorded.lastWriteTime == header->lastWriteTime) {
        if (firstBytes != nullptr) *firstBytes = std::move(rebuilt);
        return SetVerdict::kThisSeries;
      }
      *why = !countAgrees ? "they describe " + countOf(n, "segment", "segments") +
                                ", its header " + std::to_string(header->segmentCount)
                          : "they describe " + std::to_string(payload) + " bytes, its header " +
                                std::to_string(header->fileSize);
      return SetVerdict::kOtherSeries;
    }
    if (segmentAsRecorded(platform, prefix, set.files[first])) return SetVerdict::kThisSeries;
    if (setHeader()) {
      if (!sameSplit(recorded, *header)) {
        *why = "the header they record for its first segment is another split's";
        return SetVerdict::kOtherSeries;
      }
      if (firstBytes != nullptr) *firstBytes = std::move(rebuilt);
    }
    // The header agrees in count and sizes: every segment is checked by the
    // set, which then says what it cannot mend.
    return SetVerdict::kThisSeries;
  }

  // 4. The content.
  for (const SetFile& f : set.files)
    if (f.segment != 0 && segmentAsRecorded(platform, prefix, f)) return SetVerdict::kThisSeries;
  *why = "none of its segments is as they record it";
  return SetVerdict::kOtherSeries;
}

std::string notUsedText(const std::string& prefix, SetVerdict verdict, const std::string& why) {
  const std::string series = "\"" + prefix + "0001.trp\"";
  if (verdict == SetVerdict::kUnbacked)
    return "The recovery files beside " + series + " cannot be trusted: " + why + "; not used.";
  return "The recovery files beside " + series + " describe another series: " + why +
         "; not used.";
}

struct JoinRecovery::State {
  explicit State(JobContext& c) : ctx(c) {}

  JobContext& ctx;
  bool active = false;  // a recovery set of this series lies beside it
  RecoverySet set;
  std::string folder, base, prefix;
  std::map<uint32_t, std::size_t> fileOf;  // segment number -> set file
  uint32_t vouched = 0;
  bool repaired = false;  // the repair ran: every segment is known whole
  RepairReport report;

  // The check on a thread of its own: segments in order, each by the CRC-32
  // of its slices (see checkSegment).
  std::thread checker;
  std::mutex mutex;
  std::condition_variable changed;
  uint32_t checkedUpTo = 0;  // segments 1 .. checkedUpTo found whole
  uint32_t firstBad = 0;     // the first segment found otherwise; 0: none yet
  bool checkDone = false;
  std::atomic<bool> stop{false};

  // Segment n in the series' folder, as the folder spells it.
  std::string plainPath(uint32_t n) const {
    return findSegmentPath(ctx.platform, prefix, ctx.job.segmentExtension.view(), n);
  }

  // Whether segment n is what the set records: its length, and the CRC-32
  // of each slice (zero-padded as the set's are). The set's MD5s would take
  // four times the join's own time on one processor; a CRC-32 finds any
  // accident (every burst of 32 bits or less, else all but 1 in 2^32), and
  // any segment found so is then checked by its MD5 in the repair.
  bool checkSegment(const SetFile& f, std::vector<uint8_t>& buffer) {
    std::unique_ptr<File> file = ctx.platform.openFile(plainPath(f.segment), FileAccess::kRead,
                                                       FileShare::kRead, FileCreate::kOpenExisting);
    uint64_t size = 0;
    if (!file || !file->size(&size) || size != f.description.length) return false;
    const uint64_t S = set.sliceSize;
    file->seek(0);
    for (std::size_t j = 0; j < f.slices.size(); ++j) {
      const uint64_t length = std::min(S, size - j * S);
      uint32_t crc = 0;
      for (uint64_t done = 0; done < length;) {
        if (stop) return true;
        uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), length - done));
        uint32_t got = 0;
        if (!file->read(buffer.data(), want, &got) || got != want) return false;
        crc = crc32Update(crc, buffer.data(), got);
        done += got;
      }
      if (crc32Zeros(crc, S - length) != f.slices[j].crc) return false;
    }
    return true;
  }

  void runChecker() {
    std::vector<uint8_t> buffer(kCheckPiece);
    const uint32_t last = fileOf.empty() ? 0 : fileOf.rbegin()->first;
    for (uint32_t n = 1; n <= last && !stop; ++n) {
      auto it = fileOf.find(n);
      const bool whole = it == fileOf.end() || checkSegment(set.files[it->second], buffer);
      std::lock_guard<std::mutex> lock(mutex);
      if (!whole) {
        firstBad = n;
        break;
      }
      checkedUpTo = n;
      changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(mutex);
    checkDone = true;
    changed.notify_all();
  }

  void stopChecker() {
    stop = true;
    if (checker.joinable()) checker.join();
  }

  // Where rebuilt segments go: the output folder, unless that is the
  // series' own folder (which may be read-only media); then the system's
  // temporary folder.
  std::string workFolder() {
    Platform& platform = ctx.platform;
    const std::string output = ctx.job.outputFolder.str();
    if (!platform.sameFile(output, folder) && output != folder) return output;
    const std::string temporary = platform.temporaryName();
    if (temporary.empty()) return output;
    platform.deleteFile(temporary);
    const std::size_t cut = temporary.rfind(kPathSeparator);
    return cut == std::string::npos ? std::string(".") : temporary.substr(0, cut);
  }

  // Recovery files beside the series that it does not use: said, and the
  // join goes on. Quiet: kept for the program to print.
  void tellNotUsed(const std::string& text) {
    JobSettings& job = ctx.job;
    job.recoveryNote = text;
    if (!job.quiet) tellInformation(ctx.platform, text);
  }

  // Source analysis took no header: segment 0001 was lost beyond what its
  // first bytes could be rebuilt from. The repair found it mendable after
  // all (or the recovery files went): the header is still unknown.
  bool headerStillLost() {
    JobSettings& job = ctx.job;
    job.recoveryReport =
        "The series cannot be joined: its first segment is missing or damaged, and its header "
        "could not be rebuilt from the recovery files on its own. A PAR2 tool can repair the "
        "whole series (par2 repair " + base + ".par2); then join it again.";
    job.jobResult = kResultNotRepairable;
    if (!job.quiet &&
        raiseNotice(ctx.platform, job.recoveryReport.str(), kOk, kOpenReadMe) == kLowerButton)
      ctx.platform.openReadMe();
    return false;
  }

  // Checks every segment by its MD5 and rebuilds what is damaged. False
  // when the join cannot go on: jobResult 6 after a notice, or 99.
  bool repair() {
    stopChecker();
    JobSettings& job = ctx.job;
    if (ctx.window) ctx.window->setTitle(kRebuildingSegments);
    recovery::RepairOptions options;
    options.workFolder = workFolder();
    options.memoryLimit = ctx.recoveryMemory;
    options.keepGoing = [&job] { return job.jobResult != kResultAborted; };
    report = recovery::repairSeries(ctx.platform, set, folder, base, options);
    // No room for the rebuilt segments is a write failure, not lost data:
    // the write-error question, "OK" trying the repair again.
    while (report.outcome == RepairOutcome::kFailed && report.writeFailed) {
      const Status why = Status::failure(
          options.workFolder, "the rebuilt segments cannot be written there (disk full?)");
      if (!askAfterWriteError(ctx, why)) return false;
      report = recovery::repairSeries(ctx.platform, set, folder, base, options);
    }
    switch (report.outcome) {
      case RepairOutcome::kIntact:
      case RepairOutcome::kRepaired:
      case RepairOutcome::kRepairable:
        repaired = true;
        job.segmentsRebuilt = static_cast<uint32_t>(report.rebuilt.size());
        return true;
      case RepairOutcome::kStopped:
        job.jobResult = kResultAborted;
        return false;
      case RepairOutcome::kNotRepairable:
      case RepairOutcome::kFailed:
        break;
    }
    job.recoveryReport = notRepairableText(set, report);
    job.jobResult = kResultNotRepairable;
    if (!job.quiet &&
        raiseNotice(ctx.platform, job.recoveryReport.str(), kOk, kOpenReadMe) == kLowerButton)
      ctx.platform.openReadMe();
    return false;
  }
};

JoinRecovery::JoinRecovery(JobContext& ctx) : s_(new State(ctx)) { ctx.recovery = this; }

JoinRecovery::~JoinRecovery() {
  s_->stopChecker();
  recovery::removeRebuilt(s_->ctx.platform, &s_->report);
  s_->ctx.recovery = nullptr;
}

bool JoinRecovery::start() {
  State& s = *s_;
  JobSettings& job = s.ctx.job;
  Platform& platform = s.ctx.platform;
  s.prefix = job.segmentFolder.str();
  splitPrefix(s.prefix, &s.folder, &s.base);
  std::string problem;
  // None, or none that can be used: a cut-off or corrupt recovery file
  // never stops the join of a series that is whole.
  if (recovery::readRecoverySet(platform, s.folder, s.base, &s.set, &problem) !=
      recovery::SetFound::kUsable)
    return true;
  for (std::size_t i = 0; i < s.set.files.size(); ++i)
    if (s.set.files[i].segment != 0) s.fileOf[s.set.files[i].segment] = i;
  while (s.fileOf.count(s.vouched + 1) != 0) ++s.vouched;

  // The set must be this series' (see judgeSet); the header the analysis
  // took is the disk's unless 0001 was lost beyond rebuilding.
  std::string why;
  const SetVerdict verdict = judgeSet(platform, s.set, s.prefix,
                                      job.rawSeries || job.headerLost ? nullptr : &job, nullptr,
                                      &why);
  if (verdict != SetVerdict::kThisSeries) {
    s.tellNotUsed(notUsedText(s.prefix, verdict, why));
    return !job.headerLost || s.headerStillLost();
  }
  bool incomplete = false;
  for (const auto& [n, i] : s.fileOf) {
    std::unique_ptr<File> file = platform.openFile(s.plainPath(n), FileAccess::kRead,
                                                   FileShare::kRead, FileCreate::kOpenExisting);
    uint64_t size = 0;
    if (!file || !file->size(&size) || size != s.set.files[i].description.length)
      incomplete = true;
  }
  s.active = true;

  if (s.ctx.window) s.ctx.window->setTitle(kCheckingSegments);
  if (incomplete || job.headerLost) {
    if (!s.repair()) return false;
    return !job.headerLost || s.headerStillLost();
  }
  try {
    s.checker = std::thread([&s] { s.runChecker(); });
  } catch (const std::system_error&) {
    s.runChecker();  // no thread to be had: checked before the join instead
  }
  return true;
}

std::string JoinRecovery::segmentPath(uint32_t n) {
  State& s = *s_;
  if (s.active && !s.repaired) {
    bool bad = false;
    {
      std::unique_lock<std::mutex> lock(s.mutex);
      while (s.checkedUpTo < n && s.firstBad == 0 && !s.checkDone) {
        // The user may quit meanwhile.
        if (s.ctx.job.jobResult == kResultAborted) return std::string();
        s.changed.wait_for(lock, std::chrono::milliseconds(100));
      }
      bad = s.firstBad != 0 && s.firstBad <= n;
    }
    if (bad && !s.repair()) return std::string();
  }
  auto it = s.report.readFrom.find(n);
  return it != s.report.readFrom.end() ? it->second : s.plainPath(n);
}

uint32_t JoinRecovery::segmentsVouchedFor() const { return s_->active ? s_->vouched : 0; }

std::string joinSegmentPath(JobContext& ctx, uint32_t n) {
  if (ctx.recovery != nullptr) return ctx.recovery->segmentPath(n);
  return findSegmentPath(ctx.platform, ctx.job.segmentFolder.view(),
                         ctx.job.segmentExtension.view(), n);
}

uint32_t recoveredSegmentCount(const JobContext& ctx) {
  return ctx.recovery != nullptr ? ctx.recovery->segmentsVouchedFor() : 0;
}

// ------------------------------------------------------------- analysis ---

FirstSegment firstSegmentFromRecovery(Platform& platform, const std::string& prefix,
                                      uint8_t* bytes, uint32_t capacity, uint32_t* got,
                                      uint64_t* length, uint32_t* segments) {
  std::string folder, base, problem;
  splitPrefix(prefix, &folder, &base);
  RecoverySet set;
  if (recovery::readRecoverySet(platform, folder, base, &set, &problem) !=
      recovery::SetFound::kUsable)
    return FirstSegment::kAsFound;
  std::size_t target = set.files.size();
  for (std::size_t i = 0; i < set.files.size(); ++i)
    if (set.files[i].segment == 1) target = i;
  if (target == set.files.size()) return FirstSegment::kAsFound;

  // The header 0001 holds on the disk, when it reads as one.
  JobSettings onDisk;
  bool headerRead = false;
  if (*got >= kFullHeaderSize && std::memcmp(bytes, kMagic, kMagicSize) == 0) {
    uint32_t useDescription = 0;
    decodeFullHeader(bytes, *got, &onDisk, &useDescription);
    headerRead = onDisk.segmentCount != 0 && onDisk.segmentCount <= kMaxSegments;
  }
  std::vector<uint8_t> rebuilt;
  std::string why;
  // Not this series' set (the join says so): it says nothing about 0001.
  if (judgeSet(platform, set, prefix, headerRead ? &onDisk : nullptr, &rebuilt, &why) !=
      SetVerdict::kThisSeries)
    return FirstSegment::kAsFound;
  if (segmentAsRecorded(platform, prefix, set.files[target])) return FirstSegment::kAsFound;
  if (rebuilt.empty() &&
      !recovery::rebuildFirstBytes(platform, set, folder, base, target, &rebuilt, &problem)) {
    // A header read from the disk that the set agrees with stays in use.
    if (headerRead) return FirstSegment::kAsFound;
    *segments = namedSegments(set);
    return FirstSegment::kLost;
  }
  *got = static_cast<uint32_t>(std::min<std::size_t>(capacity, rebuilt.size()));
  std::memcpy(bytes, rebuilt.data(), *got);
  *length = set.files[target].description.length;
  return FirstSegment::kRebuilt;
}

}  // namespace trep
