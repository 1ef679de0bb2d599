#include "app/startup.h"

#include <atomic>
#include <thread>

#include "app/settings_file.h"
#include "engine/work_buffer.h"
#include "planning/controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"

namespace trep {

void findFolders(App& app, Platform& platform) {
  app.programFolder = platform.programFolder();
  app.userDataFolder = app.programFolder;
  if (platform.isRemovableDrive(app.programFolder)) return;
  bool marker = platform.openFile(app.programFolder + "DefSet.txt", FileAccess::kRead,
                                  FileShare::kRead, FileCreate::kOpenExisting) != nullptr;
  if (!marker) return;
  std::string folder = platform.appDataFolder() + kPathSeparator + "Quorin";
  platform.createFolder(folder);  // failures are ignored: the file is then not found
  folder += kPathSeparator;
  folder += "Trep";
  platform.createFolder(folder);
  app.userDataFolder = folder + kPathSeparator;
}

bool takeInstanceLock(Platform& platform) {
  if (platform.tryInstanceLock(kProgramFile)) return true;
  // Covers the program restarting itself with administrator rights.
  platform.sleepMs(kInstanceWaitMs);
  return platform.tryInstanceLock(kProgramFile);
}

void prepareStart(App& app, Platform& platform) {
  app.settingsStatus = loadSettings(platform, app.userDataFolder, &app.options);
  app.adminRights = platform.enablePrivilege("SeSystemtimePrivilege", true);
  app.job.outputFolder = platform.desktopFolder();
  app.batchSegmentKBytes = kDefaultSegmentKBytes;
}

void readSwitches(App& app, Platform& platform, const CommandLine& line) {
  JobSettings& job = app.job;
  for (const Switch& s : line.switches) {
    switch (s.kind) {
      case Switch::Kind::kInput: {
        app.sawInputSwitch = true;
        app.lastInput = s.value;
        job.sourceValid = 0;
        job.sourcePath = s.value;  // fits: the reader refuses longer paths
        NoControls none;
        PlanningContext p{job, app.options, platform, none, app.sizes};
        analyseSource(p);
        break;
      }
      case Switch::Kind::kOutput:
        job.outputFolder = withNativeSeparators(s.value);
        break;
      case Switch::Kind::kQuiet:
        job.quiet = 1;
        break;
      case Switch::Kind::kSegmentSize:
        app.batchSegmentKBytes = s.kbytes;
        break;
      case Switch::Kind::kRecovery:
        app.batchRecoveryCount = s.count;
        break;
    }
  }
}

std::string whyNotTaken(const App& app, bool* toldAlready) {
  const std::string& path = app.lastInput;
  const JobSettings& job = app.job;
  bool told = true;
  std::string why;
  if (isSegmentName(path)) {
    why = "its series was not taken";
  } else if (!job.sourceStatus) {
    why = "it cannot be opened (" + job.sourceStatus.reason() + ")";
    told = false;
  } else if (job.sourceBytes == 0) {
    why = "it is empty";
    told = false;
  } else {
    why = "it cannot be used";
  }
  if (toldAlready != nullptr) *toldAlready = told;
  return why;
}

namespace {

void reportFailure(const JobContext& ctx, BatchFailure* failure) {
  if (failure == nullptr) return;
  failure->failure = ctx.lastFailure;
  failure->shown = ctx.lastFailureShown;
  failure->gaveUp = ctx.gaveUp;
}

void refuseRecoveryCount(Platform& platform, const std::string& why) {
  if (raiseNotice(platform,
                  "The number of recovery files must be at least 1 and at most the number of "
                  "segments: " + why + ".",
                  kOk, kOpenReadMe) == kLowerButton)
    platform.openReadMe();
}

}  // namespace

int runBatch(App& app, Platform& platform, const std::function<void(uint32_t)>& progress,
             BatchFailure* failure) {
  JobSettings& job = app.job;
  if (job.isSplit) {
    job.segmentSize = app.batchSegmentKBytes * 1024;  // fits: "/s=" is checked
    countFromSize(job);
    if (app.batchRecoveryCount != 0) {
      adjustCountAtSplitStart(job);  // the count the split will write, as runJob makes it
      if (app.batchRecoveryCount > job.segmentCount) {
        refuseRecoveryCount(platform, std::to_string(app.batchRecoveryCount) + " asked for, " +
                                          std::to_string(job.segmentCount) +
                                          (job.segmentCount == 1 ? " segment" : " segments"));
        return kExitUsage;
      }
      job.recoveryCount = app.batchRecoveryCount;
    }
  }
  job.jobState = kJobPrepared;

  BatchPlanning planning;
  JobContext ctx{job, app.options, platform, planning, nullptr};
  if (job.quiet) {
    JobOutcome outcome = runJob(ctx);
    releaseWorkBuffer(ctx);  // kept after an early return; no later job will take it
    if (outcome.endProcess || job.jobResult == kResultAborted) reportFailure(ctx, failure);
    if (outcome.endProcess) return outcome.exitCode;
    // Ended by a segment another job holds: not an abort of the user's.
    if (job.jobResult == kResultAborted && ctx.lastFailure.inUse()) return kExitInUse;
    return static_cast<int>(job.jobResult.load());
  }

  std::atomic<bool> done{false};
  JobOutcome outcome;
  std::thread worker([&] {
    outcome = runJob(ctx);
    done = true;
  });
  // Polled once a second; the end is noticed within 50 ms. The worker is
  // waited for, so the process never ends while it still writes.
  uint32_t waited = 0;
  while (!done) {
    platform.sleepMs(50);
    waited += 50;
    if (waited >= 1000) {
      waited = 0;
      if (progress && !done) progress(job.jobState);
    }
  }
  worker.join();
  releaseWorkBuffer(ctx);
  if (outcome.endProcess || job.jobResult == kResultAborted) reportFailure(ctx, failure);
  if (outcome.endProcess) return outcome.exitCode;

  uint32_t result = job.jobResult;
  if (result == kResultAborted && ctx.lastFailure.inUse()) return kExitInUse;
  if (endsWithNotice(result)) {
    if (raiseNotice(platform, endNoticeText(job), kOk, kOpenReadMe, 10) == kLowerButton)
      platform.openReadMe();
  }
  return static_cast<int>(result);
}

}  // namespace trep
