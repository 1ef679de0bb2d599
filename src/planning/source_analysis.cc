#include "planning/source_analysis.h"

#include <string>

#include "engine/naming.h"
#include "planning/destination.h"
#include "planning/size_arithmetic.h"

namespace trep {

bool isSegmentName(std::string_view path) {
  if (path.size() < 4) return false;
  std::string tail(path.substr(path.size() - 4));
  for (char& c : tail)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return tail == ".trp";
}

namespace {

// Half the file plus 1/32 of that half: two segments, the first about 3 %
// larger than half the file. The half is shifted until it fits 32 bits.
uint32_t defaultSegmentSize(uint64_t fileSize) {
  uint64_t h = fileSize >> 1;
  while (h > 0xFFFFFFFFull) h >>= 1;
  uint64_t v = h + h / 32;
  return v > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(v);
}

}  // namespace

void analyseSource(JobSettings& job, PersistedSettings& options, Platform& platform) {
  (void)options;
  if (job.jobState != kJobIdle || job.sourceValid != 0) return;
  job.jobState = kJobAnalysing;
  job.fileCrc = 0;
  job.rawSeries = 0;

  std::string path = job.sourcePath.str();
  if (path.size() >= 4 && !isSegmentName(path)) {
    std::unique_ptr<File> file = platform.openFile(path, FileAccess::kRead, FileShare::kRead,
                                                   FileCreate::kOpenExisting);
    uint64_t size = 0;
    if (file && file->size(&size) && size != 0) {
      job.fileSize = size;
      job.isSplit = 1;
      job.sourceValid = 1;
      job.segmentSize = defaultSegmentSize(size);
      countFromSize(job);
      std::string name = fileNameOf(path);
      if (name.find(kPathSeparator) != std::string::npos) name = lastComponentOf(path);
      job.originalName = name;
      if (!applyDestinationWithoutWindow(job)) {
        job.sourceValid = 0;
        if (raiseNotice(platform,
                    "The output folder \"" + job.outputFolder.str() + kPathSeparator +
                        stripExtension(name) + "\" is longer than " +
                        std::to_string(PathText::kMaxLength) + " characters.",
                    kOk, kOpenReadMe) == kLowerButton)
          platform.openReadMe();
      }
    }
  }
  job.jobState = kJobIdle;
}

}  // namespace trep
