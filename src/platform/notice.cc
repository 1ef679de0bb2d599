#include "platform/notice.h"

namespace trep {

uint32_t safeAnswer(const NoticeParameters& notice) {
  if (notice.secondButton == kAbortProcedure) return kLowerButton;
  if (notice.firstButton == kAbortProcedure) return kUpperButton;
  return kUpperButton;
}

}  // namespace trep
