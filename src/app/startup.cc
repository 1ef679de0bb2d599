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
  loadSettings(platform, app.userDataFolder, &app.options);
  app.adminRights = platform.enablePrivilege("SeSystemtimePrivilege", true);
  app.job.outputFolder = platform.desktopFolder();
  app.batchSegmentKBytes = kDefaultSegmentKBytes;
}

namespace {

bool startsWith(const std::string& s, std::string_view prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

std::string lowered(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

void refusePath(Platform& platform, const std::string& path) {
  if (raiseNotice(platform,
                  "The path \"" + path + "\" is longer than " +
                      std::to_string(PathText::kMaxLength) +
                      " characters and cannot be used.",
                  kOk, kOpenReadMe) == kLowerButton)
    platform.openReadMe();
}

void refuseRecoveryCount(Platform& platform, const std::string& why) {
  if (raiseNotice(platform,
                  "The number of recovery files must be at least 1 and at most the number of "
                  "segments: " + why + ".",
                  kOk, kOpenReadMe) == kLowerButton)
    platform.openReadMe();
}

}  // namespace

bool readSwitches(App& app, Platform& platform, const Arguments& args) {
  JobSettings& job = app.job;
  for (uint32_t n = 1;; ++n) {
    std::string text;
    int r = args.get(n, &text);
    if (r != kArgumentFound) break;
    if (startsWith(lowered(text.substr(0, 3)), "/i=")) {
      std::string path = text.substr(3);
      app.sawInputSwitch = true;
      app.lastInput = path;
      job.sourceValid = 0;
      if (path.size() > PathText::kMaxLength) {
        refusePath(platform, path);  // never cut to a different path
        continue;
      }
      job.sourcePath = path;
      NoControls none;
      PlanningContext p{job, app.options, platform, none, app.sizes};
      analyseSource(p);
    } else if (startsWith(text, "/o=")) {
      std::string folder = text.substr(3);
      if (folder.size() > PathText::kMaxLength) {
        refusePath(platform, folder);
        app.refused = true;
        continue;
      }
      job.outputFolder = folder;
    } else if (startsWith(text, "/q")) {
      job.quiet = 1;
    } else if (startsWith(text, "/s=")) {
      uint32_t kbytes = 0;
      if (!parseSegmentKBytes(text.substr(3), &kbytes)) {
        if (raiseNotice(platform,
                        "The segment size \"" + text.substr(3) +
                            "\" is not valid: it must be a whole number of kilobytes "
                            "below 4 GiB (0 to " + std::to_string(kMaxSegmentKBytes) +
                            ").",
                        kOk, kOpenReadMe) == kLowerButton)
          platform.openReadMe();
        app.refused = true;
        return false;
      }
      app.batchSegmentKBytes = kbytes;
    } else if (startsWith(text, "/r=")) {
      uint32_t count = 0;
      if (!parseRecoveryCount(text.substr(3), &count)) {
        refuseRecoveryCount(platform, "\"" + text.substr(3) + "\" is not a whole number from 1 to 9999");
        app.refused = true;
        return false;
      }
      app.batchRecoveryCount = count;
    }
  }
  return true;
}

int runBatch(App& app, Platform& platform, const std::function<void(uint32_t)>& progress) {
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
    if (outcome.endProcess) return outcome.exitCode;
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
  if (outcome.endProcess) return outcome.exitCode;

  uint32_t result = job.jobResult;
  if (endsWithNotice(result)) {
    if (raiseNotice(platform, endNoticeText(job), kOk, kOpenReadMe, 10) == kLowerButton)
      platform.openReadMe();
  }
  return static_cast<int>(result);
}

}  // namespace trep
