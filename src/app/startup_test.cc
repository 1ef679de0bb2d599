#include "app/startup.h"

#include <gtest/gtest.h>

#include <filesystem>

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

  // Reads the line as trep does; false (and `refusal` set) when it is refused.
  bool read(std::vector<std::string> args) {
    args.insert(args.begin(), "trep");
    CommandLine line = readCommandLine(ArgvArguments(args), false);
    refusal = line.refusal;
    if (line.request != CommandLine::Request::kSwitches) return false;
    readSwitches(app(), platform, line);
    return true;
  }
  std::string sep() const { return std::string(1, kPathSeparator); }

  testing::TempDir dir;
  testing::FaultyPlatform platform;
  ScriptedAnswerer answers;
  std::unique_ptr<App> owned;
  std::string refusal;
};

TEST_F(StartupTest, SwitchOrderDecidesTheOutputFolder) {
  struct Case {
    std::vector<std::string> args;
    std::string folder;
  } cases[] = {
      {{"/o=" + dir.file("out"), "/i=" + dir.file("big.iso")}, dir.file("out") + sep() + "big"},
      {{"/i=" + dir.file("big.iso"), "/o=" + dir.file("out")}, dir.file("out")},
      {{"/i=" + dir.file("big.iso")}, dir.file("desk") + sep() + "big"},
      // Any letter case: "/O=" is "/o=", not a switch to pass over.
      {{"/I=" + dir.file("big.iso"), "/O=" + dir.file("out")}, dir.file("out")},
      {{"/O=" + dir.file("out"), "/I=" + dir.file("big.iso")}, dir.file("out") + sep() + "big"},
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
      {{"/i=" + dir.file("big.iso"), "/S=7"}, 7},
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_TRUE(read(c.args));
    EXPECT_EQ(app().batchSegmentKBytes, c.kbytes) << c.args.back();
  }
}

// "/r=N" asks a batch split for N recovery files: 1 up to the number of
// segments the split writes, which is known once the size is; more is
// refused with a notice before a file is written.
TEST_F(StartupTest, RecoveryCountSwitch) {
  struct Case {
    std::vector<std::string> args;
    int exit;        // runBatch's
    uint32_t count;  // recovery files written
  } cases[] = {
      {{"/r=2", "/i=" + dir.file("big.iso"), "/s=100"}, 0, 2},
      {{"/i=" + dir.file("big.iso"), "/s=100", "/R=3"}, 0, 3},  // 3 segments of 100 KiB
      {{"/i=" + dir.file("big.iso"), "/s=100", "/r=4"}, kExitUsage, 0},
      {{"/i=" + dir.file("big.iso"), "/r=2"}, kExitUsage, 0},  // 512 KiB: one segment
  };
  for (const Case& c : cases) {
    ScriptedAnswerer local;
    platform.setNoticeAnswerer(&local);
    fresh();
    std::vector<std::string> args = c.args;
    args.push_back("/o=" + dir.file("out"));
    args.push_back("/q");
    ASSERT_TRUE(read(args)) << refusal;
    EXPECT_EQ(runBatch(app(), platform), c.exit) << args[2];
    // The base of big.iso is "big.": its recovery files are big..par2 and
    // big..vol0+1.par2, ...
    const std::string prefix = dir.file("out") + sep() + "big.";
    EXPECT_EQ(fileExists(prefix + ".par2"), c.count != 0) << args[2];
    if (c.count != 0) {
      EXPECT_TRUE(fileExists(prefix + ".vol" + std::to_string(c.count - 1) + "+1.par2"));
    }
    EXPECT_FALSE(fileExists(prefix + ".vol" + std::to_string(c.count) + "+1.par2"));
    if (c.exit == kExitUsage) {
      ASSERT_EQ(local.shown().size(), 1u);
      EXPECT_NE(local.shown()[0].message.find("number of recovery files"), std::string::npos);
      EXPECT_FALSE(fileExists(segmentPath(prefix, 1))) << args[2];
    }
    for (const std::string& f :
         {segmentPath(prefix, 1), segmentPath(prefix, 2), segmentPath(prefix, 3)})
      platform.deleteFile(f);
    platform.deleteFile(prefix + ".par2");
    for (uint32_t e = 0; e < 3; ++e)
      platform.deleteFile(prefix + ".vol" + std::to_string(e) + "+1.par2");
  }
  platform.setNoticeAnswerer(&answers);
}

// A refused line is refused before anything acts on it: no analysis runs
// (so none of its notices shows), nothing is set.
TEST_F(StartupTest, RefusedLinesDoNothingAndShowNothing) {
  writeBytes(dir.file("lost0002.trp"), patternBytes(30));  // its 0001 is missing
  std::string longPath = dir.file(std::string(650, 'n'));
  struct Case {
    std::vector<std::string> args;
    std::string refusal;
  } cases[] = {
      {{"/i=" + dir.file("lost0002.trp"), "/size=2"}, "unknown switch \"/size=2\""},
      {{"/i=" + dir.file("lost0002.trp"), "/s=12x"}, "the segment size \"12x\" is not valid"},
      {{"/i=" + dir.file("big.iso"), "/s=4194304"}, "the segment size \"4194304\" is not valid"},
      {{"/i=" + dir.file("big.iso"), "/i=" + dir.file("big.iso")}, "repeats the switch"},
      {{"", "/i=" + dir.file("big.iso")}, "argument 1 is empty"},
      {{"/i=" + longPath}, "is longer than 599 characters"},
      {{"/i=" + dir.file("big.iso"), "/o=" + longPath}, "is longer than 599 characters"},
  };
  for (const Case& c : cases) {
    fresh();
    EXPECT_FALSE(read(c.args)) << c.refusal;
    EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
    EXPECT_TRUE(answers.shown().empty()) << c.refusal;
    EXPECT_EQ(app().job.sourceValid, 0u);
    EXPECT_FALSE(app().sawInputSwitch);
    EXPECT_EQ(app().job.outputFolder.str(), dir.file("desk"));
  }
}

TEST_F(StartupTest, QuietInEitherSpelling) {
  for (const char* quiet : {"/q", "/Q", "/quiet", "/QUIET"}) {
    fresh();
    ASSERT_TRUE(read({quiet})) << quiet;
    EXPECT_EQ(app().job.quiet, 1u) << quiet;
  }
}

// Why a file of "/i=" was not taken, and whether the analysis said so itself.
TEST_F(StartupTest, FilesNotTakenAreExplained) {
  writeBytes(dir.file("empty.bin"), {});
  writeBytes(dir.file("part0002.trp"), patternBytes(700));
  struct Case {
    std::string file;
    std::string why;
    bool told;
  } cases[] = {
      {dir.file("missing.bin"), "it cannot be opened (", false},
      {dir.file("empty.bin"), "it is empty", false},
      {dir.file("part0002.trp"), "its series was not taken", true},
  };
  for (const Case& c : cases) {
    fresh();
    ASSERT_TRUE(read({"/i=" + c.file}));
    EXPECT_EQ(app().job.sourceValid, 0u) << c.file;
    EXPECT_EQ(app().job.jobState, kJobIdle) << c.file;
    EXPECT_TRUE(app().sawInputSwitch);
    EXPECT_EQ(app().lastInput, c.file);
    bool told = !c.told;
    EXPECT_EQ(whyNotTaken(app(), &told).rfind(c.why, 0), 0u) << whyNotTaken(app());
    EXPECT_EQ(told, c.told) << c.file;
  }
}

// A name typed without a folder is the file of that name in the current
// folder, whatever its length.
TEST_F(StartupTest, ShortNamesWithoutAFolder) {
  writeBytes(dir.file("ab"), patternBytes(10));
  writeBytes(dir.file("a"), patternBytes(10));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  for (const char* name : {"ab", "a"}) {
    fresh();
    ASSERT_TRUE(read({std::string("/i=") + name, "/o=" + dir.file("out")}));
    EXPECT_EQ(app().job.sourceValid, 1u) << name;
    EXPECT_EQ(app().job.originalName.str(), name);
    EXPECT_EQ(app().job.fileSize, 10u);
  }
  std::filesystem::current_path(before);
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
