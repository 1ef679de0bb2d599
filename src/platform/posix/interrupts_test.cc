#include "platform/posix/interrupts.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>

namespace trep {
namespace {

// Each case runs in a child process of its own (a death test): the signals
// end it, and how they end it is what is checked.

bool wokenWithin10s() {
  pollfd p = {interrupts::wakeFd(), POLLIN, 0};
  return poll(&p, 1, 10000) == 1;
}

void stopThenEnd() {
  interrupts::watch();
  std::atomic<bool> stopped{false};
  interrupts::duringJob([&stopped] { stopped = true; });
  kill(getpid(), SIGTERM);
  if (!wokenWithin10s() || !stopped) _exit(3);  // the job was not stopped
  usleep(100000);  // still here: the program waits for the job
  interrupts::jobOver();
  _exit(4);  // not reached
}

void endAtOnce() {
  interrupts::watch();
  kill(getpid(), SIGINT);
  sleep(10);
  _exit(3);
}

void endAtTheSecond() {
  interrupts::watch();
  interrupts::duringJob([] {});
  kill(getpid(), SIGHUP);
  wokenWithin10s();
  kill(getpid(), SIGHUP);
  sleep(10);
  _exit(3);
}

// A signal during a job stops the job (and wakes a waiting question); the
// program ends by that signal only once the job is over.
TEST(InterruptsDeathTest, ASignalDuringAJobStopsItThenEndsTheProgramByIt) {
  EXPECT_EXIT(stopThenEnd(), ::testing::KilledBySignal(SIGTERM), "");
}

// Before a job (and after one) there is nothing to clean up: at once.
TEST(InterruptsDeathTest, ASignalOutsideAJobEndsTheProgramAtOnce) {
  EXPECT_EXIT(endAtOnce(), ::testing::KilledBySignal(SIGINT), "");
}

// A job that does not stop: a second signal ends the program anyway.
TEST(InterruptsDeathTest, ASecondSignalEndsTheProgramAtOnce) {
  EXPECT_EXIT(endAtTheSecond(), ::testing::KilledBySignal(SIGHUP), "");
}

}  // namespace
}  // namespace trep
