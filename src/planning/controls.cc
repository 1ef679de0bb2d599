#include "planning/controls.h"

namespace trep {

uint32_t MemoryControls::number(int id) {
  std::string t = text(id);
  if (t.empty() || t.size() > 10) return 0;
  uint64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  return v > 0xFFFFFFFFull ? 0 : static_cast<uint32_t>(v);
}

}  // namespace trep
