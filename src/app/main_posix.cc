// trep: the command-line program. Runs one job from the switches and ends
// with its result as the exit code.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/startup.h"
#include "platform/posix/text_answerer.h"
#include "planning/source_analysis.h"

namespace trep {
namespace {


const char kUsage[] =
    TREP_PROGRAM_TITLE " - splits a file into a numbered series of segment files and\n"
    "rebuilds the original from any segment of the series.\n"
    "\n"
    "Usage: trep /i=FILE [/o=FOLDER] [/s=KBYTES] [/r=N] [/q]\n"
    "       trep --help | -h | /?\n"
    "       trep --version\n"
    "  /i=FILE    the file to split (a segment file FILE.trp rebuilds its series)\n"
    "  /o=FOLDER  where the output goes; a folder named after the file is made\n"
    "             in it (default: the desktop folder)\n"
    "  /s=KBYTES  segment size in kilobytes of 1024 bytes (default 512)\n"
    "  /r=N       a split also writes N recovery files (PAR2, beside the\n"
    "             segments), so that any N lost or damaged segments can be\n"
    "             rebuilt; a join finds and uses them by itself\n"
    "  /q         quiet: no progress, no final notice\n"
    "  --help     this text (also -h and /?)\n"
    "  --version  the program's name and version\n"
    "\n"
    "Questions are asked on stderr and answered with 1 or 2 on stdin; when\n"
    "stdin is closed the safe answer is taken.\n"
    "Exit codes: 0 finished, 1 CRC failed, 2 nothing to do or a refused switch,\n"
    "3 output folder could not be made, 4 another Trep is running,\n"
    "5 no memory for the work buffer, 6 more segments lost or damaged than\n"
    "the recovery files can rebuild, 99 aborted.\n";

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

int run(int argc, char** argv) {
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  TextAnswerer answerer(STDIN_FILENO, stderr);
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
  ArgvArguments args(argc, argv);
  if (!readSwitches(*app, *platform, args)) return kExitUsage;

  if (app->job.sourceValid && !app->refused) {
    bool terminal = !app->job.quiet && isatty(STDERR_FILENO);
    Platform& p = *platform;
    int code = runBatch(*app, p, [&p, terminal](uint32_t state) {
      if (terminal) showProgress(p, state);
    });
    if (terminal) std::fprintf(stderr, "\r");
    // Quiet mode shows no notice: what the recovery files did is said here.
    const JobSettings& job = app->job;
    if (job.quiet && job.segmentsRebuilt != 0)
      std::fprintf(stderr, "trep: %u segment%s rebuilt from recovery files\n", job.segmentsRebuilt,
                   job.segmentsRebuilt == 1 ? "" : "s");
    if (job.quiet && code == kExitNotRepairable)
      std::fprintf(stderr, "trep: %s\n", job.recoveryReport.c_str());
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
