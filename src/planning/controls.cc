#include "planning/controls.h"

#include "platform/decimal.h"

namespace trep {

uint32_t fieldNumber(std::string_view text) {
  uint32_t v = 0;
  return parseDecimal(text, &v) ? v : 0;
}

std::size_t caretAfterRewrite(std::string_view before, std::string_view after,
                              std::size_t position) {
  const std::size_t shorter = before.size() < after.size() ? before.size() : after.size();
  std::size_t prefix = 0;
  while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
  // The unchanged tail, not reaching into the unchanged head.
  std::size_t suffix = 0;
  while (suffix < shorter - prefix &&
         before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
    ++suffix;
  if (position > before.size()) position = before.size();
  if (position <= prefix) return position;
  if (position >= before.size() - suffix) return position - before.size() + after.size();
  return after.size() - suffix;
}

}  // namespace trep
