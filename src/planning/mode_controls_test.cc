#include "planning/mode_controls.h"
#include "testing/test_doubles.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>

namespace trep {
namespace {

// The controls the refresh governs.
const int kGoverned[] = {CTL_CIPHER_KEY,    CTL_ENCRYPT,      CTL_USE_DESCRIPTION, CTL_DESCRIPTION,
                         CTL_USE_CRC,       CTL_REBUILD_METHOD, CTL_PRESETS,       CTL_SLIDER,
                         CTL_SIZE_NUMBER,   CTL_SIZE_UNIT,    CTL_SEGMENT_COUNT,   CTL_DESTINATION,
                         CTL_CHECK_CRC,     CTL_MODE_FAST,    CTL_MODE_NUMBER,     CTL_MODE_SIZE,
                         CTL_START,         CTL_OUTPUT_FOLDER, CTL_CHOOSE_FOLDER,
                         CTL_RECOVERY_COUNT};

struct Inputs {
  uint32_t valid, split, rebuild, encrypt, useDescription, sizeMode, destination;
};

std::set<int> usable(const Inputs& in, MemoryControls* c) {
  JobSettings job;
  PersistedSettings options;
  auto platform = makeSystemPlatform();
  SizeState sizes;
  job.sourceValid = in.valid;
  job.isSplit = in.split;
  job.encrypt = in.encrypt;
  options.rebuildMethod = static_cast<RebuildMethod>(in.rebuild);
  options.useDescription = in.useDescription;
  options.sizeMode = static_cast<SizeMode>(in.sizeMode);
  options.destinationMode = static_cast<DestinationMode>(in.destination);
  PlanningContext p{job, options, *platform, *c, sizes};
  refreshModeControls(p);
  std::set<int> on;
  for (int id : kGoverned) {
    EXPECT_TRUE(c->enabled.count(id)) << "control " << id << " not set";
    if (c->isEnabled(id)) on.insert(id);
  }
  return on;
}

TEST(ModeControlsTest, StateTable) {
  const std::set<int> always = {CTL_ENCRYPT, CTL_USE_CRC, CTL_START};
  const std::set<int> shapesSplit = {CTL_REBUILD_METHOD, CTL_DESTINATION, CTL_CHECK_CRC,
                                     CTL_MODE_FAST,      CTL_MODE_NUMBER, CTL_MODE_SIZE,
                                     CTL_RECOVERY_COUNT};
  auto with = [](std::set<int> a, std::initializer_list<int> more) {
    a.insert(more);
    return a;
  };
  std::set<int> splitBase = always;
  splitBase.insert(shapesSplit.begin(), shapesSplit.end());
  splitBase.insert({CTL_OUTPUT_FOLDER, CTL_CHOOSE_FOLDER, CTL_USE_DESCRIPTION});

  struct Case {
    const char* name;
    Inputs in;
    std::set<int> expected;
  } cases[] = {
      {"no valid file", {0, 1, 0, 1, 1, 0, 2}, {}},
      {"split, fast", {1, 1, 0, 0, 0, 0, 2}, with(splitBase, {CTL_PRESETS, CTL_SLIDER})},
      {"split, number", {1, 1, 0, 0, 0, 1, 2}, with(splitBase, {CTL_SEGMENT_COUNT})},
      {"split, size", {1, 1, 0, 0, 0, 2, 2}, with(splitBase, {CTL_SIZE_NUMBER, CTL_SIZE_UNIT})},
      {"split, encrypt and description", {1, 1, 0, 1, 1, 0, 2},
       with(splitBase, {CTL_PRESETS, CTL_SLIDER, CTL_CIPHER_KEY, CTL_DESCRIPTION})},
      {"split, batch file", {1, 1, 1, 1, 1, 0, 2},
       [&] {
         std::set<int> s = with(splitBase, {CTL_PRESETS, CTL_SLIDER, CTL_CIPHER_KEY});
         s.erase(CTL_USE_DESCRIPTION);
         return s;
       }()},
      {"split, same as source", {1, 1, 0, 0, 0, 0, 3},
       [&] {
         std::set<int> s = with(splitBase, {CTL_PRESETS, CTL_SLIDER});
         s.erase(CTL_OUTPUT_FOLDER);
         s.erase(CTL_CHOOSE_FOLDER);
         return s;
       }()},
      {"join", {1, 0, 0, 0, 1, 0, 2}, with(always, {CTL_OUTPUT_FOLDER, CTL_CHOOSE_FOLDER})},
      {"join, encrypt", {1, 0, 0, 1, 1, 2, 2},
       with(always, {CTL_CIPHER_KEY, CTL_OUTPUT_FOLDER, CTL_CHOOSE_FOLDER})},
  };
  for (const Case& c : cases) {
    MemoryControls controls;
    EXPECT_EQ(usable(c.in, &controls), c.expected) << c.name;
  }
}

TEST(ModeControlsTest, TooltipsNameTheOperationAndAreReplaced) {
  MemoryControls c;
  usable({1, 1, 0, 0, 0, 0, 2}, &c);
  EXPECT_EQ(c.tooltips[CTL_START], "Start Trepping");
  EXPECT_EQ(c.tooltips[CTL_SOURCE_PATH], "File to be Trepped");
  usable({0, 0, 0, 0, 0, 0, 2}, &c);  // no valid file: tooltips still follow isSplit
  EXPECT_EQ(c.tooltips[CTL_START], "Start UnTrepping");
  EXPECT_EQ(c.tooltips[CTL_CHOOSE_FOLDER], "Select Folder for Restored File");
  EXPECT_EQ(c.tooltips[CTL_OUTPUT_FOLDER], "Output Folder for Restored File");
  EXPECT_EQ(c.tooltips[CTL_SOURCE_PATH], "File to be UnTrepped");
}

}  // namespace
}  // namespace trep
