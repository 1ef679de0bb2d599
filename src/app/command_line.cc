#include "app/command_line.h"

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

uint32_t parseDecimal(std::string_view text) {
  uint32_t value = 0;
  for (char c : text)
    value = value * 10u + static_cast<uint8_t>(static_cast<uint8_t>(c) - 48u);
  return value;
}

bool parseSegmentKBytes(std::string_view text, uint32_t* kbytes) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > kMaxSegmentKBytes) return false;
  *kbytes = v == 0 ? 1 : static_cast<uint32_t>(v);
  return true;
}

}  // namespace trep
