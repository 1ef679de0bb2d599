// Finds and reads the recovery files that lie beside a series. Recovery
// files are input like any other: every count and length is checked before
// it is used, a packet whose MD5 does not match is skipped (and the reader
// looks for the next packet), and a file description is tied to a segment
// only when its name is one of this series' segment names. Recovery slices
// are only located here; their data is read and checked when a repair uses
// them.
#ifndef TREP_ENGINE_RECOVERY_RECOVERY_SET_H_
#define TREP_ENGINE_RECOVERY_RECOVERY_SET_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/recovery/par2_format.h"
#include "platform/platform.h"

namespace trep {
namespace recovery {

struct SetFile {
  FileDescription description;
  std::vector<SliceChecksum> slices;
  uint32_t segment = 0;  // its number in the series; 0: not a segment of this series
  uint32_t firstSlice = 0;  // number of its first input slice in the set
};

struct RecoverySliceRef {
  uint32_t exponent = 0;
  std::string path;
  uint64_t packetOffset = 0;  // where the packet's header starts
  Md5Digest hash{};           // the packet's MD5, checked before use
};

struct RecoverySet {
  Md5Digest setId{};
  uint64_t sliceSize = 0;
  std::vector<SetFile> files;               // the main packet's order
  // By exponent, ascending; an exponent found in several packets (copies
  // of a volume) once for each, the repair taking the first that checks out.
  std::vector<RecoverySliceRef> recovery;
  uint32_t inputSlices = 0;
  std::vector<std::string> paths;           // the recovery files read
  // How well it fits the series on disk: its files whose length and first
  // 16 KiB match the segment of their name, and its files named as segments.
  std::size_t matching = 0;
  std::size_t named = 0;
};

enum class SetFound {
  kNone,      // no recovery file of this series beside it
  kUsable,    // a set whose every file is described and checksummed
  kUnusable,  // recovery files, but none that describes a set whole
};

// The number of a segment name of the series `base`: base, four digits (not
// 0000) and ".trp", letters compared in any case; 0 for any other name.
uint32_t segmentNumberOf(const std::string& name, const std::string& base);

// True for the names a recovery file of the series may have: base + ".par2"
// or base + ".vol" ... ".par2", letters in any case.
bool isRecoveryFileName(const std::string& name, const std::string& base);

// What a file on disk shows a file description: its length and the MD5 of
// its first 16 KiB, the two its file ID rests on.
struct SegmentLook {
  bool present = false;
  uint64_t length = 0;
  Md5Digest firstHash{};
};
SegmentLook lookAt(Platform& platform, const std::string& path);

// Whether a file is the one a description describes, by its length and
// first 16 KiB: how a set is matched to a series, and a segment taken as
// it is. Every byte is the repair's to check (slice by slice).
bool matchesDescription(const SegmentLook& look, const FileDescription& d);
bool segmentMatches(Platform& platform, const std::string& path, const FileDescription& d);

// Reads the recovery files of the series `base` in `folder`. Among several
// sets (a set left from an earlier split of other data under the same
// names, say) it takes the one whose file IDs match most of the segments
// there (their length and first 16 KiB), then the one that names most of
// them, then the one with most recovery slices. For kUnusable, `why` says
// why: a recovery file that could not be opened (its path and the system's
// reason) when no other file described a set, else what the files lack,
// in words without a path. Ok otherwise.
SetFound readRecoverySet(Platform& platform, const std::string& folder, const std::string& base,
                         RecoverySet* set, Status* why);

// One reading of the recovery files beside a series (folder, base), and
// what it read them by: each file's path, size and last write time, taken
// before its bytes were read. A join reads the set once: the analysis that
// chose the series reads it, and the join takes that reading while the
// files are still those it was taken from.
struct SetReading {
  std::string folder;
  std::string base;
  SetFound found = SetFound::kNone;
  RecoverySet set;
  // The other sets beside it that are whole, next best fit first: a set
  // that fits best may still be another series' (judgeSet), and this
  // series' own the next.
  std::vector<RecoverySet> others;
  Status why;  // as readRecoverySet's
  struct Stamp {
    std::string path;
    uint64_t size = 0;
    uint64_t lastWrite = 0;
    bool opened = false;
    bool operator==(const Stamp& o) const {
      return path == o.path && size == o.size && lastWrite == o.lastWrite && opened == o.opened;
    }
  };
  std::vector<Stamp> stamps;
};

// `earlier` when it is a reading of the same series whose recovery files
// are all still there as it read them, and no other has come; otherwise a
// new reading.
std::shared_ptr<const SetReading> readRecoveryFiles(
    Platform& platform, const std::string& folder, const std::string& base,
    const std::shared_ptr<const SetReading>& earlier = nullptr);

// Recovery files read at most, and bytes of one non-recovery packet at most
// (main packets of 32,768 files, slice checksums of 32,768 slices fit).
constexpr std::size_t kMaxRecoveryFiles = 65536;
constexpr uint64_t kMaxSmallPacket = 2u << 20;

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_RECOVERY_SET_H_
