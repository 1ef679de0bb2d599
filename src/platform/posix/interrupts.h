// SIGINT, SIGTERM and SIGHUP for a program that cleans up before it ends.
// The signals are taken by a thread of their own (sigwait), never by a
// handler, so what they set off needs no care for async-signal safety.
#ifndef TREP_PLATFORM_POSIX_INTERRUPTS_H_
#define TREP_PLATFORM_POSIX_INTERRUPTS_H_

#include <functional>

namespace trep {
namespace interrupts {

// Blocks the three signals in the calling thread, and so in every thread
// it starts later, and starts the thread that takes them. Called first in
// main, before any other thread exists; later calls do nothing.
void watch();

// From here until jobOver(), a signal calls `stop` (on the watching
// thread), makes wakeFd() readable, and the program ends once the job is
// over. Before and after, a signal ends the program at once: there is
// nothing to clean up. A second signal always ends it at once.
void duringJob(std::function<void()> stop);

// The job is over: when a signal came, ends the process by that signal, as
// a program without a handler would end (the default action, so the exit
// status shows the signal); otherwise returns.
void jobOver();

// Readable once a signal came while a job ran (for a wait to watch).
int wakeFd();

}  // namespace interrupts
}  // namespace trep

#endif  // TREP_PLATFORM_POSIX_INTERRUPTS_H_
