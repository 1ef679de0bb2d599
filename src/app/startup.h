// Start-up shared by both programs: folders, single instance, settings, the
// switches of the command line, and batch mode.
#ifndef TREP_APP_STARTUP_H_
#define TREP_APP_STARTUP_H_

#include <cstdint>
#include <functional>
#include <string>

#include "app/command_line.h"
#include "engine/engine.h"
#include "engine/exit_codes.h"
#include "engine/job.h"
#include "planning/planning.h"
#include "platform/platform.h"

namespace trep {

constexpr uint32_t kInstanceWaitMs = 5000;
constexpr uint32_t kDefaultSegmentKBytes = 512;

// The records of one process, made by the entry and passed down.
struct App {
  JobSettings job;
  PersistedSettings options;
  std::string programFolder;   // with its trailing separator, or empty
  std::string userDataFolder;  // with its trailing separator, or empty
  uint32_t adminRights = 0;
  uint32_t batchSegmentKBytes = kDefaultSegmentKBytes;
  uint32_t batchRecoveryCount = 0;  // "/r=": recovery files of a batch split; 0 none
  SizeState sizes;  // window state of the size fields (none in batch mode)

  // What the switches asked for, for the messages about a file not taken.
  bool sawInputSwitch = false;
  std::string lastInput;         // value of "/i=", whole
  // Why a settings file there was not read (the defaults are in force); ok
  // when it was read or there is none.
  Status settingsStatus;
};

// What a batch job that did not finish leaves for the program's last words.
struct BatchFailure {
  Status failure;       // the failure that ended it; ok when none had a reason
  bool shown = false;   // its reason went out with a notice already
  bool gaveUp = false;  // it came back after every "OK" (askRetryOrAbort)
};

// Sets the program folder and the user-data folder: the program folder, or
// the per-user folder "Quorin/Trep" below the application-data folder when
// "DefSet.txt" stands beside the program on a drive that is not removable.
void findFolders(App& app, Platform& platform);

// Takes the single-instance lock, waiting once for 5 seconds when another
// instance holds it. False when it is still held after the wait.
bool takeInstanceLock(Platform& platform);

// Steps 3 to 6 of start-up: settings, administrator rights, the desktop as
// the output folder, the default batch segment size.
void prepareStart(App& app, Platform& platform);

// Applies the switches of a command line that was read and not refused, in
// the order given. "/i=" runs source analysis at once, with no window, on the
// output folder set so far: an "/o=" before it gets a folder named after the
// file appended, one after it replaces that and is used as it is.
void readSwitches(App& app, Platform& platform, const CommandLine& line);

// Why the file of "/i=" did not lead to a job, from what the analysis found
// when it opened it: "it cannot be opened (No such file or directory)", "it
// is empty", ... `toldAlready` is set when the analysis raised a notice of
// its own about it (a series it did not take, a folder too long).
std::string whyNotTaken(const App& app, bool* toldAlready = nullptr);

// Batch mode: runs the one job that the switches prepared and returns the
// process exit code. A split asked for more recovery files ("/r=") than it
// has segments is refused before anything is written (kExitUsage).
// `progress` is called about once a second with jobState while a job that is
// not quiet runs. A job that ends aborted, or ends the process, leaves its
// failure in *failure (when given).
int runBatch(App& app, Platform& platform,
             const std::function<void(uint32_t)>& progress = nullptr,
             BatchFailure* failure = nullptr);

}  // namespace trep

#endif  // TREP_APP_STARTUP_H_
