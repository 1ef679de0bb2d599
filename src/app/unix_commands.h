// trep's subcommands on a POSIX system: split, join and check, run with the
// conventions of the tools Unix users know (output in the current folder,
// no question without a terminal, progress on a terminal only, pipes).
#ifndef TREP_APP_UNIX_COMMANDS_H_
#define TREP_APP_UNIX_COMMANDS_H_

#include "app/subcommand.h"
#include "engine/exit_codes.h"
#include "engine/job.h"
#include "platform/status.h"

namespace trep {

// Exit codes of "trep check" besides 0 (the series is whole) and 2 (no
// series to check): the damage can be mended by the recovery files (a join
// mends it as it goes), or it cannot (as a join's 6).
constexpr int kExitCheckMendable = 1;
constexpr int kExitCheckNotMendable = 6;

// What a job without notices (quiet) has to say at its end: why recovery
// files were not used, what they rebuilt, why the series cannot be
// rebuilt. On stderr, one line each; nothing when the notices said it.
void tellQuietNotes(const JobSettings& job, int code);

// A job's exit code as the process ends with it: an abort because a
// segment is held by another job is kExitInUse.
int exitCodeFor(int code, const Status& lastFailure);

// Runs one subcommand line, read and not refused, and returns the exit code.
int runSubcommand(const Subcommand& command);

// The usage text of a verb (Verb::kNone: the overview of all three).
const char* subcommandUsage(Subcommand::Verb verb);

}  // namespace trep

#endif  // TREP_APP_UNIX_COMMANDS_H_
