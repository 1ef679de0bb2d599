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
    "cannot be made, 6 more damage than the recovery files mend, 99 aborted.\n";

const char kCheckUsage[] =
    "Usage: trep check SEGMENT [-q|-v]\n"
    "Reads the whole series of SEGMENT and its recovery files, writes nothing,\n"
    "and says which segments are present, intact, missing or damaged, and\n"
    "whether the recovery files can mend them. The report goes to stdout.\n"
    "  -q, --quiet        no report: the exit code only\n"
    "Exit codes: 0 the series is whole, 1 damaged or incomplete and the\n"
    "recovery files can mend it (a join mends it as it goes), 2 no series to\n"
    "check, 6 damaged or incomplete beyond what recovery files mend, 99 aborted.\n";

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
    if (outcome.endProcess) return outcome.exitCode;
    return static_cast<int>(ctx.job.jobResult.load());
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
    out = std::make_unique<StandardOutput>(job.rawSeries ? CrcStream::kUnknownTotal
                                                         : job.fileSize);
    ctx.streamOutput = out.get();
  }
  const uint64_t expected = job.fileSize;
  const uint32_t expectedCrc = job.fileCrc;
  JobOutcome outcome = r.runWatched(ctx, expected);
  int code = Run::ended(ctx, outcome);
  if (code != 0 && code != kExitCrcFailed) return code;

  std::string checked = "checksum OK";
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

// One segment as check found it.
struct SegmentState {
  std::string path;
  bool present = false;
  uint64_t size = 0;      // bytes on disk
  uint64_t expected = 0;  // bytes it should have; 0 when the series does not say
  bool headerBad = false; // a later segment without its 8-byte magic
  bool damaged = false;   // found so by the recovery files
};

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
  const std::string prefix = job.segmentFolder.str();
  // The series' folder and base name, as the join takes them apart.
  std::string folder, base;
  splitPrefix(prefix, &folder, &base);
  auto segmentAt = [&](uint32_t n) {
    return findSegmentPath(platform, prefix, job.segmentExtension.view(), n);
  };

  // The recovery files first: for a headerless series they tell the count.
  const std::shared_ptr<const recovery::SetReading> reading =
      recovery::readRecoveryFiles(platform, folder, base, job.recoveryFilesRead);
  const recovery::RecoverySet& set = reading->set;
  const Status& why = reading->why;
  const recovery::SetFound found = reading->found;
  uint32_t count = job.segmentCount;
  if (job.rawSeries) {
    count = 0;
    if (found == recovery::SetFound::kUsable)
      for (const recovery::SetFile& f : set.files) count = std::max(count, f.segment);
    if (count == 0)
      while (count < kMaxSegments && platform.nameTaken(segmentAt(count + 1))) ++count;
  }

  // Sizes and magic of every segment; the payloads through the checksum.
  const uint64_t header = job.rawSeries ? 0 : kFullHeaderSize;
  const uint64_t full = job.firstSegmentBytes > header ? job.firstSegmentBytes - header : 0;
  std::vector<SegmentState> segments(count);
  bool sizesKnown = !job.rawSeries && !job.headerLost && full != 0;
  bool allThere = true;
  for (uint32_t n = 1; n <= count; ++n) {
    SegmentState& s = segments[n - 1];
    s.path = segmentAt(n);
    const uint64_t own = n == 1 ? header : (job.rawSeries ? 0 : kShortHeaderSize);
    if (sizesKnown) {
      const uint64_t before = full * (n - 1);
      const uint64_t payload = job.fileSize > before ? std::min(full, job.fileSize - before) : 0;
      s.expected = own + payload;
    }
    std::unique_ptr<File> f = platform.openFile(s.path, FileAccess::kRead, FileShare::kRead,
                                                FileCreate::kOpenExisting);
    s.present = f != nullptr && f->size(&s.size).ok();
    if (s.present && n > 1 && !job.rawSeries) {
      char magic[kMagicSize] = {0};
      uint32_t got = 0;
      f->read(magic, kMagicSize, &got);
      s.headerBad = got != kMagicSize || std::memcmp(magic, kMagic, kMagicSize) != 0;
    }
    if (!s.present || (s.expected != 0 && s.size != s.expected) || s.headerBad) allThere = false;
  }

  // The checksum over the payloads, read once in order, when it can mean
  // anything: every segment there and of its size, a checksum recorded,
  // the payload not scrambled.
  enum class Crc { kNotRecorded, kNotChecked, kScrambled, kGood, kBad } crcState = Crc::kNotRecorded;
  ProgressLine line(r.terminal.progress);
  std::atomic<bool> stopped{false};
  JobSettings& watched = job;
  interrupts::duringJob([&stopped, &watched] {
    stopped = true;
    watched.jobResult = kResultAborted;
  });
  if (job.rawSeries || job.headerLost || job.fileCrc == 0) {
    crcState = Crc::kNotRecorded;
  } else if (job.encrypt) {
    crcState = Crc::kScrambled;
  } else if (!allThere) {
    crcState = Crc::kNotChecked;
  } else {
    CrcStream crc(job.fileSize);
    std::vector<uint8_t> buffer(4u << 20);
    auto last = Clock::now();
    for (uint32_t n = 1; n <= count && !stopped; ++n) {
      std::unique_ptr<File> f = platform.openFile(segments[n - 1].path, FileAccess::kRead,
                                                  FileShare::kRead, FileCreate::kOpenExisting);
      if (!f) break;
      f->seek(n == 1 ? kFullHeaderSize : kShortHeaderSize);
      for (;;) {
        uint32_t got = 0;
        if (!f->read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got) || got == 0) break;
        crc.add(buffer.data(), got);
        if (Clock::now() - last > std::chrono::milliseconds(250)) {
          last = Clock::now();
          line.show("checksum of " + fileNameOf(segments[n - 1].path), crc.bytes(), job.fileSize);
        }
        if (stopped) break;
      }
    }
    uint32_t value = 0;
    crcState = crc.bytes() == job.fileSize && crc.value(&value) && value == job.fileCrc
                   ? Crc::kGood : Crc::kBad;
  }

  // What the recovery files say of every segment, and whether they mend it.
  recovery::RepairReport repair;
  const bool usable = found == recovery::SetFound::kUsable;
  if (usable && !stopped) {
    recovery::RepairOptions options;
    options.workFolder = folder;
    options.checkOnly = true;
    options.keepGoing = [&stopped] { return !stopped.load(); };
    std::atomic<uint64_t> bytesChecked{0};
    options.bytesChecked = &bytesChecked;
    const uint64_t toCheck = recovery::bytesToCheck(set);
    // On a thread of its own, so that the terminal hears of it meanwhile.
    std::atomic<bool> checked{false};
    std::thread checker([&] {
      repair = recovery::repairSeries(platform, set, folder, base, options);
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
    for (uint32_t n : repair.damaged)
      if (n >= 1 && n <= count) segments[n - 1].damaged = true;
  }
  line.clear();
  interrupts::jobOver();
  if (stopped) return kExitAborted;

  uint32_t intact = 0, missing = 0, damaged = 0;
  for (SegmentState& s : segments) {
    const std::string name = fileNameOf(s.path);
    std::string what;
    if (!s.present) {
      ++missing;
      what = "missing";
    } else if (s.expected != 0 && s.size != s.expected) {
      ++damaged;
      what = "damaged: " + std::to_string(s.size) + " bytes, " + std::to_string(s.expected) +
             " expected";
    } else if (s.headerBad) {
      ++damaged;
      what = "damaged: its first 8 bytes are not a segment's";
    } else if (s.damaged) {
      ++damaged;
      what = "damaged: its bytes are not those the recovery files record";
    } else {
      ++intact;
      what = "intact";
    }
    if (report && (what != "intact" || c.verbose)) std::printf("%s: %s\n", name.c_str(), what.c_str());
  }
  const bool whole = missing == 0 && damaged == 0 && crcState != Crc::kBad &&
                     (!usable || repair.outcome == recovery::RepairOutcome::kIntact);
  const bool mendable =
      !whole && usable && crcState != Crc::kBad &&
      (repair.outcome == recovery::RepairOutcome::kRepairable ||
       repair.outcome == recovery::RepairOutcome::kRepaired);
  if (report) {
    const std::string name = job.headerLost ? base : job.originalName.str();
    std::string counts = plural(count, "segment", "segments") + ": " + std::to_string(intact) +
                         " intact";
    if (missing != 0) counts += ", " + std::to_string(missing) + " missing";
    if (damaged != 0) counts += ", " + std::to_string(damaged) + " damaged";
    std::printf("%s: %s\n", name.c_str(), counts.c_str());
    switch (crcState) {
      // The recorded checksum reads the first quarter of every 10,000,000
      // bytes only: it is no proof of the rest, and says so.
      case Crc::kGood:
        std::printf("checksum: OK (it covers the first quarter of every 10,000,000 bytes)\n");
        break;
      case Crc::kBad: std::printf("checksum: MISMATCH, the data is damaged\n"); break;
      case Crc::kNotChecked: std::printf("checksum: not checked, segments are missing or damaged\n"); break;
      case Crc::kScrambled: std::printf("checksum: not checked, the series is scrambled\n"); break;
      case Crc::kNotRecorded: std::printf("checksum: none recorded\n"); break;
    }
    if (found == recovery::SetFound::kNone) {
      std::printf("recovery files: none\n");
    } else if (!usable) {
      std::printf("recovery files: not usable (%s)\n", why.toString().c_str());
    } else {
      std::string files = plural(set.paths.size(), "file", "files");
      if (whole)
        std::printf("recovery files: %s, nothing to mend\n", files.c_str());
      else if (mendable)
        std::printf("recovery files: %s, they can mend it (%s lost, as many to mend them); "
                    "trep join mends it as it rebuilds\n",
                    files.c_str(), plural(repair.slicesNeeded, "slice", "slices").c_str());
      else
        std::printf("recovery files: %s, not enough to mend it (%u slices lost, %u to mend "
                    "them)%s%s\n",
                    files.c_str(), repair.slicesNeeded, repair.slicesAvailable,
                    repair.problem.empty() ? "" : ": ", repair.problem.c_str());
    }
    std::printf("%s\n", whole ? "whole" : mendable ? "damaged, can be mended" : "damaged, cannot be mended");
    std::fflush(stdout);
  }
  return whole ? 0 : mendable ? kExitCheckMendable : kExitCheckNotMendable;
}

}  // namespace

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
