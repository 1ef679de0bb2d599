// The one rule for a number typed as text: decimal digits only, fitting 32
// bits. Nothing is wrapped, clamped or skipped.
#ifndef TREP_PLATFORM_DECIMAL_H_
#define TREP_PLATFORM_DECIMAL_H_

#include <cstdint>
#include <string_view>

namespace trep {

// False, leaving *value as it was, for an empty text, any character other
// than 0-9 (a sign or a blank too) or a value above 4,294,967,295.
inline bool parseDecimal(std::string_view text, uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;  // 10 digits hold any 32-bit value
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFull) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

}  // namespace trep

#endif  // TREP_PLATFORM_DECIMAL_H_
