#include "planning/wizard_pages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/segment_format.h"
#include "planning/destination.h"
#include "planning/size_arithmetic.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::nativePath;
using testing::patternBytes;
using testing::writeBytes;

class WizardPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.setNoticeAnswerer(&answers);
    platform.desktopFolderValue = dir.file("desk");
  }

  // A split source of `size` bytes as source analysis leaves it (the
  // default size: half the file and 1/32 of that).
  void splitOf(uint64_t size) {
    job.sourcePath = nativePath("C:\\video\\movie.avi");
    job.isSplit = 1;
    job.sourceValid = 1;
    job.fileSize = size;
    uint64_t h = size / 2;
    job.segmentSize = static_cast<uint32_t>(h + h / 32);
    job.segmentCount = 2;
  }

  // Segment 0001 (with a header naming report.pdf) and 0002 of a series.
  std::string writeSeries(const std::string& base, uint32_t flag, const std::string& text) {
    JobSettings header;
    header.description = text;
    header.originalName = "report.pdf";
    header.fileSize = 1000;
    FullHeader h = encodeFullHeader(header, 2, flag);
    std::vector<uint8_t> first(h.begin(), h.end());
    first.resize(first.size() + 500, 7);
    writeBytes(dir.file(base + "0001.trp"), first);
    writeBytes(dir.file(base + "0002.trp"), {'T', 'R', 'E', 'P', '1', '6', '0', '0', 9});
    return dir.file(base + "0002.trp");
  }

  testing::TempDir dir;
  testing::FaultyPlatform platform;
  ScriptedAnswerer answers;
  JobSettings job;
  PersistedSettings options;
  MemoryControls page;
  SizeState sizes;
  PlanningContext p{job, options, platform, page, sizes};
};

TEST(WizardNavigationTest, PresetNumbersAndPageOrder) {
  const struct {
    int id;
    int preset;
  } presets[] = {{1101, 0}, {1102, 1}, {1103, 2}, {1108, 7}, {1109, 8},
                 {1110, 0}, {1119, 0}, {1120, 19}, {1011, 0}, {1014, 0}};
  for (const auto& c : presets) EXPECT_EQ(wizardPresetNumber(c.id), c.preset) << c.id;

  JobSettings job;
  job.isSplit = 1;
  EXPECT_EQ(pageAfterFile(job), WizardPage::kMethod);
  EXPECT_EQ(pageBeforeDestination(job), WizardPage::kMethod);
  job.isSplit = 0;  // a join has no "Trep Method" page
  EXPECT_EQ(pageAfterFile(job), WizardPage::kDestination);
  EXPECT_EQ(pageBeforeDestination(job), WizardPage::kFile);
}

// ---- Page 1 ----

TEST_F(WizardPagesTest, SourcePageTakesTheArgumentOrKeepsTheMainWindowsFile) {
  writeBytes(dir.file("a.bin"), patternBytes(1000));
  writeBytes(dir.file("b.bin"), patternBytes(3000));

  // No argument and no valid file: the path is emptied.
  job.sourcePath = dir.file("b.bin");
  job.sourceValid = 0;
  openSourcePage(p, "");
  EXPECT_EQ(job.sourcePath.str(), "");
  EXPECT_EQ(page.text(CTL_SOURCE_PATH), "");

  // Typing: each new text is analysed.
  page.setText(CTL_SOURCE_PATH, dir.file("b.bin") + "x");
  EXPECT_TRUE(sourceTyped(p));  // no such file
  EXPECT_EQ(job.sourceValid, 0u);
  page.setText(CTL_SOURCE_PATH, dir.file("b.bin"));
  sourceTyped(p);
  ASSERT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.fileSize, 3000u);
  job.segmentSize = 123;
  EXPECT_FALSE(sourceTyped(p));  // the same text again (the analysis writing it back)
  EXPECT_EQ(job.segmentSize, 123u);

  // Opened with no argument: the valid file stays and is shown.
  page.setText(CTL_SOURCE_PATH, "");
  openSourcePage(p, "");
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(page.text(CTL_SOURCE_PATH), dir.file("b.bin"));

  // Opened with a.bin as argument: a.bin is analysed, though a valid file
  // was held, so the job never mixes one file's path with another's size.
  openSourcePage(p, dir.file("a.bin"));
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.sourcePath.str(), dir.file("a.bin"));
  EXPECT_EQ(job.fileSize, 1000u);
  EXPECT_EQ(page.text(CTL_SOURCE_PATH), dir.file("a.bin"));

  // Opened again with the same argument, which is the valid file: not
  // analysed again (the proposed size, changed since, stays).
  job.segmentSize = 123;
  openSourcePage(p, dir.file("a.bin"));
  EXPECT_EQ(job.segmentSize, 123u);

  // An argument that is rejected leaves no valid file and an empty field.
  openSourcePage(p, dir.file("missing.bin"));
  EXPECT_EQ(job.sourceValid, 0u);
  EXPECT_EQ(page.text(CTL_SOURCE_PATH), "");

  // Typed text longer than a path can be is never cut to a shorter path.
  job.sourcePath = dir.file("a.bin");
  page.setText(CTL_SOURCE_PATH, dir.file("a.bin") + std::string(600, 'x'));
  sourceTyped(p);
  EXPECT_EQ(job.sourceValid, 0u);
  EXPECT_EQ(job.sourcePath.str(), "");
}

TEST_F(WizardPagesTest, AnalysisOnTheSourcePageFormsTheFolderAsTheMainWindowWould) {
  options.destinationMode = DestinationMode::kNamedFolder;
  const std::string main = dir.file("out");
  const std::string segment = writeSeries("repo", 1, "quarterly");

  // Bare page: no folder field, so the named folder would stand alone.
  SourcePageControls withFolder(page, main);
  PlanningContext p1{job, options, platform, withFolder, sizes};
  page.setText(CTL_SOURCE_PATH, segment);
  sourceTyped(p1);
  ASSERT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.isSplit, 0u);
  EXPECT_EQ(job.outputFolder.str(), main + nativePath("\\report"));
  EXPECT_EQ(page.texts.count(CTL_OUTPUT_FOLDER), 0u);  // nothing written to the page itself

  // A split starts from the desktop, as on the main window.
  writeBytes(dir.file("movie.avi"), patternBytes(5000));
  page.setText(CTL_SOURCE_PATH, dir.file("movie.avi"));
  sourceTyped(p1);
  ASSERT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.outputFolder.str(), dir.file("desk") + nativePath("\\movie"));
}

// ---- Page 2 ----

TEST_F(WizardPagesTest, MethodPageLeftAsItIsCutsTwoSegments) {
  splitOf(10000000);
  openMethodPage(p);
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.segmentCount, 2u);
  // q = 5,000,000: q + 1 and 1/256 of that.
  EXPECT_EQ(job.segmentSize, 5019532u);
  EXPECT_EQ(page.text(CTL_SEGMENT_COUNT), "2");
  EXPECT_EQ(page.text(CTL_SIZE_NUMBER), "4901");
  EXPECT_EQ(page.selection(CTL_SIZE_UNIT), 1);
  EXPECT_TRUE(page.checked(WIZ_DIVIDE));
  for (int id : {1102, 1109, 1120, 1011}) EXPECT_FALSE(page.checked(id)) << id;
  EXPECT_FALSE(page.isEnabled(CTL_SIZE_NUMBER));
  EXPECT_TRUE(page.isEnabled(CTL_SEGMENT_COUNT));
}

TEST_F(WizardPagesTest, MethodPagePresets) {
  const struct {
    uint64_t fileSize;
    int button;
    uint32_t size;
    uint32_t count;
  } cases[] = {
      {10000000, 1102, 921600, 11},                // EMail
      {921601, 1102, 921600, 2},
      {512000, 1102, 512000, 1},                   // smaller than the preset: the file
      {600000, 1102, 600000, 1},                   // shown as 585 kBytes, counted exact
      {100000000, 1109, 100000000, 1},             // shown as 95 MBytes
      {5000, 1103, 5000, 1},                       // Floppy, a tiny file
      {2000000000, 1109, 734003200, 3},            // CD 80
      {3145728000u, 1120, 3145728000u, 1},         // DVD, entry 19: larger than the file
  };
  for (const auto& c : cases) {
    splitOf(c.fileSize);
    openMethodPage(p);
    page.enable(CTL_SEGMENT_COUNT, true);
    methodPresetChosen(p, wizardPresetNumber(c.button));
    EXPECT_EQ(job.segmentSize, c.size) << c.fileSize << " " << c.button;
    EXPECT_EQ(job.segmentCount, c.count) << c.fileSize << " " << c.button;
    EXPECT_EQ(page.text(CTL_SEGMENT_COUNT), std::to_string(c.count));
    EXPECT_FALSE(page.isEnabled(CTL_SIZE_NUMBER));
    EXPECT_FALSE(page.isEnabled(CTL_SEGMENT_COUNT));
    EXPECT_EQ(job.sourceValid, 1u);
  }
}

TEST_F(WizardPagesTest, MethodPageTypedSizeAndCount) {
  splitOf(20000000);
  openMethodPage(p);
  ASSERT_EQ(page.selection(CTL_SIZE_UNIT), 1);  // kBytes

  methodCustomSize(p);
  EXPECT_TRUE(page.isEnabled(CTL_SIZE_NUMBER));
  EXPECT_FALSE(page.isEnabled(CTL_SEGMENT_COUNT));
  const struct {
    const char* size;
    uint32_t count;
    const char* shown;
  } sizes_[] = {
      {"5000", 4, "4"},    // 5,120,000 bytes
      {"1", 9999, "9999"},  // 1 kByte would take 19,532 segments
      {"0", 1, "1"},        // no size: the whole file
  };
  for (const auto& c : sizes_) {
    page.setText(CTL_SIZE_NUMBER, c.size);
    methodSizeTyped(p);
    EXPECT_EQ(job.segmentCount, c.count) << c.size;
    EXPECT_EQ(page.text(CTL_SEGMENT_COUNT), c.shown) << c.size;
  }

  methodDivide(p);
  EXPECT_FALSE(page.isEnabled(CTL_SIZE_NUMBER));
  EXPECT_TRUE(page.isEnabled(CTL_SEGMENT_COUNT));
  const struct {
    const char* count;
    uint32_t kept;
    const char* shown;
  } counts[] = {{"4", 4, "4"}, {"12000", 9999, "9999"}, {"0", 1, "1"}, {"", 1, "1"}};
  for (const auto& c : counts) {
    page.setText(CTL_SEGMENT_COUNT, c.count);
    methodCountTyped(p);
    EXPECT_EQ(job.segmentCount, c.kept) << c.count;
    EXPECT_EQ(page.text(CTL_SEGMENT_COUNT), c.shown) << c.count;
  }
  page.setText(CTL_SEGMENT_COUNT, "4");
  methodCountTyped(p);
  EXPECT_EQ(job.segmentSize, 5000001u + 5000001u / 256);
}

TEST_F(WizardPagesTest, MethodPageIgnoresItsOwnWritesAndJoins) {
  splitOf(10000000);
  openMethodPage(p);
  const uint32_t size = job.segmentSize;

  // While the page writes (sourceValid 0) no rule runs.
  job.sourceValid = 0;
  page.setText(CTL_SEGMENT_COUNT, "7");
  methodCountTyped(p);
  page.setText(CTL_SIZE_NUMBER, "1");
  methodSizeTyped(p);
  methodPresetChosen(p, 1);
  EXPECT_EQ(job.segmentSize, size);
  EXPECT_EQ(job.segmentCount, 2u);

  // In a join the page acts on nothing.
  job.sourceValid = 1;
  job.isSplit = 0;
  methodPresetChosen(p, 1);
  methodCountTyped(p);
  methodCustomSize(p);
  EXPECT_EQ(job.segmentSize, size);
  EXPECT_EQ(job.segmentCount, 2u);
  EXPECT_FALSE(page.isEnabled(CTL_SIZE_NUMBER));
}

// ---- Page 3 ----

TEST_F(WizardPagesTest, DestinationPageOpensByTheStoredMode) {
  const std::string desk = dir.file("desk");
  const struct {
    DestinationMode mode;
    int checked;
    std::string folder;
    DestinationMode modeAfter;
  } cases[] = {
      {DestinationMode::kFolder, WIZ_DEST_DESKTOP, desk, DestinationMode::kFolder},
      // Multi-Removable: not a wizard choice
      {DestinationMode::kMultiRemovable, WIZ_DEST_DESKTOP, desk, DestinationMode::kFolder},
      {DestinationMode::kNamedFolder, WIZ_DEST_NAMED_DESKTOP, desk + nativePath("\\movie"),
       DestinationMode::kNamedFolder},
      {DestinationMode::kSameAsSource, WIZ_DEST_SOURCE, nativePath("C:\\video"),
       DestinationMode::kSameAsSource},
  };
  for (const auto& c : cases) {
    splitOf(10000000);
    options.destinationMode = c.mode;
    page.setText(CTL_OUTPUT_FOLDER, "previous");
    page.setCheck(WIZ_DEST_SELECTED, true);
    openDestinationPage(p);
    EXPECT_EQ(page.text(CTL_OUTPUT_FOLDER), c.folder) << codeValue(c.mode);
    EXPECT_EQ(options.destinationMode, c.modeAfter) << codeValue(c.mode);
    for (int id = WIZ_DEST_DESKTOP; id <= WIZ_DEST_SELECTED; ++id)
      EXPECT_EQ(page.checked(id), id == c.checked) << codeValue(c.mode) << " " << id;
    EXPECT_FALSE(page.isEnabled(CTL_OUTPUT_FOLDER));
    EXPECT_FALSE(page.isEnabled(CTL_CHOOSE_FOLDER));
  }
}

TEST_F(WizardPagesTest, DestinationChoices) {
  const std::string desk = dir.file("desk");
  const std::string out = nativePath("D:\\Out");
  const struct {
    int index;
    std::string folder;
    DestinationMode mode;
    bool choosable;
  } cases[] = {
      {0, desk, DestinationMode::kFolder, false},
      {1, nativePath("C:\\video"), DestinationMode::kSameAsSource, false},
      {2, desk + nativePath("\\movie"), DestinationMode::kNamedFolder, false},
      {3, out + nativePath("\\movie"), DestinationMode::kNamedFolder, true},
      {4, out, DestinationMode::kFolder, true},
  };
  for (const auto& c : cases) {
    splitOf(10000000);
    options.destinationMode = DestinationMode::kMultiRemovable;
    page.setText(CTL_OUTPUT_FOLDER, out);
    chooseWizardDestination(p, c.index);
    EXPECT_EQ(page.text(CTL_OUTPUT_FOLDER), c.folder) << c.index;
    EXPECT_EQ(options.destinationMode, c.mode) << c.index;
    EXPECT_EQ(page.isEnabled(CTL_OUTPUT_FOLDER), c.choosable) << c.index;
    EXPECT_EQ(page.isEnabled(CTL_CHOOSE_FOLDER), c.choosable) << c.index;
    EXPECT_EQ(job.sourceValid, 1u);
  }

  // Leaving takes the field as it stands; no removable media.
  job.multiRemovable = 1;
  page.setText(CTL_OUTPUT_FOLDER, nativePath("E:\\typed"));
  EXPECT_TRUE(leaveDestinationPage(p));
  EXPECT_EQ(job.outputFolder.str(), nativePath("E:\\typed"));
  EXPECT_EQ(job.multiRemovable, 0u);
  page.setText(CTL_OUTPUT_FOLDER, std::string(600, 'f'));
  EXPECT_FALSE(leaveDestinationPage(p));
  EXPECT_EQ(job.outputFolder.str(), nativePath("E:\\typed"));
}

// ---- Page 4 ----

TEST_F(WizardPagesTest, OptionsPageStates) {
  splitOf(10000000);
  job.encrypt = 1;
  options.useCrc = 0;
  options.useDescription = 0;
  options.rebuildMethod = RebuildMethod::kBatFile;
  options.recoveryFiles = 2;
  openOptionsPage(p);
  activateOptionsPage(p);
  EXPECT_EQ(page.text(CTL_RECOVERY_COUNT), "2");
  EXPECT_TRUE(page.checked(WIZ_USE_TREP));
  EXPECT_FALSE(page.checked(WIZ_BAT_FILE));
  EXPECT_FALSE(page.checked(WIZ_USE_CRC));
  EXPECT_TRUE(page.checked(WIZ_ENCRYPT));
  EXPECT_FALSE(page.checked(WIZ_USE_DESCRIPTION));
  // The key can be typed for the ticked "Encrypt"; no description is wanted.
  EXPECT_TRUE(page.isEnabled(WIZ_CIPHER_KEY));
  EXPECT_FALSE(page.isEnabled(WIZ_DESCRIPTION));
  EXPECT_TRUE(page.isEnabled(WIZ_USE_DESCRIPTION));

  page.setCheck(WIZ_USE_DESCRIPTION, true);
  optionsClicked(p, WIZ_USE_DESCRIPTION);
  EXPECT_EQ(options.useDescription, 1u);
  EXPECT_TRUE(page.isEnabled(WIZ_DESCRIPTION));
  page.setCheck(WIZ_ENCRYPT, false);
  optionsClicked(p, WIZ_ENCRYPT);
  EXPECT_EQ(job.encrypt, 0u);
  EXPECT_FALSE(page.isEnabled(WIZ_CIPHER_KEY));
  page.setCheck(WIZ_ENCRYPT, true);
  optionsClicked(p, WIZ_ENCRYPT);
  EXPECT_TRUE(page.isEnabled(WIZ_CIPHER_KEY));

  // The BAT file: boxes and fields out of use, their states kept.
  page.setCheck(WIZ_USE_TREP, false);
  page.setCheck(WIZ_BAT_FILE, true);
  optionsClicked(p, WIZ_BAT_FILE);
  for (int id : {WIZ_ENCRYPT, WIZ_CIPHER_KEY, WIZ_USE_DESCRIPTION, WIZ_DESCRIPTION})
    EXPECT_FALSE(page.isEnabled(id)) << id;
  EXPECT_TRUE(page.checked(WIZ_ENCRYPT));

  page.setText(WIZ_CIPHER_KEY, std::string(400, 'k'));
  page.setText(WIZ_DESCRIPTION, std::string(400, 'd'));
  page.setCheck(WIZ_USE_CRC, true);
  EXPECT_TRUE(page.isEnabled(CTL_RECOVERY_COUNT));  // either rebuild method
  page.setNumber(CTL_RECOVERY_COUNT, 3);
  finishOptions(p);
  EXPECT_EQ(options.recoveryFiles, 3u);
  EXPECT_EQ(options.rebuildMethod, RebuildMethod::kBatFile);
  EXPECT_EQ(job.encrypt, 1u);  // kept, though out of use
  EXPECT_EQ(job.cipherKey.str(), std::string(299, 'k'));
  EXPECT_EQ(job.description.str(), std::string(249, 'd'));
  EXPECT_EQ(options.useCrc, 1u);
  EXPECT_EQ(job.jobState, kJobPrepared);

  // Back to "Use Trep": everything as the options say.
  job.jobState = kJobIdle;
  page.setCheck(WIZ_BAT_FILE, false);
  page.setCheck(WIZ_USE_TREP, true);
  optionsClicked(p, WIZ_USE_TREP);
  for (int id : {WIZ_ENCRYPT, WIZ_CIPHER_KEY, WIZ_USE_DESCRIPTION, WIZ_DESCRIPTION})
    EXPECT_TRUE(page.isEnabled(id)) << id;
  finishOptions(p);
  EXPECT_EQ(options.rebuildMethod, RebuildMethod::kTrep);
}

TEST_F(WizardPagesTest, OptionsPageInAJoinShowsTheSeriesDescription) {
  const std::string segment = writeSeries("repo", 1, "quarterly figures");
  SourcePageControls first(page, dir.file("out"));
  PlanningContext p1{job, options, platform, first, sizes};
  page.setText(CTL_SOURCE_PATH, segment);
  sourceTyped(p1);
  ASSERT_EQ(job.isSplit, 0u);
  ASSERT_EQ(options.useDescription, 1u);

  MemoryControls options4;
  PlanningContext p4{job, options, platform, options4, sizes};
  openOptionsPage(p4);
  activateOptionsPage(p4);
  EXPECT_TRUE(options4.checked(WIZ_USE_DESCRIPTION));
  EXPECT_EQ(options4.text(WIZ_DESCRIPTION), "quarterly figures");
  for (int id :
       {WIZ_USE_TREP, WIZ_BAT_FILE, WIZ_USE_DESCRIPTION, WIZ_DESCRIPTION, CTL_RECOVERY_COUNT})
    EXPECT_FALSE(options4.isEnabled(id)) << id;
  EXPECT_TRUE(options4.isEnabled(WIZ_ENCRYPT));
  options4.setCheck(WIZ_USE_DESCRIPTION, false);
  optionsClicked(p4, WIZ_USE_DESCRIPTION);  // not a split: no effect
  EXPECT_EQ(options.useDescription, 1u);

  // A series without a description unticks the box the page showed before.
  const std::string plain = writeSeries("memo", 0, "");
  page.setText(CTL_SOURCE_PATH, plain);
  sourceTyped(p1);
  ASSERT_EQ(options.useDescription, 0u);
  options4.setCheck(WIZ_USE_DESCRIPTION, true);
  activateOptionsPage(p4);
  EXPECT_FALSE(options4.checked(WIZ_USE_DESCRIPTION));
}

// ---- After the wizard ----

// Every option the main window shows after the wizard is the one the next
// job uses, whatever closed the wizard: the window's start command and
// "Quit" read the options back from what it shows.
TEST_F(WizardPagesTest, MainWindowShowsWhatTheWizardSetUp) {
  splitOf(10000000);
  job.segmentSize = 921600;
  job.segmentCount = 11;
  job.originalName = "movie.avi";
  job.outputFolder = nativePath("D:\\Out\\movie");
  job.encrypt = 1;
  job.cipherKey = "secret";
  job.description = "for the archive";
  options.useDescription = 1;
  options.useCrc = 0;
  options.rebuildMethod = RebuildMethod::kBatFile;
  options.destinationMode = DestinationMode::kFolder;
  options.sliderMax = 9999;
  options.wizardRunning = 1;
  options.recoveryFiles = 2;
  // What the main window showed before the wizard.
  page.setCheck(CTL_USE_CRC, true);
  page.select(CTL_DESTINATION, 2);
  page.select(CTL_PRESETS, 2);  // "Floppy": not the wizard's size
  sizes.presetChosen = 1;
  page.setText(CTL_START, "Decide!");
  page.enable(CTL_START, false);
  showWizardResult(p);
  EXPECT_EQ(page.text(CTL_OUTPUT_FOLDER), nativePath("D:\\Out\\movie"));
  EXPECT_EQ(page.text(CTL_SOURCE_PATH), nativePath("C:\\video\\movie.avi"));
  EXPECT_EQ(page.text(CTL_FILE_NAME), "movie.avi");
  EXPECT_EQ(page.text(CTL_FILE_SIZE), "10, 000, 000");
  EXPECT_EQ(page.text(CTL_START), "Go Trep!");
  EXPECT_EQ(page.text(CTL_SIZE_NUMBER), "900");
  EXPECT_EQ(page.selection(CTL_SIZE_UNIT), 1);
  EXPECT_EQ(page.text(CTL_SEGMENT_COUNT), "11");
  EXPECT_EQ(page.sliderPosition(CTL_SLIDER), 11u);
  EXPECT_EQ(page.selection(CTL_PRESETS), 0);
  EXPECT_EQ(sizes.presetChosen, 0u);
  EXPECT_EQ(page.text(CTL_SIZE_SUMMARY), "File will be Trepped into 11 files of 900 kBytes");
  EXPECT_EQ(page.text(CTL_RECOVERY_COUNT), "2");
  EXPECT_EQ(page.text(CTL_RECOVERY_SUMMARY), "+ 2 recovery files");
  EXPECT_TRUE(page.checked(CTL_ENCRYPT));
  EXPECT_EQ(page.text(CTL_CIPHER_KEY), "secret");
  EXPECT_TRUE(page.checked(CTL_USE_DESCRIPTION));
  EXPECT_EQ(page.text(CTL_DESCRIPTION), "for the archive");
  EXPECT_FALSE(page.checked(CTL_USE_CRC));
  EXPECT_EQ(page.selection(CTL_REBUILD_METHOD), 1);
  EXPECT_EQ(page.selection(CTL_DESTINATION), 0);
  EXPECT_EQ(options.wizardRunning, 0u);
  EXPECT_TRUE(page.isEnabled(CTL_START));  // the control states follow the valid split
  EXPECT_TRUE(page.isEnabled(CTL_CIPHER_KEY));
  // The guards held while it wrote are what they were.
  EXPECT_EQ(job.sourceValid, 1u);
  EXPECT_EQ(job.jobState, kJobIdle);

  // A preset that is the wizard's size stays; removable media one after
  // the other show as their list entry.
  page.select(CTL_PRESETS, 1);  // "EMail", 900 kBytes
  job.multiRemovable = 1;
  job.jobState = kJobPrepared;  // Finish
  showWizardResult(p);
  EXPECT_EQ(page.selection(CTL_PRESETS), 1);
  EXPECT_EQ(page.selection(CTL_DESTINATION), 1);
  EXPECT_EQ(job.jobState, kJobPrepared);

  // No file: the window says so, and shows the sizes it starts with, not
  // what the records hold without one (921 bytes at start-up).
  job.sourceValid = 0;
  job.jobState = kJobIdle;
  job.sourcePath = "";
  job.segmentSize = 921;
  job.segmentCount = 7;
  showWizardResult(p);
  EXPECT_EQ(page.text(CTL_SOURCE_PATH), "None Selected");
  EXPECT_EQ(page.text(CTL_SIZE_NUMBER), "900");
  EXPECT_EQ(page.selection(CTL_SIZE_UNIT), 1);
  EXPECT_EQ(page.text(CTL_SEGMENT_COUNT), "2");
  EXPECT_EQ(page.text(CTL_FILE_NAME), "No File");
  EXPECT_EQ(page.text(CTL_START), "Decide!");
  EXPECT_EQ(page.text(CTL_SIZE_SUMMARY), "Pick a valid file.");
  EXPECT_EQ(page.text(CTL_RECOVERY_SUMMARY), "");
  EXPECT_FALSE(page.isEnabled(CTL_START));
  // A path typed that names no file stays in the field, to be mended.
  job.sourcePath = nativePath("C:\\video\\gone.avi");
  showWizardResult(p);
  EXPECT_EQ(page.text(CTL_SOURCE_PATH), nativePath("C:\\video\\gone.avi"));
  EXPECT_EQ(page.text(CTL_SIZE_NUMBER), "900");
}

// The split's start reads the main window's size fields back: it must find
// the wizard's job there, also for a size the fields can only show rounded.
TEST_F(WizardPagesTest, SplitStartKeepsTheWizardsSizes) {
  const struct {
    uint64_t fileSize;
    uint32_t size;
    uint32_t count;
    uint32_t sizeAtStart;  // sizes shown in MBytes come back to the kilobyte
  } cases[] = {
      {100000000, 100000000, 1, 100000000},  // a preset larger than the file: one segment
      {1000000000, 501953126, 2, 501952512},  // the page's default of two segments
      {10000000, 921600, 11, 921600},
  };
  for (const auto& c : cases) {
    splitOf(c.fileSize);
    job.segmentSize = c.size;
    job.segmentCount = c.count;
    job.jobState = kJobPrepared;  // Finish: the main window's reactions wait
    showWizardResult(p);
    adjustCountAtSplitStart(p);
    EXPECT_EQ(job.segmentSize, c.sizeAtStart) << c.fileSize;
    EXPECT_EQ(job.segmentCount, c.count) << c.fileSize;
  }
}

}  // namespace
}  // namespace trep
