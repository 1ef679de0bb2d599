#include "planning/destination.h"

#include <gtest/gtest.h>

#include <memory>

#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::nativePath;

TEST(DestinationTest, TextRules) {
  EXPECT_EQ(folderOf(nativePath("C:\\video\\movie.avi")), nativePath("C:\\video"));
  EXPECT_EQ(folderOf("movie.avi"), "movie.av");  // no separator: less its last character
  EXPECT_EQ(stripExtension("archive.tar.gz"), "archive.tar");
  EXPECT_EQ(stripExtension("README"), "README");
#ifdef _WIN32
  EXPECT_EQ(folderOf("C:\\data.bin"), "C:");
#else
  EXPECT_EQ(folderOf("/data.bin"), "/");  // the root, not an empty folder
#endif
}

class ApplyDestinationTest : public ::testing::Test {
 protected:
  void split(const std::string& source, const std::string& field, DestinationMode mode) {
    job.sourcePath = nativePath(source);
    job.isSplit = 1;
    job.sourceValid = 1;
    options.destinationMode = mode;
    controls.setText(CTL_OUTPUT_FOLDER, nativePath(field));
  }

  JobSettings job;
  PersistedSettings options;
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  MemoryControls controls;
  SizeState sizes;
  PlanningContext p{job, options, *platform, controls, sizes};
};

TEST_F(ApplyDestinationTest, WithAWindow) {
  struct Case {
    const char* source;
    const char* field;
    DestinationMode mode;
    const char* folder;
  } cases[] = {
      {"C:\\video\\movie.avi", "D:\\Out", DestinationMode::kNamedFolder, "D:\\Out\\movie"},
      {"C:\\video\\movie.avi", "D:\\Out\\movie", DestinationMode::kNamedFolder, "D:\\Out\\movie"},
      {"C:\\video\\movie.avi", "D:\\Out\\", DestinationMode::kNamedFolder, "D:\\Out\\movie"},
      {"C:\\data.bin", "C:\\", DestinationMode::kNamedFolder, "C:\\data"},
      {"C:\\x\\README", "D:\\Out", DestinationMode::kNamedFolder, "D:\\Out\\README"},
      {"E:\\stuff\\movie.mkv", "D:\\Out", DestinationMode::kSameAsSource, "E:\\stuff"},
      {"C:\\video\\movie.avi", "D:\\Out", DestinationMode::kFolder, "D:\\Out"},
  };
  for (const Case& c : cases) {
    split(c.source, c.field, c.mode);
    job.outputFolder = nativePath(c.field);
    ASSERT_TRUE(applyDestination(p));
    EXPECT_EQ(controls.text(CTL_OUTPUT_FOLDER), nativePath(c.folder)) << c.source << " " << c.field;
    EXPECT_EQ(job.outputFolder.str(), nativePath(c.folder));
    EXPECT_EQ(job.sourceValid, 1u);
  }
  // Applying Named Folder again leaves the folder as it is.
  split("C:\\video\\movie.avi", "D:\\Out", DestinationMode::kNamedFolder);
  applyDestination(p);
  applyDestination(p);
  EXPECT_EQ(controls.text(CTL_OUTPUT_FOLDER), nativePath("D:\\Out\\movie"));

  // A destination chosen before any valid file leaves the source invalid.
  split("C:\\video\\movie.avi", "D:\\Out", DestinationMode::kSameAsSource);
  job.sourceValid = 0;
  applyDestination(p);
  EXPECT_EQ(job.sourceValid, 0u);
}

TEST_F(ApplyDestinationTest, WithoutAWindow) {
  NoControls none;
  PlanningContext batch{job, options, *platform, none, sizes};
  for (DestinationMode mode : {DestinationMode::kFolder, DestinationMode::kNamedFolder,
                               DestinationMode::kSameAsSource}) {
    job.outputFolder = nativePath("D:\\Out");
    job.originalName = "data.bin";
    options.destinationMode = mode;
    ASSERT_TRUE(applyDestination(batch));
    EXPECT_EQ(job.outputFolder.str(), nativePath("D:\\Out\\data")) << codeValue(mode);
  }
  // A name whose stem is ".." never leads out of the output folder.
  for (const char* name : {"...txt", "..."}) {
    job.outputFolder = nativePath("D:\\Out");
    job.originalName = name;
    ASSERT_TRUE(applyDestination(batch));
    EXPECT_EQ(job.outputFolder.str(), nativePath("D:\\Out\\__")) << name;
  }
  EXPECT_EQ(namedFolderOf("..x"), "_");
  EXPECT_EQ(namedFolderOf(".hidden"), "");
  job.originalName = "data.bin";
  job.outputFolder = std::string(595, 'o');
  EXPECT_FALSE(applyDestination(batch));  // would not fit: refused, not cut
  EXPECT_EQ(job.outputFolder.size(), 595u);
}

TEST_F(ApplyDestinationTest, MultiRemovableUsesTheFolderAsItStands) {
  chooseDestination(p, 1);
  EXPECT_EQ(job.multiRemovable, 1u);
  EXPECT_EQ(options.destinationMode, DestinationMode::kFolder);
  chooseDestination(p, 2);
  EXPECT_EQ(job.multiRemovable, 0u);
  EXPECT_EQ(options.destinationMode, DestinationMode::kNamedFolder);
}

TEST(WizardDestinationsTest, Table) {
  EXPECT_STREQ(kWizardDestinations[0].caption, "Desktop");
  EXPECT_EQ(kWizardDestinations[1].destinationMode, DestinationMode::kSameAsSource);
  EXPECT_EQ(kWizardDestinations[2].folder, WizardFolder::kDesktop);
  EXPECT_EQ(kWizardDestinations[3].destinationMode, DestinationMode::kNamedFolder);
  EXPECT_TRUE(kWizardDestinations[3].folderChoosable);
  EXPECT_FALSE(kWizardDestinations[4].apply);
}

}  // namespace
}  // namespace trep
