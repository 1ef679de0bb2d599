// The recovery files beside a series, mutated: the input holds the bytes of
// up to three recovery files (each led by a 32-bit little-endian length)
// after a flag byte that damages the series' three segments. The set is
// read, the series repaired into a work folder, and segment 0001's first
// bytes rebuilt on their own. Nothing may crash, hang
// or be written beside the series; the segments stay as they were; what the
// repair says it rebuilt must be in the work folder. Then the series is
// joined as the programs join it: a join that ends 0 has made the original
// bytes, whenever the set was taken for the series' or the series is whole
// (without a set, a headerless series is joined as it is found).
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/recovery/recovery_set.h"
#include "engine/recovery/repair.h"
#include "engine/recovery/series_evidence.h"
#include "engine/recovery_job.h"
#include "engine/work_buffer.h"
#include "fuzz/fuzz_support.h"
#include "planning/controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"
#include "testing/test_support.h"

using namespace trep;
using namespace trep::recovery;

namespace {

// Segment n (1 to 3): 700 + 100·n bytes, byte j = (37·n + 13·j) mod 256.
// fuzz/make_corpus.py makes the seeds' recovery files for the same bytes.
std::vector<uint8_t> segmentBytes(uint32_t n) {
  std::vector<uint8_t> v(700 + 100 * n);
  for (std::size_t j = 0; j < v.size(); ++j) v[j] = static_cast<uint8_t>(37 * n + 13 * j);
  return v;
}

const char* const kRecoveryNames[] = {"abcd.par2", "abcd.vol0+1.par2", "abcd.vol1+1.par2"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static testing::FaultyPlatform platform;
  fuzz::emptyScratch();
  const std::string dir = fuzz::scratch() + "/series";
  const std::string work = fuzz::scratch() + "/work";
  std::filesystem::create_directory(dir);
  std::filesystem::create_directory(work);
  const uint8_t flags = size > 0 ? data[0] : 0;

  std::vector<std::vector<uint8_t>> segments;
  for (uint32_t n = 1; n <= 3; ++n) {
    std::vector<uint8_t> bytes = segmentBytes(n);
    if (flags & (8u << (n - 1))) bytes[n * 5] ^= 0xAA;
    segments.push_back(bytes);
    if (!(flags & (1u << (n - 1))))
      testing::writeBytes(dir + "/abcd000" + std::to_string(n) + ".trp", bytes);
  }
  std::size_t at = 1;
  for (const char* name : kRecoveryNames) {
    if (at + 4 > size) break;
    std::size_t length = data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
                         static_cast<std::size_t>(data[at + 3]) << 24;
    at += 4;
    if (length > size - at) length = size - at;
    testing::writeBytes(dir + "/" + name, std::vector<uint8_t>(data + at, data + at + length));
    at += length;
  }

  RecoverySet set;
  Status why;
  SetFound found = readRecoverySet(platform, dir, "abcd", &set, &why);
  if (found == SetFound::kUsable) {
    FUZZ_CHECK(set.sliceSize % 4 == 0 && set.sliceSize != 0);
    for (const SetFile& f : set.files) FUZZ_CHECK(f.segment <= 9999);
    RepairOptions options;
    options.workFolder = work;
    options.memoryLimit = (flags & 64) ? (256u << 10) : (8u << 20);
    RepairReport r = repairSeries(platform, set, dir, "abcd", options);
    for (const std::string& t : r.temporaries) FUZZ_CHECK(t.rfind(work + "/", 0) == 0);
    if (r.outcome == RepairOutcome::kRepaired) {
      for (const auto& [segment, path] : r.readFrom)
        FUZZ_CHECK(path.rfind(work + "/", 0) == 0 || path.rfind(dir + "/abcd000", 0) == 0);
    } else {
      FUZZ_CHECK(r.readFrom.empty() || r.outcome == RepairOutcome::kNotRepairable);
    }
    removeRebuilt(platform, &r);
    FUZZ_CHECK(std::filesystem::is_empty(work));

    // The first bytes of whichever file the set says is segment 0001, as
    // source analysis rebuilds a lost first segment's header: whatever it
    // gives holds the hash the set records for them.
    for (std::size_t i = 0; i < set.files.size(); ++i) {
      if (set.files[i].segment != 1) continue;
      std::vector<uint8_t> first;
      if (rebuildFirstBytes(platform, set, dir, "abcd", i, &first).ok())
        FUZZ_CHECK(md5Of(first.data(), first.size()) == set.files[i].description.firstHash);
    }
  }

  // The join. The set is this series' when judgeSet says so (a headerless
  // series: by its names, sizes and a segment as it records it).
  bool setTaken = false;
  if (found == SetFound::kUsable) {
    std::string why;
    setTaken = judgeSet(platform, set, dir + "/abcd", nullptr, nullptr, &why) ==
               SetVerdict::kThisSeries;
  }
  {
    static testing::FunctionAnswerer answers([](const NoticeParameters& n) {
      if (n.firstButton == kAttemptAnyway) return kUpperButton;
      return safeAnswer(n);
    });
    platform.setNoticeAnswerer(&answers);
    const std::string out = fuzz::scratch() + "/out";
    std::filesystem::create_directory(out);
    auto job = std::make_unique<JobSettings>();
    PersistedSettings options;
    options.useCrc = 1;
    SizeState sizes;
    NoControls none;
    PlanningContext p{*job, options, platform, none, sizes};
    job->outputFolder = out;
    job->sourcePath = dir + "/abcd0002.trp";
    job->quiet = 1;
    analyseSource(p);
    if (job->sourceValid) {
      job->jobState = kJobPrepared;
      BatchPlanning planning;
      JobContext ctx{*job, options, platform, planning, nullptr};
      FUZZ_CHECK(!runJob(ctx).endProcess);
      releaseWorkBuffer(ctx);
      std::vector<uint8_t> original;
      for (uint32_t n = 1; n <= 3; ++n) {
        const std::vector<uint8_t> bytes = segmentBytes(n);
        original.insert(original.end(), bytes.begin(), bytes.end());
      }
      const bool whole = (flags & 63) == 0;
      if (job->jobResult == kResultFinished && (setTaken || whole))
        FUZZ_CHECK(testing::readBytes(job->outputFolder.str() + "/" + job->originalName.str()) ==
                   original);
    }
  }

  // The series folder holds what was put there, unchanged.
  for (uint32_t n = 1; n <= 3; ++n) {
    const std::string path = dir + "/abcd000" + std::to_string(n) + ".trp";
    if (!(flags & (1u << (n - 1)))) FUZZ_CHECK(testing::readBytes(path) == segments[n - 1]);
    else FUZZ_CHECK(!std::filesystem::exists(path));
  }
  return 0;
}
