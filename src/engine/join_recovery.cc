// The join's side of recovery files: whether a set beside the series is
// its own (judgeSet), the check of every segment against it while the join
// copies, and the repair when a segment is missing or damaged.
#include "engine/join_recovery.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/copy_loop.h"
#include "engine/naming.h"
#include "engine/recovery/block_io.h"
#include "engine/recovery/recovery_set.h"
#include "engine/recovery/repair.h"
#include "engine/recovery/series_evidence.h"
#include "engine/segment_format.h"
#include "engine/series_survey.h"
#include "platform/digest.h"
#include "platform/folder_listing.h"

namespace trep {

using recovery::RecoverySet;
using recovery::RepairOutcome;
using recovery::RepairReport;
using recovery::SetFile;
using recovery::SetVerdict;

namespace {

inline constexpr char kCheckingSegments[] = "Checking segments";
inline constexpr char kRebuildingSegments[] = "Rebuilding segments from recovery files";

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

std::string notUsedText(const std::string& prefix, SetVerdict verdict, const std::string& why) {
  const std::string series = "\"" + prefix + "0001.trp\"";
  if (verdict == SetVerdict::kUnbacked)
    return "The recovery files beside " + series + " cannot be trusted: " + why + "; not used.";
  if (verdict == SetVerdict::kUnconfirmed)
    return "The recovery files beside " + series + " may be another series': " + why +
           "; not used, and nothing vouches for the rebuilt file.";
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
  std::string doubt;  // see JoinRecovery::doubt
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

  // Whether segment n is what the set records: its length and the MD5 of
  // every byte (the file hash the set records for it). A weaker test (the
  // slices' CRC-32s) would pass a change made to keep them, and the join
  // would then end 0 with bytes the set does not vouch for. One MD5 pass
  // runs beside the join's copy, on this thread.
  bool checkSegment(const SetFile& f, std::vector<uint8_t>& buffer) {
    std::unique_ptr<File> file = ctx.platform.openFile(plainPath(f.segment), FileAccess::kRead,
                                                       FileShare::kRead, FileCreate::kOpenExisting);
    uint64_t size = 0;
    if (!file || !file->size(&size) || size != f.description.length || !file->seek(0))
      return false;
    Md5 md5;
    for (uint64_t done = 0; done < size;) {
      if (stop) return true;
      const uint32_t want = static_cast<uint32_t>(std::min<uint64_t>(buffer.size(), size - done));
      uint32_t got = 0;
      if (!file->read(buffer.data(), want, &got) || got != want) return false;
      md5.update(buffer.data(), got);
      done += got;
    }
    return md5.finish() == f.description.hash;
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

  // The join does not begin: jobResult 6, the report said (a notice unless
  // quiet).
  bool refuse(const std::string& text) {
    JobSettings& job = ctx.job;
    job.recoveryReport = "The series cannot be joined: " + text;
    job.jobResult = kResultNotRepairable;
    if (!job.quiet &&
        raiseNotice(ctx.platform, job.recoveryReport.str(), kOk, kOpenReadMe) == kLowerButton)
      ctx.platform.openReadMe();
    return false;
  }

  // Without recovery files, a segment that is not there cannot be had:
  // with no one to ask (quiet) the join says so before it writes anything
  // (jobResult 6). Asked, the user may yet bring it (removable media).
  bool refuseWhatIsLost(const SeriesSurvey& survey) {
    std::vector<uint32_t> wrong;
    for (const SegmentFinding& f : survey.segments)
      if (f.state == SegmentState::kWrongSize) wrong.push_back(f.number);
    if (!wrong.empty())
      doubt = damageText(wrong, "not of the size the series records") +
              ": the rebuilt file is damaged";
    if (!ctx.job.quiet) return true;
    std::vector<uint32_t> lost;
    std::string what;
    for (const SegmentFinding& f : survey.segments) {
      if (f.state == SegmentState::kMissing) lost.push_back(f.number);
      // A folder, pipe or device of a segment's name: said with the
      // system's words, the first one.
      if (f.state == SegmentState::kNotAFile && what.empty())
        what = "segment " + zeroPadded(f.number, 4) + " is no file (" + f.why.toString() + ")";
    }
    const std::size_t count = lost.size() + (what.empty() ? 0 : 1);
    if (!lost.empty()) what = damageText(lost, "missing") + (what.empty() ? "" : " and " + what);
    if (what.empty()) return true;
    return refuse(what + ", and no recovery files of this series are here to rebuild " +
                  (count == 1 ? "it." : "them."));
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

  // Source analysis took no header: 0001 was lost beyond what its first
  // bytes alone rebuild from. The repair may still have rebuilt it whole
  // (from other segments found under swapped names, say): its header is
  // then read from there, and the join goes on as with 0001 on the disk.
  bool takeRebuiltHeader() {
    JobSettings& job = ctx.job;
    auto it = report.readFrom.find(1);
    if (it == report.readFrom.end()) return headerStillLost();
    std::unique_ptr<File> first = ctx.platform.openFile(it->second, FileAccess::kRead,
                                                        FileShare::kRead, FileCreate::kOpenExisting);
    uint8_t header[kFullHeaderSize] = {0};
    uint64_t size = 0;
    if (!first || !first->size(&size)) return headerStillLost();
    const std::size_t got = recovery::readAt(*first, 0, header, sizeof header);
    if (got < kMagicSize || std::memcmp(header, kMagic, kMagicSize) != 0 ||
        !takeFirstHeader(header, got, size, base, &job, &ctx.options.useDescription))
      return headerStillLost();
    job.headerLost = 0;
    return true;
  }

  // Checks every segment by its MD5 and rebuilds what is damaged. False
  // when the join cannot go on: jobResult 6 after a notice, or 99.
  bool repair() {
    stopChecker();
    JobSettings& job = ctx.job;
    job.phaseBytesDone = 0;
    job.phaseBytesTotal = recovery::bytesToCheck(set);
    if (ctx.window) ctx.window->setTitle(kRebuildingSegments);
    recovery::RepairOptions options;
    options.bytesChecked = &job.phaseBytesDone;
    options.workFolder = workFolder();
    options.memoryLimit = ctx.recoveryMemory;
    options.keepGoing = [&job] { return job.jobResult != kResultAborted; };
    report = recovery::repairSeries(ctx.platform, set, folder, base, options);
    // No room for the rebuilt segments is a write failure, not lost data:
    // the write-error question, "OK" trying the repair again.
    while (report.outcome == RepairOutcome::kFailed && report.writeFailed) {
      // A full disk is the likely cause, and the one the user can mend; a
      // reason trying again cannot mend (no permission, a read-only file
      // system) is said in the system's words.
      const Status& failed = report.failure;
      const std::string cause =
          failed.lasting() && !failed.reason().empty() ? failed.reason() : "disk full?";
      const Status why = Status::failure(
          options.workFolder, "the rebuilt segments cannot be written there (" + cause + ")",
          failed.code(), failed.lasting());
      if (!askAfterWriteError(ctx, why)) return false;
      job.phaseBytesDone = 0;
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
  // The one survey of the series (which trep check prints): a segment in
  // use by another job is waited for or said, never taken for damage; the
  // recovery files are used only when they are this series'.
  SeriesSurvey survey = surveySeries(platform, job);
  while (const SegmentFinding* held = survey.firstInUse()) {
    s.ctx.lastFailure = held->why;
    if (job.quiet || !askRetryOrAbort(s.ctx, kReadError, held->why)) {
      job.jobResult = kResultAborted;
      return false;
    }
    survey = surveySeries(platform, job);
  }
  job.recoveryFilesRead = survey.reading;
  switch (survey.setUse) {
    case SetUse::kNone:
    case SetUse::kUnusable:
      // A cut-off or corrupt recovery file never stops the join of a
      // series that is whole.
      return s.refuseWhatIsLost(survey);
    case SetUse::kAmbiguous: return s.refuse(survey.setNote);
    case SetUse::kUnconfirmed:
      s.doubt = "nothing vouches for the rebuilt file: the recovery files beside it record other "
                "bytes for every segment";
      [[fallthrough]];
    case SetUse::kNotThisSeries:
      s.tellNotUsed(survey.setNote);
      if (job.headerLost) return s.takeRebuiltHeader();
      return s.refuseWhatIsLost(survey);
    case SetUse::kUsed: break;
  }
  s.set = survey.set;
  for (std::size_t i = 0; i < s.set.files.size(); ++i)
    if (s.set.files[i].segment != 0) s.fileOf[s.set.files[i].segment] = i;
  while (s.fileOf.count(s.vouched + 1) != 0) ++s.vouched;
  const bool incomplete = !survey.allThere();
  s.active = true;

  if (s.ctx.window) s.ctx.window->setTitle(kCheckingSegments);
  if (incomplete || job.headerLost) {
    if (!s.repair()) return false;
    return !job.headerLost || s.takeRebuiltHeader();
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

const std::string& JoinRecovery::doubt() const { return s_->doubt; }

std::string joinSegmentPath(JobContext& ctx, uint32_t n) {
  if (ctx.recovery != nullptr) return ctx.recovery->segmentPath(n);
  return findSegmentPath(ctx.platform, ctx.job.segmentFolder.view(),
                         ctx.job.segmentExtension.view(), n);
}

uint32_t recoveredSegmentCount(const JobContext& ctx) {
  return ctx.recovery != nullptr ? ctx.recovery->segmentsVouchedFor() : 0;
}

}  // namespace trep
