// A join of a small mutated series. The input is cut into up to four
// segment files (each piece led by a length byte); the series is analysed,
// every question of the analysis accepted, and joined into "out" with the
// safe answer to every question of the job. Nothing may be written outside
// "out" and the segment files must stay as they were.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/work_buffer.h"
#include "fuzz/fuzz_support.h"
#include "planning/controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"
#include "testing/test_support.h"

using namespace trep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static testing::FaultyPlatform platform;
  static testing::FunctionAnswerer answers([](const NoticeParameters& n) {
    if (n.firstButton == kAttemptAnyway) return kUpperButton;
    return safeAnswer(n);
  });
  platform.setNoticeAnswerer(&answers);
  fuzz::emptyScratch();
  const std::string dir = fuzz::scratch();
  const uint8_t flags = size > 0 ? data[0] : 0;

  // Segment pieces: [length byte * 4 + ...] bytes each; the first may carry
  // a real header so the fuzzer starts from valid series.
  std::vector<std::vector<uint8_t>> segments;
  size_t at = 1;
  while (at < size && segments.size() < 4) {
    size_t length = static_cast<size_t>(data[at++]) * 4;
    if (segments.empty() && (flags & 1)) length += 652;
    if (length > size - at) length = size - at;
    segments.emplace_back(data + at, data + at + length);
    at += length;
  }
  if (segments.empty()) return 0;
  for (size_t i = 0; i < segments.size(); ++i)
    testing::writeBytes(dir + "/fzzz000" + std::to_string(i + 1) + ".trp", segments[i]);

  std::filesystem::create_directory(dir + "/out");
  auto job = std::make_unique<JobSettings>();
  PersistedSettings options;
  options.useCrc = (flags & 2) ? 1 : 0;
  SizeState sizes;
  NoControls none;
  PlanningContext p{*job, options, platform, none, sizes};
  job->outputFolder = dir + "/out";
  job->sourcePath = dir + "/fzzz0001.trp";
  job->encrypt = (flags & 4) ? 1 : 0;
  job->cipherKey = (flags & 8) ? "k" : "";
  job->quiet = (flags & 16) ? 1 : 0;
  analyseSource(p);
  if (!job->sourceValid) return 0;
  FUZZ_CHECK(job->outputFolder.str().rfind(dir + "/out/", 0) == 0);

  job->jobState = kJobPrepared;
  BatchPlanning planning;
  JobContext ctx{*job, options, platform, planning, nullptr};
  JobOutcome outcome = runJob(ctx);
  releaseWorkBuffer(ctx);
  FUZZ_CHECK(!outcome.endProcess);
  uint32_t result = job->jobResult;
  // 6: a quiet join refuses a series with lost segments before it writes.
  FUZZ_CHECK(result == kResultFinished || result == kResultCrcFailed ||
             result == kResultAborted || result == kResultNotRepairable);

  // Only "out" is new, and the series is unchanged.
  for (auto& e : std::filesystem::directory_iterator(dir)) {
    std::string name = e.path().filename().string();
    FUZZ_CHECK(name == "out" || name.size() == 12);
  }
  for (size_t i = 0; i < segments.size(); ++i)
    FUZZ_CHECK(testing::readBytes(dir + "/fzzz000" + std::to_string(i + 1) + ".trp") == segments[i]);
  return 0;
}
