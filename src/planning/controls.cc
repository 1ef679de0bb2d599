#include "planning/controls.h"

namespace trep {

uint32_t fieldNumber(std::string_view text) {
  if (text.empty() || text.size() > 10) return 0;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v > 0xFFFFFFFFull ? 0 : static_cast<uint32_t>(v);
}

}  // namespace trep
