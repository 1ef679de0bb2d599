// trep: the command-line program. Runs one job from the switches and ends
// with its result as the exit code.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "app/startup.h"
#include "app/subcommand.h"
#include "app/unix_commands.h"
#include "platform/posix/interrupts.h"
#include "platform/posix/text_answerer.h"

namespace trep {
namespace {

const char kUsage[] =
    TREP_PROGRAM_TITLE " - splits a file into a numbered series of segment files and\n"
    "rebuilds the original from any segment of the series.\n"
    "\n"
    "  trep split FILE [-s SIZE | -n COUNT] [-o DIR] [-r N] [-q|-v] [-f]\n"
    "  trep split - --name NAME [-s SIZE] [-o DIR] [-r N] [-q|-v] [-f]\n"
    "  trep join SEGMENT [-o DIR | -o -] [-q|-v] [-f]\n"
    "  trep check SEGMENT [-q|-v]\n"
    "The output goes to the current folder unless -o says otherwise; SIZE is\n"
    "bytes with an optional unit (10M = 10 MiB, 10MB = 10,000,000) or a medium\n"
    "(cd80, dvd, ...). \"trep COMMAND --help\" tells more of each.\n"
    "\n"
    "The switch form, shared with Trep.exe:\n"
    "Usage: trep /i=FILE [/o=FOLDER] [/s=KBYTES] [/r=N] [/q]\n"
    "       trep --help | -h | /?\n"
    "       trep --version\n"
    "  /i=FILE    the file to split (a segment file FILE.trp rebuilds its series)\n"
    "  /o=FOLDER  where the output goes. Written before /i=, a folder named after\n"
    "             the file (its name less the extension) is made in FOLDER;\n"
    "             written after /i=, the output goes into FOLDER itself.\n"
    "             Without /o=: a folder named after the file on the desktop.\n"
    "  /s=KBYTES  segment size in kilobytes of 1024 bytes (default 512)\n"
    "  /r=N       a split also writes N recovery files (PAR2, beside the\n"
    "             segments), so that any N lost or damaged segments can be\n"
    "             rebuilt; a join finds and uses them by itself\n"
    "  /q         quiet: no progress, no final notice (also /quiet)\n"
    "  --help     this text (also -h and /?)\n"
    "  --version  the program's name and version\n"
    "Switches may be written in either case; each may be given once. Anything\n"
    "else on the line is refused before any work is done.\n"
    "\n"
    "Questions are asked on stderr and answered with 1 or 2 on stdin; when\n"
    "stdin is closed the safe answer is taken.\n"
    "Exit codes: 0 finished, 1 CRC failed, 2 nothing to do or a refused switch,\n"
    "3 output folder could not be made, 4 another Trep is running,\n"
    "5 no memory for the work buffer, 6 segments lost or damaged beyond what\n"
    "recovery files beside them rebuild, 7 a segment is in use by another job,\n"
    "99 aborted.\n";

void showProgress(Platform& platform, TextAnswerer& answerer, uint32_t state) {
  if (platform.noticeOpen() || state < kJobRunning || state >= kJobEnded) return;
  answerer.showProgress(state - kJobRunning);
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

// Standard input, output and error open before anything else is: a
// descriptor closed by the caller (<&-) would otherwise be the next file
// or pipe the program opens, and a read of "standard input" would wait on
// the program's own pipe. A closed input reads as empty, a closed output
// takes what is written and drops it.
void openStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened != fd && opened >= 0) ::close(opened);  // a lower one was closed meanwhile
  }
}

int run(int argc, char** argv) {
  openStandardStreams();
  if (argc >= 2 && isSubcommandVerb(argv[1])) {
    Subcommand command = readSubcommand(std::vector<std::string>(argv + 1, argv + argc));
    if (!command.refusal.empty()) {
      std::fprintf(stderr, "trep: %s (see trep %s --help)\n", command.refusal.c_str(), argv[1]);
      return kExitUsage;
    }
    return runSubcommand(command);
  }
  // The whole line is read before anything is made or asked.
  CommandLine line = readCommandLine(ArgvArguments(argc, argv), false);
  switch (line.request) {
    case CommandLine::Request::kHelp:
      std::fputs(kUsage, stdout);
      return 0;
    case CommandLine::Request::kVersion:
      std::printf("trep %s\n", TREP_VERSION);
      return 0;
    case CommandLine::Request::kRefused:
      std::fprintf(stderr, "trep: %s (see trep --help)\n", line.refusal.c_str());
      return kExitUsage;
    case CommandLine::Request::kSwitches:
      break;
  }
  if (argc < 2) {
    std::fputs(kUsage, stdout);
    return 0;
  }

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
  readSwitches(*app, *platform, line);

  if (app->job.sourceValid) {
    bool terminal = !app->job.quiet && isatty(STDERR_FILENO);
    Platform& p = *platform;
    JobSettings& job = app->job;
    interrupts::duringJob([&job] {
      job.stopRequested = 1;
      job.jobResult = kResultAborted;
    });
    BatchFailure failure;
    int code = runBatch(
        *app, p,
        [&p, &answerer, terminal](uint32_t state) {
          if (terminal) showProgress(p, answerer, state);
        },
        &failure);
    answerer.endLine();
    interrupts::jobOver();  // ends here, by the signal, when one stopped the job
    tellQuietNotes(job, code);
    tellWhyItEnded(failure);
    return exitCodeFor(code, failure.failure);
  }
  if (app->sawInputSwitch) {
    std::fprintf(stderr, "trep: \"%s\": %s.\n", app->lastInput.c_str(),
                 whyNotTaken(*app).c_str());
  } else {
    std::fprintf(stderr, "trep: no file given: name one with /i=FILE (see trep --help).\n");
  }
  return kExitUsage;
}

}  // namespace
}  // namespace trep

int main(int argc, char** argv) { return trep::run(argc, argv); }
