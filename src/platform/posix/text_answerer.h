// Notices in a terminal: the message and both choices on stderr, the answer
// ("1" or "2") read from stdin. A timeout answers 1; stdin at end of file or
// unreadable gives the safe answer at once, so a script never hangs.
#ifndef TREP_PLATFORM_POSIX_TEXT_ANSWERER_H_
#define TREP_PLATFORM_POSIX_TEXT_ANSWERER_H_

#include <cstdio>

#include "platform/notice.h"

namespace trep {

class TextAnswerer : public NoticeAnswerer {
 public:
  TextAnswerer(int inputFd, std::FILE* output) : inputFd_(inputFd), output_(output) {}
  uint32_t answer(const NoticeParameters& notice) override;

 private:
  int inputFd_;
  std::FILE* output_;
  bool inputClosed_ = false;  // once stdin ended, every later notice is answered at once
};

}  // namespace trep

#endif  // TREP_PLATFORM_POSIX_TEXT_ANSWERER_H_
