// The process exit codes of both programs, in one place. A job ends the
// process with its jobResult (finished, CRC failed, aborted); the others
// are the program's own.
#ifndef TREP_ENGINE_EXIT_CODES_H_
#define TREP_ENGINE_EXIT_CODES_H_

#include "engine/job.h"

namespace trep {

constexpr int kExitFinished = static_cast<int>(kResultFinished);    // 0
constexpr int kExitCrcFailed = static_cast<int>(kResultCrcFailed);  // 1
constexpr int kExitUsage = 2;            // the arguments did not lead to a job, or were refused
constexpr int kExitDirectoryError = 3;   // the output folder could be neither made nor found
constexpr int kExitAnotherInstance = 4;  // another instance still ran after the wait
constexpr int kExitMemoryError = 5;      // no work buffer at any size
constexpr int kExitNotRepairable = static_cast<int>(kResultNotRepairable);  // 6
// A segment is held by another job (a join holds its segments alone): not
// damage, and gone when that job ends; try again then.
constexpr int kExitInUse = 7;
constexpr int kExitAborted = static_cast<int>(kResultAborted);      // 99

}  // namespace trep

#endif  // TREP_ENGINE_EXIT_CODES_H_
