// The command line: arguments, switches and numbers.
#ifndef TREP_APP_COMMAND_LINE_H_
#define TREP_APP_COMMAND_LINE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trep {

// Results of getArgument.
constexpr int kArgumentFound = 1;
constexpr int kArgumentMissing = 2;      // there is no argument n; out empty
constexpr int kUnbalancedQuotes = 3;     // out untouched
constexpr int kArgumentEmpty = 4;        // out empty

// Argument n of a Windows command line (0 is the program itself). Arguments
// are separated by runs of blanks or tabs; blanks between double quotes stay
// within the argument, the quotes themselves are dropped, and they may stand
// anywhere inside it. A byte 254 stands for a quoted blank while the line is
// split, so one written on the line comes out as a blank. Lines of any length
// are read whole.
int getArgument(std::string_view commandLine, uint32_t n, std::string* out);

// Where the arguments come from: the Windows command line, split by
// getArgument, or the entries of argv, taken as they are.
class Arguments {
 public:
  virtual ~Arguments() = default;
  virtual int get(uint32_t n, std::string* out) const = 0;
};

class CommandLineArguments : public Arguments {
 public:
  explicit CommandLineArguments(std::string line) : line_(std::move(line)) {}
  int get(uint32_t n, std::string* out) const override {
    return getArgument(line_, n, out);
  }

 private:
  std::string line_;
};

class ArgvArguments : public Arguments {
 public:
  ArgvArguments(int argc, char** argv) : args_(argv, argv + argc) {}
  explicit ArgvArguments(std::vector<std::string> args) : args_(std::move(args)) {}
  int get(uint32_t n, std::string* out) const override;

 private:
  std::vector<std::string> args_;
};

// The largest "/s=" value: its byte count (value * 1024) must fit 32 bits.
constexpr uint32_t kMaxSegmentKBytes = 4194303;

// A "/s=" value: decimal digits only, at most kMaxSegmentKBytes; 0 becomes 1.
// False for anything else (nothing is wrapped or clamped).
bool parseSegmentKBytes(std::string_view text, uint32_t* kbytes);

// An argument written as a switch: it begins with "/" or "-". Such an
// argument is never taken as a file to open.
bool looksLikeSwitch(std::string_view argument);

// Argument texts as both forms of the command line read and name them: in
// ASCII lower case (switches, verbs and units are read so), and in double
// quotes (as a message names what it refuses).
std::string lowered(std::string_view s);
std::string quoted(std::string_view s);

// One switch, as it was written and what it carries.
struct Switch {
  enum class Kind { kInput, kOutput, kQuiet, kSegmentSize, kRecovery };
  Kind kind = Kind::kQuiet;
  std::string text;     // the whole argument, for messages
  std::string value;    // kInput: the file; kOutput: the folder
  uint32_t kbytes = 0;  // kSegmentSize: the size read (0 already made 1)
  uint32_t count = 0;   // kRecovery: the number of recovery files, 1 to 9999
};

// What a command line asks for. It is read whole before anything acts on it,
// so that a refused line makes nothing and shows nothing else first.
struct CommandLine {
  enum class Request {
    kSwitches,  // the switches below, none at all, or a lone file to open
    kHelp,      // "--help", "-h" or "/?" anywhere on the line
    kVersion,   // "--version" anywhere (help wins when both are there)
    kRefused,   // `refusal` says which argument and why
  };
  Request request = Request::kSwitches;
  std::vector<Switch> switches;  // in the order given; each kind at most once
  std::string refusal;           // a phrase naming the argument, no full stop
};

// Reads arguments 1, 2, ... up to the first missing one. The switches, in
// any letter case: "/i=FILE", "/o=FOLDER", "/s=KBYTES", "/r=N", "/q" (also written
// "/quiet"). Refused: a switch of another name, a value that is empty, longer
// than a path field holds or (for "/s=") not a size, a switch given a second
// time, an empty argument, unbalanced quotes, and any word that is not a
// switch, except that with `loneFileAllowed` a sole argument that does not
// look like a switch is the file to open in the main window (how the shell
// hands over a double-clicked segment).
CommandLine readCommandLine(const Arguments& args, bool loneFileAllowed);

// A "/r=" value, the number of recovery files: decimal digits only, 1 to
// 9999 (a split has at most 9999 segments; the number of its segments is
// checked once it is known). False for anything else.
bool parseRecoveryCount(std::string_view text, uint32_t* count);

}  // namespace trep

#endif  // TREP_APP_COMMAND_LINE_H_
