#include "app/command_line.h"

#include "platform/decimal.h"
#include "platform/fixed_text.h"

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

bool looksLikeSwitch(std::string_view argument) {
  return !argument.empty() && (argument[0] == '/' || argument[0] == '-');
}

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

namespace {

// Reads one argument into *out; false with *why set when it is refused.
bool readSwitch(const std::string& text, Switch* out, std::string* why) {
  const std::string name = lowered(text.substr(0, 3));
  out->text = text;
  if (name == "/i=" || name == "/o=") {
    out->kind = name == "/i=" ? Switch::Kind::kInput : Switch::Kind::kOutput;
    out->value = text.substr(3);
    const char* what = out->kind == Switch::Kind::kInput ? "file" : "folder";
    if (out->value.empty()) {
      *why = "switch " + quoted(text) + " names no " + what;
      return false;
    }
    if (!PathText::fits(out->value)) {
      // Never cut to a different path.
      *why = "the path " + quoted(out->value) + " is longer than " +
             std::to_string(PathText::kMaxLength) + " characters";
      return false;
    }
    return true;
  }
  if (name == "/s=") {
    out->kind = Switch::Kind::kSegmentSize;
    if (!parseSegmentKBytes(text.substr(3), &out->kbytes)) {
      *why = "the segment size " + quoted(text.substr(3)) +
             " is not valid: it must be a whole number of kilobytes below 4 GiB (0 to " +
             std::to_string(kMaxSegmentKBytes) + ")";
      return false;
    }
    return true;
  }
  if (name == "/r=") {
    out->kind = Switch::Kind::kRecovery;
    if (!parseRecoveryCount(text.substr(3), &out->count)) {
      *why = "the number of recovery files " + quoted(text.substr(3)) +
             " is not valid: it must be a whole number from 1 to the number of segments";
      return false;
    }
    return true;
  }
  const std::string whole = lowered(text);
  if (whole == "/q" || whole == "/quiet") {
    out->kind = Switch::Kind::kQuiet;
    return true;
  }
  *why = (looksLikeSwitch(text) ? "unknown switch " : "stray argument ") + quoted(text);
  return false;
}

}  // namespace

CommandLine readCommandLine(const Arguments& args, bool loneFileAllowed) {
  CommandLine line;
  std::vector<std::string> texts;
  for (uint32_t n = 1;; ++n) {
    std::string text;
    int r = args.get(n, &text);
    if (r == kArgumentMissing) break;
    if (r == kUnbalancedQuotes) {
      line.request = CommandLine::Request::kRefused;
      line.refusal = "the command line has an unbalanced double quote";
      return line;
    }
    texts.push_back(text);
  }

  // Help and the version are all that is done, wherever they stand.
  for (const std::string& t : texts) {
    if (t == "--help" || t == "-h" || t == "/?") {
      line.request = CommandLine::Request::kHelp;
      return line;
    }
  }
  for (const std::string& t : texts) {
    if (t == "--version") {
      line.request = CommandLine::Request::kVersion;
      return line;
    }
  }
  if (loneFileAllowed && texts.size() == 1 && !looksLikeSwitch(texts[0])) return line;

  for (std::size_t i = 0; i < texts.size(); ++i) {
    const std::string& text = texts[i];
    std::string why;
    Switch s;
    if (text.empty()) {
      why = "argument " + std::to_string(i + 1) + " is empty";
    } else if (readSwitch(text, &s, &why)) {
      for (const Switch& earlier : line.switches) {
        if (earlier.kind == s.kind) {
          why = quoted(text) + " repeats the switch " + quoted(earlier.text);
          break;
        }
      }
    }
    if (!why.empty()) {
      line.request = CommandLine::Request::kRefused;
      line.refusal = why;
      line.switches.clear();
      return line;
    }
    line.switches.push_back(std::move(s));
  }
  return line;
}

bool parseRecoveryCount(std::string_view text, uint32_t* count) {
  uint32_t v = 0;
  if (!parseDecimal(text, &v) || v == 0 || v > 9999) return false;
  *count = v;
  return true;
}

}  // namespace trep
