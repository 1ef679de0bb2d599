// trep's subcommands on a POSIX system: split, join and check, run with the
// conventions of the tools Unix users know (output in the current folder,
// no question without a terminal, progress on a terminal only, pipes).
#ifndef TREP_APP_UNIX_COMMANDS_H_
#define TREP_APP_UNIX_COMMANDS_H_

#include "app/subcommand.h"

namespace trep {

// Exit codes of "trep check" besides 0 (the series is whole) and 2 (no
// series to check): the damage can be mended by the recovery files (a join
// mends it as it goes), or it cannot (as a join's 6).
constexpr int kExitCheckMendable = 1;
constexpr int kExitCheckNotMendable = 6;

// Runs one subcommand line, read and not refused, and returns the exit code.
int runSubcommand(const Subcommand& command);

// The usage text of a verb (Verb::kNone: the overview of all three).
const char* subcommandUsage(Subcommand::Verb verb);

}  // namespace trep

#endif  // TREP_APP_UNIX_COMMANDS_H_
