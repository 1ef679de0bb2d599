// The settings loader: any bytes as "dTrep.dat".
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings_file.h"
#include "fuzz/fuzz_support.h"
#include "testing/test_support.h"

using namespace trep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static testing::FaultyPlatform platform;
  const std::string folder = fuzz::scratch() + "/";
  testing::writeBytes(folder + kSettingsFileName, std::vector<uint8_t>(data, data + size));
  PersistedSettings s;
  loadSettings(platform, folder, &s);
  FUZZ_CHECK(codeValue(s.destinationMode) <= codeValue(DestinationMode::kSameAsSource));
  FUZZ_CHECK(codeValue(s.memoryOption) <= codeValue(MemoryOption::kHalf));
  FUZZ_CHECK(codeValue(s.rebuildMethod) <= codeValue(RebuildMethod::kBatFile));
  FUZZ_CHECK(codeValue(s.sizeMode) <= codeValue(SizeMode::kSize));
  FUZZ_CHECK(s.wizardRunning == 0);

  // What is saved loads back as it was (after the checks).
  FUZZ_CHECK(saveSettings(platform, folder, s));
  PersistedSettings back;
  loadSettings(platform, folder, &back);
  FUZZ_CHECK(back.wizardAtStart == s.wizardAtStart && back.useCrc == s.useCrc &&
             back.sliderMax == s.sliderMax && back.destinationMode == s.destinationMode);
  return 0;
}
