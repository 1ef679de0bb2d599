#include "app/unix_commands.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/startup.h"
#include "engine/checksum.h"
#include "engine/naming.h"
#include "engine/recovery/recovery_set.h"
#include "engine/recovery/repair.h"
#include "engine/segment_format.h"
#include "engine/series_survey.h"
#include "engine/work_buffer.h"
#include "planning/controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"
#include "platform/folder_listing.h"
#include "platform/posix/interrupts.h"
#include "platform/posix/text_answerer.h"

namespace trep {
namespace {

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------- texts ---

const char kOverview[] =
    "Usage: trep split FILE [-s SIZE | -n COUNT] [-o DIR] [-r N] [-q|-v] [-f]\n"
    "       trep split - --name NAME [-s SIZE] [-o DIR] [-r N] [-q|-v] [-f]\n"
    "       trep join SEGMENT [-o DIR | -o -] [-q|-v] [-f]\n"
    "       trep check SEGMENT [-q|-v]\n"
    "       trep COMMAND --help\n";

const char kSplitUsage[] =
    "Usage: trep split FILE [options]\n"
    "       trep split - --name NAME [options]\n"
    "Cuts FILE (or standard input, \"-\") into a numbered series of segment files\n"
    "(NAME0001.trp, NAME0002.trp, ... named after the first four characters of\n"
    "the file's name) in the current folder.\n"
    "  -s, --size SIZE    segment size: a number of bytes with an optional unit,\n"
    "                     K, M, G (steps of 1024) or KB, MB, GB (steps of 1000),\n"
    "                     below 4 GiB; or a medium: email, floppy, supflop,\n"
    "                     zip100, zip250, zip750, cd74, cd80, flash64m ...\n"
    "                     flash4g, dvdsl, dvddl, dvd (default 512K)\n"
    "  -n, --count COUNT  about COUNT segments of equal size (1 to 9999)\n"
    "  -o, --output DIR   write the series into DIR (made when missing)\n"
    "  -r, --recovery N   also write N recovery files (PAR2): any N lost or\n"
    "                     damaged segments can then be rebuilt\n"
    "      --name NAME    the name of the data read from standard input, which\n"
    "                     the join gives the rebuilt file\n"
    "  -f, --force        replace files of the same names without asking\n"
    "  -q, --quiet        nothing but errors, also on a terminal\n"
    "  -v, --verbose      progress and the summary also when stderr is no terminal\n"
    "Without a terminal no question is asked: files in the way are replaced\n"
    "with --force; without it the split refuses (exit 2) and names the file.\n"
    "Exit codes: 0 done, 2 refused, 3 the folder cannot be made, 99 aborted.\n";

const char kJoinUsage[] =
    "Usage: trep join SEGMENT [options]\n"
    "Rebuilds the original file from any segment of its series (and its\n"
    "recovery files, when some lie beside it) into the current folder.\n"
    "  -o, --output DIR   write the rebuilt file into DIR (made when missing)\n"
    "  -o -               write the rebuilt bytes to standard output\n"
    "  -f, --force        replace a file of the same name without asking\n"
    "  -q, --quiet        nothing but errors, also on a terminal\n"
    "  -v, --verbose      progress and the summary also when stderr is no terminal\n"
    "To standard output the size and checksum are checked as the bytes go out;\n"
    "a mismatch is said on stderr at the end, and the exit code is 1.\n"
    "Exit codes: 0 done, 1 checksum or size wrong, 2 refused, 3 the folder\n"
    "cannot be made, 6 segments missing or more damage than the recovery files\n"
    "mend, 7 a segment is in use by another job, 99 aborted.\n";

const char kCheckUsage[] =
    "Usage: trep check SEGMENT [-q|-v]\n"
    "Reads the whole series of SEGMENT and its recovery files, writes nothing,\n"
    "and says which segments are present, intact, missing or damaged, and\n"
    "whether the recovery files can mend them. The report goes to stdout.\n"
    "  -q, --quiet        no report: the exit code only\n"
    "Exit codes: 0 the series is whole (or, without recovery files, no damage\n"
    "found), 1 damaged or incomplete and the recovery files can mend it (a join\n"
    "mends it as it goes), 2 no series to check, 6 damaged or incomplete beyond\n"
    "what recovery files mend, 7 a segment is in use by another job, 99 aborted\n"
    "or a segment cannot be read.\n";

// ------------------------------------------------------------- helpers ---

// "50 MiB", "1.5 GiB", "700 bytes": one decimal when it is not whole.
std::string humanSize(uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  const char* units[] = {"KiB", "MiB", "GiB", "TiB"};
  double v = static_cast<double>(bytes) / 1024;
  int u = 0;
  while (v >= 1024 && u < 3) {
    v /= 1024;
    ++u;
  }
  char text[32];
  if (v >= 100 || v == static_cast<double>(static_cast<uint64_t>(v)))
    std::snprintf(text, sizeof text, "%.0f %s", v, units[u]);
  else
    std::snprintf(text, sizeof text, "%.1f %s", v, units[u]);
  return text;
}

std::string plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Now as a Windows file-time value (100 ns since 1601), for a header whose
// source has no times of its own (standard input).
uint64_t nowAsFileTime() {
  timespec t{};
  clock_gettime(CLOCK_REALTIME, &t);
  return (static_cast<uint64_t>(t.tv_sec) + 11644473600ull) * 10000000ull +
         static_cast<uint64_t>(t.tv_nsec) / 100;
}

std::string folderShown(const std::string& folder) {
  return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

// --------------------------------------------------- standard streams ---

// Standard output as the file a join writes: bytes go out as they come, and
// their count and checksum are kept for the checks at the end.
class StandardOutput : public File {
 public:
  explicit StandardOutput(uint64_t expected) : crc_(expected) {}
  Status read(void*, uint32_t, uint32_t* done) override {
    *done = 0;
    return failure(EBADF);
  }
  Status write(const void* buffer, uint32_t n, uint32_t* done) override {
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t put = 0;
    while (put < n) {
      ssize_t r = ::write(STDOUT_FILENO, p + put, n - put);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        *done = put;
        crc_.add(p, put);
        return failure(r < 0 ? errno : EIO);
      }
      put += static_cast<uint32_t>(r);
    }
    crc_.add(p, n);
    *done = n;
    return Status();
  }
  Status seek(uint64_t) override { return failure(ESPIPE); }
  Status tell(uint64_t*) override { return failure(ESPIPE); }
  Status size(uint64_t*) override { return failure(ESPIPE); }
  Status getTimes(FileTimes*) override { return failure(ESPIPE); }
  Status setTimes(const FileTimes&) override { return failure(ESPIPE); }
  const CrcStream& crc() const { return crc_; }

 private:
  static Status failure(int error) {
    // Nobody reads any more (a closed pipe) or the disk behind it is full:
    // trying again would only fail again.
    return Status::failure("standard output", std::strerror(error), static_cast<uint32_t>(error),
                           true);
  }
  CrcStream crc_;
};

// Standard input as the file a split reads: bytes as they come, once.
class StandardInput : public File {
 public:
  Status read(void* buffer, uint32_t n, uint32_t* done) override {
    *done = 0;
    for (;;) {
      // A writer that sends nothing must not keep a stopped split waiting:
      // the wait ends when a signal asks the program to end.
      pollfd p[2] = {{STDIN_FILENO, POLLIN, 0}, {interrupts::wakeFd(), POLLIN, 0}};
      if (::poll(p, p[1].fd >= 0 ? 2 : 1, -1) < 0) {
        if (errno == EINTR) continue;
      } else if (p[1].fd >= 0 && p[1].revents != 0) {
        return Status::failure("standard input", "Interrupted", EINTR);
      }
      ssize_t r = ::read(STDIN_FILENO, buffer, n);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0)
        return Status::failure("standard input", std::strerror(errno),
                               static_cast<uint32_t>(errno), true);
      *done = static_cast<uint32_t>(r);
      return Status();
    }
  }
  Status write(const void*, uint32_t, uint32_t* done) override {
    *done = 0;
    return unseekable();
  }
  Status seek(uint64_t) override { return unseekable(); }
  Status tell(uint64_t*) override { return unseekable(); }
  Status size(uint64_t*) override { return unseekable(); }
  Status getTimes(FileTimes*) override { return unseekable(); }
  Status setTimes(const FileTimes&) override { return unseekable(); }

 private:
  static Status unseekable() {
    return Status::failure("standard input", std::strerror(ESPIPE), ESPIPE, true);
  }
};

// --------------------------------------------------------- the answers ---

// Questions as the subcommands take them: on a terminal as the switches do,
// except those --force answers; with no terminal never a question, only
// the safe answer (the files in the way were named before the job began).
class SubcommandAnswerer : public NoticeAnswerer {
 public:
  SubcommandAnswerer(TextAnswerer& text, bool interactive, bool force)
      : text_(text), interactive_(interactive), force_(force) {}
  uint32_t answer(const NoticeParameters& notice) override {
    const bool replaces = notice.message == kFileExists ||
                          notice.message.rfind("Recovery files of an earlier series", 0) == 0;
    if (force_ && replaces) return kUpperButton;
    // Standard output that fails (its reader went away) is not asked about:
    // no answer at the terminal can bring the reader back.
    const bool output = notice.reason.rfind("standard output:", 0) == 0;
    if (interactive_ && !output) return text_.answer(notice);
    if (!output) std::fprintf(stderr, "trep: %s\n", notice.message.c_str());
    if (!notice.reason.empty()) std::fprintf(stderr, "trep: %s\n", notice.reason.c_str());
    return notice.informational ? kUpperButton : safeAnswer(notice);
  }

 private:
  TextAnswerer& text_;
  bool interactive_;
  bool force_;
};

// ----------------------------------------------------------- progress ---

// The titles the engine gives the window, kept for the progress line.
class TitleKeeper : public JobWindow {
 public:
  void setTitle(std::string_view title) override {
    std::lock_guard<std::mutex> lock(mutex_);
    title_ = std::string(title);
  }
  void showSegmentCount(uint32_t) override {}
  void showCrc(uint32_t) override {}
  std::string title() {
    std::lock_guard<std::mutex> lock(mutex_);
    return title_;
  }

 private:
  std::mutex mutex_;
  std::string title_;
};

// One line on the terminal, rewritten in place: what is done, how much of
// how much, the rate and the time left. Cleared before anything else is
// written, so no line is left half-overwritten.
class ProgressLine {
 public:
  explicit ProgressLine(bool shown) : shown_(shown), start_(Clock::now()) {}
  ~ProgressLine() { clear(); }
  // Rate and time left count from here: a phase of its own (not the copy,
  // whose bytes count from the job's start) starts its clock again.
  void restartClock() { start_ = Clock::now(); }
  void show(const std::string& what, uint64_t done, uint64_t total) {
    if (!shown_) return;
    const double seconds =
        std::chrono::duration<double>(Clock::now() - start_).count();
    std::string line = "trep: " + what;
    if (total != 0) {
      if (done > total) done = total;
      line += "  " + std::to_string(done * 100 / total) + "%  " + humanSize(done) + " of " +
              humanSize(total);
    } else if (done != 0) {
      line += "  " + humanSize(done);
    }
    if (seconds >= 1 && done != 0) {
      const double rate = static_cast<double>(done) / seconds;
      line += "  " + humanSize(static_cast<uint64_t>(rate)) + "/s";
      if (total != 0 && done < total && rate > 0)
        line += "  " + clockText(static_cast<uint64_t>((total - done) / rate)) + " left";
    } else if (seconds >= 1) {
      line += "  " + clockText(static_cast<uint64_t>(seconds));
    }
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    written_ = true;
  }
  void clear() {
    if (!written_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    written_ = false;
  }

 private:
  static std::string clockText(uint64_t s) {
    char text[32];
    if (s >= 3600)
      std::snprintf(text, sizeof text, "%llu:%02llu:%02llu",
                    static_cast<unsigned long long>(s / 3600),
                    static_cast<unsigned long long>(s / 60 % 60),
                    static_cast<unsigned long long>(s % 60));
    else
      std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(s / 60),
                    static_cast<unsigned long long>(s % 60));
    return text;
  }
  bool shown_;
  Clock::time_point start_;
  bool written_ = false;
};

// What the terminal shows for a title the engine set.
std::string phaseOf(const std::string& title, const JobSettings& job) {
  if (title == kCheckingCrc) return "checksum";
  if (title.rfind("Trepping File ", 0) == 0)
    return "segment " + title.substr(14) +
           (job.sourcePath.str() == "-" ? "" : " of " + std::to_string(job.segmentCount));
  if (title.rfind("UnTrepping ", 0) == 0) return "joining " + title.substr(11);
  if (title.empty()) return job.isSplit ? "starting" : "checking the series";
  return title;
}

// ----------------------------------------------------------- the setup ---

// How one subcommand talks to its user.
struct Terminal {
  bool interactive = false;  // questions can be asked and answered
  bool progress = false;     // the progress line is shown
  bool summary = false;      // the last line says what was made
};

Terminal terminalFor(const Subcommand& c) {
  Terminal t;
  const bool errTty = isatty(STDERR_FILENO) == 1;
  t.interactive = errTty && isatty(STDIN_FILENO) == 1 && c.input != "-";
  t.progress = errTty && !c.quiet;
  t.summary = !c.quiet && (errTty || c.verbose);
  return t;
}

// Everything one subcommand run holds.
struct Run {
  const Subcommand& c;
  Terminal terminal;
  std::unique_ptr<Platform> platform;
  std::unique_ptr<TextAnswerer> text;
  std::unique_ptr<SubcommandAnswerer> answerer;
  App app;

  explicit Run(const Subcommand& command) : c(command), terminal(terminalFor(command)) {
    // A reader that went away (a closed pipe) makes writes fail; it never
    // ends the program unannounced.
    signal(SIGPIPE, SIG_IGN);
    interrupts::watch();
    platform = makeSystemPlatform();
    text = std::make_unique<TextAnswerer>(STDIN_FILENO, stderr);
    text->setInterruptFd(interrupts::wakeFd());
    answerer = std::make_unique<SubcommandAnswerer>(*text, terminal.interactive, c.force);
    platform->setNoticeAnswerer(answerer.get());
    // The subcommands read no settings file: the same line does the same
    // thing everywhere. Segments with headers, always with the checksum.
    app.options = PersistedSettings();
    app.options.useCrc = 1;
    app.job.quiet = terminal.interactive ? 0 : 1;
  }

  // Source analysis of `path` with no window; the output folder is set after.
  void analyse(const std::string& path) {
    JobSettings& job = app.job;
    job.sourceValid = 0;
    job.sourcePath = path;
    job.outputFolder = ".";
    NoControls none;
    PlanningContext p{job, app.options, *platform, none, app.sizes};
    analyseSource(p);
    job.outputFolder = c.output.empty() || c.output == "-" ? "." : c.output;
  }

  // The job, on a worker thread; this thread shows its progress a few
  // times a second.
  JobOutcome runWatched(JobContext& ctx, uint64_t total) {
    TitleKeeper titles;
    ctx.window = &titles;
    JobSettings& job = app.job;
    interrupts::duringJob([&job] {
      job.stopRequested = 1;
      job.jobResult = kResultAborted;
    });
    ProgressLine line(terminal.progress);
    std::string lastPhase;
    std::atomic<bool> done{false};
    JobOutcome outcome;
    std::thread worker([&] {
      outcome = runJob(ctx);
      done = true;
    });
    for (uint32_t ticks = 1; !done; ++ticks) {
      platform->sleepMs(50);
      if (ticks % 5 != 0 || done) continue;  // every 250 ms
      if (platform->noticeOpen()) {
        line.clear();
        continue;
      }
      const std::string title = titles.title();
      const bool copying = title.rfind("Trepping", 0) == 0 ||
                           title.rfind("UnTrepping", 0) == 0 || title == kCheckingCrc;
      if (copying) {
        // The checksum reads as far as the low 32 bits of the size reach.
        const uint64_t upTo = title == kCheckingCrc ? (total & 0xFFFFFFFFu) : total;
        line.show(phaseOf(title, job), job.bytesMoved.load(), upTo);
        continue;
      }
      if (title != lastPhase) {
        lastPhase = title;
        line.restartClock();
      }
      line.show(phaseOf(title, job), job.phaseBytesDone.load(), job.phaseBytesTotal.load());
    }
    worker.join();
    line.clear();
    releaseWorkBuffer(ctx);
    ctx.window = nullptr;
    interrupts::jobOver();  // ends here, by the signal, when one stopped the job
    return outcome;
  }

  // The last words of a job that did not finish.
  static int ended(const JobContext& ctx, const JobOutcome& outcome) {
    if (!ctx.lastFailure.ok() && (!ctx.lastFailureShown || ctx.gaveUp))
      std::fprintf(stderr, "trep: %s\n", ctx.lastFailure.toString().c_str());
    const int code = outcome.endProcess ? outcome.exitCode
                                        : static_cast<int>(ctx.job.jobResult.load());
    tellQuietNotes(ctx.job, code);
    return exitCodeFor(code, ctx.lastFailure);
  }
};

// Files of `names` already there: with no terminal to ask and no --force,
// the run is refused naming the first, before anything is made.
bool refuseFilesInTheWay(Run& r, const std::vector<std::string>& paths) {
  if (r.c.force || r.terminal.interactive) return false;
  for (const std::string& path : paths) {
    if (!r.platform->nameTaken(path)) continue;
    std::fprintf(stderr,
                 "trep: \"%s\" already exists; add --force to replace it (no terminal to ask).\n",
                 path.c_str());
    return true;
  }
  return false;
}

std::string notTaken(const JobSettings& job, const std::string& path, bool segment) {
  if (segment && !isSegmentName(path))
    return "\"" + path + "\" is not a segment file (NAME0001.trp, ...)";
  if (!job.sourceStatus) return "\"" + path + "\": it cannot be opened (" +
                                job.sourceStatus.reason() + ")";
  if (job.sourceBytes == 0 && !segment) return "\"" + path + "\": it is empty";
  return "\"" + path + "\": its series was not taken";
}

// --------------------------------------------------------------- split ---

// The last line of a split that finished.
void sayWhatWasMade(const JobSettings& job) {
  const uint64_t full = uint64_t{job.segmentSize} * (job.segmentCount - 1);
  const uint64_t last = job.fileSize > full ? job.fileSize - full : 0;
  std::string sizes = job.segmentCount == 1 || last == job.segmentSize
                          ? " of " + humanSize(job.segmentCount == 1 ? last : job.segmentSize)
                          : " of " + humanSize(job.segmentSize) + " (the last " +
                                humanSize(last) + ")";
  std::string extra =
      job.recoveryCount == 0
          ? ""
          : " (+ " + plural(job.recoveryCount, "recovery file", "recovery files") + ")";
  std::fprintf(stderr, "trep: %s \u2192 %s%s in %s%s\n", job.originalName.c_str(),
               plural(job.segmentCount, "segment", "segments").c_str(), sizes.c_str(),
               folderShown(job.outputFolder.str()).c_str(), extra.c_str());
}

// The split of standard input: the count and size are known at its end.
int splitStream(Run& r) {
  const Subcommand& c = r.c;
  JobSettings& job = r.app.job;
  if (c.segmentCount != 0) {
    std::fprintf(stderr, "trep: -n needs the input's size, which a stream tells only at its "
                         "end: give the segments' size with -s.\n");
    return kExitUsage;
  }
  job.isSplit = 1;
  job.sourceValid = 1;
  job.sourcePath = "-";
  job.originalName = c.name;
  job.outputFolder = c.output.empty() ? "." : c.output;
  const uint64_t asked = c.presetIndex != 0 ? uint64_t{kPresetKBytes[c.presetIndex]} * 1024
                         : c.segmentBytes != 0 ? c.segmentBytes
                                               : uint64_t{kDefaultSegmentKBytes} * 1024;
  job.segmentSize = segmentSizeOf(asked);
  // One segment's worth until the stream ends: the planning the split runs
  // at its start then keeps the size asked for (the stream split sets the
  // real count and length at the end).
  job.segmentCount = 1;
  job.fileSize = job.segmentSize;
  job.recoveryCount = c.recoveryCount;
  job.creationTime = job.lastAccessTime = job.lastWriteTime = nowAsFileTime();

  // Any segment or recovery file of this base name is in the way: how many
  // segments the stream makes is not known yet.
  const std::string base = splitBaseName(job.originalName.view());
  std::vector<std::string> inTheWay;
  for (const std::string& name : listFolder(job.outputFolder.str()))
    if (recovery::segmentNumberOf(name, base) != 0 || recovery::isRecoveryFileName(name, base))
      inTheWay.push_back(job.outputFolder.str() + kPathSeparator + name);
  std::sort(inTheWay.begin(), inTheWay.end());
  if (refuseFilesInTheWay(r, inTheWay)) return kExitUsage;

  job.jobState = kJobPrepared;
  BatchPlanning planning;
  JobContext ctx{job, r.app.options, *r.platform, planning, nullptr};
  StandardInput input;
  ctx.streamInput = &input;
  JobOutcome outcome = r.runWatched(ctx, 0);
  int code = Run::ended(ctx, outcome);
  if (code == 0 && job.segmentCount == 0) {
    std::fprintf(stderr, "trep: standard input was empty: no segment was written.\n");
    return kExitUsage;
  }
  if (code == 0 && r.terminal.summary) sayWhatWasMade(job);
  return code;
}

int splitFile(Run& r) {
  const Subcommand& c = r.c;
  JobSettings& job = r.app.job;
  if (c.input == "-") return splitStream(r);
  r.analyse(c.input);
  if (!job.sourceValid || !job.isSplit) {
    if (job.sourceValid && !job.isSplit)
      std::fprintf(stderr, "trep: \"%s\" is a segment file: rebuild it with trep join.\n",
                   c.input.c_str());
    else
      std::fprintf(stderr, "trep: %s.\n", notTaken(job, c.input, false).c_str());
    return kExitUsage;
  }
  if (c.presetIndex != 0)
    job.segmentSize = presetBytes(job, c.presetIndex);
  else if (c.segmentCount != 0)
    // Equal segments, the last one at most as large: the count asked for,
    // or fewer when the file is too small to give every segment a byte.
    job.segmentSize = segmentSizeOf(
        std::max<uint64_t>(1, (job.fileSize + c.segmentCount - 1) / c.segmentCount));
  else
    job.segmentSize = segmentSizeOf(c.segmentBytes != 0 ? c.segmentBytes
                                                        : uint64_t{kDefaultSegmentKBytes} * 1024);
  countFromSize(job);
  adjustCountAtSplitStart(job);
  if (c.recoveryCount > job.segmentCount) {
    std::fprintf(stderr,
                 "trep: %u recovery files asked for, but the split makes %s; at most one "
                 "recovery file per segment.\n",
                 c.recoveryCount, plural(job.segmentCount, "segment", "segments").c_str());
    return kExitUsage;
  }
  job.recoveryCount = c.recoveryCount;

  const std::string base = splitBaseName(originalNameOf(job.sourcePath.view()));
  const std::string prefix = job.outputFolder.str() + kPathSeparator + base;
  std::vector<std::string> inTheWay;
  for (uint32_t n = 1; n <= job.segmentCount; ++n) inTheWay.push_back(segmentPath(prefix, n));
  for (const std::string& name : listFolder(job.outputFolder.str()))
    if (recovery::isRecoveryFileName(name, base))
      inTheWay.push_back(job.outputFolder.str() + kPathSeparator + name);
  if (refuseFilesInTheWay(r, inTheWay)) return kExitUsage;

  job.jobState = kJobPrepared;
  BatchPlanning planning;
  JobContext ctx{job, r.app.options, *r.platform, planning, nullptr};
  JobOutcome outcome = r.runWatched(ctx, job.fileSize);
  int code = Run::ended(ctx, outcome);
  if (code == 0 && r.terminal.summary) sayWhatWasMade(job);
  return code;
}

// ---------------------------------------------------------------- join ---

int join(Run& r) {
  const Subcommand& c = r.c;
  JobSettings& job = r.app.job;
  r.analyse(c.input);
  if (!job.sourceValid || job.isSplit) {
    std::fprintf(stderr, "trep: %s.\n", notTaken(job, c.input, true).c_str());
    return kExitUsage;
  }
  const bool toStdout = c.output == "-";
  if (toStdout && isatty(STDOUT_FILENO) == 1) {
    std::fprintf(stderr, "trep: the rebuilt bytes would go to the terminal; send them to a "
                         "file or a pipe (trep join %s -o - > FILE).\n", c.input.c_str());
    return kExitUsage;
  }
  if (!toStdout &&
      refuseFilesInTheWay(r, {job.outputFolder.str() + kPathSeparator + job.originalName.str()}))
    return kExitUsage;

  job.jobState = kJobPrepared;
  BatchPlanning planning;
  JobContext ctx{job, r.app.options, *r.platform, planning, nullptr};
  std::unique_ptr<StandardOutput> out;
  if (toStdout) {
    // Without a header yet (0001 lost), the join reads it from the 0001
    // it rebuilds: the size is known only then.
    out = std::make_unique<StandardOutput>(job.rawSeries || job.headerLost
                                               ? CrcStream::kUnknownTotal
                                               : job.fileSize);
    ctx.streamOutput = out.get();
  }
  JobOutcome outcome = r.runWatched(ctx, job.fileSize);
  int code = Run::ended(ctx, outcome);
  // The header the join went by, which it may have read from a rebuilt 0001.
  const uint64_t expected = job.fileSize;
  const uint32_t expectedCrc = job.fileCrc;
  if (code != 0 && code != kExitCrcFailed) return code;

  std::string checked = "checksum OK";
  if (code == kExitCrcFailed && !job.damageNote.empty()) {
    // Segments of the wrong sizes: said (quiet, by the notes), nothing more.
    if (!job.quiet) std::fprintf(stderr, "trep: %s.\n", job.damageNote.c_str());
    return code;
  }
  if (toStdout && !job.rawSeries) {
    // What went out is judged as gzip -d judges it: at the end, on stderr.
    const uint64_t written = out->crc().bytes();
    uint32_t crc = 0;
    if (written != expected) {
      std::fprintf(stderr, "trep: %s: the rebuilt data has %llu bytes, the series recorded "
                           "%llu: it is damaged.\n",
                   c.input.c_str(), static_cast<unsigned long long>(written),
                   static_cast<unsigned long long>(expected));
      return kExitCrcFailed;
    }
    if (expectedCrc != 0 && out->crc().value(&crc) && crc != expectedCrc) {
      std::fprintf(stderr, "trep: %s: checksum mismatch: the rebuilt data is damaged.\n",
                   c.input.c_str());
      return kExitCrcFailed;
    }
  } else if (code == kExitCrcFailed) {
    std::fprintf(stderr, "trep: \"%s\": checksum mismatch: the rebuilt file is damaged.\n",
                 job.sourcePath.c_str());
    return code;
  }
  if (job.rawSeries || expectedCrc == 0) checked = "no checksum recorded";
  if (r.terminal.summary) {
    std::string mended = job.segmentsRebuilt == 0
                             ? ""
                             : ", " + plural(job.segmentsRebuilt, "segment", "segments") +
                                   " rebuilt from recovery files";
    const uint64_t size = toStdout ? out->crc().bytes() : expected;
    std::fprintf(stderr, "trep: %s \u2192 %s (%s) %s, %s%s\n", c.input.c_str(),
                 job.originalName.c_str(), humanSize(size).c_str(),
                 toStdout ? "to standard output"
                          : ("in " + folderShown(job.outputFolder.str())).c_str(),
                 checked.c_str(), mended.c_str());
  }
  return code;
}

// --------------------------------------------------------------- check ---

// The exit code of trep check for what it found, as the join's outcome
// implies it: 0 the join ends 0 with nothing to mend, 1 it mends the damage
// and ends 0, 6 it cannot give the original (its 1 or 6), 7 a segment is in
// use by another job, 99 a segment cannot be read (the join aborts).
enum class CheckVerdict { kWhole, kNoDamageSeen, kMendable, kNotMendable, kInUse, kUnreadable };

int exitCodeOf(CheckVerdict v) {
  switch (v) {
    case CheckVerdict::kWhole:
    case CheckVerdict::kNoDamageSeen: return kExitFinished;
    case CheckVerdict::kMendable: return kExitCheckMendable;
    case CheckVerdict::kNotMendable: return kExitCheckNotMendable;
    case CheckVerdict::kInUse: return kExitInUse;
    case CheckVerdict::kUnreadable: return kExitAborted;
  }
  return kExitCheckNotMendable;
}

// What the recorded checksum said of a series checked without recovery files.
enum class Crc { kNotRecorded, kNotChecked, kScrambled, kGood, kBad, kUnread };

// The recorded checksum over the payloads, read once in order. kUnread,
// with *failure, when a segment could not be read.
Crc checksumPass(Run& r, const SeriesSurvey& survey, ProgressLine& line,
                 const std::atomic<bool>& stopped, Status* failure) {
  const JobSettings& job = r.app.job;
  Platform& platform = *r.platform;
  CrcStream crc(job.fileSize);
  std::vector<uint8_t> buffer(4u << 20);
  auto last = Clock::now();
  for (const SegmentFinding& s : survey.segments) {
    if (stopped) break;
    std::unique_ptr<File> f = platform.openFile(s.path, FileAccess::kRead, FileShare::kRead,
                                                FileCreate::kOpenExisting, kAttributeNormal,
                                                failure);
    if (!f) return Crc::kUnread;
    if (Status sought = f->seek(s.number == 1 ? kFullHeaderSize : kShortHeaderSize); !sought) {
      *failure = sought;
      return Crc::kUnread;
    }
    for (;;) {
      uint32_t got = 0;
      if (Status read = f->read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got);
          !read) {
        *failure = read;
        return Crc::kUnread;
      }
      if (got == 0) break;
      crc.add(buffer.data(), got);
      if (Clock::now() - last > std::chrono::milliseconds(250)) {
        last = Clock::now();
        line.show("checksum of " + fileNameOf(s.path), crc.bytes(), job.fileSize);
      }
      if (stopped) break;
    }
  }
  uint32_t value = 0;
  return crc.bytes() == job.fileSize && crc.value(&value) && value == job.fileCrc ? Crc::kGood
                                                                                  : Crc::kBad;
}

int check(Run& r) {
  const Subcommand& c = r.c;
  JobSettings& job = r.app.job;
  Platform& platform = *r.platform;
  r.analyse(c.input);
  if (!job.sourceValid || job.isSplit) {
    std::fprintf(stderr, "trep: %s.\n", notTaken(job, c.input, true).c_str());
    return kExitUsage;
  }
  const bool report = !c.quiet;
  // The series as the join reads it: the one survey both go by.
  const SeriesSurvey survey = surveySeries(platform, job);
  const recovery::RecoverySet& set = survey.set;
  const bool used = survey.setUse == SetUse::kUsed;

  ProgressLine line(r.terminal.progress);
  std::atomic<bool> stopped{false};
  JobSettings& watched = job;
  interrupts::duringJob([&stopped, &watched] {
    stopped = true;
    watched.jobResult = kResultAborted;
  });

  // The bytes: by the recovery files where they are this series', every
  // byte by its MD5; else by the recorded checksum, which reads part of them.
  Crc crcState = Crc::kNotRecorded;
  Status readFailure;
  recovery::RepairReport repair;
  const bool held = survey.firstInUse() != nullptr;
  if (held || survey.setUse == SetUse::kAmbiguous) {
    // Nothing to read: the join would not begin either.
  } else if (used) {
    recovery::RepairOptions options;
    options.workFolder = survey.folder;
    options.checkOnly = true;
    options.keepGoing = [&stopped] { return !stopped.load(); };
    std::atomic<uint64_t> bytesChecked{0};
    options.bytesChecked = &bytesChecked;
    const uint64_t toCheck = recovery::bytesToCheck(set);
    // On a thread of its own, so that the terminal hears of it meanwhile.
    std::atomic<bool> checked{false};
    std::thread checker([&] {
      repair = recovery::repairSeries(platform, set, survey.folder, survey.base, options);
      checked = true;
    });
    line.restartClock();
    for (uint32_t ticks = 0; !checked; ++ticks) {
      if (ticks % 5 == 0)
        line.show("checking the segments against the recovery files", bytesChecked.load(),
                  toCheck);
      platform.sleepMs(50);
    }
    checker.join();
  } else if (job.rawSeries || job.headerLost || job.fileCrc == 0) {
    crcState = Crc::kNotRecorded;
  } else if (job.encrypt) {
    crcState = Crc::kScrambled;
  } else if (survey.firstUnreadable() != nullptr) {
    crcState = Crc::kUnread;
    readFailure = survey.firstUnreadable()->why;
  } else if (!survey.allThere()) {
    // A later segment whose first 8 bytes are not the magic is read on
    // past them by the join, as here.
    bool sized = true;
    for (const SegmentFinding& s : survey.segments)
      if (s.state != SegmentState::kThere && s.state != SegmentState::kNoMagic) sized = false;
    crcState = sized ? checksumPass(r, survey, line, stopped, &readFailure) : Crc::kNotChecked;
  } else {
    crcState = checksumPass(r, survey, line, stopped, &readFailure);
  }
  line.clear();
  interrupts::jobOver();
  if (stopped) return kExitAborted;

  // Every segment, as the survey found it and the recovery files judged it.
  uint32_t intact = 0, missing = 0, damaged = 0, inUse = 0;
  for (const SegmentFinding& s : survey.segments) {
    const std::string name = fileNameOf(s.path);
    std::string what;
    const bool judgedDamaged =
        used && std::find(repair.damaged.begin(), repair.damaged.end(), s.number) !=
                    repair.damaged.end();
    if (s.state == SegmentState::kInUse) {
      ++inUse;
      what = segmentStateText(s);
    } else if (s.state == SegmentState::kMissing || s.state == SegmentState::kNotAFile) {
      ++missing;
      what = segmentStateText(s);
    } else if (s.state == SegmentState::kNoMagic && !used) {
      ++intact;  // its payload is what the join reads
      what = segmentStateText(s) + " (the join reads on past them)";
    } else if (s.state != SegmentState::kThere) {
      ++damaged;
      what = segmentStateText(s);
    } else if (judgedDamaged) {
      ++damaged;
      what = "damaged: its bytes are not those the recovery files record";
    } else {
      ++intact;
      what = "intact";
    }
    if (report && (what != "intact" || c.verbose))
      std::printf("%s: %s\n", name.c_str(), what.c_str());
  }

  CheckVerdict verdict;
  if (held) {
    verdict = CheckVerdict::kInUse;
  } else if (survey.setUse == SetUse::kAmbiguous || survey.setUse == SetUse::kUnconfirmed ||
             (job.headerLost && !used)) {
    // The join would not begin (two sets it cannot tell apart, a lost
    // header with no set of the series to rebuild it from) or could not
    // vouch for what it makes (a set that may be the series' records
    // other bytes).
    verdict = CheckVerdict::kNotMendable;
  } else if (used) {
    switch (repair.outcome) {
      case recovery::RepairOutcome::kIntact: verdict = CheckVerdict::kWhole; break;
      case recovery::RepairOutcome::kRepairable:
      case recovery::RepairOutcome::kRepaired: verdict = CheckVerdict::kMendable; break;
      default: verdict = CheckVerdict::kNotMendable; break;
    }
  } else if (crcState == Crc::kUnread) {
    verdict = CheckVerdict::kUnreadable;
  } else if (missing != 0 || damaged != 0 || crcState == Crc::kBad) {
    verdict = CheckVerdict::kNotMendable;
  } else {
    verdict = CheckVerdict::kNoDamageSeen;
  }

  if (report) {
    const std::string name = job.headerLost ? survey.base : job.originalName.str();
    std::string counts = plural(survey.count, "segment", "segments") + ": " +
                         std::to_string(intact) + " intact";
    if (missing != 0) counts += ", " + std::to_string(missing) + " missing";
    if (damaged != 0) counts += ", " + std::to_string(damaged) + " damaged";
    if (inUse != 0) counts += ", " + std::to_string(inUse) + " in use";
    std::printf("%s: %s\n", name.c_str(), counts.c_str());
    if (const SegmentFinding* s = survey.firstInUse())
      std::printf("%s is in use by another program or job; check again when it is done\n",
                  fileNameOf(s->path).c_str());
    if (!used && !held) {
      switch (crcState) {
        // The recorded checksum reads the first quarter of every 10,000,000
        // bytes only: it is no proof of the rest, and says so.
        case Crc::kGood:
          std::printf("checksum: OK \xE2\x80\x94 it reads only part of the bytes; a series split "
                      "with recovery files is checked byte by byte\n");
          break;
        case Crc::kBad: std::printf("checksum: MISMATCH, the data is damaged\n"); break;
        case Crc::kUnread:
          std::printf("checksum: not checked, a segment cannot be read (%s)\n",
                      readFailure.toString().c_str());
          break;
        case Crc::kNotChecked:
          std::printf("checksum: not checked, segments are missing or damaged\n");
          break;
        case Crc::kScrambled: std::printf("checksum: not checked, the series is scrambled\n"); break;
        case Crc::kNotRecorded: std::printf("checksum: none recorded\n"); break;
      }
    }
    switch (survey.setUse) {
      case SetUse::kNone: std::printf("recovery files: none\n"); break;
      case SetUse::kUnusable:
        std::printf("recovery files: not usable (%s)\n", survey.setNote.c_str());
        break;
      case SetUse::kAmbiguous:
      case SetUse::kNotThisSeries:
      case SetUse::kUnconfirmed:
        std::printf("recovery files: not used: %s\n", survey.setNote.c_str());
        break;
      case SetUse::kUsed: {
        const std::string files = plural(set.paths.size(), "file", "files");
        if (held)
          std::printf("recovery files: %s, not checked while a segment is in use\n", files.c_str());
        else if (verdict == CheckVerdict::kWhole)
          std::printf("recovery files: %s, every byte checked, nothing to mend\n", files.c_str());
        else if (verdict == CheckVerdict::kMendable)
          std::printf("recovery files: %s, they can mend it (%s lost, as many to mend them); "
                      "trep join mends it as it rebuilds\n",
                      files.c_str(), plural(repair.slicesNeeded, "slice", "slices").c_str());
        else
          std::printf("recovery files: %s, not enough to mend it (%u slices lost, %u to mend "
                      "them)%s%s\n",
                      files.c_str(), repair.slicesNeeded, repair.slicesAvailable,
                      repair.problem.empty() ? "" : ": ", repair.problem.c_str());
        break;
      }
    }
    switch (verdict) {
      case CheckVerdict::kWhole: std::printf("whole\n"); break;
      case CheckVerdict::kNoDamageSeen:
        std::printf(crcState == Crc::kGood
                        ? "no damage found (the checksum reads part of the bytes)\n"
                        : "no damage found (nothing recorded to check the bytes by)\n");
        break;
      case CheckVerdict::kMendable: std::printf("damaged, can be mended\n"); break;
      case CheckVerdict::kNotMendable: std::printf("damaged, cannot be mended\n"); break;
      case CheckVerdict::kInUse: std::printf("in use, not checked\n"); break;
      case CheckVerdict::kUnreadable: std::printf("cannot be read, not checked\n"); break;
    }
    std::fflush(stdout);
  }
  return exitCodeOf(verdict);
}

}  // namespace

void tellQuietNotes(const JobSettings& job, int code) {
  // Quiet mode shows no notice: what the recovery files did is said here,
  // and what they were not used for. Rebuilt segments count only for a
  // join that made its file.
  if (!job.quiet) return;
  if (!job.leftoverNote.empty()) std::fprintf(stderr, "trep: %s\n", job.leftoverNote.c_str());
  if (!job.recoveryNote.empty()) std::fprintf(stderr, "trep: %s\n", job.recoveryNote.c_str());
  if (!job.damageNote.empty()) std::fprintf(stderr, "trep: %s.\n", job.damageNote.c_str());
  if (job.segmentsRebuilt != 0 && (code == kExitFinished || code == kExitCrcFailed))
    std::fprintf(stderr, "trep: %u segment%s rebuilt from recovery files\n", job.segmentsRebuilt,
                 job.segmentsRebuilt == 1 ? "" : "s");
  if (code == kExitNotRepairable) {
    // Every refusal says why.
    const std::string why = job.recoveryReport.empty()
                                ? std::string("The series cannot be rebuilt.")
                                : job.recoveryReport.str();
    std::fprintf(stderr, "trep: %s\n", why.c_str());
  }
}

int exitCodeFor(int code, const Status& lastFailure) {
  if (code != kExitAborted || !lastFailure.inUse()) return code;
  std::fprintf(stderr, "trep: \"%s\" is in use by another program or job; try again when it "
                       "is done.\n", lastFailure.path().c_str());
  return kExitInUse;
}

const char* subcommandUsage(Subcommand::Verb verb) {
  switch (verb) {
    case Subcommand::Verb::kSplit: return kSplitUsage;
    case Subcommand::Verb::kJoin: return kJoinUsage;
    case Subcommand::Verb::kCheck: return kCheckUsage;
    default: return kOverview;
  }
}

int runSubcommand(const Subcommand& c) {
  if (c.help) {
    std::fputs(subcommandUsage(c.verb), stdout);
    return 0;
  }
  Run r(c);
  switch (c.verb) {
    case Subcommand::Verb::kSplit: return splitFile(r);
    case Subcommand::Verb::kJoin: return join(r);
    case Subcommand::Verb::kCheck: return check(r);
    default: return kExitUsage;
  }
}

}  // namespace trep
