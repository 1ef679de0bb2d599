#include "platform/posix/interrupts.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace trep {
namespace interrupts {
namespace {

std::atomic<int> gSignal{0};            // the first signal that came
std::atomic<bool> gDuringJob{false};
std::function<void()> gStop;            // set before gDuringJob turns true
int gWake[2] = {-1, -1};

sigset_t watchedSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

// Ends the process by `sig` with its default action, from whichever thread
// calls it.
[[noreturn]] void endBy(int sig) {
  signal(sig, SIG_DFL);
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, sig);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  raise(sig);
  _exit(128 + sig);  // not reached: the default action of all three ends the process
}

void takeSignals() {
  const sigset_t set = watchedSignals();
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) != 0) continue;
    if (gSignal.exchange(sig) != 0) endBy(sig);  // a second one: at once
    if (!gDuringJob) endBy(sig);                 // nothing to clean up
    gStop();
    ssize_t ignored = write(gWake[1], "x", 1);
    (void)ignored;
  }
}

}  // namespace

void watch() {
  static std::once_flag once;
  std::call_once(once, [] {
    const sigset_t set = watchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    if (pipe(gWake) != 0) gWake[0] = gWake[1] = -1;
    std::thread(takeSignals).detach();
  });
}

void duringJob(std::function<void()> stop) {
  gStop = std::move(stop);
  gDuringJob = true;
  // A signal the watching thread saw before this had nothing to stop and
  // ended the process; one it sees from now on stops the job.
  if (int sig = gSignal.load()) endBy(sig);
}

void jobOver() {
  gDuringJob = false;
  if (int sig = gSignal.load()) endBy(sig);
}

int wakeFd() { return gWake[0]; }

}  // namespace interrupts
}  // namespace trep
