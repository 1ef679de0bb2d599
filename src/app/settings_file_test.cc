#include "app/settings_file.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>
#include <vector>

#include "engine/segment_format.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::readBytes;
using testing::writeBytes;

class SettingsFileTest : public ::testing::Test {
 protected:
  std::string folder() const { return dir.path() + kPathSeparator; }
  std::string file() const { return folder() + "dTrep.dat"; }

  testing::TempDir dir;
  testing::FaultyPlatform platform;
};

TEST_F(SettingsFileTest, MissingFileGivesTheDefaults) {
  PersistedSettings s;
  s.sliderMax = 77;
  EXPECT_TRUE(loadSettings(platform, folder(), &s));  // none yet: nothing to report
  EXPECT_EQ(s.wizardAtStart, 0u);
  EXPECT_EQ(s.rebuildMethod, RebuildMethod::kTrep);
  EXPECT_EQ(s.destinationMode, DestinationMode::kNamedFolder);
  EXPECT_EQ(s.useCrc, 1u);
  EXPECT_EQ(s.useDescription, 0u);
  EXPECT_EQ(s.memoryOption, MemoryOption::kHalf);
  EXPECT_EQ(s.sizeMode, SizeMode::kFast);
  EXPECT_EQ(s.sliderMax, 0u);
}

TEST_F(SettingsFileTest, SaveWrites58BytesAndLoadReadsThemBack) {
  PersistedSettings s;
  s.wizardAtStart = 1;
  s.rebuildMethod = RebuildMethod::kBatFile;
  s.destinationMode = DestinationMode::kSameAsSource;
  s.useCrc = 0;
  s.useDescription = 1;
  s.alwaysOnTop = 1;
  s.memoryOption = MemoryOption::kPhysical;
  s.sizeMode = SizeMode::kSize;
  s.wizardRunning = 1;
  s.sliderMax = 9999;
  ASSERT_TRUE(saveSettings(platform, folder(), s));
  std::vector<uint8_t> bytes = readBytes(file());
  ASSERT_EQ(bytes.size(), 58u);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "TREP1600");
  EXPECT_EQ(getLe32(&bytes[8]), 1u);
  EXPECT_EQ(getLe32(&bytes[8 + 8]), 3u);
  EXPECT_EQ(getLe32(&bytes[8 + 32]), 1u);  // wizardRunning is stored as it stands
  EXPECT_EQ(getLe32(&bytes[8 + 36]), 9999u);
  EXPECT_EQ(getLe32(&bytes[48]), 48u);
  EXPECT_EQ(getLe32(&bytes[52]), 3u);
  // Made under a hidden temporary name: none is left, and the file itself
  // is not hidden.
  EXPECT_EQ(testing::namesIn(dir.path()), std::vector<std::string>{"dTrep.dat"});
  EXPECT_EQ(platform.fileAttributes(file()) & kAttributeHidden, 0u);

  PersistedSettings back;
  loadSettings(platform, folder(), &back);
  EXPECT_EQ(back.wizardAtStart, 1u);
  EXPECT_EQ(back.rebuildMethod, RebuildMethod::kBatFile);
  EXPECT_EQ(back.destinationMode, DestinationMode::kSameAsSource);
  EXPECT_EQ(back.useCrc, 0u);
  EXPECT_EQ(back.useDescription, 1u);
  EXPECT_EQ(back.alwaysOnTop, 1u);
  EXPECT_EQ(back.memoryOption, MemoryOption::kPhysical);
  EXPECT_EQ(back.sizeMode, SizeMode::kSize);
  EXPECT_EQ(back.wizardRunning, 0u);  // no wizard is open at start-up
  EXPECT_EQ(back.sliderMax, 9999u);
}

TEST_F(SettingsFileTest, ChecksOnLoad) {
  struct Case {
    std::size_t offset;  // in the block
    uint32_t stored;
    uint32_t (*field)(const PersistedSettings&);
    uint32_t loaded;
  } cases[] = {
      {8, 7, [](const PersistedSettings& s) { return codeValue(s.destinationMode); }, 2},
      {24, 5, [](const PersistedSettings& s) { return codeValue(s.memoryOption); }, 2},
      {4, 2, [](const PersistedSettings& s) { return codeValue(s.rebuildMethod); }, 0},
      {28, 3, [](const PersistedSettings& s) { return codeValue(s.sizeMode); }, 0},
      {12, 2, [](const PersistedSettings& s) { return s.useCrc; }, 2},  // unchecked: counts as on
      {8, 3, [](const PersistedSettings& s) { return codeValue(s.destinationMode); }, 3},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes(58, 0);
    std::copy(kMagic, kMagic + 8, bytes.begin());
    putLe32(&bytes[8 + c.offset], c.stored);
    writeBytes(file(), bytes);
    PersistedSettings s;
    loadSettings(platform, folder(), &s);
    EXPECT_EQ(c.field(s), c.loaded) << "offset " << c.offset << " value " << c.stored;
  }
}

// The number of recovery files lives in the block's last two bytes (file
// offsets 56 and 57), which were always written as zeros: a setting of 0
// leaves the file as it always was, and an older file reads as 0.
TEST_F(SettingsFileTest, RecoveryFilesInTheLastTwoBytes) {
  PersistedSettings s = defaultSettings();
  s.sliderMax = 321;
  std::vector<uint8_t> before(kMagic, kMagic + 8);
  for (uint32_t v : {0u, 0u, 2u, 1u, 0u, 0u, 2u, 0u, 0u, 321u, 48u, 3u})
    for (int b = 0; b < 4; ++b) before.push_back(static_cast<uint8_t>(v >> (8 * b)));
  before.push_back(0);
  before.push_back(0);
  ASSERT_EQ(before.size(), 58u);
  ASSERT_TRUE(saveSettings(platform, folder(), s));
  EXPECT_EQ(readBytes(file()), before);  // recovery 0: byte for byte as always

  for (uint32_t n : {1u, 2u, 255u, 256u, 9999u}) {
    s.recoveryFiles = n;
    ASSERT_TRUE(saveSettings(platform, folder(), s));
    std::vector<uint8_t> bytes = readBytes(file());
    std::vector<uint8_t> expected = before;
    expected[56] = static_cast<uint8_t>(n);
    expected[57] = static_cast<uint8_t>(n >> 8);
    EXPECT_EQ(bytes, expected) << n;
    PersistedSettings back;
    loadSettings(platform, folder(), &back);
    EXPECT_EQ(back.recoveryFiles, n);
  }

  struct Stored {
    uint8_t low, high;
    uint32_t loaded;
  } stored[] = {{0x0F, 0x27, 9999}, {0x10, 0x27, 0}, {0xFF, 0xFF, 0}, {0, 0, 0}};
  for (const Stored& st : stored) {
    std::vector<uint8_t> bytes = before;
    bytes[56] = st.low;
    bytes[57] = st.high;
    writeBytes(file(), bytes);
    PersistedSettings back;
    loadSettings(platform, folder(), &back);
    EXPECT_EQ(back.recoveryFiles, st.loaded) << int(st.low) << " " << int(st.high);
  }
  writeBytes(file(), std::vector<uint8_t>(before.begin(), before.begin() + 57));  // cut short
  PersistedSettings back;
  loadSettings(platform, folder(), &back);
  EXPECT_EQ(back.recoveryFiles, 0u);
}

TEST_F(SettingsFileTest, ShortFileLeavesTheRestZero) {
  writeBytes(file(), std::vector<uint8_t>(kMagic, kMagic + 8));
  PersistedSettings s = defaultSettings();
  loadSettings(platform, folder(), &s);
  EXPECT_EQ(s.destinationMode, DestinationMode::kFolder);  // "Folder"
  EXPECT_EQ(s.memoryOption, MemoryOption::kMaximum);     // "Maximum"
  EXPECT_EQ(s.useCrc, 0u);

  // The magic, wizardAtStart and half of rebuildMethod.
  std::vector<uint8_t> partial = {'T', 'R', 'E', 'P', '1', '6', '0', '0', 1, 0, 0, 0, 1, 0};
  writeBytes(file(), partial);
  loadSettings(platform, folder(), &s);
  EXPECT_EQ(s.wizardAtStart, 1u);
  EXPECT_EQ(s.rebuildMethod, RebuildMethod::kBatFile);
  EXPECT_EQ(s.useCrc, 0u);
}

TEST_F(SettingsFileTest, FailedSaveKeepsTheOldFile) {
  PersistedSettings s = defaultSettings();
  ASSERT_TRUE(saveSettings(platform, folder(), s));
  std::vector<uint8_t> before = readBytes(file());
  platform.beforeWrite = [](const std::string&, uint32_t) { return false; };  // disk full
  s.rebuildMethod = RebuildMethod::kBatFile;
  EXPECT_FALSE(saveSettings(platform, folder(), s));
  EXPECT_EQ(readBytes(file()), before);
  // The temporary file is gone too.
  EXPECT_EQ(testing::namesIn(dir.path()), std::vector<std::string>{"dTrep.dat"});
}

// Only a regular file is read: anything else of that name gives the
// defaults at once (a pipe never keeps the start waiting), and says why.
TEST_F(SettingsFileTest, WhatIsNoRegularFileGivesTheDefaultsAndSaysWhy) {
  std::vector<std::string> odd = {"folder"};
#ifndef _WIN32
  odd.push_back("pipe");
#endif
  for (const std::string& kind : odd) {
    testing::TempDir here;
    const std::string path = here.path() + kPathSeparator + "dTrep.dat";
    if (kind == "folder") {
      ASSERT_TRUE(platform.createFolder(path));
    }
#ifndef _WIN32
    if (kind == "pipe") {
      ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    }
#endif
    PersistedSettings s;
    s.sliderMax = 77;
    Status why = loadSettings(platform, here.path() + kPathSeparator, &s);
    EXPECT_EQ(why.path(), path) << kind;
    EXPECT_TRUE(why.lasting()) << kind;
    EXPECT_EQ(s.sliderMax, 0u) << kind;
    EXPECT_EQ(s.destinationMode, DestinationMode::kNamedFolder) << kind;
  }
}

#ifndef _WIN32
// A link of that name is replaced by the saved file itself; its target
// stays as it was.
TEST_F(SettingsFileTest, SaveReplacesALinkItself) {
  writeBytes(dir.file("elsewhere"), {'k', 'e', 'e', 'p'});
  ASSERT_EQ(symlink(dir.file("elsewhere").c_str(), file().c_str()), 0);
  ASSERT_TRUE(saveSettings(platform, folder(), defaultSettings()));
  struct stat st;
  ASSERT_EQ(lstat(file().c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(readBytes(file()).size(), 58u);
  EXPECT_EQ(readBytes(dir.file("elsewhere")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
}
#endif

}  // namespace
}  // namespace trep
