// The analysis of a first segment: any bytes as segment 0001 of a series,
// analysed with a window and without. Every notice is accepted, so the
// header is read whatever its magic says.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "planning/controls.h"
#include "planning/source_analysis.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

using namespace trep;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static testing::FaultyPlatform platform;
  static testing::FunctionAnswerer accept([](const NoticeParameters&) { return kUpperButton; });
  platform.setNoticeAnswerer(&accept);
  const std::string first = fuzz::scratch() + "/fuzz0001.trp";
  testing::writeBytes(first, std::vector<uint8_t>(data, data + size));

  for (int withWindow = 0; withWindow < 2; ++withWindow) {
    auto job = std::make_unique<JobSettings>();
    PersistedSettings options;
    options.destinationMode = DestinationMode::kNamedFolder;
    SizeState sizes;
    MemoryControls window;
    NoControls none;
    Controls& controls = withWindow ? static_cast<Controls&>(window) : none;
    PlanningContext p{*job, options, platform, controls, sizes};
    job->outputFolder = "/out";
    window.setText(CTL_OUTPUT_FOLDER, "/out");
    job->sourcePath = fuzz::scratch() + "/fuzz0003.trp";  // any segment leads to 0001
    analyseSource(p);

    FUZZ_CHECK(job->jobState == kJobIdle);
    if (!job->sourceValid) continue;
    FUZZ_CHECK(job->isSplit == 0);
    const std::string name = job->originalName.str();
    FUZZ_CHECK(name.find_first_not_of(". ") != std::string::npos);
    FUZZ_CHECK(isValidUtf8(name));  // whatever the header's bytes, a name the system takes
    FUZZ_CHECK(name.find_first_of("/\\:") == std::string::npos);
    FUZZ_CHECK(!isDeviceName(name));
    // Named Folder leaves a folder that already ends with the name as it is.
    const std::string folder = job->outputFolder.str();
    FUZZ_CHECK(folder == "/out" || folder.rfind("/out/", 0) == 0);
    FUZZ_CHECK(folder.find("/../") == std::string::npos);
    FUZZ_CHECK(folder.size() < 3 || folder.compare(folder.size() - 3, 3, "/..") != 0);
    if (!job->rawSeries) FUZZ_CHECK(job->segmentCount >= 1 && job->segmentCount <= 9999);
    FUZZ_CHECK(job->segmentSize == static_cast<uint32_t>(size));
  }
  return 0;
}
