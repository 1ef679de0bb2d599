#include "app/command_line.h"

#include "platform/decimal.h"

namespace trep {

// Stands for a blank between quotes while the line is split.
constexpr char kQuotedBlank = static_cast<char>(254);

int getArgument(std::string_view commandLine, uint32_t n, std::string* out) {
  std::size_t quotes = 0;
  for (char c : commandLine)
    if (c == '"') ++quotes;
  if (quotes % 2 != 0) return kUnbalancedQuotes;

  std::string line(commandLine);
  for (char& c : line)
    if (c == '\t') c = ' ';
  bool inQuotes = false;
  for (char& c : line) {
    if (c == '"')
      inQuotes = !inQuotes;
    else if (inQuotes && c == ' ')
      c = kQuotedBlank;
  }

  std::size_t i = 0;
  while (i < line.size() && line[i] == ' ') ++i;
  for (uint32_t k = 0; k < n; ++k) {
    while (i < line.size() && line[i] != ' ') ++i;  // to the end of argument k
    while (i < line.size() && line[i] == ' ') ++i;  // over the blanks after it
  }
  out->clear();
  if (i >= line.size()) return kArgumentMissing;
  for (; i < line.size() && line[i] != ' '; ++i) {
    if (line[i] == '"') continue;
    out->push_back(line[i] == kQuotedBlank ? ' ' : line[i]);
  }
  return out->empty() ? kArgumentEmpty : kArgumentFound;
}

int ArgvArguments::get(uint32_t n, std::string* out) const {
  out->clear();
  if (n >= args_.size()) return kArgumentMissing;
  *out = args_[n];
  return out->empty() ? kArgumentEmpty : kArgumentFound;
}

bool parseSegmentKBytes(std::string_view text, uint32_t* kbytes) {
  uint32_t v = 0;
  if (!parseDecimal(text, &v) || v > kMaxSegmentKBytes) return false;
  *kbytes = v == 0 ? 1 : v;
  return true;
}

bool parseRecoveryCount(std::string_view text, uint32_t* count) {
  uint32_t v = 0;
  if (!parseDecimal(text, &v) || v == 0 || v > 9999) return false;
  *count = v;
  return true;
}

}  // namespace trep
