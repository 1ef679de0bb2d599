#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/naming.h"
#include "engine/segment_format.h"
#include "engine/work_buffer.h"
#include "planning/size_arithmetic.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::FaultyPlatform;
using testing::RecordingWindow;
using testing::TempDir;
using testing::fileExists;
using testing::patternBytes;
using testing::readBytes;
using testing::slice;
using testing::writeBytes;

class SplitTest : public ::testing::Test {
 protected:
  void SetUp() override { platform.setNoticeAnswerer(&answers); }
  void TearDown() override {
    JobContext ctx = context();
    releaseWorkBuffer(ctx);
  }

  // A prepared split of `size` bytes in segments of `segmentSize` bytes into
  // the folder "out" (created by the job).
  void prepare(std::size_t size, uint32_t segmentSize, const std::string& name = "movie.avi") {
    source = patternBytes(size);
    writeBytes(dir.file(name), source);
    job.sourcePath = dir.file(name);
    job.fileSize = size;
    job.segmentSize = segmentSize;
    job.isSplit = 1;
    job.sourceValid = 1;
    job.outputFolder = dir.file("out");
    job.jobState = kJobPrepared;
    base = splitBaseName(name);
  }

  // A work buffer of `bytes` held from an earlier job: the job keeps using it,
  // which lets a test move a segment in several chunks.
  void holdBuffer(uint32_t bytes) {
    job.workBuffer = static_cast<uint8_t*>(platform.allocateZeroed(bytes + 64));
    job.workBufferSize = bytes;
  }

  JobContext context() { return JobContext{job, options, platform, planning, &window}; }

  JobOutcome run() {
    JobContext ctx = context();
    JobOutcome outcome = runJob(ctx);
    lastFailure = ctx.lastFailure;
    return outcome;
  }

  // What the system says when `path` is opened for reading.
  Status whyNotOpened(const std::string& path) {
    Status why;
    platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting,
                      kAttributeNormal, &why);
    return why;
  }

  std::string segment(uint32_t n) const {
    return segmentPath(dir.file("out") + kPathSeparator + base, n);
  }

  TempDir dir;
  FaultyPlatform platform;
  ScriptedAnswerer answers;
  JobSettings job;
  PersistedSettings options;  // headers, no checksum, "Maximum"
  BatchPlanning planning;
  RecordingWindow window;
  std::vector<uint8_t> source;
  std::string base;
  Status lastFailure;  // the engine's, after run()
};

TEST_F(SplitTest, CutsWithHeadersIntoSegmentsOfTheSize) {
  const uint32_t S = 1000;
  prepare(2500, S);  // 2.5 x S
  std::vector<uint32_t> states;
  platform.beforeWrite = [&](const std::string&, uint32_t) {
    states.push_back(job.jobState);
    return true;
  };
  JobOutcome outcome = run();

  EXPECT_FALSE(outcome.endProcess);
  EXPECT_EQ(job.jobState, kJobEnded);
  EXPECT_EQ(job.jobResult, kResultFinished);
  EXPECT_EQ(job.workBuffer, nullptr);  // released at the end
  EXPECT_TRUE(answers.shown().empty());

  std::vector<uint8_t> s1 = readBytes(segment(1)), s2 = readBytes(segment(2)),
                       s3 = readBytes(segment(3));
  ASSERT_EQ(s1.size(), 652u + S);
  ASSERT_EQ(s2.size(), 8u + S);
  ASSERT_EQ(s3.size(), 8u + 500);
  EXPECT_FALSE(fileExists(segment(4)));
  EXPECT_EQ(getLe32(&s1[8]), 3u);
  EXPECT_EQ(std::string(s1.begin() + 314, s1.begin() + 314 + 9), "movie.avi");
  EXPECT_EQ(getLe32(&s1[614]), 2500u);
  EXPECT_EQ(getLe32(&s1[618]), 0u);
  EXPECT_EQ(getLe32(&s1[622]), 0u);  // no checksum asked for
  EXPECT_EQ(s1[650] & kAttributeArchive, kAttributeArchive);
  EXPECT_EQ(std::string(s2.begin(), s2.begin() + 8), "TREP1600");
  EXPECT_EQ(std::string(s3.begin(), s3.begin() + 8), "TREP1600");
  EXPECT_EQ(slice(s1, 652, S), slice(source, 0, S));
  EXPECT_EQ(slice(s2, 8, S), slice(source, S, S));
  EXPECT_EQ(slice(s3, 8, 500), slice(source, 2 * S, 500));

  ASSERT_FALSE(states.empty());
  for (uint32_t s : states) {
    EXPECT_GE(s, kJobTaken);
    EXPECT_LE(s, 199u);
  }
  EXPECT_EQ(job.originalName.str(), "movie.avi");
  EXPECT_EQ(window.titles, (std::vector<std::string>{"Trepping File 1", "Trepping File 2",
                                                     "Trepping File 3"}));
  EXPECT_EQ(window.counts, std::vector<uint32_t>{3});
}

TEST_F(SplitTest, HeaderRecordsTheSourceTimesAndReadOnlyAttribute) {
  prepare(100, 60);
  JobContext ctx = context();
  FileTimes times;
  {
    auto f = platform.openFile(job.sourcePath.str(), FileAccess::kReadWrite, FileShare::kNone,
                               FileCreate::kOpenExisting);
    ASSERT_TRUE(f);
    times.creation = times.lastAccess = 130000000000000000ull;
    times.lastWrite = 131000000000000000ull;
    ASSERT_TRUE(f->setTimes(times));
    ASSERT_TRUE(f->getTimes(&times));
  }
  runJob(ctx);
  std::vector<uint8_t> s1 = readBytes(segment(1));
  ASSERT_GE(s1.size(), 652u);
  uint64_t lastWrite = getLe32(&s1[642]) | (static_cast<uint64_t>(getLe32(&s1[646])) << 32);
  uint64_t lastAccess = getLe32(&s1[634]) | (static_cast<uint64_t>(getLe32(&s1[638])) << 32);
  EXPECT_EQ(lastWrite, times.lastWrite);
  EXPECT_EQ(lastAccess, times.lastAccess);
}

TEST_F(SplitTest, ExactMultipleWritesNoEmptySegment) {
  prepare(3000, 1000);
  run();
  EXPECT_EQ(job.jobResult, kResultFinished);
  EXPECT_TRUE(fileExists(segment(3)));
  EXPECT_FALSE(fileExists(segment(4)));
  EXPECT_EQ(getLe32(&readBytes(segment(1))[8]), 3u);
  EXPECT_EQ(readBytes(segment(3)).size(), 1008u);
}

TEST_F(SplitTest, HeaderlessSeriesConcatenatesToTheOriginal) {
  options.rebuildMethod = RebuildMethod::kBatFile;
  prepare(2500, 1000);
  run();
  EXPECT_EQ(job.jobResult, kResultFinished);
  std::vector<uint8_t> joined;
  for (uint32_t n = 1; n <= 3; ++n) {
    std::vector<uint8_t> s = readBytes(segment(n));
    joined.insert(joined.end(), s.begin(), s.end());
  }
  EXPECT_EQ(joined, source);
}

TEST_F(SplitTest, SegmentsMoveInChunksOfTheBuffer) {
  prepare(2500, 1000);
  holdBuffer(300);  // 1000-byte segments move in chunks of 300, 300, 300, 100
  std::vector<uint32_t> writes;
  platform.beforeWrite = [&](const std::string& path, uint32_t n) {
    if (path == segment(2)) writes.push_back(n);
    return true;
  };
  run();
  EXPECT_EQ(writes, (std::vector<uint32_t>{8, 300, 300, 300, 100}));
  EXPECT_EQ(slice(readBytes(segment(2)), 8, 1000), slice(source, 1000, 1000));
}

TEST_F(SplitTest, ProgressRisesWithinEachSegment) {
  prepare(40000, 10000);  // 4 segments, share 100 / 5 = 20
  holdBuffer(1000);
  std::vector<uint32_t> states;
  platform.beforeWrite = [&](const std::string&, uint32_t n) {
    if (n == 1000) states.push_back(job.jobState);
    return true;
  };
  run();
  ASSERT_EQ(states.size(), 40u);
  // Segment n starts at base (n - 1) * 100 / 4 and rises by 20 * percent / 100.
  EXPECT_EQ(states[0], 100u);
  EXPECT_EQ(states[9], 100u + 20 * 90 / 100);
  EXPECT_EQ(states[10], 125u);
  EXPECT_EQ(states[39], 175u + 18);
  for (std::size_t i = 1; i < states.size(); ++i) EXPECT_GE(states[i], states[i - 1]);
  EXPECT_EQ(job.jobState, kJobEnded);
}

TEST_F(SplitTest, ExistingLaterSegmentAndAbortLeavesItUntouched) {
  prepare(2500, 1000);
  platform.createFolder(dir.file("out"));
  std::vector<uint8_t> old = {'o', 'l', 'd'};
  writeBytes(segment(2), old);
  answers.push(kLowerButton);  // "Abort procedure"
  run();
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"File already exists."});
  EXPECT_EQ(answers.shown()[0].firstButton, "Overwrite it");
  EXPECT_EQ(answers.shown()[0].secondButton, "Abort procedure");
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(job.jobState, kJobEnded);
  EXPECT_EQ(readBytes(segment(1)).size(), 1652u);
  EXPECT_EQ(readBytes(segment(2)), old);
  EXPECT_FALSE(fileExists(segment(3)));
}

TEST_F(SplitTest, ExistingLaterSegmentIsOverwrittenWhenAllowed) {
  prepare(2500, 1000);
  platform.createFolder(dir.file("out"));
  writeBytes(segment(2), std::vector<uint8_t>(5000, 'x'));
  answers.push(kUpperButton);
  run();
  EXPECT_EQ(job.jobResult, kResultFinished);
  EXPECT_EQ(readBytes(segment(2)).size(), 1008u);
  EXPECT_EQ(slice(readBytes(segment(2)), 8, 1000), slice(source, 1000, 1000));
}

TEST_F(SplitTest, DecliningTheFirstSegmentReturnsAtOnceAndKeepsTheBuffer) {
  prepare(2500, 1000);
  platform.createFolder(dir.file("out"));
  writeBytes(segment(1), {'k', 'e', 'e', 'p'});
  answers.push(kLowerButton);
  run();
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(job.jobState, kJobTaken);  // an early return leaves the state
  EXPECT_NE(job.workBuffer, nullptr);  // kept for the next job
  EXPECT_EQ(readBytes(segment(1)), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(fileExists(segment(2)));

  // The next job uses the kept buffer with its size.
  job.jobState = kJobPrepared;
  job.segmentSize = 2000;
  answers.push(kUpperButton);
  run();
  EXPECT_EQ(job.jobResult, kResultFinished);
  EXPECT_EQ(platform.allocationRequests.size(), 1u);
}

TEST_F(SplitTest, FailedChunkIsMovedAgainAfterOk) {
  prepare(2500, 1000);
  holdBuffer(400);
  // The second chunk of segment 2 fails twice (a full disk), then space is freed.
  int writes = 0, failures = 0;
  platform.beforeWrite = [&](const std::string& path, uint32_t n) {
    if (path != segment(2) || n != 400) return true;
    ++writes;
    if (writes == 2 || writes == 3) {
      ++failures;
      return false;
    }
    return true;
  };
  answers.push(kUpperButton);
  answers.push(kUpperButton);
  run();
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(answers.messages(),
            (std::vector<std::string>{"File Write Error. The disk might be full.",
                                      "File Write Error. The disk might be full."}));
  EXPECT_EQ(job.jobResult, kResultFinished);
  EXPECT_EQ(slice(readBytes(segment(2)), 8, 1000), slice(source, 1000, 1000));
  EXPECT_EQ(readBytes(segment(2)).size(), 1008u);
}

TEST_F(SplitTest, FailedChunkAndAbortEndsTheJob) {
  prepare(2500, 1000);
  platform.beforeWrite = [&](const std::string& path, uint32_t n) {
    return !(path == segment(2) && n == 1000);
  };
  answers.push(kLowerButton);
  run();
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(job.jobState, kJobEnded);
  EXPECT_EQ(answers.shown()[0].secondButton, "Abort procedure");
  EXPECT_FALSE(fileExists(segment(3)));
  EXPECT_EQ(lastFailure.toString(), segment(2) + ": " + testing::kInjectedFailure);
}

TEST_F(SplitTest, FolderInTheWayOfASegmentIsAWriteErrorWithTheSystemsReason) {
  prepare(2500, 1000);
  ASSERT_TRUE(platform.createFolder(dir.file("out")));
  ASSERT_TRUE(platform.createFolder(segment(2)));
  answers.push(kLowerButton);
  run();
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"File Write Error. The disk might be full."});
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(lastFailure.path(), segment(2));
  // POSIX: "Is a directory"; Windows: "Access denied" (see platform_test.cc).
  EXPECT_FALSE(lastFailure.reason().empty());
  EXPECT_EQ(lastFailure.code(), whyNotOpened(segment(2)).code());
}

TEST_F(SplitTest, WriteErrorIsAskedInQuietModeToo) {
  prepare(2500, 1000);
  job.quiet = 1;
  platform.beforeWrite = [&](const std::string& path, uint32_t) { return path != segment(3); };
  run();  // nobody answers: the safe answer aborts
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"File Write Error. The disk might be full."});
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(lastFailure.toString(), segment(3) + ": " + testing::kInjectedFailure);
}

TEST_F(SplitTest, MultiRemovableAsksBeforeEveryLaterSegment) {
  prepare(2500, 1000);
  job.multiRemovable = 1;
  answers.push(kUpperButton);
  answers.push(kUpperButton);
  run();
  EXPECT_EQ(answers.messages(), (std::vector<std::string>{"Is Removable Media Ready?",
                                                          "Is Removable Media Ready?"}));
  EXPECT_EQ(job.jobResult, kResultFinished);
  EXPECT_TRUE(fileExists(segment(3)));
}

TEST_F(SplitTest, MultiRemovableInQuietModeStopsBeforeSegmentTwo) {
  prepare(2500, 1000);
  job.multiRemovable = 1;
  job.quiet = 1;
  run();
  EXPECT_TRUE(answers.shown().empty());
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(job.jobState, kJobEnded);
  EXPECT_TRUE(fileExists(segment(1)));
  EXPECT_FALSE(fileExists(segment(2)));
}

TEST_F(SplitTest, CountAbove9999IsLoweredBeforeAnyFileIsWritten) {
  prepare(10000, 1);  // 10,000 segments of one byte asked for
  run();
  EXPECT_EQ(job.jobResult, kResultFinished);
  EXPECT_LE(job.segmentCount, 9999u);
  std::vector<uint8_t> s1 = readBytes(segment(1));
  ASSERT_GE(s1.size(), 12u);
  uint32_t recorded = getLe32(&s1[8]);
  EXPECT_EQ(recorded, job.segmentCount);
  EXPECT_TRUE(fileExists(segment(recorded)));
  EXPECT_FALSE(fileExists(segment(recorded + 1)));
}

TEST_F(SplitTest, OutputFolderThatCannotBeMadeEndsTheProcess) {
  struct Case {
    uint32_t quiet;
    std::size_t notices;
  } cases[] = {{0, 1}, {1, 0}};
  for (const Case& c : cases) {
    ScriptedAnswerer fresh;
    platform.setNoticeAnswerer(&fresh);
    prepare(100, 60);
    const std::string folder = dir.file("missing") + kPathSeparator + "out";
    job.outputFolder = folder;
    job.quiet = c.quiet;
    JobOutcome outcome = run();
    EXPECT_TRUE(outcome.endProcess);
    EXPECT_EQ(outcome.exitCode, kExitDirectoryError);
    EXPECT_EQ(lastFailure.path(), folder);
    EXPECT_EQ(lastFailure.code(), whyNotOpened(folder).code());  // not found, as the file
    ASSERT_EQ(fresh.shown().size(), c.notices);
    if (c.notices) {
      EXPECT_EQ(fresh.shown()[0].message, "Directory creation error");
      EXPECT_EQ(fresh.shown()[0].secondButton, "Open ReadMe");
    }
    job.jobState = kJobIdle;
  }
}

TEST_F(SplitTest, ExistingOutputFolderIsUsed) {
  prepare(100, 60);
  ASSERT_TRUE(platform.createFolder(dir.file("out")));
  JobOutcome outcome = run();
  EXPECT_FALSE(outcome.endProcess);
  EXPECT_EQ(job.jobResult, kResultFinished);
}

TEST_F(SplitTest, SourceGoneSinceItWasChosen) {
  prepare(2500, 1000);
  platform.deleteFile(job.sourcePath.str());
  job.quiet = 1;  // shown in quiet mode too
  run();
  ASSERT_EQ(answers.shown().size(), 1u);
  EXPECT_EQ(answers.shown()[0].message,
            "The file \"" + dir.file("movie.avi") + "\" can no longer be read.");
  EXPECT_EQ(lastFailure.toString(), whyNotOpened(dir.file("movie.avi")).toString());
  EXPECT_FALSE(lastFailure.ok());
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(job.jobState, kJobEnded);
  EXPECT_FALSE(fileExists(segment(1)));
}

TEST_F(SplitTest, RunsOnlyAPreparedJob) {
  prepare(100, 60);
  job.jobState = kJobIdle;
  run();
  EXPECT_EQ(job.jobState, kJobIdle);
  EXPECT_FALSE(fileExists(dir.file("out")));
}

TEST_F(SplitTest, SingleCharacterNameStillNamesTheSeries) {
  prepare(100, 60, "a");
  run();
  EXPECT_EQ(job.jobResult, kResultFinished);
  EXPECT_EQ(job.originalName.str(), "a");
  EXPECT_TRUE(fileExists(dir.file("out") + kPathSeparator + "aXXX0001.trp"));
}

// A stop from outside (the window's Quit, a signal to trep) in the middle
// of segment 2: segment 1 stays complete, segment 2 is removed, temporary
// name and all, and nothing more is asked or made.
TEST_F(SplitTest, AStopFromOutsideRemovesTheSegmentBeingWritten) {
  prepare(2500, 1000);
  holdBuffer(400);
  platform.beforeWrite = [&](const std::string& path, uint32_t n) {
    if (path == segment(2) && n == 400) {
      job.stopRequested = 1;
      job.jobResult = kResultAborted;
    }
    return true;
  };
  run();
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(job.jobState, kJobEnded);
  EXPECT_TRUE(answers.shown().empty());
  EXPECT_EQ(testing::namesIn(dir.file("out")), std::vector<std::string>{base + "0001.trp"});
  EXPECT_EQ(readBytes(segment(1)).size(), 1652u);
}

// A stop asked for before the engine took the job ends it before anything
// is made.
TEST_F(SplitTest, AStopBeforeTheStartIsKept) {
  prepare(2500, 1000);
  job.stopRequested = 1;
  run();
  EXPECT_EQ(job.jobResult, kResultAborted);
  EXPECT_EQ(testing::namesIn(dir.file("out")), std::vector<std::string>{});
}

// The write error question carries the file and the system's reason.
TEST_F(SplitTest, TheWriteErrorQuestionSaysWhichFileAndWhy) {
  prepare(2500, 1000);
  platform.beforeWrite = [&](const std::string& path, uint32_t) { return path != segment(3); };
  answers.push(kLowerButton);
  run();
  ASSERT_EQ(answers.shown().size(), 1u);
  EXPECT_EQ(answers.shown()[0].message, "File Write Error. The disk might be full.");
  EXPECT_EQ(answers.shown()[0].reason, segment(3) + ": " + testing::kInjectedFailure);
  EXPECT_FALSE(answers.shown()[0].lastingFailure);
  EXPECT_EQ(testing::namesIn(dir.file("out")),
            (std::vector<std::string>{base + "0001.trp", base + "0002.trp"}));
}

// With headerless segments, segments an earlier series left numbered on
// from the new ones would be appended by a rebuild: the user is told (not
// asked), and nothing is removed. Quiet mode tells nothing.
TEST_F(SplitTest, SegmentsAnEarlierSeriesLeftAreToldOfNotRemoved) {
  options.rebuildMethod = RebuildMethod::kBatFile;
  struct Case {
    std::vector<uint32_t> left;  // numbers of the earlier series' segments
    uint32_t quiet;
    std::string told;            // empty: nothing
  };
  const std::string seg4 = "\"movi0004.trp\"", seg5 = "\"movi0005.trp\"";
  const std::string advice =
      " still in the output folder. A rebuild of this series' headerless segments by Trep "
      "would append them: remove them first. (UnTrep.bat leaves them out.)";
  const Case cases[] = {
      {{4}, 0, "Segment " + seg4 + " of an earlier series is" + advice},
      {{4, 5}, 0, "Segments " + seg4 + " to " + seg5 + " of an earlier series are" + advice},
      {{5}, 0, ""},  // 0004 missing: a rebuild stops before 0005
      {{4, 5}, 1, ""},
      {{}, 0, ""},
  };
  for (const Case& c : cases) {
    TempDir fresh;
    prepare(2500, 1000);
    job.outputFolder = fresh.file("out");
    platform.createFolder(fresh.file("out"));
    auto at = [&](uint32_t n) {
      return segmentPath(fresh.file("out") + kPathSeparator + base, n);
    };
    for (uint32_t n : c.left) writeBytes(at(n), {'o', 'l', 'd'});
    job.quiet = c.quiet;
    ScriptedAnswerer script;
    platform.setNoticeAnswerer(&script);
    run();
    EXPECT_EQ(job.jobResult, kResultFinished);
    std::vector<std::string> expected;
    if (!c.told.empty()) expected.push_back(c.told);
    EXPECT_EQ(script.messages(), expected);
    if (!c.told.empty()) {
      EXPECT_TRUE(script.shown()[0].informational);
    }
    for (uint32_t n : c.left) EXPECT_EQ(readBytes(at(n)), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(readBytes(at(3)).size(), 500u);
  }
  platform.setNoticeAnswerer(&answers);
}

#ifndef _WIN32
// A link at a segment's name or at UnTrep.bat, also one whose target is
// missing, is replaced itself: the segments' links are asked about first
// (UnTrep.bat is replaced unasked, as any file of that name), and no
// target is written or made.
TEST_F(SplitTest, LinksAtTheNamesAreReplacedNeverWrittenThrough) {
  for (RebuildMethod method : {RebuildMethod::kTrep, RebuildMethod::kBatFile}) {
    TempDir fresh;
    prepare(2500, 1000);
    options.rebuildMethod = method;
    job.outputFolder = fresh.file("out");
    platform.createFolder(fresh.file("out"));
    writeBytes(fresh.file("victim"), {'v'});
    auto at = [&](uint32_t n) {
      return segmentPath(fresh.file("out") + kPathSeparator + base, n);
    };
    ASSERT_EQ(::symlink(fresh.file("victim").c_str(), at(2).c_str()), 0);
    ASSERT_EQ(::symlink(fresh.file("never").c_str(), at(3).c_str()), 0);
    const std::string batch = fresh.file("out") + kPathSeparator + "UnTrep.bat";
    ASSERT_EQ(::symlink(fresh.file("victim").c_str(), batch.c_str()), 0);
    ScriptedAnswerer script({kUpperButton, kUpperButton});
    platform.setNoticeAnswerer(&script);
    run();
    EXPECT_EQ(job.jobResult, kResultFinished);
    EXPECT_EQ(script.messages(), (std::vector<std::string>{"File already exists.",
                                                           "File already exists."}));
    for (const std::string& p : {at(1), at(2), at(3), batch}) {
      struct stat st;
      ASSERT_EQ(::lstat(p.c_str(), &st), 0) << p;
      EXPECT_EQ(S_ISREG(st.st_mode), method == RebuildMethod::kBatFile || p != batch) << p;
    }
    EXPECT_EQ(readBytes(fresh.file("victim")), std::vector<uint8_t>{'v'});
    EXPECT_FALSE(fileExists(fresh.file("never")));
  }
  platform.setNoticeAnswerer(&answers);
}
#endif

}  // namespace
}  // namespace trep
