#include "planning/controls.h"

#include "platform/decimal.h"

namespace trep {

uint32_t fieldNumber(std::string_view text) {
  uint32_t v = 0;
  return parseDecimal(text, &v) ? v : 0;
}

}  // namespace trep
