#include "app/subcommand.h"

#include "app/command_line.h"
#include "platform/decimal.h"
#include "planning/size_arithmetic.h"

namespace trep {
namespace {

// The medium names: the window's list in lower case without blanks.
std::string mediumNameOf(const char* listName) {
  std::string out;
  for (const char* c = listName; *c != '\0'; ++c)
    if (*c != ' ') out.push_back(*c);
  return lowered(out);
}

// The wizard's DVD button: entry 19 of the preset table.
constexpr int kDvdPreset = 19;

enum class Takes { kNothing, kValue };

struct Option {
  const char* shortName;  // "-s", or nullptr
  const char* longName;   // "--size"
  Takes takes;
};

const Option kOptions[] = {
    {"-s", "--size", Takes::kValue},     {"-n", "--count", Takes::kValue},
    {"-o", "--output", Takes::kValue},   {"-r", "--recovery", Takes::kValue},
    {nullptr, "--name", Takes::kValue},  {"-q", "--quiet", Takes::kNothing},
    {"-v", "--verbose", Takes::kNothing}, {"-f", "--force", Takes::kNothing},
    {"-h", "--help", Takes::kNothing},
};

// Which options each verb takes, by long name.
bool verbTakes(Subcommand::Verb verb, const std::string& longName) {
  if (longName == "--help" || longName == "--quiet" || longName == "--verbose") return true;
  switch (verb) {
    case Subcommand::Verb::kSplit:
      return true;
    case Subcommand::Verb::kJoin:
      return longName == "--output" || longName == "--force";
    default:
      return false;
  }
}

const char* verbName(Subcommand::Verb verb) {
  switch (verb) {
    case Subcommand::Verb::kSplit: return "split";
    case Subcommand::Verb::kJoin: return "join";
    case Subcommand::Verb::kCheck: return "check";
    default: return "";
  }
}

// Applies option `o` with `value` (when it takes one); false with *why set
// when the value is refused.
bool apply(const Option& o, const std::string& written, const std::string& value,
           Subcommand* c, std::string* why) {
  const std::string name = o.longName;
  if (name == "--size") {
    if (c->segmentBytes != 0 || c->presetIndex != 0 || c->segmentCount != 0) {
      *why = "give the segments' size or their number once (" + quoted(written) + ")";
      return false;
    }
    int preset = presetIndexOfMedium(lowered(value));
    if (preset != 0) {
      c->presetIndex = preset;
      return true;
    }
    uint64_t bytes = 0;
    if (!parseSizeWithUnit(value, &bytes)) {
      *why = "the segment size " + quoted(value) +
             " is not valid: write a number with an optional unit (10M, 700MB, 4G) or a "
             "medium (cd80, dvd, ...)";
      return false;
    }
    if (bytes > kLargestSegment) {
      *why = "the segment size " + quoted(value) + " is too large: at most " +
             std::to_string(kLargestSegment) + " bytes (just under 4 GiB)";
      return false;
    }
    c->segmentBytes = bytes;
    return true;
  }
  if (name == "--count") {
    if (c->segmentBytes != 0 || c->presetIndex != 0 || c->segmentCount != 0) {
      *why = "give the segments' size or their number once (" + quoted(written) + ")";
      return false;
    }
    uint32_t n = 0;
    if (!parseDecimal(value, &n) || n < 1 || n > 9999) {
      *why = "the number of segments " + quoted(value) + " is not valid: 1 to 9999";
      return false;
    }
    c->segmentCount = n;
    return true;
  }
  if (name == "--recovery") {
    uint32_t n = 0;
    if (!parseDecimal(value, &n) || n < 1 || n > 9999) {
      *why = "the number of recovery files " + quoted(value) + " is not valid: 1 to 9999";
      return false;
    }
    c->recoveryCount = n;
    return true;
  }
  if (name == "--output") {
    if (value.empty()) {
      *why = quoted(written) + " names no folder";
      return false;
    }
    if (value == "-" && c->verb != Subcommand::Verb::kJoin) {
      *why = "only a join writes to standard output (-o -)";
      return false;
    }
    c->output = value;
    return true;
  }
  if (name == "--name") {
    if (value.empty() || value.find('/') != std::string::npos || value == "." || value == "..") {
      *why = "the name " + quoted(value) + " is not a file name";
      return false;
    }
    c->name = value;
    return true;
  }
  if (name == "--quiet") c->quiet = true;
  if (name == "--verbose") c->verbose = true;
  if (name == "--force") c->force = true;
  if (name == "--help") c->help = true;
  return true;
}

}  // namespace

bool isSubcommandVerb(std::string_view argument) {
  return argument == "split" || argument == "join" || argument == "check";
}

bool parseSizeWithUnit(std::string_view text, uint64_t* bytes) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0 || digits > 19) return false;  // 19 digits always fit 64 bits
  uint64_t number = 0;
  for (std::size_t i = 0; i < digits; ++i) number = number * 10 + (text[i] - '0');
  const std::string unit = lowered(text.substr(digits));
  uint64_t step = 1;
  int power = 0;
  if (!unit.empty()) {
    const std::string letters = "kmgt";
    std::size_t at = letters.find(unit[0]);
    if (at == std::string::npos) return false;
    power = static_cast<int>(at) + 1;
    const std::string rest = unit.substr(1);
    if (rest.empty() || rest == "ib")
      step = 1024;
    else if (rest == "b")
      step = 1000;
    else
      return false;
  }
  uint64_t value = number;
  for (int i = 0; i < power; ++i) {
    if (value > UINT64_MAX / step) return false;
    value *= step;
  }
  if (value == 0) return false;
  *bytes = value;
  return true;
}

int presetIndexOfMedium(std::string_view name) {
  if (name == "dvd") return kDvdPreset;
  for (int i = 1; i < kPresetListEntries; ++i)
    if (name == mediumNameOf(kPresetNames[i])) return i;
  return 0;
}

std::vector<std::string> mediumNames() {
  std::vector<std::string> names;
  for (int i = 1; i < kPresetListEntries; ++i) names.push_back(mediumNameOf(kPresetNames[i]));
  names.push_back("dvd");
  return names;
}

Subcommand readSubcommand(const std::vector<std::string>& args) {
  Subcommand c;
  if (args.empty() || !isSubcommandVerb(args[0])) {
    c.refusal = "no subcommand";
    return c;
  }
  c.verb = args[0] == "split"  ? Subcommand::Verb::kSplit
           : args[0] == "join" ? Subcommand::Verb::kJoin
                               : Subcommand::Verb::kCheck;
  const std::string verb = verbName(c.verb);
  std::vector<std::string> files;
  bool optionsEnded = false;
  std::string why;
  for (std::size_t i = 1; i < args.size() && why.empty(); ++i) {
    const std::string& a = args[i];
    if (optionsEnded || a == "-" || a.empty() || a[0] != '-') {
      if (a.empty()) {
        why = "argument " + std::to_string(i + 1) + " is empty";
        break;
      }
      files.push_back(a);
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
      continue;
    }
    // "--name=value", "--name value", "-s value", "-svalue".
    const Option* found = nullptr;
    std::string value;
    bool joined = false;
    for (const Option& o : kOptions) {
      const std::string longName = o.longName;
      if (a == longName || (o.shortName != nullptr && a == o.shortName)) {
        found = &o;
        break;
      }
      if (o.takes == Takes::kValue && a.compare(0, longName.size() + 1, longName + "=") == 0) {
        found = &o;
        value = a.substr(longName.size() + 1);
        joined = true;
        break;
      }
      if (o.takes == Takes::kValue && o.shortName != nullptr && a.size() > 2 &&
          a.compare(0, 2, o.shortName) == 0 && a[1] != '-') {
        found = &o;
        value = a.substr(2);
        joined = true;
        break;
      }
    }
    if (found == nullptr) {
      why = "unknown option " + quoted(a) + " for trep " + verb;
      break;
    }
    if (!verbTakes(c.verb, found->longName)) {
      why = "trep " + verb + " takes no option " + quoted(a);
      break;
    }
    if (found->takes == Takes::kValue && !joined) {
      if (i + 1 >= args.size()) {
        why = "option " + quoted(a) + " needs a value";
        break;
      }
      value = args[++i];
    }
    if (!apply(*found, a, value, &c, &why)) break;
  }
  if (why.empty() && c.help) return c;
  if (why.empty()) {
    if (files.empty())
      why = std::string(c.verb == Subcommand::Verb::kSplit ? "no file" : "no segment") +
            " given";
    else if (files.size() > 1)
      why = "one file at a time: " + quoted(files[1]) + " is one too many";
  }
  if (why.empty()) {
    c.input = files[0];
    if (c.input == "-" && c.verb != Subcommand::Verb::kSplit)
      why = "only a split reads standard input (-)";
    else if (c.input == "-" && c.name.empty())
      why = "a split of standard input needs --name NAME, the name the join gives the file";
    else if (c.input != "-" && !c.name.empty())
      why = "--name is for a split of standard input (-)";
    else if (c.quiet && c.verbose)
      why = "-q and -v ask for opposite things";
    // Checked here, where the paths enter, and never cut to another path.
    for (const std::string* path : {&c.input, &c.output})
      if (why.empty() && *path != "-" && !PathText::fits(*path))
        why = "the path " + quoted(*path) + " is longer than " +
              std::to_string(PathText::kMaxLength) + " characters";
  }
  if (!why.empty()) {
    Subcommand refused;
    refused.verb = c.verb;
    refused.refusal = why;
    return refused;
  }
  return c;
}

}  // namespace trep
