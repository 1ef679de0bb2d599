// The command line: any text split into arguments, and the switches read
// from it. No file can be opened, so "/i=" exercises the analysis of a path
// without touching the file system.
#include <cstdint>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "app/startup.h"
#include "fuzz/fuzz_support.h"
#include "testing/test_support.h"

using namespace trep;

namespace {

class NoFilesPlatform : public testing::FaultyPlatform {
 public:
  std::unique_ptr<File> openFile(const std::string& path, FileAccess, FileShare, FileCreate,
                                 uint32_t, Status* why) override {
    if (why != nullptr) *why = Status::failure(path, testing::kInjectedFailure);
    return nullptr;
  }
  Status createFolder(const std::string& path) override {
    return Status::failure(path, testing::kInjectedFailure);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static NoFilesPlatform platform;
  static testing::FunctionAnswerer answers([](const NoticeParameters& n) { return safeAnswer(n); });
  platform.setNoticeAnswerer(&answers);
  const std::string line(reinterpret_cast<const char*>(data), size);

  for (uint32_t n = 0; n < 8; ++n) {
    std::string out = "untouched";
    int r = getArgument(line, n, &out);
    FUZZ_CHECK(r >= kArgumentFound && r <= kArgumentEmpty);
    if (r == kUnbalancedQuotes) FUZZ_CHECK(out == "untouched");
    if (r == kArgumentFound) FUZZ_CHECK(!out.empty() && out.find('"') == std::string::npos);
    if (r == kArgumentMissing || r == kArgumentEmpty) FUZZ_CHECK(out.empty());
  }

  auto app = std::make_unique<App>();
  prepareStart(*app, platform);
  CommandLine read = readCommandLine(CommandLineArguments(line), true);
  // A refusal names the argument; the switches taken are each of one kind.
  if (read.request == CommandLine::Request::kRefused) FUZZ_CHECK(!read.refusal.empty());
  FUZZ_CHECK(read.switches.size() <= 4);
  if (read.request == CommandLine::Request::kSwitches) {
    readSwitches(*app, platform, read);
    FUZZ_CHECK(app->job.sourceValid == 0);  // nothing can be opened
    FUZZ_CHECK(app->job.jobState == kJobIdle);
    FUZZ_CHECK(app->batchSegmentKBytes >= 1 && app->batchSegmentKBytes <= kMaxSegmentKBytes);
  }

  uint32_t kbytes = 0;
  if (parseSegmentKBytes(line, &kbytes)) FUZZ_CHECK(kbytes >= 1 && kbytes <= kMaxSegmentKBytes);
  return 0;
}
