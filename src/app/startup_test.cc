#include "app/startup.h"

#include <gtest/gtest.h>

#include "app/settings_file.h"
#include "planning/size_arithmetic.h"
#include "engine/naming.h"
#include "engine/work_buffer.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::fileExists;
using testing::patternBytes;
using testing::readBytes;
using testing::writeBytes;

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.setNoticeAnswerer(&answers);
    platform.desktopFolderValue = dir.file("desk");
    platform.createFolder(platform.desktopFolderValue);
    platform.createFolder(dir.file("out"));
    writeBytes(dir.file("big.iso"), patternBytes(300000));
    fresh();
  }
  // A new set of records, as a new process would make.
  void fresh() {
    if (owned) TearDown();
    owned = std::make_unique<App>();
    prepareStart(app(), platform);
  }
  App& app() { return *owned; }
  void TearDown() override {
    BatchPlanning planning;
    JobContext ctx{app().job, app().options, platform, planning, nullptr};
    releaseWorkBuffer(ctx);
  }

  bool read(std::vector<std::string> args) {
    args.insert(args.begin(), "trep");
    return readSwitches(app(), platform, ArgvArguments(args));
  }
  std::string sep() const { return std::string(1, kPathSeparator); }

  testing::TempDir dir;
  testing::FaultyPlatform platform;
  ScriptedAnswerer answers;
  std::unique_ptr<App> owned;
};

TEST_F(StartupTest, SwitchOrderDecidesTheOutputFolder) {
  struct Case {
    std::vector<std::string> args;
    std::string folder;
  } cases[] = {
      {{"/o=" + dir.file("out"), "/i=" + dir.file("big.iso")}, dir.file("out") + sep() + "big"},
      {{"/i=" + dir.file("big.iso"), "/o=" + dir.file("out")}, dir.file("out")},
      {{"/i=" + dir.file("big.iso")}, dir.file("desk") + sep() + "big"},
      {{"/I=" + dir.file("big.iso"), "/O=" + dir.file("out")}, dir.file("desk") + sep() + "big"},
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_TRUE(read(c.args));
    EXPECT_EQ(app().job.sourceValid, 1u);
    EXPECT_EQ(app().job.isSplit, 1u);
    EXPECT_EQ(app().job.fileSize, 300000u);
    EXPECT_EQ(app().job.outputFolder.str(), c.folder) << c.args[0];
  }
}

TEST_F(StartupTest, SegmentSizeSwitch) {
  struct Case {
    std::vector<std::string> args;
    uint32_t kbytes;
  } cases[] = {
      {{"/i=" + dir.file("big.iso")}, 512},
      {{"/s=100", "/i=" + dir.file("big.iso")}, 100},
      {{"/i=" + dir.file("big.iso"), "/s=100"}, 100},
      {{"/i=" + dir.file("big.iso"), "/s=0"}, 1},
      {{"/i=" + dir.file("big.iso"), "/S=7"}, 512},  // upper case is not a switch
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_TRUE(read(c.args));
    EXPECT_EQ(app().batchSegmentKBytes, c.kbytes) << c.args.back();
  }
}

TEST_F(StartupTest, RefusedSegmentSizeStopsWithANotice) {
  for (const char* bad : {"/s=12x", "/s=4194304", "/s="}) {
    ScriptedAnswerer local;
    platform.setNoticeAnswerer(&local);
    fresh();
    EXPECT_FALSE(read({"/i=" + dir.file("big.iso"), bad})) << bad;
    ASSERT_EQ(local.shown().size(), 1u);
    EXPECT_NE(local.shown()[0].message.find("whole number of kilobytes below 4 GiB"),
              std::string::npos);
  }
}

TEST_F(StartupTest, QuietAndReadingStops) {
  ASSERT_TRUE(read({"/quiet"}));
  EXPECT_EQ(app().job.quiet, 1u);

  fresh();
  ASSERT_TRUE(read({"", "/i=" + dir.file("big.iso")}));  // an empty argument stops the reading
  EXPECT_EQ(app().job.sourceValid, 0u);
}

TEST_F(StartupTest, RejectedFilesLeaveNoJob) {
  writeBytes(dir.file("empty.bin"), {});
  writeBytes(dir.file("part0001.trp"), patternBytes(700));
  for (std::string f : {dir.file("missing.bin"), dir.file("empty.bin"), dir.file("part0001.trp")}) {
    fresh();
    ASSERT_TRUE(read({"/i=" + f}));
    EXPECT_EQ(app().job.sourceValid, 0u) << f;
    EXPECT_EQ(app().job.jobState, kJobIdle) << f;
  }
  // A second "/i=" replaces the first completely.
  fresh();
  ASSERT_TRUE(read({"/i=" + dir.file("big.iso"), "/i=" + dir.file("missing.bin")}));
  EXPECT_EQ(app().job.sourceValid, 0u);
}

TEST_F(StartupTest, PathsLongerThanTheirFieldAreRefusedNotCut) {
  std::string longPath = dir.file(std::string(650, 'n'));
  ASSERT_TRUE(read({"/i=" + longPath}));
  EXPECT_EQ(app().job.sourceValid, 0u);
  ASSERT_EQ(answers.shown().size(), 1u);
  EXPECT_NE(answers.shown()[0].message.find("longer than 599 characters"), std::string::npos);

  fresh();
  ASSERT_TRUE(read({"/i=" + dir.file("big.iso"), "/o=" + longPath}));
  EXPECT_TRUE(app().refused);
  EXPECT_EQ(app().job.outputFolder.str(), dir.file("desk") + sep() + "big");

  // The limit counts characters: 400 of two bytes each are taken whole.
  std::string accents;
  for (int i = 0; i < 400; ++i) accents += "é";
  fresh();
  ASSERT_TRUE(read({"/i=" + dir.file("big.iso"), "/o=" + dir.file(accents)}));
  EXPECT_FALSE(app().refused);
  EXPECT_EQ(app().job.outputFolder.str(), dir.file(accents));  // after "/i=": as given
}

TEST_F(StartupTest, QuietBatchSplitRunsOnThisThread) {
  ASSERT_TRUE(read({"/i=" + dir.file("big.iso"), "/o=" + dir.file("out"), "/s=100", "/q"}));
  int code = runBatch(app(), platform);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(answers.shown().empty());  // no final notice in quiet mode
  EXPECT_EQ(app().job.segmentSize, 102400u);
  EXPECT_EQ(app().job.segmentCount, 3u);
  std::string prefix = dir.file("out") + sep() + "big.";
  EXPECT_EQ(readBytes(segmentPath(prefix, 1)).size(), 652u + 102400);
  EXPECT_EQ(readBytes(segmentPath(prefix, 3)).size(), 8u + 300000 - 2 * 102400);
}

TEST_F(StartupTest, BatchSplitEndsWithTheFinishedNotice) {
  ASSERT_TRUE(read({"/i=" + dir.file("big.iso"), "/o=" + dir.file("out")}));
  answers.push(kLowerButton);  // "Open ReadMe"
  int code = runBatch(app(), platform);
  EXPECT_EQ(code, 0);
  ASSERT_EQ(answers.shown().size(), 1u);
  const NoticeParameters n = answers.shown()[0];
  EXPECT_EQ(n.message, "Finished");
  EXPECT_EQ(n.firstButton, "OK");
  EXPECT_EQ(n.secondButton, "Open ReadMe");
  EXPECT_EQ(n.timeoutSeconds, 10u);
  EXPECT_EQ(n.kind, 10u);
  EXPECT_EQ(platform.readMeOpened, 1);
  EXPECT_EQ(app().job.jobState, kJobEnded);
}

TEST_F(StartupTest, AbortedBatchJobExitsWith99AndNoFinalNotice) {
  ASSERT_TRUE(read({"/i=" + dir.file("big.iso"), "/o=" + dir.file("out")}));
  writeBytes(dir.file("out") + sep() + "big.0001.trp", {1});
  answers.push(kLowerButton);  // "Abort procedure" at the overwrite question
  EXPECT_EQ(runBatch(app(), platform), 99);
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"File already exists."});
}

TEST_F(StartupTest, FoldersAndTheMarkerFile) {
  platform.programFolderValue = dir.path() + sep();
  platform.appDataFolderValue = dir.file("appdata");
  platform.createFolder(platform.appDataFolderValue);
  findFolders(app(), platform);
  EXPECT_EQ(app().userDataFolder, dir.path() + sep());

  writeBytes(dir.file("DefSet.txt"), {});
  findFolders(app(), platform);
  std::string perUser = dir.file("appdata") + sep() + "Quorin" + sep() + "Trep";
  EXPECT_EQ(app().userDataFolder, perUser + sep());
  EXPECT_TRUE(platform.folderExists(perUser));

  platform.removable = true;  // a copy on a removable drive keeps its settings beside it
  findFolders(app(), platform);
  EXPECT_EQ(app().userDataFolder, dir.path() + sep());
}

TEST_F(StartupTest, SecondInstanceWaitsFiveSecondsOnce) {
  platform.instanceFree = false;
  EXPECT_FALSE(takeInstanceLock(platform));
  EXPECT_EQ(platform.sleptMs, 5000u);
  platform.instanceFree = true;
  platform.sleptMs = 0;
  EXPECT_TRUE(takeInstanceLock(platform));
  EXPECT_EQ(platform.sleptMs, 0u);
}

}  // namespace
}  // namespace trep
