// Notices in a terminal: the message, the reason of the failure it follows
// and both choices on stderr, the answer ("1" or "2") read from stdin. A
// timeout answers 1; stdin at end of file or unreadable gives the safe
// answer at once, so a script never hangs. So does a failure that trying
// again cannot mend when stdin is not a terminal: a script's "OK" would
// only meet it again. A notice with nothing to decide is printed and
// answered 1 without reading.
#ifndef TREP_PLATFORM_POSIX_TEXT_ANSWERER_H_
#define TREP_PLATFORM_POSIX_TEXT_ANSWERER_H_

#include <cstdio>
#include <mutex>

#include "platform/notice.h"

namespace trep {

class TextAnswerer : public NoticeAnswerer {
 public:
  TextAnswerer(int inputFd, std::FILE* output) : inputFd_(inputFd), output_(output) {}
  uint32_t answer(const NoticeParameters& notice) override;
  // A descriptor that becomes readable when the program is to end (a
  // signal came): a notice waiting for its answer then takes the safe
  // answer, and so does every later one.
  void setInterruptFd(int fd) { interruptFd_ = fd; }
  // The progress line of a job in a terminal: "\rtrep: N%", left open. A
  // notice (and endLine) first ends it, so no text runs on after the figure.
  void showProgress(uint32_t percent);
  void endLine();

 private:
  uint32_t answerUnread(const NoticeParameters& notice, const char* why);

  int inputFd_;
  std::FILE* output_;
  int interruptFd_ = -1;
  bool inputClosed_ = false;  // once stdin ended, every later notice is answered at once
  bool interrupted_ = false;  // likewise once the program is ending
  std::mutex lineMutex_;      // progress from the main thread, notices from the worker
  bool lineOpen_ = false;     // a progress line was written and not yet ended
};

}  // namespace trep

#endif  // TREP_PLATFORM_POSIX_TEXT_ANSWERER_H_
