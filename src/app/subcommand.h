// The command form of trep that Unix users type: "trep split FILE -s 10M",
// "trep join SEGMENT -o -", "trep check SEGMENT". It sits beside the
// switches ("/i=" ...), which keep their meaning; a line whose first
// argument is one of the three verbs is read here, any other by
// readCommandLine.
#ifndef TREP_APP_SUBCOMMAND_H_
#define TREP_APP_SUBCOMMAND_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trep {

// What one subcommand line asks for. Read whole before anything acts on it.
struct Subcommand {
  enum class Verb { kNone, kSplit, kJoin, kCheck };
  Verb verb = Verb::kNone;
  bool help = false;           // "--help" or "-h": the verb's usage, nothing else
  std::string input;           // the file, the segment, or "-" (split: standard input)
  std::string name;            // "--name": the original's name for a split of standard input
  std::string output;          // "-o": a folder, or "-" (join: standard output); empty: "."
  uint64_t segmentBytes = 0;   // "-s" as bytes; 0 when not given or given as a medium
  int presetIndex = 0;         // "-s" as a medium's name: its index in the preset table
  uint32_t segmentCount = 0;   // "-n"; 0 when not given
  uint32_t recoveryCount = 0;  // "-r"; 0 none
  bool quiet = false;          // "-q": nothing but errors, also on a terminal
  bool verbose = false;        // "-v": progress and the summary also when stderr is no terminal
  bool force = false;          // "-f": replace existing files without asking
  std::string refusal;         // non-empty: why the line is refused (no full stop)
};

// True when `argument` is one of the verbs "split", "join", "check".
bool isSubcommandVerb(std::string_view argument);

// Reads the arguments after the program's name; args[0] is the verb.
// Options may stand before or after the file; "--" ends them. Values go as
// the next argument or joined ("-s10M", "--size=10M").
Subcommand readSubcommand(const std::vector<std::string>& args);

// A segment size as the user writes it, in bytes: decimal digits with an
// optional unit, K, M, G or T (or KiB, MiB, ...) in steps of 1024, KB, MB,
// GB or TB in steps of 1000, letters in either case. False for anything
// else, for 0, and for a size that does not fit 64 bits.
bool parseSizeWithUnit(std::string_view text, uint64_t* bytes);

// The index in the preset table of a medium named as in the window's list,
// in lower case without blanks ("cd80", "dvdsl", "flash1g", "email"), or
// "dvd" (the wizard's DVD). 0 when the name is no medium's.
int presetIndexOfMedium(std::string_view name);

// The media names presetIndexOfMedium knows, for help and completion.
std::vector<std::string> mediumNames();

}  // namespace trep

#endif  // TREP_APP_SUBCOMMAND_H_
