// Recovery files through whole jobs: a split asked for them writes a set
// that describes its segments exactly (whatever the rebuild method,
// "Encrypt", or the memory that forces passes), and a join chosen on any
// segment finds it, rebuilds what is lost or damaged without touching the
// series' folder, and says so, or refuses with a notice and result 6.
#include "engine/recovery_job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/join_recovery.h"
#include "engine/naming.h"
#include "engine/recovery/par2_format.h"
#include "engine/recovery/recovery_set.h"
#include "engine/recovery/repair.h"
#include "engine/work_buffer.h"
#include "planning/controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"
#include "platform/folder_listing.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::fileExists;
using testing::patternBytes;
using testing::readBytes;
using testing::writeBytes;

struct SplitOptions {
  SplitOptions(uint32_t r, std::string k = "", RebuildMethod m = RebuildMethod::kTrep,
               uint64_t bytes = uint64_t{128} << 20)
      : recovery(r), key(std::move(k)), rebuildMethod(m), memory(bytes) {}
  uint32_t recovery;
  std::string key;  // not empty: "Encrypt" with this key
  RebuildMethod rebuildMethod;
  uint64_t memory;  // recovery data held at a time
};

// A folder's files and their bytes.
using Snapshot = std::map<std::string, std::vector<uint8_t>>;

class RecoveryJobTest : public ::testing::Test {
 protected:
  void SetUp() override { platform.setNoticeAnswerer(&answers); }

  std::string series() const { return dir.file("series"); }
  std::string segment(uint32_t n) const {
    return segmentPath(series() + kPathSeparator + "data", n);
  }
  std::string out(const std::string& name = "data.bin") const {
    return dir.file("out") + kPathSeparator + name;
  }

  Snapshot snapshot(const std::string& folder) const {
    Snapshot s;
    for (const std::string& name : listFolder(folder))
      s[name] = readBytes(folder + kPathSeparator + name);
    return s;
  }

  // Cuts `size` bytes of "data.bin" into segments of `segmentSize` into
  // "series"; the job's result.
  uint32_t split(std::size_t size, uint32_t segmentSize, const SplitOptions& o,
                 NoticeAnswerer* answerer = nullptr, uint32_t multiRemovable = 0) {
    original = patternBytes(size, 11);
    writeBytes(dir.file("data.bin"), original);
    JobSettings job;
    job.sourcePath = dir.file("data.bin");
    job.fileSize = size;
    job.segmentSize = segmentSize;
    job.isSplit = job.sourceValid = 1;
    job.encrypt = o.key.empty() ? 0 : 1;
    job.cipherKey = o.key;
    job.outputFolder = series();
    job.recoveryCount = o.recovery;
    job.multiRemovable = multiRemovable;
    job.jobState = kJobPrepared;
    PersistedSettings options;
    options.useCrc = 1;
    options.rebuildMethod = o.rebuildMethod;
    ScriptedAnswerer none;
    platform.setNoticeAnswerer(answerer != nullptr ? answerer : &none);
    BatchPlanning planning;
    JobContext ctx{job, options, platform, planning, &window};
    ctx.recoveryMemory = o.memory;
    runJob(ctx);
    releaseWorkBuffer(ctx);
    platform.setNoticeAnswerer(&answers);
    return job.jobResult;
  }

  // Analyses `chosen` and joins into "out" (or `output`).
  void join(const std::string& chosen, const std::string& key = "", uint32_t quiet = 0,
            const std::string& output = "") {
    job = std::make_unique<JobSettings>();
    job->sourcePath = chosen;
    job->encrypt = key.empty() ? 0 : 1;
    job->cipherKey = key;
    options.useCrc = 1;
    NoControls none;
    SizeState sizes;
    PlanningContext p{*job, options, platform, none, sizes};
    analyseSource(p);
    analysed = job->sourceValid != 0;
    if (!analysed) return;
    job->outputFolder = output.empty() ? dir.file("out") : output;
    job->quiet = quiet;
    job->jobState = kJobPrepared;
    window.titles.clear();
    JobContext ctx{*job, options, platform, planning, &window};
    runJob(ctx);
    releaseWorkBuffer(ctx);
  }

  // Cuts `data` into segments of `segmentSize` in `folder` (as "data.bin",
  // useCrc on) with `recovery` recovery files, without touching `original`.
  void splitOther(const std::vector<uint8_t>& data, const std::string& folder,
                  uint32_t segmentSize, uint32_t recovery) {
    testing::TempDir source;
    writeBytes(source.file("data.bin"), data);
    JobSettings j;
    j.sourcePath = source.file("data.bin");
    j.fileSize = data.size();
    j.segmentSize = segmentSize;
    j.isSplit = j.sourceValid = 1;
    j.outputFolder = folder;
    j.recoveryCount = recovery;
    j.jobState = kJobPrepared;
    PersistedSettings o;
    o.useCrc = 1;
    ScriptedAnswerer yes(std::vector<uint32_t>(20, kUpperButton));
    platform.setNoticeAnswerer(&yes);
    JobContext ctx{j, o, platform, planning, nullptr};
    runJob(ctx);
    releaseWorkBuffer(ctx);
    platform.setNoticeAnswerer(&answers);
    ASSERT_EQ(j.jobResult, kResultFinished);
  }

  // One byte of segment n (or any file of the series' folder) changed.
  void flipByte(const std::string& path, std::size_t at) {
    std::vector<uint8_t> b = readBytes(path);
    ASSERT_LT(at, b.size());
    b[at] ^= 0x5A;
    writeBytes(path, b);
  }

  // Damage by kind: "lost", "random" (other bytes, same size), "truncated"
  // (to a third), "swapped" (with the next segment).
  void damage(const std::string& kind, uint32_t n) {
    if (kind == "lost") {
      platform.deleteFile(segment(n));
    } else if (kind == "random") {
      writeBytes(segment(n), patternBytes(readBytes(segment(n)).size(), 1000 + n));
    } else if (kind == "truncated") {
      std::vector<uint8_t> b = readBytes(segment(n));
      b.resize(b.size() / 3);
      writeBytes(segment(n), b);
    } else if (kind == "count" || kind == "size") {  // one byte of 0001's header field
      std::vector<uint8_t> b = readBytes(segment(n));
      b[kind == "count" ? 8 : 614] ^= 0x04;
      writeBytes(segment(n), b);
    } else if (kind == "swapped") {
      std::vector<uint8_t> a = readBytes(segment(n)), b = readBytes(segment(n + 1));
      writeBytes(segment(n), b);
      writeBytes(segment(n + 1), a);
    }
  }

  // No rebuilt segment left anywhere the join could have put one.
  void expectNothingLeftBehind() {
    for (const std::string& name : listFolder(dir.file("out")))
      EXPECT_EQ(name.find(".rebuilt"), std::string::npos) << name;
    for (const std::string& t : platform.temporaryNames) EXPECT_FALSE(fileExists(t)) << t;
  }

  testing::TempDir dir;
  testing::FaultyPlatform platform;
  ScriptedAnswerer answers;
  std::unique_ptr<JobSettings> job;
  PersistedSettings options;
  BatchPlanning planning;
  testing::RecordingWindow window;
  std::vector<uint8_t> original;
  bool analysed = false;
};

// The set a split writes, whatever shapes its segments, read back by the
// recovery module: every segment as recorded; and one lost segment rebuilt
// by the join from it.
TEST_F(RecoveryJobTest, SplitWritesTheSetOfItsSegmentsAsWritten) {
  struct Row {
    const char* what;
    SplitOptions options;
    std::string key;
    const char* chosen;  // segment file the join starts from
  } rows[] = {
      {"headers", {2}, "", "data0002.trp"},
      {"Encrypt", {2, "secret"}, "secret", "data0003.trp"},
      {"BAT file", {1, "", RebuildMethod::kBatFile}, "", "data0001.trp"},
      {"Encrypt, BAT file, passes", {3, "k", RebuildMethod::kBatFile, 8192}, "k", "data0004.trp"},
      {"headers, passes", {1, "", RebuildMethod::kTrep, 8192}, "", "data0005.trp"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    ASSERT_EQ(split(5 * 20000 - 123, 20000, r.options), kResultFinished);
    std::vector<std::string> names = listFolder(series());
    std::sort(names.begin(), names.end());
    std::vector<std::string> want = {"data.par2"};
    for (uint32_t e = 0; e < r.options.recovery; ++e)
      want.push_back("data.vol" + std::to_string(e) + "+1.par2");
    for (uint32_t n = 1; n <= 5; ++n) want.push_back("data" + zeroPadded(n, 4) + ".trp");
    if (r.options.rebuildMethod == RebuildMethod::kBatFile) want.push_back("UnTrep.bat");
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names, want);

    recovery::RecoverySet set;
    Status why;
    ASSERT_EQ(recovery::readRecoverySet(platform, series(), "data", &set, &why),
              recovery::SetFound::kUsable);
    EXPECT_EQ(set.files.size(), 5u);
    EXPECT_EQ(set.recovery.size(), r.options.recovery);
    EXPECT_EQ(set.sliceSize, r.options.rebuildMethod == RebuildMethod::kTrep ? 20652u : 20000u);
    recovery::RepairOptions check;
    check.workFolder = dir.path();
    check.checkOnly = true;
    EXPECT_EQ(recovery::repairSeries(platform, set, series(), "data", check).outcome,
              recovery::RepairOutcome::kIntact);

    damage("lost", 2);
    answers.push(kUpperButton);  // a headerless series: "Attempt to UnTrep them anyway."
    join(series() + kPathSeparator + r.chosen, r.key);
    ASSERT_TRUE(analysed);
    EXPECT_EQ(job->jobResult, kResultFinished);
    EXPECT_EQ(job->segmentsRebuilt, 1u);
    const std::string rebuilt = r.options.rebuildMethod == RebuildMethod::kTrep ? "data.bin" : "data";
    EXPECT_EQ(readBytes(out(rebuilt)), original);
    EXPECT_FALSE(fileExists(segment(2)));  // the series' folder is only read
    expectNothingLeftBehind();
    platform.deleteFile(out(rebuilt));
    for (const std::string& name : listFolder(series())) platform.deleteFile(series() + kPathSeparator + name);
  }
}

// The damage table: five segments, two recovery files, the join chosen on
// segment 0003 (or 0002 where 0003 is damaged).
TEST_F(RecoveryJobTest, JoinRebuildsWhatTheRecoveryFilesMend) {
  struct Row {
    const char* what;
    std::vector<std::pair<std::string, uint32_t>> damages;
    uint32_t result;
    uint32_t rebuilt;  // segmentsRebuilt
  } rows[] = {
      {"intact", {}, kResultFinished, 0},
      {"one lost", {{"lost", 3}}, kResultFinished, 1},
      {"same size, random", {{"random", 2}}, kResultFinished, 1},
      {"truncated", {{"truncated", 5}}, kResultFinished, 1},
      {"two swapped", {{"swapped", 2}}, kResultFinished, 2},
      {"0001 lost", {{"lost", 1}}, kResultFinished, 1},
      {"0001's header overwritten", {{"random", 1}}, kResultFinished, 1},
      {"0001's count damaged", {{"count", 1}}, kResultFinished, 1},
      {"0001's size damaged", {{"size", 1}}, kResultFinished, 1},
      {"N damaged, 0001 among them", {{"lost", 1}, {"random", 4}}, kResultFinished, 2},
      {"N + 1 damaged, 0001 among them", {{"lost", 1}, {"random", 2}, {"truncated", 4}},
       kResultNotRepairable, 0},
      {"N + 1 damaged, all of their size", {{"random", 2}, {"random", 4}, {"random", 5}},
       kResultNotRepairable, 0},
  };
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {2}), kResultFinished);
  const Snapshot whole = snapshot(series());
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    for (const auto& [name, bytes] : whole) writeBytes(series() + kPathSeparator + name, bytes);
    for (const auto& d : r.damages) damage(d.first, d.second);
    const Snapshot damaged = snapshot(series());
    bool third = std::none_of(r.damages.begin(), r.damages.end(),
                              [](const auto& d) { return d.second == 3; });
    platform.deleteFile(out());
    ScriptedAnswerer seen;
    platform.setNoticeAnswerer(&seen);
    join(segment(third ? 3 : 2));
    platform.setNoticeAnswerer(&answers);
    ASSERT_TRUE(analysed);
    EXPECT_EQ(job->jobResult, r.result);
    EXPECT_EQ(job->jobState, kJobEnded);
    EXPECT_EQ(job->segmentsRebuilt, r.rebuilt);
    EXPECT_EQ(snapshot(series()), damaged);
    expectNothingLeftBehind();
    if (r.result == kResultFinished) {
      EXPECT_EQ(readBytes(out()), original);
      EXPECT_TRUE(seen.messages().empty());
      EXPECT_EQ(endNoticeText(*job),
                r.rebuilt == 0   ? std::string("Finished")
                : r.rebuilt == 1 ? std::string("Finished \xE2\x80\x94 1 segment rebuilt from recovery files")
                                 : "Finished \xE2\x80\x94 " + std::to_string(r.rebuilt) +
                                       " segments rebuilt from recovery files");
      if (r.rebuilt != 0) {
        EXPECT_NE(std::find(window.titles.begin(), window.titles.end(),
                            "Rebuilding segments from recovery files"),
                  window.titles.end());
      }
    } else {
      EXPECT_FALSE(fileExists(out()));  // nothing under the original's name
      ASSERT_EQ(seen.messages().size(), 1u);
      EXPECT_EQ(seen.messages()[0], job->recoveryReport.str());
    }
  }
}

// Where the set is this series', it vouches for every byte before the join
// ends well: a change made to keep the slices' CRC-32s is found by the MD5,
// and segment 0001's header is believed only once the set vouches for it
// (a byte of its name, times, attributes or checksum changed is damage the
// set mends, not another file). Each row joins to the original: its bytes,
// name, times and attributes.
TEST_F(RecoveryJobTest, TheSetVouchesForEveryByteAndTheHeader) {
  // XORed into 5 bytes, the CRC-32 polynomial (bit-reflected, as zlib's
  // CRC runs) leaves every CRC-32 over those bytes as it was.
  const uint8_t kCrcKept[] = {0x41, 0x06, 0x71, 0xDB, 0x01};
  auto xorAt = [this](const std::string& path, std::size_t at, const uint8_t* bytes,
                      std::size_t n) {
    std::vector<uint8_t> b = readBytes(path);
    for (std::size_t i = 0; i < n; ++i) b[at + i] ^= bytes[i];
    writeBytes(path, b);
  };
  struct Row {
    const char* what;
    std::function<void()> damage;
    uint32_t chosen;
  } rows[] = {
      {"CRC-32 kept in 0002", [&] { xorAt(segment(2), 1500, kCrcKept, 5); }, 3},
      {"CRC-32 kept in 0001", [&] { xorAt(segment(1), 2000, kCrcKept, 5); }, 3},
      {"0001's name", [&] { flipByte(segment(1), 314); }, 2},
      {"0001's last-write time", [&] { flipByte(segment(1), 647); }, 2},
      {"0001's attributes", [&] { flipByte(segment(1), 650); }, 2},
      {"0001's checksum", [&] { flipByte(segment(1), 622); }, 2},
      {"0001 zeroed", [&] { writeBytes(segment(1), std::vector<uint8_t>(3652)); }, 1},
      {"0001 and 0002 swapped, 0003 lost",
       [&] {
         damage("swapped", 1);
         damage("lost", 3);
       },
       2},
      {"0001 lost, 0002 and 0003 swapped",
       [&] {
         damage("lost", 1);
         damage("swapped", 2);
       },
       2},
  };
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {3}), kResultFinished);
  const Snapshot whole = snapshot(series());
  join(segment(1));
  ASSERT_EQ(job->jobResult, kResultFinished);
  const std::unique_ptr<JobSettings> pristine = std::move(job);
  const JobSettings& recorded = *pristine;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    for (const std::string& name : listFolder(series())) platform.deleteFile(series() + kPathSeparator + name);
    for (const auto& [name, bytes] : whole) writeBytes(series() + kPathSeparator + name, bytes);
    r.damage();
    platform.deleteFile(out());
    ScriptedAnswerer seen;
    platform.setNoticeAnswerer(&seen);
    join(segment(r.chosen), "", 1);
    platform.setNoticeAnswerer(&answers);
    ASSERT_TRUE(analysed);
    EXPECT_EQ(job->jobResult, kResultFinished);
    EXPECT_NE(job->segmentsRebuilt, 0u);
    EXPECT_EQ(readBytes(out()), original);
    EXPECT_EQ(job->originalName.str(), recorded.originalName.str());
    EXPECT_EQ(job->lastWriteTime, recorded.lastWriteTime);
    EXPECT_EQ(job->creationTime, recorded.creationTime);
    EXPECT_EQ(job->fileAttributes, recorded.fileAttributes);
    EXPECT_EQ(job->fileCrc, recorded.fileCrc);
    EXPECT_TRUE(seen.messages().empty());
    expectNothingLeftBehind();
  }
}

// Two sets beside a series that fit its segments equally well and record
// other bytes for the one that is lost (an older version's set kept under
// another name): the join cannot tell which is this series' and says so,
// rather than rebuild whichever sorts first.
TEST_F(RecoveryJobTest, TwoSetsThatCannotBeToldApartAreRefused) {
  ASSERT_EQ(split(4 * 3000 - 100, 3000, {1}), kResultFinished);
  std::vector<uint8_t> older = original;
  for (std::size_t i = 100; i < 200; ++i) older[i] ^= 0x33;  // within 0001's payload
  testing::TempDir elsewhere;
  splitOther(older, elsewhere.file("series"), 3000, 1);
  writeBytes(series() + kPathSeparator + "data.vol0+1.old.par2",
             readBytes(elsewhere.file("series") + kPathSeparator + "data.vol0+1.par2"));
  damage("lost", 1);
  join(segment(2), "", 1);
  ASSERT_TRUE(analysed);
  EXPECT_EQ(job->jobResult, kResultNotRepairable);
  EXPECT_NE(job->recoveryReport.str().find("two sets of recovery files"), std::string::npos)
      << job->recoveryReport.str();
  EXPECT_NE(job->recoveryReport.str().find("segment 0001"), std::string::npos);
  EXPECT_FALSE(fileExists(out()));
  expectNothingLeftBehind();
}

// A copy of a volume whose recovery slice is damaged, beside the intact
// one and read first ("data.vol0+1 (1).par2" sorts before it): the repair
// takes the packet that checks out.
TEST_F(RecoveryJobTest, ADamagedCopyOfAVolumeDoesNotHideTheIntactOne) {
  ASSERT_EQ(split(4 * 3000 - 100, 3000, {1}), kResultFinished);
  const std::string volume = series() + kPathSeparator + "data.vol0+1.par2";
  std::vector<uint8_t> copy = readBytes(volume);
  copy[copy.size() / 3] ^= 0x01;  // inside the recovery slice's data
  writeBytes(series() + kPathSeparator + "data.vol0+1 (1).par2", copy);
  damage("lost", 2);
  join(segment(1), "", 1);
  ASSERT_TRUE(analysed);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(job->segmentsRebuilt, 1u);
  EXPECT_EQ(readBytes(out()), original);
}

TEST_F(RecoveryJobTest, NotRepairableNoticeNamesTheSegmentsAndWhatCouldBeRebuilt) {
  struct Row {
    std::vector<std::pair<std::string, uint32_t>> damages;
    const char* notice;
  } rows[] = {
      {{{"lost", 1}, {"random", 2}, {"truncated", 4}},
       "The series cannot be rebuilt: segment 0001 is missing and segments 0002 and 0004 are "
       "damaged. The recovery files can rebuild only 2 of these 3."},
      {{{"lost", 2}, {"lost", 3}, {"lost", 5}},
       "The series cannot be rebuilt: segments 0002, 0003 and 0005 are missing. The recovery "
       "files can rebuild only 2 of these 3."},
  };
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {2}), kResultFinished);
  const Snapshot whole = snapshot(series());
  for (const Row& r : rows) {
    for (const auto& [name, bytes] : whole) writeBytes(series() + kPathSeparator + name, bytes);
    for (const auto& d : r.damages) damage(d.first, d.second);
    ScriptedAnswerer seen;
    platform.setNoticeAnswerer(&seen);
    join(segment(r.damages[0].second == 2 ? 1 : 3));
    EXPECT_EQ(seen.messages(), std::vector<std::string>{r.notice});
    EXPECT_EQ(job->jobResult, kResultNotRepairable);

    // Quiet: no notice; the report stays in the job for the program to print.
    ScriptedAnswerer none;
    platform.setNoticeAnswerer(&none);
    join(segment(r.damages[0].second == 2 ? 1 : 3), "", 1);
    EXPECT_TRUE(none.messages().empty());
    EXPECT_EQ(job->recoveryReport.str(), r.notice);
    EXPECT_EQ(job->jobResult, kResultNotRepairable);
    platform.setNoticeAnswerer(&answers);
  }
}

// Recovery files that cannot be used never stop the join of a whole series,
// and never make it other than it was without them.
TEST_F(RecoveryJobTest, UnusableRecoveryFilesLeaveTheJoinAsItWas) {
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {2}), kResultFinished);
  const Snapshot whole = snapshot(series());
  // A set of other data of another length, cut under the same names in
  // another folder: it gives itself away by its count and sizes.
  const std::vector<uint8_t> mine = original;
  testing::TempDir other;
  {
    original = patternBytes(6 * 3000 - 700, 99);
    writeBytes(other.file("data.bin"), original);
    JobSettings j;
    j.sourcePath = other.file("data.bin");
    j.fileSize = original.size();
    j.segmentSize = 3000;
    j.isSplit = j.sourceValid = 1;
    j.outputFolder = other.file("series");
    j.recoveryCount = 2;
    j.jobState = kJobPrepared;
    PersistedSettings o;
    JobContext ctx{j, o, platform, planning, nullptr};
    runJob(ctx);
    releaseWorkBuffer(ctx);
    original = mine;
  }
  struct Row {
    const char* what;
    std::function<void()> spoil;
    const char* note = "";  // what the join says of the set it does not use
  } rows[] = {
      {"index and volumes cut short",
       [&] {
         for (const char* f : {"data.par2", "data.vol0+1.par2", "data.vol1+1.par2"}) {
           std::vector<uint8_t> b = readBytes(series() + kPathSeparator + f);
           b.resize(b.size() / 2 + 3);
           writeBytes(series() + kPathSeparator + f, b);
         }
       }},
      {"random bytes",
       [&] {
         for (const char* f : {"data.par2", "data.vol0+1.par2", "data.vol1+1.par2"})
           writeBytes(series() + kPathSeparator + f, patternBytes(5000, 3));
       }},
      {"another series' set",
       [&] {
         for (const char* f : {"data.par2", "data.vol0+1.par2", "data.vol1+1.par2"})
           writeBytes(series() + kPathSeparator + f,
                      readBytes(other.file("series") + kPathSeparator + f));
       },
       "describe another series: they describe 6 segments, its header 5; not used."},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    for (const auto& [name, bytes] : whole) writeBytes(series() + kPathSeparator + name, bytes);
    r.spoil();
    platform.deleteFile(out());
    ScriptedAnswerer seen;
    platform.setNoticeAnswerer(&seen);
    join(segment(4));
    platform.setNoticeAnswerer(&answers);
    EXPECT_EQ(job->jobResult, kResultFinished);
    EXPECT_EQ(job->segmentsRebuilt, 0u);
    EXPECT_EQ(readBytes(out()), original);
    if (*r.note == 0) {
      EXPECT_TRUE(seen.messages().empty());
    } else {
      ASSERT_EQ(seen.messages().size(), 1u);
      EXPECT_NE(seen.messages()[0].find(r.note), std::string::npos) << seen.messages()[0];
      EXPECT_TRUE(seen.shown()[0].informational);
      EXPECT_EQ(job->recoveryNote.str(), seen.messages()[0]);
    }
  }
}

// A set left by an earlier split under the same names, the newer series'
// segments copied over the old ones: most segments are as the set records
// them, 0001 and the last are not. The set describes another series (its
// header's count and size say so): it is not used, the join makes the newer
// file, and says why, in quiet mode through the job for the program to print.
TEST_F(RecoveryJobTest, ASetOfAnEarlierSplitIsNotUsed) {
  ASSERT_EQ(split(10 * 3000 - 500, 3000, {2}), kResultFinished);
  std::vector<uint8_t> newer = original;
  const std::vector<uint8_t> more = patternBytes(2500, 77);
  newer.insert(newer.end(), more.begin(), more.end());
  testing::TempDir elsewhere;
  splitOther(newer, elsewhere.file("series"), 3000, 0);
  for (const std::string& name : listFolder(elsewhere.file("series")))
    writeBytes(series() + kPathSeparator + name,
               readBytes(elsewhere.file("series") + kPathSeparator + name));
  const std::string note =
      "The recovery files beside \"" + series() + kPathSeparator +
      "data0001.trp\" describe another series: they describe 10 segments, its header 11; not "
      "used.";
  for (uint32_t quiet : {0u, 1u}) {
    SCOPED_TRACE(quiet);
    platform.deleteFile(out());
    ScriptedAnswerer seen;
    platform.setNoticeAnswerer(&seen);
    join(segment(4), "", quiet);
    platform.setNoticeAnswerer(&answers);
    ASSERT_TRUE(analysed);
    EXPECT_EQ(job->jobResult, kResultFinished);
    EXPECT_EQ(job->segmentsRebuilt, 0u);
    EXPECT_EQ(readBytes(out()), newer);
    EXPECT_EQ(job->recoveryNote.str(), note);
    EXPECT_EQ(seen.messages(), quiet ? std::vector<std::string>{} : std::vector<std::string>{note});
    expectNothingLeftBehind();
  }
}

// Segment 0001 lost, so no header tells how long the series is, and a
// segment beyond the set's last on the disk. Written after the set (a
// longer series' segments copied over the older ones): the set describes
// only the first part of another series and is not used, so nothing holds
// 0001's header and the series has no first segment. Older than the set,
// or after a last segment that ends the set's series on the disk (a
// leftover of an earlier, longer split): the set is this series' and
// rebuilds 0001.
TEST_F(RecoveryJobTest, ASetOfTheFirstPartOfALongerLaterSeriesIsNotUsed) {
  struct Row {
    const char* what;
    std::size_t set;        // bytes of the series the set was made for
    std::size_t other;      // bytes of the other series (11 segments of 3000)
    bool otherIsLater;      // copied over after the set, or split before it
  } rows[] = {
      {"later, longer; the set's last segment short", 10 * 3000 - 500, 11 * 3000 - 1000, true},
      {"later, longer; every segment full", 10 * 3000, 11 * 3000 - 500, true},
      {"a leftover of an earlier, longer split; last short", 10 * 3000 - 500, 11 * 3000 - 1000,
       false},
      {"a leftover of an earlier, longer split; every segment full", 10 * 3000, 11 * 3000 - 500,
       false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    for (const std::string& name : listFolder(series()))
      platform.deleteFile(series() + kPathSeparator + name);
    platform.deleteFile(out());
    const std::vector<uint8_t> other = patternBytes(r.other, 11);
    if (!r.otherIsLater) splitOther(other, series(), 3000, 0);
    ScriptedAnswerer overwrite(std::vector<uint32_t>(20, kUpperButton));
    ASSERT_EQ(split(r.set, 3000, {2}, &overwrite), kResultFinished);
    if (r.otherIsLater) {
      testing::TempDir elsewhere;
      splitOther(other, elsewhere.file("series"), 3000, 0);
      for (const std::string& name : listFolder(elsewhere.file("series")))
        writeBytes(series() + kPathSeparator + name,
                   readBytes(elsewhere.file("series") + kPathSeparator + name));
    }
    ASSERT_TRUE(fileExists(segment(11)));
    damage("lost", 1);
    ScriptedAnswerer seen;
    platform.setNoticeAnswerer(&seen);
    join(segment(4), "", 1);
    platform.setNoticeAnswerer(&answers);
    if (r.otherIsLater) {
      EXPECT_FALSE(analysed);
      EXPECT_EQ(seen.messages(), std::vector<std::string>{kCannotFindFirst});
      EXPECT_FALSE(fileExists(out()));
    } else {
      ASSERT_TRUE(analysed);
      EXPECT_EQ(job->jobResult, kResultFinished);
      EXPECT_EQ(job->segmentsRebuilt, 1u);
      EXPECT_EQ(readBytes(out()), original);
    }
    expectNothingLeftBehind();
  }
}

// Damage within the first 16 KiB of every segment, which hides the set
// from a look at the segments' first bytes alone: the set still fits the
// series by its names, count and sizes, so every segment is checked by it
// where its recovery data rebuilds 0001's first bytes (the header it
// records). With less, nothing says whether it is this series' set or
// another file's of the same name and size: not used, and the join ends 1
// (the checksum sees the damage), with a file nothing vouches for.
TEST_F(RecoveryJobTest, DamageEarlyInEverySegmentIsStillChecked) {
  struct Row {
    const char* what;
    std::size_t size;
    uint32_t segmentSize;
    uint32_t recovery;
    std::size_t at;  // the byte changed in every segment
    uint32_t result;
    uint32_t rebuilt;
  } rows[] = {
      {"one segment, a byte at 3000", 5000, 8192, 1, 3000, kResultFinished, 1},
      {"three segments, each at 1000", 3 * 3000 - 100, 3000, 3, 1000, kResultFinished, 3},
      {"three segments, each at 1000, two recovery files", 3 * 3000 - 100, 3000, 2, 1000,
       kResultCrcFailed, 0},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    for (const std::string& name : listFolder(series())) platform.deleteFile(series() + kPathSeparator + name);
    platform.deleteFile(out());
    ASSERT_EQ(split(r.size, r.segmentSize, {r.recovery}), kResultFinished);
    for (const std::string& name : listFolder(series()))
      if (name.find(".trp") != std::string::npos) flipByte(series() + kPathSeparator + name, r.at);
    ScriptedAnswerer seen;
    platform.setNoticeAnswerer(&seen);
    join(segment(1), "", 1);
    platform.setNoticeAnswerer(&answers);
    ASSERT_TRUE(analysed);
    EXPECT_EQ(job->jobResult, r.result);
    EXPECT_EQ(job->segmentsRebuilt, r.rebuilt);
    if (r.result == kResultFinished) {
      EXPECT_EQ(readBytes(out()), original);
    } else {
      EXPECT_NE(job->recoveryNote.str().find("may be another series'"), std::string::npos);
      EXPECT_NE(readBytes(out()), original);
    }
    expectNothingLeftBehind();
  }
}

// Segment 0001 lost and the first volume damaged early, the second whole:
// the header is rebuilt from the slices whose MD5 checks.
TEST_F(RecoveryJobTest, TheHeaderIsRebuiltFromRecoverySlicesThatCheck) {
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {2}), kResultFinished);
  damage("lost", 1);
  flipByte(series() + kPathSeparator + "data.vol0+1.par2", 68 + 100);
  join(segment(3), "", 1);
  ASSERT_TRUE(analysed);
  EXPECT_EQ(job->headerLost, 0u);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(job->segmentsRebuilt, 1u);
  EXPECT_EQ(readBytes(out()), original);
  expectNothingLeftBehind();
}

// Segment 0001 lost and 0002 and 0003 swapped: too little is left in place
// to rebuild 0001's first bytes on their own (three unknown, one recovery
// file), so the analysis takes no header; the repair finds the swapped two
// whole under each other's names and rebuilds 0001 from the one recovery
// slice. The header is then read from the rebuilt 0001 and the file made.
TEST_F(RecoveryJobTest, TheHeaderIsReadFromTheRebuiltFirstSegment) {
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {1}), kResultFinished);
  damage("lost", 1);
  damage("swapped", 2);
  for (uint32_t quiet : {0u, 1u}) {
    SCOPED_TRACE(quiet);
    platform.deleteFile(out());
    join(segment(4), "", quiet);
    ASSERT_TRUE(analysed);
    EXPECT_EQ(job->headerLost, 0u);
    EXPECT_EQ(job->jobResult, kResultFinished);
    EXPECT_EQ(job->recoveryReport.str(), "");
    EXPECT_EQ(job->segmentsRebuilt, 3u);  // 0001 rebuilt, 0002 and 0003 read from each other
    EXPECT_EQ(job->segmentCount, 5u);
    EXPECT_EQ(readBytes(out()), original);
    expectNothingLeftBehind();
  }
}

// Sets whose every packet is sealed (MD5s recomputed) but that claim slices
// of 2^63 or 2^32 bytes over segments of 3000: not believed, said, and the
// join is the join it would be without them. (Believed, the first kept the
// check busy for hours.)
TEST_F(RecoveryJobTest, SizesASetClaimsAreBackedByTheDisk) {
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {0}), kResultFinished);
  for (const uint64_t sliceSize : {uint64_t{1} << 63, uint64_t{1} << 32}) {
    SCOPED_TRACE(sliceSize);
    std::vector<recovery::FileDescription> files;
    std::vector<Md5Digest> ids;
    for (uint32_t n = 1; n <= 5; ++n) {
      const std::vector<uint8_t> bytes = readBytes(segment(n));
      recovery::FileDescription d;
      d.name = "data" + zeroPadded(n, 4) + ".trp";
      d.length = bytes.size();
      d.hash = md5Of(bytes.data(), bytes.size());
      d.firstHash = md5Of(bytes.data(), std::min<std::size_t>(bytes.size(), 16384));
      d.id = recovery::fileIdOf(d.firstHash, d.length, d.name);
      files.push_back(d);
      ids.push_back(d.id);
    }
    std::sort(ids.begin(), ids.end(), recovery::fileIdLess);
    const recovery::Bytes main = recovery::encodeMainBody(sliceSize, ids);
    const Md5Digest setId = md5Of(main.data(), main.size());
    recovery::Bytes index = recovery::encodePacket(setId, recovery::kMainType, main);
    for (const recovery::FileDescription& d : files) {
      recovery::Bytes p = recovery::encodePacket(setId, recovery::kFileDescType,
                                                 recovery::encodeFileDescBody(d));
      index.insert(index.end(), p.begin(), p.end());
      recovery::SliceChecksum c;
      c.md5 = d.hash;
      c.crc = 12345;
      p = recovery::encodePacket(setId, recovery::kSliceChecksumType,
                                 recovery::encodeSliceChecksumBody(d.id, {c}));
      index.insert(index.end(), p.begin(), p.end());
    }
    writeBytes(series() + kPathSeparator + "data.par2", index);
    recovery::RecoverySet set;
    Status why;
    ASSERT_EQ(recovery::readRecoverySet(platform, series(), "data", &set, &why),
              recovery::SetFound::kUsable);
    ASSERT_EQ(set.sliceSize, sliceSize);

    platform.deleteFile(out());
    join(segment(2), "", 1);
    ASSERT_TRUE(analysed);
    EXPECT_EQ(job->jobResult, kResultFinished);
    EXPECT_EQ(readBytes(out()), original);
    EXPECT_EQ(job->recoveryNote.str(),
              "The recovery files beside \"" + series() + kPathSeparator +
                  "data0001.trp\" cannot be trusted: they claim slices of " +
                  std::to_string(sliceSize) + " bytes, longer than any of its segments; not used.");
  }
}

// No room in the work folder for a rebuilt segment: a write failure (the
// question, "Abort procedure": 99), never "more damage than the recovery
// files can rebuild".
TEST_F(RecoveryJobTest, NoRoomForRebuiltSegmentsIsAWriteFailure) {
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {1}), kResultFinished);
  damage("random", 3);
  platform.beforeWrite = [](const std::string& path, uint32_t) {
    return path.find(".rebuilt") == std::string::npos;
  };
  ScriptedAnswerer seen({kUpperButton, kLowerButton});  // "OK" once, then "Abort procedure"
  platform.setNoticeAnswerer(&seen);
  join(segment(1));
  platform.setNoticeAnswerer(&answers);
  platform.beforeWrite = nullptr;
  ASSERT_TRUE(analysed);
  EXPECT_EQ(job->jobResult, kResultAborted);
  EXPECT_EQ(seen.messages(), std::vector<std::string>(2, "File Write Error. The disk might be full."));
  EXPECT_EQ(seen.shown()[0].reason,
            dir.file("out") + ": the rebuilt segments cannot be written there (disk full?)");
  EXPECT_EQ(job->recoveryReport.str(), "");
  EXPECT_EQ(endNoticeText(*job).find("rebuilt"), std::string::npos);
  EXPECT_FALSE(fileExists(out()));
  expectNothingLeftBehind();
}

// With "Multi-Removable" the recovery files come after the last segment
// like one more medium, asked for as the segments are.
TEST_F(RecoveryJobTest, MultiRemovableAsksForOneMoreMedium) {
  ScriptedAnswerer ready({kUpperButton, kUpperButton, kUpperButton});
  ASSERT_EQ(split(3 * 3000 - 10, 3000, {1}, &ready, 1), kResultFinished);
  EXPECT_EQ(ready.messages(), std::vector<std::string>(3, "Is Removable Media Ready?"));
  EXPECT_TRUE(fileExists(series() + kPathSeparator + "data.vol0+1.par2"));

  for (const std::string& name : listFolder(series())) platform.deleteFile(series() + kPathSeparator + name);
  ScriptedAnswerer stop({kUpperButton, kUpperButton, kLowerButton});
  EXPECT_EQ(split(3 * 3000 - 10, 3000, {1}, &stop, 1), kResultAborted);
  EXPECT_TRUE(fileExists(segment(3)));
  EXPECT_FALSE(fileExists(series() + kPathSeparator + "data.par2"));
  EXPECT_FALSE(fileExists(series() + kPathSeparator + "data.vol0+1.par2"));
}

// Recovery files of an earlier split under the same names would take the
// new series for a damaged old one: the split removes them when the user
// agrees, with or without recovery files of its own.
TEST_F(RecoveryJobTest, EarlierRecoveryFilesGoBeforeANewSeries) {
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {3}), kResultFinished);
  const std::string earlier =
      "Recovery files of an earlier series lie in the folder (data.par2, data.vol0+1.par2, "
      "data.vol1+1.par2, data.vol2+1.par2). They do not fit the new segments and would mislead "
      "a rebuild.";

  ScriptedAnswerer stop({kUpperButton, kLowerButton});  // overwrite 0001, then stop
  EXPECT_EQ(split(5 * 3000 - 700, 3000, {1}, &stop), kResultAborted);
  EXPECT_EQ(stop.messages(), (std::vector<std::string>{"File already exists.", earlier}));
  EXPECT_EQ(stop.shown()[1].firstButton, "Remove them");
  EXPECT_TRUE(fileExists(series() + kPathSeparator + "data.vol2+1.par2"));

  ScriptedAnswerer yes(std::vector<uint32_t>(8, kUpperButton));
  EXPECT_EQ(split(5 * 3000 - 700, 3000, {0}, &yes), kResultFinished);
  std::vector<std::string> asked = yes.messages();
  ASSERT_EQ(asked.size(), 6u);
  EXPECT_EQ(asked[1], earlier);
  std::vector<std::string> names = listFolder(series());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"data0001.trp", "data0002.trp", "data0003.trp",
                                             "data0004.trp", "data0005.trp"}));
}

// A piece that could not be written, and its chunk written again from its
// start ("OK"): bytes the recovery data saw before count once.
TEST_F(RecoveryJobTest, ChunkWrittenAgainCountsOnce) {
  int writes = 0;
  // Segment 2's writes: the magic, then the pieces of its one chunk; the
  // second piece fails once (with 2 MiB pieces, on Windows, the last one).
  platform.beforeWrite = [&](const std::string& path, uint32_t) {
    return !(path == segment(2) && ++writes == 3);
  };
  ScriptedAnswerer again({kUpperButton});
  const uint32_t segmentBytes = 2560 * 1024;
  ASSERT_EQ(split(3 * segmentBytes - 10, segmentBytes, {1}, &again), kResultFinished);
  EXPECT_EQ(again.messages(), std::vector<std::string>{"File Write Error. The disk might be full."});
  platform.beforeWrite = nullptr;
  recovery::RecoverySet set;
  Status why;
  ASSERT_EQ(recovery::readRecoverySet(platform, series(), "data", &set, &why),
            recovery::SetFound::kUsable);
  recovery::RepairOptions check;
  check.workFolder = dir.path();
  check.checkOnly = true;
  EXPECT_EQ(recovery::repairSeries(platform, set, series(), "data", check).outcome,
            recovery::RepairOutcome::kIntact);
}

// Joined into the series' own folder (which the join must not write into
// but for the rebuilt file), rebuilt segments go to the system's temporary
// folder, and go again.
TEST_F(RecoveryJobTest, RebuiltSegmentsStayOutOfTheSeriesFolder) {
  ASSERT_EQ(split(4 * 3000 - 10, 3000, {1}), kResultFinished);
  damage("random", 3);
  join(segment(1), "", 0, series());
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(job->segmentsRebuilt, 1u);
  EXPECT_EQ(readBytes(series() + kPathSeparator + "data.bin"), original);
  for (const std::string& name : listFolder(series()))
    EXPECT_EQ(name.find(".rebuilt"), std::string::npos) << name;
  ASSERT_FALSE(platform.temporaryNames.empty());
  expectNothingLeftBehind();
}

// Files a killed job left in the output folder (a hidden temporary file, a
// rebuilt segment) are told of, and neither used nor removed: the join
// makes its own beside them.
TEST_F(RecoveryJobTest, TemporariesOfAnInterruptedJobAreToldOfAndLeftAlone) {
  ASSERT_EQ(split(5 * 3000 - 700, 3000, {1}), kResultFinished);
  damage("lost", 3);
  const std::vector<uint8_t> partial = patternBytes(1000, 5);
  platform.createFolder(dir.file("out"));
  writeBytes(out(".trep-ab12cd"), partial);
  writeBytes(out("data0003.trp.rebuilt"), partial);
  const std::string note = "Files left by an interrupted job lie in the folder \"" +
                           dir.file("out") +
                           "\": .trep-ab12cd, data0003.trp.rebuilt. This job neither uses nor "
                           "removes them; remove them when no job runs.";
  for (uint32_t quiet : {0u, 1u}) {
    SCOPED_TRACE(quiet);
    platform.deleteFile(out());
    ScriptedAnswerer seen;
    platform.setNoticeAnswerer(&seen);
    join(segment(1), "", quiet);
    platform.setNoticeAnswerer(&answers);
    EXPECT_EQ(job->jobResult, kResultFinished);
    EXPECT_EQ(job->segmentsRebuilt, 1u);
    EXPECT_EQ(readBytes(out()), original);
    EXPECT_EQ(job->leftoverNote.str(), note);
    EXPECT_EQ(seen.messages(), quiet ? std::vector<std::string>{} : std::vector<std::string>{note});
    EXPECT_EQ(readBytes(out(".trep-ab12cd")), partial);
    EXPECT_EQ(readBytes(out("data0003.trp.rebuilt")), partial);
    std::vector<std::string> names = listFolder(dir.file("out"));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".trep-ab12cd", "data.bin", "data0003.trp.rebuilt"}));
  }
}

}  // namespace
}  // namespace trep
