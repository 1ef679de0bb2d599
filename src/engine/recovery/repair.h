// Checks a series against its recovery set and rebuilds the segments that
// are missing or damaged. Segments are checked slice by slice against the
// set's MD5s; a segment found whole under another segment's name (two
// swapped) is read from there; the rest is solved from the recovery slices
// by Gaussian elimination over GF(2^16). Rebuilt segments are written into
// a work folder of the caller's, never into the series' folder (which may
// be read-only media), and checked against their whole-file MD5. The steps
// are named in repair.cc (SeriesRepair): find, check, choose, solve and
// rebuild, verify.
#ifndef TREP_ENGINE_RECOVERY_REPAIR_H_
#define TREP_ENGINE_RECOVERY_REPAIR_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/recovery/recovery_set.h"
#include "engine/recovery/recovery_writer.h"
#include "platform/platform.h"

namespace trep {
namespace recovery {

struct RepairOptions {
  std::string workFolder;  // where rebuilt segments go; must exist
  uint64_t memoryLimit = kDefaultRecoveryMemory;
  bool checkOnly = false;  // find the damage, rebuild nothing
  // Asked between pieces of work, on the calling thread only; false stops
  // the repair (the user aborted).
  std::function<bool()> keepGoing;
  // When given, every byte of the segments the check reads is added here
  // as it is read (from any of the check's threads), for a progress
  // display; bytesToCheck(set) is all it will read.
  std::atomic<uint64_t>* bytesChecked = nullptr;
};

// The bytes of the series' segments a set describes: what a check reads.
uint64_t bytesToCheck(const RecoverySet& set);

enum class RepairOutcome {
  kIntact,         // every segment of the set matches
  kRepaired,       // every damaged or missing segment can now be read
  kRepairable,     // checkOnly: the damage can be mended
  kNotRepairable,  // more damage than the recovery slices can mend
  kFailed,         // a rebuilt segment could not be written or did not check out
  kStopped,        // keepGoing said no
};

struct RepairReport {
  RepairOutcome outcome = RepairOutcome::kIntact;
  std::vector<uint32_t> missing;   // segment numbers, ascending
  std::vector<uint32_t> damaged;
  std::vector<uint32_t> rebuilt;   // now readable through readFrom
  uint32_t slicesNeeded = 0;       // input slices lost or damaged
  uint32_t slicesAvailable = 0;    // independent, intact recovery slices found (up to what was needed)
  std::map<uint32_t, std::string> readFrom;  // segment -> file that holds its bytes now
  std::vector<std::string> temporaries;      // rebuilt files; removeRebuilt deletes them
  std::string problem;
  // For kFailed: the call that failed, with the system's reason when it
  // gave one (a full disk, no permission).
  Status failure;
  // kFailed because a rebuilt segment could not be made or written in the
  // work folder (a full disk): no verdict on the series, which may well be
  // mendable where there is room.
  bool writeFailed = false;
};

// Checks the segments BASE0001.trp ... of the set in `folder`, and (unless
// options.checkOnly) rebuilds what is missing or damaged.
RepairReport repairSeries(Platform& platform, const RecoverySet& set, const std::string& folder,
                          const std::string& base, const RepairOptions& options);

// The first bytes of set file `target` (its first 16 KiB, or all of it when
// shorter), rebuilt without reading any file whole: the recovery data ties
// the bytes at each offset of every slice together on their own, so the
// first bytes of every slice are enough. They are taken where they can be
// vouched for (the first 16 KiB of a file by its file description's hash,
// a slice of 16 KiB or less by its MD5) and, deeper in a long file, where
// the file is; what cannot be had is solved from the recovery slices. The
// result is checked against the target's first-16-KiB hash. A failure
// says why it cannot be rebuilt so. For source analysis, which needs the
// header of a lost or damaged first segment. The solve is the repair's.
Status rebuildFirstBytes(Platform& platform, const RecoverySet& set, const std::string& folder,
                         const std::string& base, std::size_t target, std::vector<uint8_t>* out);

// Deletes the rebuilt segments of a report.
void removeRebuilt(Platform& platform, RepairReport* report);

// Unknown input slices a repair takes on at most: their matrix (2 bytes per
// entry, twice) stays within 64 MiB.
constexpr uint32_t kMaxRepairSlices = 4096;

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_REPAIR_H_
