// A test tool: runs one split or join through the engine with the options
// the command line of the programs cannot set (scrambling key, checksum,
// rebuild method), so series can be made and rebuilt across the native and
// the Windows build of the same engine.
//
//   jobtool split FILE OUTFOLDER KBYTES [--key=TEXT] [--crc] [--headerless]
//   jobtool join SEGMENT OUTFOLDER [--key=TEXT] [--crc]
//
// Every question is answered with its safe answer. Exit code: the job
// result (0, 1, 99), 2 for a file the analysis did not take, or the code of
// a fatal error.
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "planning/controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"

using namespace trep;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: jobtool split FILE OUT KBYTES [--key=K] [--crc] [--headerless]\n"
                         "       jobtool join SEGMENT OUT [--key=K] [--crc]\n");
    return 2;
  }
  const std::string mode = argv[1];
  auto platform = makeSystemPlatform();
  auto job = std::make_unique<JobSettings>();
  PersistedSettings options;
  SizeState sizes;
  NoControls none;
  PlanningContext p{*job, options, *platform, none, sizes};

  int first = mode == "split" ? 5 : 4;
  for (int i = first; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--key=", 0) == 0) {
      job->encrypt = 1;
      job->cipherKey = a.substr(6);
    } else if (a == "--crc") {
      options.useCrc = 1;
    } else if (a == "--headerless") {
      options.rebuildMethod = RebuildMethod::kBatFile;
    }
  }
  job->sourcePath = argv[2];
  job->outputFolder = argv[3];
  job->quiet = 1;
  analyseSource(p);
  if (!job->sourceValid) {
    std::fprintf(stderr, "jobtool: %s was not taken\n", argv[2]);
    return 2;
  }
  job->outputFolder = argv[3];  // exactly this folder, not one named after the file
  if (job->isSplit) job->segmentSize = static_cast<uint32_t>(std::stoul(argv[4])) * 1024;
  job->jobState = kJobPrepared;
  BatchPlanning planning;
  JobContext ctx{*job, options, *platform, planning, nullptr};
  JobOutcome outcome = runJob(ctx);
  if (outcome.endProcess) return outcome.exitCode;
  return static_cast<int>(job->jobResult.load());
}
