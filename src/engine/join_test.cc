#include <gtest/gtest.h>

#include <filesystem>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/naming.h"
#include "engine/scramble.h"
#include "engine/segment_format.h"
#include "engine/series_survey.h"
#include "engine/work_buffer.h"
#include "planning/controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::fileExists;
using testing::patternBytes;
using testing::readBytes;
using testing::slice;
using testing::writeBytes;

struct Options {
  std::string key;  // empty: no scrambling
  bool encrypt = false;
  uint32_t useCrc = 1;
  RebuildMethod rebuildMethod = RebuildMethod::kTrep;
};

class JoinTest : public ::testing::Test {
 protected:
  void SetUp() override { platform.setNoticeAnswerer(&answers); }

  // Splits `size` bytes of "data.bin" into segments of `segmentSize` bytes in
  // the folder "series" with the engine.
  void split(std::size_t size, uint32_t segmentSize, const Options& o) {
    original = patternBytes(size, 7);
    writeBytes(dir.file("data.bin"), original);
    auto job = std::make_unique<JobSettings>();
    job->sourcePath = dir.file("data.bin");
    job->fileSize = size;
    job->segmentSize = segmentSize;
    job->isSplit = job->sourceValid = 1;
    job->encrypt = o.encrypt;
    job->cipherKey = o.key;
    job->outputFolder = dir.file("series");
    job->quiet = 1;
    job->jobState = kJobPrepared;
    PersistedSettings options;
    options.useCrc = o.useCrc;
    options.rebuildMethod = o.rebuildMethod;
    ScriptedAnswerer none;
    platform.setNoticeAnswerer(&none);
    BatchPlanning planning;
    JobContext ctx{*job, options, platform, planning, nullptr};
    runJob(ctx);
    platform.setNoticeAnswerer(&answers);
    ASSERT_EQ(job->jobResult, kResultFinished);
    base = job->baseName.str();
  }

  std::string segment(uint32_t n) const {
    return segmentPath(dir.file("series") + kPathSeparator + base, n);
  }
  std::string rebuilt(const std::string& name = "data.bin") const {
    return dir.file("out") + kPathSeparator + name;
  }

  // Analyses `chosen` and runs the join into the folder "out".
  JobOutcome join(const std::string& chosen, const Options& o, uint32_t quiet = 0) {
    job = std::make_unique<JobSettings>();
    job->sourcePath = chosen;
    job->encrypt = o.encrypt;
    job->cipherKey = o.key;
    options.useCrc = o.useCrc;
    NoControls none;
    SizeState sizes;
    PlanningContext p{*job, options, platform, none, sizes};
    analyseSource(p);
    if (!job->sourceValid) return {};
    job->outputFolder = dir.file("out");
    job->quiet = quiet;
    job->jobState = kJobPrepared;
    JobContext ctx{*job, options, platform, planning, &window};
    JobOutcome outcome = runJob(ctx);
    lastFailure = ctx.lastFailure;
    gaveUp = ctx.gaveUp;
    releaseWorkBuffer(ctx);
    return outcome;
  }

  testing::TempDir dir;
  testing::FaultyPlatform platform;
  ScriptedAnswerer answers;
  std::unique_ptr<JobSettings> job;
  PersistedSettings options;
  BatchPlanning planning;
  testing::RecordingWindow window;
  std::vector<uint8_t> original;
  std::string base;
  Status lastFailure;  // the engine's, after join()
  bool gaveUp = false;  // the engine's, after join()
};

TEST_F(JoinTest, RebuildsTheOriginalWithItsNameTimesAndAttributes) {
  split(2500, 1000, {});
  join(segment(2), {});
  EXPECT_EQ(job->jobState, kJobEnded);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(rebuilt()), original);
  EXPECT_EQ(job->sourcePath.str(), rebuilt());
  EXPECT_NE(job->fileCrc, 0u);  // recorded by the split and verified
  auto f = platform.openFile(rebuilt(), FileAccess::kRead, FileShare::kRead,
                             FileCreate::kOpenExisting);
  auto o = platform.openFile(dir.file("data.bin"), FileAccess::kRead, FileShare::kRead,
                             FileCreate::kOpenExisting);
  FileTimes rebuiltTimes, originalTimes;
  ASSERT_TRUE(f && o && f->getTimes(&rebuiltTimes) && o->getTimes(&originalTimes));
  EXPECT_EQ(rebuiltTimes.lastWrite, originalTimes.lastWrite);
  EXPECT_EQ(window.titles.back(), "Checking CRC");
  EXPECT_EQ(window.titles.front(), "UnTrepping data0001.trp");
  EXPECT_TRUE(answers.shown().empty());
}

TEST_F(JoinTest, ReadOnlyAttributeIsRestored) {
  split(300, 100, {});
  std::vector<uint8_t> first = readBytes(segment(1));
  first[kOffsetAttributes] = 0x21;
  writeBytes(segment(1), first);
  join(segment(1), {"", false, 0});
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(platform.fileAttributes(rebuilt()) & kAttributeReadOnly, kAttributeReadOnly);
  // Set on the temporary file, they came through its rename, with the times.
  EXPECT_EQ(testing::namesIn(dir.file("out")), std::vector<std::string>{"data.bin"});
  auto f = platform.openFile(rebuilt(), FileAccess::kRead, FileShare::kRead,
                             FileCreate::kOpenExisting);
  FileTimes times;
  ASSERT_TRUE(f && f->getTimes(&times));
  EXPECT_EQ(times.lastWrite, job->lastWriteTime);
}

// Every way a join can be aborted once it has begun to write leaves no
// part-made file and a file of the recorded name as it was, though the
// user agreed to replace it: the payload went to a temporary file.
TEST_F(JoinTest, AnAbortLeavesTheFileOfThatNameAsItWas) {
  struct Case {
    const char* what;
    bool missingSegment;  // segment 3 is taken away: the read error question
    bool failWrite;       // writes of segment 2's payload fail: the write error question
    bool stopOutside;     // the window's Quit or a signal, while segment 2 is written
    uint32_t questions;   // after "Overwrite it"
  };
  const Case cases[] = {
      {"Abort procedure at a missing segment", true, false, false, 1},
      {"Abort procedure at a write error", false, true, false, 1},
      {"a stop from outside", false, false, true, 0},
  };
  split(2500, 1000, {});
  const std::vector<uint8_t> third = readBytes(segment(3));
  platform.createFolder(dir.file("out"));
  for (const Case& c : cases) {
    writeBytes(segment(3), third);
    writeBytes(rebuilt(), {'m', 'i', 'n', 'e'});
    if (c.missingSegment) platform.deleteFile(segment(3));
    int writes = 0;
    platform.beforeWrite = [&](const std::string& path, uint32_t) {
      if (path != rebuilt() || ++writes < 2) return true;  // segment 1's payload goes
      if (c.stopOutside) {
        job->stopRequested = 1;
        job->jobResult = kResultAborted;
        return true;
      }
      return !c.failWrite;
    };
    ScriptedAnswerer script({kUpperButton, kLowerButton});  // "Overwrite it", then abort
    platform.setNoticeAnswerer(&script);
    join(segment(1), {});
    platform.beforeWrite = nullptr;
    platform.setNoticeAnswerer(&answers);
    EXPECT_EQ(job->jobResult, kResultAborted) << c.what;
    EXPECT_EQ(script.shown().size(), 1 + c.questions) << c.what;
    EXPECT_EQ(readBytes(rebuilt()), (std::vector<uint8_t>{'m', 'i', 'n', 'e'})) << c.what;
    EXPECT_EQ(testing::namesIn(dir.file("out")), std::vector<std::string>{"data.bin"}) << c.what;
  }
}

// A failure that trying again cannot mend is asked about three times, then
// ends the job; each question carries the file and the reason. One that
// can be mended is asked about until it is.
TEST_F(JoinTest, TheSameFailureIsNotAskedAboutWithoutEnd) {
  split(300, 100, {});
  int tries = 0;
  platform.beforeCreate = [&](const std::string& path) {
    ++tries;
    return Status::failure(path, "Read-only file system", 30, true);
  };
  ScriptedAnswerer okAlways({kUpperButton, kUpperButton, kUpperButton, kUpperButton});
  platform.setNoticeAnswerer(&okAlways);
  join(segment(1), {});
  EXPECT_EQ(job->jobResult, kResultAborted);
  EXPECT_EQ(tries, 4);  // made, then three times again after "OK"
  ASSERT_EQ(okAlways.shown().size(), 3u);
  for (const NoticeParameters& n : okAlways.shown()) {
    EXPECT_EQ(n.message, kWriteError);
    EXPECT_EQ(n.reason, rebuilt() + ": Read-only file system");
    EXPECT_TRUE(n.lastingFailure);
  }
  EXPECT_TRUE(gaveUp);
  EXPECT_EQ(testing::namesIn(dir.file("out")), std::vector<std::string>{});

  // A full disk: "OK" after space was freed goes on.
  tries = 0;
  platform.beforeCreate = [&](const std::string& path) {
    return ++tries <= 5 ? Status::failure(path, "No space left on device", 28) : Status();
  };
  ScriptedAnswerer fiveOks({kUpperButton, kUpperButton, kUpperButton, kUpperButton, kUpperButton});
  platform.setNoticeAnswerer(&fiveOks);
  join(segment(1), {});
  platform.beforeCreate = nullptr;
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(fiveOks.shown().size(), 5u);
  EXPECT_FALSE(fiveOks.shown()[0].lastingFailure);
  EXPECT_FALSE(gaveUp);
  EXPECT_EQ(readBytes(rebuilt()), original);
}

// A name that cannot be given at the end (a folder stands there) is asked
// about like a write, as a failure no retry mends; the folder stays.
TEST_F(JoinTest, FolderInTheWayOfTheRebuiltFile) {
  split(300, 100, {});
  platform.createFolder(dir.file("out"));
  platform.createFolder(rebuilt());
  ScriptedAnswerer script;  // answers with the safe answer: "Abort procedure"
  platform.setNoticeAnswerer(&script);
  join(segment(1), {});
  EXPECT_EQ(job->jobResult, kResultAborted);
  ASSERT_EQ(script.shown().size(), 1u);  // no overwrite question for a folder
  EXPECT_EQ(script.shown()[0].message, kWriteError);
  EXPECT_EQ(script.shown()[0].reason.rfind(rebuilt() + ": ", 0), 0u);
  EXPECT_TRUE(script.shown()[0].lastingFailure);
  EXPECT_EQ(testing::namesIn(dir.file("out")), std::vector<std::string>{"data.bin"});
  EXPECT_TRUE(platform.folderExists(rebuilt()));
}

#ifndef _WIN32
// A link at the recorded name counts as a file there, also when its target
// is missing: the overwrite question is asked, and "Overwrite it" replaces
// the link itself; its target is neither written nor made.
TEST_F(JoinTest, ALinkAtTheRecordedNameIsReplacedNeverWrittenThrough) {
  split(300, 100, {});
  platform.createFolder(dir.file("out"));
  writeBytes(dir.file("victim"), {'v'});
  for (const std::string& target : {dir.file("victim"), dir.file("never")}) {
    ::unlink(rebuilt().c_str());
    ASSERT_EQ(::symlink(target.c_str(), rebuilt().c_str()), 0);
    answers.push(kLowerButton);  // declined: the link stays
    join(segment(1), {});
    EXPECT_EQ(job->jobResult, kResultAborted) << target;
    EXPECT_TRUE(platform.nameTaken(rebuilt()));
    EXPECT_FALSE(platform.folderExists(rebuilt()));
    char held[4096] = {0};
    ASSERT_GT(::readlink(rebuilt().c_str(), held, sizeof(held) - 1), 0);
    EXPECT_EQ(std::string(held), target);

    answers.push(kUpperButton);  // "Overwrite it"
    join(segment(1), {});
    EXPECT_EQ(job->jobResult, kResultFinished) << target;
    EXPECT_EQ(answers.messages().back(), "File already exists.");
    struct stat st;
    ASSERT_EQ(::lstat(rebuilt().c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode)) << target;
    EXPECT_EQ(readBytes(rebuilt()), original);
  }
  EXPECT_EQ(readBytes(dir.file("victim")), std::vector<uint8_t>{'v'});
  EXPECT_FALSE(fileExists(dir.file("never")));
}
#endif


TEST_F(JoinTest, ScrambledSeriesNeedsTheSameKey) {
  Options keyed{"secret", true};
  split(2500, 1000, keyed);
  std::vector<std::vector<uint8_t>> before;
  for (uint32_t n = 1; n <= 3; ++n) before.push_back(readBytes(segment(n)));
  EXPECT_NE(slice(before[0], 652, 1000), slice(original, 0, 1000));

  join(segment(1), keyed);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(rebuilt()), original);
  for (uint32_t n = 1; n <= 3; ++n) EXPECT_EQ(readBytes(segment(n)), before[n - 1]);
  for (const std::string& t : platform.temporaryNames) EXPECT_FALSE(fileExists(t)) << t;
  EXPECT_TRUE(platform.temporaryNames.empty());  // unscrambled as read, no copies

  answers.push(kUpperButton);  // "Overwrite it"
  join(segment(1), {"wrong", true});
  EXPECT_EQ(job->jobResult, kResultCrcFailed);
  EXPECT_EQ(job->jobState, kJobEnded);
  EXPECT_EQ(readBytes(rebuilt()).size(), original.size());
  for (uint32_t n = 1; n <= 3; ++n) EXPECT_EQ(readBytes(segment(n)), before[n - 1]);
}

TEST_F(JoinTest, MissingSegmentIsAskedForAgain) {
  split(2500, 1000, {});
  std::vector<uint8_t> second = readBytes(segment(2));
  platform.deleteFile(segment(2));
  // The user puts the medium with segment 2 back in, then answers "OK".
  testing::FunctionAnswerer putBack([&](const NoticeParameters& n) {
    answers.answer(n);
    writeBytes(segment(2), second);
    return kUpperButton;
  });
  platform.setNoticeAnswerer(&putBack);
  join(segment(1), {});
  EXPECT_EQ(answers.messages(),
            std::vector<std::string>{"File Read Error; is Removable Media Ready?"});
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(rebuilt()), original);
}

TEST_F(JoinTest, MissingSegmentAndAbort) {
  split(2500, 1000, {});
  platform.deleteFile(segment(2));
  answers.push(kLowerButton);
  join(segment(1), {});
  EXPECT_EQ(lastFailure.path(), segment(2));
  EXPECT_EQ(lastFailure.code(), platform.deleteFile(segment(2)).code());  // not found
  EXPECT_FALSE(lastFailure.reason().empty());
  EXPECT_EQ(job->jobResult, kResultAborted);
  EXPECT_EQ(job->jobState, kJobRunning);  // an early return leaves the state
  // Nothing part-made: the payload of segment 1 went to a temporary file,
  // which is gone.
  EXPECT_EQ(testing::namesIn(dir.file("out")), std::vector<std::string>{});
}

// The survey the join and trep check both go by: what the disk shows of
// each segment against the header. 3,500 bytes in segments of 1,000: 0001
// holds 652 + 1,000 bytes, 0002 and 0003 8 + 1,000, 0004 8 + 500.
TEST_F(JoinTest, TheSurveyReadsEachSegmentAgainstTheHeader) {
  using S = SegmentState;
  std::unique_ptr<File> held;
  struct Row {
    const char* what;
    std::function<void()> damage;
    std::vector<S> states;
    uint64_t expected2;  // what segment 0002 should hold
  } rows[] = {
      {"intact", [] {}, {S::kThere, S::kThere, S::kThere, S::kThere}, 1008},
      {"0003 lost", [&] { platform.deleteFile(segment(3)); },
       {S::kThere, S::kThere, S::kMissing, S::kThere}, 1008},
      {"0002 cut", [&] { writeBytes(segment(2), slice(readBytes(segment(2)), 0, 500)); },
       {S::kThere, S::kWrongSize, S::kThere, S::kThere}, 1008},
      {"0004 grown", [&] {
         std::vector<uint8_t> b = readBytes(segment(4));
         b.resize(b.size() + 100, 'T');
         writeBytes(segment(4), b);
       },
       {S::kThere, S::kThere, S::kThere, S::kWrongSize}, 1008},
      {"0004's magic", [&] {
         std::vector<uint8_t> b = readBytes(segment(4));
         b[3] ^= 1;
         writeBytes(segment(4), b);
       },
       {S::kThere, S::kThere, S::kThere, S::kNoMagic}, 1008},
      {"a folder as 0003", [&] {
         platform.deleteFile(segment(3));
         std::filesystem::create_directory(segment(3));
       },
       {S::kThere, S::kThere, S::kNotAFile, S::kThere}, 1008},
      // Another job holds 0002 alone, as a join holds its segments.
      {"0002 held", [&] {
         held = platform.openFile(segment(2), FileAccess::kRead, FileShare::kNone,
                                  FileCreate::kOpenExisting);
         ASSERT_TRUE(held);
       },
       {S::kThere, S::kInUse, S::kThere, S::kThere}, 1008},
      // 0001 cut within its header: its size fields are gone, so only the
      // header's own length can be expected of it.
      {"0001 cut to 600", [&] { writeBytes(segment(1), slice(readBytes(segment(1)), 0, 600)); },
       {S::kWrongSize, S::kThere, S::kThere, S::kThere}, 0},
  };
  split(3500, 1000, {});
  const std::vector<std::vector<uint8_t>> whole = {readBytes(segment(1)), readBytes(segment(2)),
                                                   readBytes(segment(3)), readBytes(segment(4))};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    held.reset();
    std::filesystem::remove_all(segment(3));
    for (uint32_t n = 1; n <= 4; ++n) writeBytes(segment(n), whole[n - 1]);
    platform.deleteFile(rebuilt());
    r.damage();
    join(segment(2), {}, 1);  // analysed and joined; the survey of the same job
    ASSERT_TRUE(job->sourceValid);
    const SeriesSurvey survey = surveySeries(platform, *job);
    ASSERT_EQ(survey.count, 4u);
    std::vector<S> states;
    for (const SegmentFinding& f : survey.segments) states.push_back(f.state);
    EXPECT_EQ(states, r.states);
    EXPECT_EQ(survey.segments[1].expected, r.expected2);
    EXPECT_EQ(survey.setUse, SetUse::kNone);
    // The quiet join reads the series so too: a lost segment (or a folder
    // in its place) is refused before anything is written, one held by
    // another job ends it as aborted with that reason, nothing made.
    const bool lost = std::find(r.states.begin(), r.states.end(), S::kMissing) != r.states.end() ||
                      std::find(r.states.begin(), r.states.end(), S::kNotAFile) != r.states.end();
    if (lost) EXPECT_EQ(job->jobResult, kResultNotRepairable);
    if (held) {
      EXPECT_EQ(job->jobResult, kResultAborted);
      EXPECT_TRUE(lastFailure.inUse());
    }
    if (lost || held) EXPECT_FALSE(fileExists(rebuilt()));
  }
}

// A headerless series ends at the first number with no regular file: a
// folder named like segment 0004 is no segment, for the analysis, the join
// and the survey alike.
TEST_F(JoinTest, AHeaderlessSeriesEndsBeforeAFolderOfASegmentsName) {
  Options o;
  o.rebuildMethod = RebuildMethod::kBatFile;
  split(2500, 1000, o);
  std::filesystem::create_directory(segment(4));
  answers.push(kUpperButton);  // "Attempt anyway": the series has no header
  join(segment(1), o, 0);
  ASSERT_TRUE(job->sourceValid);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(rebuilt(job->originalName.str())), original);
  EXPECT_EQ(surveySeries(platform, *job).count, 3u);
  EXPECT_EQ(countHeaderlessSegments(platform, job->segmentFolder.view(),
                                    job->segmentExtension.view()),
            3u);
}

// With no one to ask and no recovery files, a lost segment cannot be had:
// the join names every one before it writes anything, and ends 6.
TEST_F(JoinTest, QuietModeRefusesLostSegmentsBeforeWriting) {
  split(3500, 1000, {});
  platform.deleteFile(segment(3));
  platform.deleteFile(segment(2));
  join(segment(1), {}, 1);
  EXPECT_TRUE(answers.shown().empty());
  EXPECT_EQ(job->jobResult, kResultNotRepairable);
  EXPECT_EQ(job->recoveryReport.str(),
            "The series cannot be joined: segments 0002 and 0003 are missing, and no recovery "
            "files of this series are here to rebuild them.");
  EXPECT_EQ(testing::namesIn(dir.file("out")), std::vector<std::string>{});
}

TEST_F(JoinTest, TruncatedSegmentIsReportedByTheChecksum) {
  split(2500, 1000, {});
  writeBytes(segment(2), {'T', 'R', 'E', 'P'});  // shorter than its header
  join(segment(1), {});
  EXPECT_EQ(job->jobResult, kResultCrcFailed);
  EXPECT_EQ(readBytes(rebuilt()).size(), 1500u);  // segment 2 added nothing
}

TEST_F(JoinTest, RebuiltSizeOtherThanRecordedIsNeverFinished) {
  // No checksum recorded or asked for: the recorded size still tells.
  split(2500, 1000, {"", false, 0});
  std::vector<uint8_t> third = readBytes(segment(3));
  third.resize(third.size() - 10);
  writeBytes(segment(3), third);
  join(segment(1), {"", false, 0});
  EXPECT_EQ(job->jobState, kJobEnded);
  EXPECT_EQ(job->jobResult, kResultCrcFailed);
  EXPECT_EQ(readBytes(rebuilt()).size(), 2490u);
}

TEST_F(JoinTest, NoRecordedChecksumIsNotAFailure) {
  split(2500, 1000, {"", false, 0});  // the split computed none: 0 in the header
  join(segment(1), {"", false, 1});
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(rebuilt()), original);
}

TEST_F(JoinTest, HeaderlessSeriesEndsAtTheFirstMissingNumber) {
  Options headerless{"", false, 0, RebuildMethod::kBatFile};
  split(5000, 1000, headerless);
  EXPECT_TRUE(fileExists(segment(5)));
  answers.push(kUpperButton);  // "Attempt to UnTrep them anyway."
  join(segment(3), headerless);
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"These files don't have a Trep header."});
  EXPECT_EQ(job->jobState, kJobEnded);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(rebuilt("data")), original);  // named by the series' base

  platform.deleteFile(segment(3));
  answers.push(kUpperButton);
  answers.push(kUpperButton);  // replace the earlier rebuild
  join(segment(1), headerless);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(rebuilt("data")), slice(original, 0, 2000));
}

TEST_F(JoinTest, ScrambledHeaderlessSeries) {
  Options o{"k", true, 0, RebuildMethod::kBatFile};
  split(2500, 1000, o);
  EXPECT_NE(slice(readBytes(segment(1)), 0, 999), slice(original, 0, 999));
  answers.push(kUpperButton);
  join(segment(1), o);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(rebuilt("data")), original);
}

TEST_F(JoinTest, DescriptionIsShownUnlessQuiet) {
  split(300, 100, {});
  std::vector<uint8_t> first = readBytes(segment(1));
  const char text[] = "For the auditors";
  std::copy(text, text + sizeof(text), first.begin() + kOffsetDescription);
  first[kOffsetDescriptionFlag] = 1;
  writeBytes(segment(1), first);
  join(segment(1), {});
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"For the auditors"});
  EXPECT_EQ(answers.shown()[0].secondButton, "Open ReadMe");
  EXPECT_EQ(job->jobResult, kResultFinished);

  ScriptedAnswerer quiet({kUpperButton});
  platform.setNoticeAnswerer(&quiet);
  join(segment(1), {}, 1);
  EXPECT_EQ(quiet.messages(), std::vector<std::string>{"File already exists."});
}

TEST_F(JoinTest, DecliningToReplaceTheRebuiltFile) {
  split(300, 100, {});
  platform.createFolder(dir.file("out"));
  writeBytes(rebuilt(), {'m', 'i', 'n', 'e'});
  answers.push(kLowerButton);
  join(segment(1), {});
  EXPECT_EQ(job->jobResult, kResultAborted);
  EXPECT_EQ(job->jobState, kJobTaken);
  EXPECT_EQ(readBytes(rebuilt()), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));
}

TEST_F(JoinTest, HeaderNamesNeverLeaveTheOutputFolder) {
  split(300, 100, {});
  struct Case {
    std::string recorded;
    std::string used;
  } cases[] = {{"..\\..\\evil.txt", "evil.txt"}, {"../../evil.txt", "evil.txt"},
               {"C:evil.txt", "evil.txt"},      {"/etc/passwd", "passwd"},
               {"..", "data"},                  {"", "data"},
               {"sub\\.", "data"},              {"CON", "data"},
               {"nul.txt", "data"},             {"LPT1.txt", "data"},
               {"COM9", "data"},                {"COM10", "COM10"},
               {"...", "data"},                 {". .", "data"},
               {"...txt", "...txt"},            {"..FUZil.txt", "..FUZil.txt"},
               {"console.log", "console.log"},
               // Names a Windows folder cannot hold; a POSIX one can.
               {"what?.txt", kWindowsFileNames ? "data" : "what?.txt"},
               {"a<b>|c", kWindowsFileNames ? "data" : "a<b>|c"},
               {"dot.", kWindowsFileNames ? "data" : "dot."}};
  for (const Case& c : cases) {
    std::vector<uint8_t> first = readBytes(segment(1));
    std::fill(first.begin() + kOffsetOriginalName, first.begin() + kOffsetSizeLow, 0);
    std::copy(c.recorded.begin(), c.recorded.end(), first.begin() + kOffsetOriginalName);
    writeBytes(segment(1), first);
    ScriptedAnswerer overwrite({kUpperButton});
    platform.setNoticeAnswerer(&overwrite);
    join(segment(1), {"", false, 0});
    EXPECT_EQ(job->originalName.str(), c.used) << c.recorded;
    EXPECT_EQ(readBytes(rebuilt(c.used)), original) << c.recorded;
  }
}

// A series copied off a medium that wrote capitals, or renamed in part: every
// segment is read as its folder spells it, with headers and without.
TEST_F(JoinTest, SeriesInAnyLetterCase) {
  struct Case {
    RebuildMethod method;
    std::vector<std::string> names;  // segments 0001..0003 as they are renamed
    uint32_t chosen;                 // 1-based: the segment the user names
  } cases[] = {
      {RebuildMethod::kTrep, {"DATA0001.TRP", "DATA0002.TRP", "DATA0003.TRP"}, 2},
      {RebuildMethod::kTrep, {"data0001.TRP", "data0002.TRP", "data0003.TRP"}, 3},
      {RebuildMethod::kTrep, {"DATA0001.TRP", "data0002.trp", "DATA0003.TRP"}, 2},
      {RebuildMethod::kTrep, {"Data0001.trp", "dATA0002.Trp", "data0003.TRP"}, 1},
      {RebuildMethod::kBatFile, {"DATA0001.TRP", "DATA0002.TRP", "DATA0003.TRP"}, 3},
      {RebuildMethod::kBatFile, {"data0001.TRP", "DATA0002.trp", "data0003.trp"}, 1},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(dir.file("series"));
    std::filesystem::remove_all(dir.file("out"));
    Options o;
    o.rebuildMethod = c.method;
    split(300, 100, o);
    for (uint32_t n = 1; n <= 3; ++n) {
      std::string to = dir.file("series") + kPathSeparator + c.names[n - 1];
      std::filesystem::rename(segment(n), dir.file("series") + kPathSeparator + "moving");
      std::filesystem::rename(dir.file("series") + kPathSeparator + "moving", to);
    }
    const bool headerless = c.method == RebuildMethod::kBatFile;
    ScriptedAnswerer local({kUpperButton});  // headerless: "Attempt to UnTrep them anyway."
    platform.setNoticeAnswerer(&local);
    options.rebuildMethod = RebuildMethod::kTrep;
    join(dir.file("series") + kPathSeparator + c.names[c.chosen - 1], {"", false, 0});
    platform.setNoticeAnswerer(&answers);
    const std::string name = headerless ? c.names[c.chosen - 1].substr(0, 4) : "data.bin";
    ASSERT_TRUE(job->sourceValid) << c.names[c.chosen - 1];
    EXPECT_EQ(job->jobResult, kResultFinished) << c.names[c.chosen - 1];
    EXPECT_EQ(readBytes(rebuilt(name)), original) << c.names[c.chosen - 1];
    EXPECT_EQ(local.shown().size(), headerless ? 1u : 0u) << c.names[c.chosen - 1];
  }
}

TEST_F(JoinTest, LongRecordedNamesAreCutBeforeTheirExtension) {
  split(300, 100, {});
  std::vector<uint8_t> first = readBytes(segment(1));
  std::string name = std::string(290, 'n') + ".pdf";
  std::copy(name.begin(), name.end(), first.begin() + kOffsetOriginalName);
  writeBytes(segment(1), first);
  join(segment(1), {"", false, 0});
  EXPECT_EQ(job->jobResult, kResultFinished);
  std::string used = job->originalName.str();
  // At most 255 bytes, and on Windows the whole path within MAX_PATH.
  EXPECT_LE(used.size(), 255u);
  EXPECT_LE(rebuilt(used).size(), kLongestPath);
  EXPECT_EQ(used.substr(used.size() - 4), ".pdf");
  EXPECT_EQ(used.find_first_not_of('n'), used.size() - 4);
  EXPECT_EQ(readBytes(rebuilt(used)), original);
}

TEST_F(JoinTest, NeverReplacesASegmentOfItsOwnSeries) {
  split(300, 100, {});
  // A header that names the rebuilt file like its own second segment, joined
  // into the series' own folder.
  std::vector<uint8_t> first = readBytes(segment(1));
  std::string name = base + "0002.trp";
  std::fill(first.begin() + kOffsetOriginalName, first.begin() + kOffsetSizeLow, 0);
  std::copy(name.begin(), name.end(), first.begin() + kOffsetOriginalName);
  writeBytes(segment(1), first);
  std::vector<uint8_t> second = readBytes(segment(2));
  ScriptedAnswerer local({kUpperButton, kUpperButton});
  platform.setNoticeAnswerer(&local);
  job = std::make_unique<JobSettings>();
  job->sourcePath = segment(1);
  NoControls none;
  SizeState sizes;
  PlanningContext p{*job, options, platform, none, sizes};
  analyseSource(p);
  ASSERT_EQ(job->sourceValid, 1u);
  job->outputFolder = dir.file("series");
  job->jobState = kJobPrepared;
  JobContext ctx{*job, options, platform, planning, nullptr};
  runJob(ctx);
  releaseWorkBuffer(ctx);
  ASSERT_EQ(local.shown().size(), 1u);
  EXPECT_NE(local.shown()[0].message.find("would replace a segment of its own series"),
            std::string::npos);
  EXPECT_EQ(job->jobResult, kResultAborted);
  EXPECT_EQ(readBytes(segment(2)), second);
}

TEST_F(JoinTest, HeaderCountsOutOfRangeAreRefused) {
  split(300, 100, {});
  for (uint32_t count : {0u, 10000u, 4294967295u}) {
    std::vector<uint8_t> first = readBytes(segment(1));
    putLe32(&first[kOffsetCount], count);
    writeBytes(segment(1), first);
    ScriptedAnswerer local;
    platform.setNoticeAnswerer(&local);
    join(segment(1), {}, 1);
    EXPECT_EQ(job->sourceValid, 0u) << count;
    EXPECT_EQ(local.messages(),
              std::vector<std::string>{"The number of segments must be at least 2 and at most 9999."});
    EXPECT_FALSE(fileExists(dir.file("out")));
  }
}

}  // namespace
}  // namespace trep
