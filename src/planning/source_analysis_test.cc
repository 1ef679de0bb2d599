#include "planning/source_analysis.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "engine/segment_format.h"
#include "planning/destination.h"
#include "planning/size_arithmetic.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::patternBytes;
using testing::writeBytes;

class SourceAnalysisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.setNoticeAnswerer(&answers);
    platform.desktopFolderValue = dir.file("desk");
    options.destinationMode = DestinationMode::kNamedFolder;  // Named Folder
  }

  void analyse(const std::string& path) {
    job.sourcePath = path;
    job.sourceValid = 0;
    analyseSource(p);
  }

  // Segment 0001 of a series with a header, and `more` later segments.
  void writeSeries(const std::string& base, uint32_t flag, const std::string& description,
                   uint32_t more = 1) {
    JobSettings header;
    header.description = description;
    header.originalName = "report.pdf";
    header.fileSize = 1234567;
    header.fileCrc = 4242;
    header.creationTime = 1;
    header.lastAccessTime = 2;
    header.lastWriteTime = 3;
    header.fileAttributes = 0x21;
    FullHeader h = encodeFullHeader(header, 1 + more, flag);
    std::vector<uint8_t> first(h.begin(), h.end());
    first.resize(first.size() + 100, 7);
    writeBytes(dir.file(base + "0001.trp"), first);
    for (uint32_t n = 2; n <= 1 + more; ++n)
      writeBytes(dir.file(base + "000" + std::to_string(n) + ".trp"),
                 std::vector<uint8_t>{'T', 'R', 'E', 'P', '1', '6', '0', '0', 9});
  }

  testing::TempDir dir;
  testing::FaultyPlatform platform;
  ScriptedAnswerer answers;
  JobSettings job;
  PersistedSettings options;
  MemoryControls controls;
  SizeState sizes;
  PlanningContext p{job, options, platform, controls, sizes};
};

TEST_F(SourceAnalysisTest, SplitOfTenMillionBytes) {
  writeBytes(dir.file("movie.avi"), patternBytes(10000000));
  controls.setText(CTL_OUTPUT_FOLDER, dir.file("elsewhere"));
  analyse(dir.file("movie.avi"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.isSplit, 1u);
  EXPECT_EQ(job.jobState, kJobIdle);
  EXPECT_EQ(job.fileSize, 10000000u);
  // 5,000,000 + 156,250 shown as 5035 kBytes and read back from the fields.
  EXPECT_EQ(job.segmentSize, 5155840u);
  EXPECT_EQ(job.segmentCount, 2u);
  EXPECT_EQ(controls.text(CTL_SIZE_NUMBER), "5035");
  EXPECT_EQ(controls.selection(CTL_SIZE_UNIT), 1);
  EXPECT_EQ(controls.text(CTL_SEGMENT_COUNT), "2");
  EXPECT_EQ(controls.sliderPosition(CTL_SLIDER), 2u);
  EXPECT_EQ(options.sliderMax, 9999u);
  EXPECT_EQ(controls.sliderMaxes[CTL_SLIDER], 9999u);
  EXPECT_EQ(controls.text(CTL_FILE_SIZE), "10, 000, 000");
  EXPECT_EQ(controls.text(CTL_START), "Go Trep!");
  EXPECT_EQ(controls.text(CTL_FILE_NAME), "movie.avi");
  EXPECT_EQ(controls.text(CTL_CRC), "0");
  // The desktop, then a folder named after the file.
  EXPECT_EQ(controls.text(CTL_OUTPUT_FOLDER), dir.file("desk") + kPathSeparator + "movie");
  EXPECT_EQ(job.outputFolder.str(), dir.file("desk") + kPathSeparator + "movie");
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "File will be Trepped into 2 files of 5035 kBytes");
  EXPECT_EQ(sizes.preciseSize, 5155840u);
  EXPECT_TRUE(controls.isEnabled(CTL_START));
  EXPECT_TRUE(answers.shown().empty());
}

TEST_F(SourceAnalysisTest, SmallFilesAndTheSlider) {
  struct Case {
    std::size_t size;
    uint32_t sliderMax;
    uint32_t count;
  } cases[] = {{20, 1, 2}, {21, 1, 3}, {1000000, 9999, 2}, {64, 4, 2}, {1, 1, 1}};
  for (const Case& c : cases) {
    writeBytes(dir.file("small.bin"), patternBytes(c.size));
    analyse(dir.file("small.bin"));
    EXPECT_EQ(options.sliderMax, c.sliderMax) << c.size;
    EXPECT_EQ(job.segmentCount, c.count) << c.size;
  }
}

TEST_F(SourceAnalysisTest, ChosenPresetIsProposedUnlessTheWizardRuns) {
  writeBytes(dir.file("movie.avi"), patternBytes(10000000));
  controls.select(CTL_PRESETS, 1);  // "EMail"
  analyse(dir.file("movie.avi"));
  EXPECT_EQ(job.segmentSize, 921600u);
  EXPECT_EQ(job.segmentCount, 11u);
  options.wizardRunning = 1;
  analyse(dir.file("movie.avi"));
  EXPECT_EQ(job.segmentSize, 5155840u);
}

TEST_F(SourceAnalysisTest, FilesNotTaken) {
  writeBytes(dir.file("empty.bin"), {});
  for (std::string path : {dir.file("empty.bin"), dir.file("missing.bin"), std::string("ab")}) {
    analyse(path);
    EXPECT_EQ(job.sourceValid, 0u) << path;
    EXPECT_EQ(job.jobState, kJobIdle);
    EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "Pick a valid file.");
    // The window shows no file, as at start-up, not a half-finished analysis.
    EXPECT_EQ(controls.text(CTL_FILE_SIZE), "0");
    EXPECT_EQ(controls.text(CTL_FILE_NAME), "No File");
    EXPECT_EQ(controls.text(CTL_START), "Decide!");
    EXPECT_FALSE(controls.isEnabled(CTL_START));
  }
  EXPECT_TRUE(answers.shown().empty());
}

// What the analysis found on opening the source stays in the job, so that a
// file not taken can be explained without opening it again. Rows run in
// order on one job: each analysis replaces what the one before left.
TEST_F(SourceAnalysisTest, WhatTheOpenFoundIsKept) {
  writeBytes(dir.file("empty.bin"), {});
  writeBytes(dir.file("movie.avi"), patternBytes(1000));
  writeBytes(dir.file("lost0002.trp"), patternBytes(30));
  platform.createFolder(dir.file("folder.bin"));
  struct Case {
    std::string path;
    std::string failed;  // the path the failure names; empty: opened
    uint64_t bytes;
    uint32_t taken;
  } cases[] = {
      {dir.file("missing.bin"), dir.file("missing.bin"), 0, 0},
      {dir.file("empty.bin"), "", 0, 0},
      {"ab", "ab", 0, 0},  // too short to be taken, but opened all the same
      {dir.file("movie.avi"), "", 1000, 1},
      {dir.file("folder.bin"), dir.file("folder.bin"), 0, 0},
      {dir.file("lost0002.trp"), dir.file("lost0001.trp"), 0, 0},
  };
  for (const Case& c : cases) {
    analyse(c.path);
    EXPECT_EQ(job.sourceStatus.path(), c.failed) << c.path;
    EXPECT_EQ(job.sourceStatus.reason().empty(), c.failed.empty()) << c.path;
    EXPECT_EQ(job.sourceBytes, c.bytes) << c.path;
    EXPECT_EQ(job.sourceValid, c.taken) << c.path;
    job.sourceValid = 0;
  }
}

TEST_F(SourceAnalysisTest, GuardsKeepEverythingAsItIs) {
  writeBytes(dir.file("movie.avi"), patternBytes(1000));
  job.sourcePath = dir.file("movie.avi");
  job.jobState = kJobAnalysing;
  analyseSource(p);
  EXPECT_EQ(job.sourceValid, 0u);
  EXPECT_TRUE(controls.texts.empty());
  job.jobState = kJobIdle;
  job.sourceValid = 1;  // an analysis under way in the same window
  analyseSource(p);
  EXPECT_TRUE(controls.texts.empty());
}

TEST_F(SourceAnalysisTest, SegmentNameDecidesJoinOrSplit) {
  EXPECT_TRUE(isSegmentName("D:\\Data\\REPORT.TRP"));
  EXPECT_TRUE(isSegmentName("x.tRp"));
  EXPECT_FALSE(isSegmentName("D:\\Data\\report.trp.bak"));
  EXPECT_FALSE(isSegmentName("trp"));
  writeBytes(dir.file("report.trp.bak"), patternBytes(100));
  analyse(dir.file("report.trp.bak"));
  EXPECT_EQ(job.isSplit, 1u);
  EXPECT_EQ(job.sourceValid, 1u);
}

TEST_F(SourceAnalysisTest, JoinFindsTheFirstSegmentAndReadsItsHeader) {
  writeSeries("backup", 1, "Quarterly figures", 6);
  controls.setText(CTL_OUTPUT_FOLDER, dir.file("out"));
  job.encrypt = 1;
  analyse(dir.file("backup0007.trp"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.isSplit, 0u);
  EXPECT_EQ(job.rawSeries, 0u);
  EXPECT_EQ(job.segmentFolder.str(), dir.file("backup"));
  EXPECT_EQ(job.segmentCount, 7u);
  EXPECT_EQ(job.segmentSize, 752u);  // the whole first segment file
  EXPECT_EQ(job.originalName.str(), "report.pdf");
  EXPECT_EQ(job.fileSize, 1234567u);
  EXPECT_EQ(job.fileCrc, 4242u);
  EXPECT_EQ(job.lastWriteTime, 3u);
  EXPECT_EQ(job.fileAttributes, 0x21u);
  EXPECT_EQ(options.useDescription, 1u);
  EXPECT_EQ(controls.text(CTL_DESCRIPTION), "Quarterly figures");
  EXPECT_TRUE(controls.checked(CTL_USE_DESCRIPTION));
  EXPECT_TRUE(controls.checked(CTL_ENCRYPT));
  EXPECT_EQ(controls.text(CTL_START), "Go UnTrep!");
  EXPECT_EQ(controls.text(CTL_FILE_SIZE), "1, 234, 567");
  EXPECT_EQ(controls.text(CTL_CRC), "4242");
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "File was Trepped into 7 files");
  // The join keeps the folder field and adds the named folder to it.
  EXPECT_EQ(job.outputFolder.str(), dir.file("out") + kPathSeparator + "report");
  EXPECT_TRUE(answers.shown().empty());
}

// A series copied off a medium that wrote capitals: its first segment is
// found from any segment, whatever the letter case of the base or the
// extension, also where a case-sensitive file system keeps them apart.
TEST_F(SourceAnalysisTest, FirstSegmentInAnyLetterCase) {
  struct Case {
    const char* onDisk;  // segment 0001 as written
    const char* chosen;  // the segment the user names
  } cases[] = {
      {"DATA0001.TRP", "DATA0002.TRP"},
      {"data0001.TRP", "data0003.TRP"},
      {"DATA0001.TRP", "data0002.trp"},
      {"Data0001.tRp", "dATA0004.TrP"},
  };
  int row = 0;
  for (const Case& c : cases) {
    std::string folder = dir.file("medium" + std::to_string(++row));
    platform.createFolder(folder);
    JobSettings header;
    header.originalName = "report.pdf";
    FullHeader h = encodeFullHeader(header, 4, 0);
    writeBytes(folder + kPathSeparator + c.onDisk, std::vector<uint8_t>(h.begin(), h.end()));
    analyse(folder + kPathSeparator + c.chosen);
    EXPECT_EQ(job.sourceValid, 1u) << c.chosen;
    EXPECT_EQ(job.segmentCount, 4u) << c.chosen;
    EXPECT_EQ(job.originalName.str(), "report.pdf") << c.chosen;
    std::string chosen = c.chosen;
    EXPECT_EQ(job.segmentFolder.str(), folder + kPathSeparator + chosen.substr(0, 4));
    EXPECT_EQ(job.segmentExtension.str(), chosen.substr(8)) << c.chosen;
  }
  EXPECT_TRUE(answers.shown().empty());
}

// The name a header may give the rebuilt file. Both rules are checked here,
// whichever system runs the test: names Windows cannot hold fall back to the
// series' base name only under the Windows rule; a POSIX folder keeps them.
TEST(SafeOriginalNameTest, NamesEachSystemCanHold) {
  struct Case {
    std::string recorded;
    std::string windows;  // the name Trep.exe rebuilds
    std::string posix;    // the name trep rebuilds
  } cases[] = {
      {"report.pdf", "report.pdf", "report.pdf"},
      {"what?.txt", "what", "what?.txt"},
      {"a*b", "what", "a*b"},
      {"less<more>", "what", "less<more>"},
      {"pipe|d", "what", "pipe|d"},
      {"say \"hi\".txt", "what", "say \"hi\".txt"},
      {"tab\there", "what", "tab\there"},
      {std::string("bell\x07") + ".txt", "what", std::string("bell\x07") + ".txt"},
      {"\x1f" "x", "what", "\x1f" "x"},
      {"ends in a dot.", "what", "ends in a dot."},
      {"ends in a blank ", "what", "ends in a blank "},
      {"dir\\what?.txt", "what", "what?.txt"},  // the last component first
      {"c:name", "name", "name"},
      {"\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt", "\xC3\xA9t\xC3\xA9.txt"},
      {"CON", "what", "what"},  // a device name: the same on both, as before
      {"...", "what", "what"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(safeOriginalName(c.recorded, "what", true), c.windows) << c.recorded;
    EXPECT_EQ(safeOriginalName(c.recorded, "what", false), c.posix) << c.recorded;
  }
  EXPECT_EQ(safeOriginalName("what?.txt", "what"),
            kWindowsFileNames ? "what" : "what?.txt");  // this system's own rule
}

TEST_F(SourceAnalysisTest, DescriptionShownOnlyWhenItsFlagIsSet) {
  writeSeries("quiet", 0, "not to be shown");
  analyse(dir.file("quiet0001.trp"));
  EXPECT_EQ(job.description.str(), "not to be shown");
  EXPECT_EQ(controls.text(CTL_DESCRIPTION), "");
  EXPECT_EQ(options.useDescription, 0u);
}

TEST_F(SourceAnalysisTest, MissingFirstSegment) {
  writeBytes(dir.file("lost0002.trp"), patternBytes(30));
  answers.push(kLowerButton);
  analyse(dir.file("lost0002.trp"));
  EXPECT_EQ(job.sourceValid, 0u);
  EXPECT_EQ(answers.messages(), std::vector<std::string>{"Cannot find first file!"});
  EXPECT_EQ(answers.shown()[0].secondButton, "Open ReadMe");
  EXPECT_EQ(platform.readMeOpened, 1);
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "Pick a valid file.");
}

TEST_F(SourceAnalysisTest, SeriesWithoutTheMagic) {
  struct Case {
    const char* start;
    const char* notice;
    uint32_t answer;
    uint32_t valid;
    uint32_t raw;
  } cases[] = {
      {"TREP1500", kOtherVersion, kUpperButton, 1, 0},
      {"TREP1601", kOtherVersion, kLowerButton, 0, 0},
      {"ABCD1600", kNoHeader, kUpperButton, 1, 1},
      {"ABCD1600", kNoHeader, kLowerButton, 0, 1},
  };
  for (const Case& c : cases) {
    ScriptedAnswerer local({c.answer});
    platform.setNoticeAnswerer(&local);
    JobSettings header;
    header.originalName = "old.doc";
    header.fileSize = 99;
    FullHeader h = encodeFullHeader(header, 3, 0);
    std::memcpy(h.data(), c.start, 8);
    writeBytes(dir.file("0001.trp"), std::vector<uint8_t>(h.begin(), h.end()));
    controls.setText(CTL_DESCRIPTION, "earlier");
    analyse(dir.file("0001.trp"));
    EXPECT_EQ(local.messages(), std::vector<std::string>{c.notice}) << c.start;
    EXPECT_EQ(local.shown()[0].firstButton, "Attempt to UnTrep them anyway.");
    EXPECT_EQ(local.shown()[0].secondButton, "Abort procedure");
    EXPECT_EQ(job.sourceValid, c.valid) << c.start;
    EXPECT_EQ(job.rawSeries, c.raw) << c.start;
    if (c.valid && c.raw) {
      EXPECT_EQ(job.originalName.str(), "0001");
      EXPECT_EQ(controls.text(CTL_DESCRIPTION), "");
      // The series is its one file of 652 bytes.
      EXPECT_EQ(job.segmentCount, 1u);
      EXPECT_EQ(controls.text(CTL_FILE_SIZE), "652");
    }
    if (!c.valid) {
      EXPECT_EQ(controls.text(CTL_FILE_SIZE), "0") << c.start;
    }
    if (c.valid && !c.raw) {
      EXPECT_EQ(job.originalName.str(), "old.doc");
      EXPECT_EQ(job.segmentCount, 3u);
    }
  }
}

// A series without headers is counted from its files (to the first missing
// number, as the join reads them): the window states its count and the size
// of the file it rebuilds, not what it showed before.
TEST_F(SourceAnalysisTest, SeriesWithoutHeadersIsCountedFromItsFiles) {
  for (int n = 1; n <= 3; ++n)
    writeBytes(dir.file("cut000" + std::to_string(n) + ".trp"), patternBytes(n == 3 ? 100 : 4096));
  writeBytes(dir.file("cut0005.trp"), patternBytes(50));  // after a gap: not read
  job.segmentCount = 2;
  job.fileSize = 10000000;
  controls.setNumber(CTL_SEGMENT_COUNT, 2);
  answers.push(kUpperButton);
  analyse(dir.file("cut0002.trp"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.rawSeries, 1u);
  EXPECT_EQ(job.segmentCount, 3u);
  EXPECT_EQ(job.fileSize, 8292u);
  EXPECT_EQ(controls.text(CTL_FILE_SIZE), "8, 292");
  EXPECT_EQ(controls.text(CTL_FILE_NAME), "cut0");
  EXPECT_EQ(controls.text(CTL_SEGMENT_COUNT), "3");
  EXPECT_EQ(controls.text(CTL_SIZE_NUMBER), "4096");
  EXPECT_EQ(controls.selection(CTL_SIZE_UNIT), 0);
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "File was Trepped into 3 files");
}

// A join chosen after a split: the size fields show the series.
TEST_F(SourceAnalysisTest, JoinAfterSplitShowsTheSeriesInTheSizeFields) {
  writeBytes(dir.file("movie.avi"), patternBytes(10000000));
  analyse(dir.file("movie.avi"));
  ASSERT_EQ(controls.text(CTL_SEGMENT_COUNT), "2");
  writeSeries("backup", 1, "", 6);
  analyse(dir.file("backup0003.trp"));
  EXPECT_EQ(controls.text(CTL_SEGMENT_COUNT), "7");
  EXPECT_EQ(controls.sliderPosition(CTL_SLIDER), 7u);
  EXPECT_EQ(controls.text(CTL_SIZE_NUMBER), "752");  // the whole first segment
  EXPECT_EQ(controls.selection(CTL_SIZE_UNIT), 0);
  EXPECT_EQ(controls.text(CTL_START), "Go UnTrep!");
  EXPECT_EQ(controls.text(CTL_FILE_NAME), "report.pdf");
}

// The file taken again (chosen, dropped) while the job holds it: what the
// user set stays; a file that changed, or another one, is analysed anew.
TEST_F(SourceAnalysisTest, TheSameFileTakenAgainKeepsWhatTheUserSet) {
  options.destinationMode = DestinationMode::kFolder;
  writeBytes(dir.file("movie.avi"), patternBytes(10000000));
  takeSource(p, dir.file("movie.avi"));
  ASSERT_EQ(job.sourceValid, 1u);
  // What the user set since: a folder, a size of 3000 kBytes (4 segments).
  controls.setText(CTL_OUTPUT_FOLDER, dir.file("out"));
  job.segmentSize = 3072000;
  job.segmentCount = 4;
  controls.setNumber(CTL_SIZE_NUMBER, 3000);
  controls.setNumber(CTL_SEGMENT_COUNT, 4);
  // A job has run since: its controls are locked until the file is taken again.
  controls.enable(CTL_START, false);
  controls.enable(CTL_PRESETS, false);

  takeSource(p, dir.file("movie.avi"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(controls.text(CTL_OUTPUT_FOLDER), dir.file("out"));
  EXPECT_EQ(job.segmentSize, 3072000u);
  EXPECT_EQ(job.segmentCount, 4u);
  EXPECT_EQ(controls.text(CTL_SIZE_NUMBER), "3000");
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "File will be Trepped into 4 files of 3000 kBytes");
  EXPECT_TRUE(controls.isEnabled(CTL_START));
  EXPECT_TRUE(controls.isEnabled(CTL_PRESETS));

  // Changed on disk: analysed again, with the default size for its new size.
  writeBytes(dir.file("movie.avi"), patternBytes(1000000));
  takeSource(p, dir.file("movie.avi"));
  EXPECT_EQ(job.fileSize, 1000000u);
  EXPECT_EQ(job.segmentCount, 2u);
  EXPECT_EQ(controls.text(CTL_OUTPUT_FOLDER), dir.file("desk"));

  // A path longer than a path may be: no source, never a shorter path.
  takeSource(p, std::string(PathText::kMaxLength + 1, 'x'));
  EXPECT_EQ(job.sourceValid, 0u);
  EXPECT_EQ(job.sourcePath.str(), "");
  EXPECT_EQ(controls.text(CTL_FILE_NAME), "No File");
  EXPECT_EQ(controls.text(CTL_SIZE_SUMMARY), "Pick a valid file.");

  // Nothing is taken while a job runs.
  job.jobState = kJobRunning;
  takeSource(p, dir.file("movie.avi"));
  EXPECT_EQ(job.sourceValid, 0u);
}

TEST_F(SourceAnalysisTest, ShortHeaderLeavesTheMissingFieldsZero) {
  JobSettings header;
  header.originalName = "x.bin";
  header.fileSize = 5000;
  header.fileAttributes = 0x20;
  FullHeader h = encodeFullHeader(header, 4, 1);
  writeBytes(dir.file("cut0001.trp"), std::vector<uint8_t>(h.begin(), h.begin() + 400));
  job.fileSize = 77;
  analyse(dir.file("cut0001.trp"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.segmentCount, 4u);
  EXPECT_EQ(job.originalName.str(), "x.bin");
  EXPECT_EQ(job.fileSize, 0u);
  EXPECT_EQ(job.fileAttributes, 0u);
  EXPECT_EQ(job.segmentSize, 400u);
}

#ifndef _WIN32
TEST_F(SourceAnalysisTest, FirstSegmentOf4GiBOrMoreKeepsItsWholeSize) {
  writeBytes(dir.file("huge0001.trp"), {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'});
  std::filesystem::resize_file(dir.file("huge0001.trp"), (4ull << 30) + 100);  // sparse
  answers.push(kUpperButton);  // a series without a header
  analyse(dir.file("huge0001.trp"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.segmentSize, 100u);  // the low 32 bits, as the record holds them
  EXPECT_EQ(job.firstSegmentBytes, (4ull << 30) + 100);
}
#endif

// The series' prefix is the chosen segment's path less eight characters,
// and a series without a header is named by four characters, whatever
// their bytes.
TEST_F(SourceAnalysisTest, SeriesNamedBeyondAscii) {
  JobSettings header;
  header.originalName = "Ωmega 🎬.mkv";
  header.description = "Größe — 日本語";
  header.fileSize = 300;
  FullHeader h = encodeFullHeader(header, 2, 1);
  writeBytes(dir.file("日本語X0001.trp"), std::vector<uint8_t>(h.begin(), h.end()));
  writeBytes(dir.file("日本語X0002.trp"), {'T', 'R', 'E', 'P', '1', '6', '0', '0', 1});
  analyse(dir.file("日本語X0002.trp"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.segmentFolder.str(), dir.file("日本語X"));
  EXPECT_EQ(job.originalName.str(), "Ωmega 🎬.mkv");
  EXPECT_EQ(controls.text(CTL_FILE_NAME), "Ωmega 🎬.mkv");
  EXPECT_EQ(controls.text(CTL_DESCRIPTION), "Größe — 日本語");

  writeBytes(dir.file("Ωμέγ0003.trp"), patternBytes(50));
  writeBytes(dir.file("Ωμέγ0001.trp"), patternBytes(50));
  answers.push(kUpperButton);  // a series without a header
  analyse(dir.file("Ωμέγ0003.trp"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.rawSeries, 1u);
  EXPECT_EQ(job.originalName.str(), "Ωμέγ");
}

TEST_F(SourceAnalysisTest, LongNamesShowTheirLast30Characters) {
  std::string name = std::string(41, 'n') + ".txt";  // 45 characters
  writeBytes(dir.file(name), patternBytes(100));
  analyse(dir.file(name));
  EXPECT_EQ(controls.text(CTL_FILE_NAME), name.substr(15));
  std::string wide;
  for (int i = 0; i < 40; ++i) wide += "語";
  writeBytes(dir.file(wide + ".txt"), patternBytes(100));
  analyse(dir.file(wide + ".txt"));
  EXPECT_EQ(controls.text(CTL_FILE_NAME), wide.substr(14 * 3) + ".txt");  // 26 and ".txt"
}

TEST_F(SourceAnalysisTest, WithoutAWindowTheNamedFolderGoesBelowTheOutputFolder) {
  writeSeries("tape", 1, "shown", 2);
  NoControls none;
  PlanningContext batch{job, options, platform, none, sizes};
  job.outputFolder = dir.file("out");
  job.sourcePath = dir.file("tape0002.trp");
  analyseSource(batch);
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.outputFolder.str(), dir.file("out") + kPathSeparator + "report");
  EXPECT_EQ(job.segmentCount, 3u);
}

}  // namespace
}  // namespace trep

namespace trep {
namespace {

// Drops decide folder or file by the file system: a folder named with a dot
// and a file named without one are both taken for what they are.
TEST_F(SourceAnalysisTest, DroppedPaths) {
  writeBytes(dir.file("README"), patternBytes(3000));
  platform.createFolder(dir.file("my.photos"));

  // A folder before any file: nothing happens.
  takeDroppedPath(p, dir.file("my.photos"));
  EXPECT_EQ(job.sourceValid, 0u);
  EXPECT_EQ(controls.text(CTL_OUTPUT_FOLDER), "");

  // A file without a dot is a split source.
  options.destinationMode = DestinationMode::kFolder;
  takeDroppedPath(p, dir.file("README"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.isSplit, 1u);
  EXPECT_EQ(job.sourcePath.str(), dir.file("README"));
  EXPECT_EQ(job.fileSize, 3000u);

  // Then a folder with a dot becomes the output folder; the source stays.
  takeDroppedPath(p, dir.file("my.photos"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.sourcePath.str(), dir.file("README"));
  EXPECT_EQ(job.outputFolder.str(), dir.file("my.photos"));
  EXPECT_EQ(controls.text(CTL_OUTPUT_FOLDER), dir.file("my.photos"));

  // Nothing is taken while a job runs.
  job.jobState = kJobRunning;
  takeDroppedPath(p, dir.file("elsewhere.bin"));
  EXPECT_EQ(job.sourcePath.str(), dir.file("README"));
  EXPECT_EQ(job.sourceValid, 1u);
}

}  // namespace
}  // namespace trep
