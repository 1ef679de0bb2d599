// Whether recovery files beside a series are its own, and what they say of
// its first segment. A set is a claim about files of certain names; it is
// believed only as far as the segments on disk and their header back it.
#ifndef TREP_ENGINE_RECOVERY_SERIES_EVIDENCE_H_
#define TREP_ENGINE_RECOVERY_SERIES_EVIDENCE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/job.h"
#include "engine/recovery/recovery_set.h"
#include "platform/platform.h"

namespace trep {
namespace recovery {

// Whether a recovery set describes the series `prefix` (folder, separator,
// base name); the rule is written out beside judgeSet. `header`: segment
// 0001's header as read from the disk, or null (a headerless series, 0001
// lost or unreadable). When the set's own header for 0001 had to be rebuilt
// to compare, *firstBytes (when given) receives 0001's first bytes as the
// set records them; otherwise it is left empty. For another verdict, *why
// says what gave the set away.
enum class SetVerdict {
  kThisSeries,
  kOtherSeries,  // names, count, sizes or content say another series'
  kUnbacked,     // it claims sizes no bytes on disk back
  // It agrees with the disk's header in names, count and sizes but records
  // other bytes for every segment, and no header of its own says whose it
  // is: another file's set of the same name and size, or this series'
  // with damage where the recorded checksum does not read. Not used, and
  // the join cannot vouch for what it makes.
  kUnconfirmed,
};
SetVerdict judgeSet(Platform& platform, const RecoverySet& set,
                    const std::string& prefix, const JobSettings* header,
                    std::vector<uint8_t>* firstBytes, std::string* why);

// The set of a reading (its best fit, then the others) that describes the
// series: the first judgeSet finds this series'. Null when none does; then
// *verdict and *why say what gave the best-fitting one away (a set that
// may be this series', kUnconfirmed, before one that is not). *firstBytes
// as judgeSet's, for the set chosen. Null too, with *ambiguity saying why
// (which files, which segment), when another set that fits the disk as well
// is also this series' by the evidence and records other bytes for a
// segment that is not there as either records it: which one the series
// had cannot be told, and neither is used to rebuild.
const RecoverySet* chooseSet(Platform& platform, const SetReading& reading,
                             const std::string& prefix, const JobSettings* header,
                             std::vector<uint8_t>* firstBytes, SetVerdict* verdict,
                             std::string* why, std::string* ambiguity);

// Source analysis, choosing a segment of a series with recovery files
// beside it: what to take segment 0001's header from.
enum class FirstSegment {
  kAsFound,  // 0001 as it is: no recovery files name it, or it is what they record
  kRebuilt,  // 0001 lost, or not what they record: its first bytes rebuilt from them
  kLost,     // 0001 lost or damaged beyond what its first bytes can be rebuilt from
};
// For kRebuilt: `bytes` holds 0001's first bytes (up to `capacity`, its
// header; *got of them), checked against the recovery files' hash, and
// *length its length. For kLost: *segments is the number of segments the
// recovery files describe; the join then reports the damage (jobResult 6).
// *reading receives the reading of the recovery files it went by, for the
// join to take up.
FirstSegment firstSegmentFromRecovery(Platform& platform, const std::string& prefix,
                                      uint8_t* bytes, uint32_t capacity, uint32_t* got,
                                      uint64_t* length, uint32_t* segments,
                                      std::shared_ptr<const SetReading>* reading);

}  // namespace recovery
}  // namespace trep

#endif  // TREP_ENGINE_RECOVERY_SERIES_EVIDENCE_H_
