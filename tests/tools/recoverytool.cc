// A test tool: makes, checks and repairs the recovery files of a series
// through the engine's recovery module, for the interop tests with par2
// (par2cmdline), natively and as a Windows program under Wine.
//
//   recoverytool create FOLDER BASE COUNT [--slice=BYTES] [--memory=BYTES]
//       writes BASE.par2 and BASE.volE+1.par2 for BASE0001.trp ... in FOLDER
//   recoverytool repair FOLDER BASE WORKFOLDER [--check] [--memory=BYTES]
//       checks the series and rebuilds what is damaged into WORKFOLDER;
//       prints one line per rebuilt segment: "NNNN PATH"
//   recoverytool speed MIB
//       the multiply-accumulate kernels' speed in MB/s
//
// Exit codes: 0 intact or repaired, 1 not repairable, 2 bad use or no
// usable set, 3 a failure to write or read.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/recovery/gf16.h"
#include "engine/recovery/recovery_set.h"
#include "engine/recovery/recovery_writer.h"
#include "engine/recovery/repair.h"
#include "engine/naming.h"
#include "platform/folder_listing.h"

using namespace trep;
using namespace trep::recovery;

namespace {

uint64_t option(int argc, char** argv, const char* name, uint64_t fallback) {
  const std::size_t n = std::strlen(name);
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], name, n) == 0) return std::stoull(argv[i] + n);
  return fallback;
}
bool flag(int argc, char** argv, const char* name) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return true;
  return false;
}

std::string numbers(const std::vector<uint32_t>& list) {
  std::string s;
  for (uint32_t n : list) s += (s.empty() ? "" : ",") + zeroPadded(n, 4);
  return s.empty() ? "-" : s;
}

int create(int argc, char** argv) {
  auto platform = makeSystemPlatform();
  const std::string folder = argv[2], base = argv[3];
  std::vector<std::pair<uint32_t, std::string>> found;
  for (const std::string& name : listFolder(folder))
    if (uint32_t n = segmentNumberOf(name, base)) found.emplace_back(n, name);
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (auto& f : found) names.push_back(f.second);
  std::string problem;
  if (!createRecoveryFiles(*platform, folder, base, names,
                           static_cast<uint32_t>(std::stoul(argv[4])), option(argc, argv, "--slice=", 0),
                           option(argc, argv, "--memory=", kDefaultRecoveryMemory), &problem)) {
    std::fprintf(stderr, "recoverytool: %s\n", problem.c_str());
    return 3;
  }
  return 0;
}

int repair(int argc, char** argv) {
  auto platform = makeSystemPlatform();
  const std::string folder = argv[2], base = argv[3];
  RecoverySet set;
  Status why;
  SetFound found = readRecoverySet(*platform, folder, base, &set, &why);
  if (found != SetFound::kUsable) {
    std::printf("no usable set: %s\n", found == SetFound::kNone ? "none" : why.toString().c_str());
    return 2;
  }
  RepairOptions options;
  options.workFolder = argv[4];
  options.checkOnly = flag(argc, argv, "--check");
  options.memoryLimit = option(argc, argv, "--memory=", kDefaultRecoveryMemory);
  RepairReport r = repairSeries(*platform, set, folder, base, options);
  std::printf("missing %s; damaged %s; slices needed %u, available %u\n", numbers(r.missing).c_str(),
              numbers(r.damaged).c_str(), r.slicesNeeded, r.slicesAvailable);
  for (const auto& [segment, path] : r.readFrom)
    std::printf("%s %s\n", zeroPadded(segment, 4).c_str(), path.c_str());
  switch (r.outcome) {
    case RepairOutcome::kIntact: std::printf("intact\n"); return 0;
    case RepairOutcome::kRepaired: std::printf("repaired\n"); return 0;
    case RepairOutcome::kRepairable: std::printf("repairable\n"); return 0;
    case RepairOutcome::kNotRepairable:
      std::printf("not repairable%s%s\n", r.problem.empty() ? "" : ": ", r.problem.c_str());
      return 1;
    default: std::printf("failed: %s\n", r.problem.c_str()); return 3;
  }
}

int speed(char** argv) {
  const std::size_t bytes = static_cast<std::size_t>(std::stoul(argv[2])) << 20;
  std::vector<uint8_t> src(bytes), dst(bytes);
  for (std::size_t i = 0; i < bytes; ++i) src[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
  for (GfKernel k : {GfKernel::kPortable, GfKernel::kSsse3, GfKernel::kAvx2}) {
    if (!gfKernelAvailable(k)) continue;
    auto t0 = std::chrono::steady_clock::now();
    for (int round = 0; round < 4; ++round)
      gfMultiplyAddWith(k, static_cast<uint16_t>(0x1234 + round), src.data(), dst.data(), bytes);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("%-8s %8.0f MB/s\n", gfKernelName(k), 4.0 * bytes / s / 1e6);
  }
  Md5 md5;
  auto t0 = std::chrono::steady_clock::now();
  md5.update(src.data(), bytes);
  md5.finish();
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-8s %8.0f MB/s\n", "MD5", bytes / s / 1e6);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "create" && argc >= 5) return create(argc, argv);
  if (mode == "repair" && argc >= 5) return repair(argc, argv);
  if (mode == "speed" && argc >= 3) return speed(argv);
  std::fprintf(stderr,
               "usage: recoverytool create FOLDER BASE COUNT [--slice=B] [--memory=B]\n"
               "       recoverytool repair FOLDER BASE WORKFOLDER [--check] [--memory=B]\n"
               "       recoverytool speed MIB\n");
  return 2;
}
