// Notices as a plain system message box: Yes stands for the upper button, No
// for the lower. A stand-in until the program's own notice dialog exists.
#ifndef TREP_PLATFORM_WIN32_MESSAGE_BOX_ANSWERER_H_
#define TREP_PLATFORM_WIN32_MESSAGE_BOX_ANSWERER_H_

#include "platform/notice.h"

namespace trep {

class MessageBoxAnswerer : public NoticeAnswerer {
 public:
  uint32_t answer(const NoticeParameters& notice) override;
};

}  // namespace trep

#endif  // TREP_PLATFORM_WIN32_MESSAGE_BOX_ANSWERER_H_
