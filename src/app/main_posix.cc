// trep: the command-line program. Runs one job from the switches and ends
// with its result as the exit code.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/startup.h"
#include "platform/posix/interrupts.h"
#include "platform/posix/text_answerer.h"
#include "planning/source_analysis.h"

namespace trep {
namespace {


const char kUsage[] =
    TREP_PROGRAM_TITLE " - splits a file into a numbered series of segment files and\n"
    "rebuilds the original from any segment of the series.\n"
    "\n"
    "Usage: trep /i=FILE [/o=FOLDER] [/s=KBYTES] [/q]\n"
    "       trep --help | -h | /?\n"
    "       trep --version\n"
    "  /i=FILE    the file to split (a segment file FILE.trp rebuilds its series)\n"
    "  /o=FOLDER  where the output goes; a folder named after the file is made\n"
    "             in it (default: the desktop folder)\n"
    "  /s=KBYTES  segment size in kilobytes of 1024 bytes (default 512)\n"
    "  /q         quiet: no progress, no final notice\n"
    "  --help     this text (also -h and /?)\n"
    "  --version  the program's name and version\n"
    "\n"
    "Questions are asked on stderr and answered with 1 or 2 on stdin; when\n"
    "stdin is closed the safe answer is taken.\n"
    "Exit codes: 0 finished, 1 CRC failed, 2 nothing to do or a refused switch,\n"
    "3 output folder could not be made, 4 another Trep is running,\n"
    "5 no memory for the work buffer, 99 aborted.\n";

// Why "/i=" did not lead to a job, for the message that names the file:
// from what the analysis found when it opened the file.
std::string whyNotAJob(const App& app) {
  const std::string& path = app.lastInput;
  if (path.size() > PathText::kMaxLength) return "its path is longer than 599 characters";
  if (isSegmentName(path)) return "its series was not taken";
  const JobSettings& job = app.job;
  if (!job.sourceStatus) return "it cannot be opened (" + job.sourceStatus.reason() + ")";
  if (job.sourceBytes == 0) return "it is empty";
  if (path.size() < 4) return "its name is too short";
  return "it cannot be used";
}

void showProgress(Platform& platform, uint32_t state) {
  if (platform.noticeOpen() || state < kJobRunning || state >= kJobEnded) return;
  std::fprintf(stderr, "\rtrep: %u%%", state - kJobRunning);
  std::fflush(stderr);
}

// The last words of a job that did not finish: the failure that ended it,
// unless its reason went out with the question about it, and why no more
// was asked when the same failure kept coming back.
void tellWhyItEnded(const BatchFailure& f) {
  if (!f.failure.ok() && (!f.shown || f.gaveUp))
    std::fprintf(stderr, "trep: %s\n", f.failure.toString().c_str());
  if (f.gaveUp)
    std::fprintf(stderr, "trep: the same failure came back after %u answers \"OK\"; the job "
                         "is aborted.\n",
                 f.failure.lasting() ? kLastingRetries : kMendableRetries);
}

int run(int argc, char** argv) {
  // A reader of the messages that went away (a closed pipe) makes writes to
  // it fail; it never ends the program or changes its exit code.
  signal(SIGPIPE, SIG_IGN);
  // Before any thread: SIGINT, SIGTERM and SIGHUP stop a job, which cleans
  // up, and then end the program by the signal.
  interrupts::watch();
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  TextAnswerer answerer(STDIN_FILENO, stderr);
  answerer.setInterruptFd(interrupts::wakeFd());
  platform->setNoticeAnswerer(&answerer);

  // Asked for anywhere on the line, help and the version are all that is done.
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h") ||
        !std::strcmp(argv[i], "/?")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("trep %s\n", TREP_VERSION);
      return 0;
    }
  }
  if (argc < 2) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  auto app = std::make_unique<App>();
  findFolders(*app, *platform);
  if (!takeInstanceLock(*platform)) {
    std::fprintf(stderr, "trep: another Trep is still running; try again when it has ended.\n");
    return kExitAnotherInstance;
  }
  prepareStart(*app, *platform);
  if (!app->settingsStatus.ok())
    std::fprintf(stderr, "trep: %s; the default settings are used.\n",
                 app->settingsStatus.toString().c_str());
  ArgvArguments args(argc, argv);
  if (!readSwitches(*app, *platform, args)) return kExitUsage;

  if (app->job.sourceValid && !app->refused) {
    bool terminal = !app->job.quiet && isatty(STDERR_FILENO);
    Platform& p = *platform;
    JobSettings& job = app->job;
    interrupts::duringJob([&job] {
      job.stopRequested = 1;
      job.jobResult = kResultAborted;
    });
    BatchFailure failure;
    int code = runBatch(
        *app, p, [&p, terminal](uint32_t state) { if (terminal) showProgress(p, state); },
        &failure);
    if (terminal) std::fprintf(stderr, "\r");
    interrupts::jobOver();  // ends here, by the signal, when one stopped the job
    tellWhyItEnded(failure);
    return code;
  }
  if (app->refused) return kExitUsage;
  if (app->sawInputSwitch) {
    std::fprintf(stderr, "trep: \"%s\": %s.\n", app->lastInput.c_str(),
                 whyNotAJob(*app).c_str());
  } else {
    std::fprintf(stderr, "trep: no file given: name one with /i=FILE (see trep without arguments).\n");
  }
  return kExitUsage;
}

}  // namespace
}  // namespace trep

int main(int argc, char** argv) { return trep::run(argc, argv); }
