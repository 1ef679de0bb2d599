#include "engine/recovery/series_evidence.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/naming.h"
#include "engine/recovery/repair.h"
#include "engine/segment_format.h"

namespace trep {
namespace recovery {

// When a recovery set describes this series. A set is a claim about files
// of certain names; a set left beside a series by an earlier split under
// the same names would "mend" the series back into that other file, and a
// crafted one could claim anything. So a set is used only when every one
// of these holds (judgeSet applies them, in this order):
//
//  1. Names. The files it describes that bear this series' segment names
//     are 0001 .. N, each once and without a gap.
//  2. Sizes. Every size it claims is backed by bytes on disk: its slice
//     size by its recovery slices (each that long, inside its file), or in
//     a set that holds none, by the longest segment beside it; every file's
//     length by its slices (checked as the set is read).
//  3. The header. For a series with headers whose segment 0001 header was
//     read from the disk: that header counts N segments and records the
//     file size the set's segments carry (their lengths less 652 bytes for
//     0001 and 8 for every other). And when 0001 is not what the set
//     records (its length and the MD5 of its first 16 KiB), the header the
//     set records for it, rebuilt from the set, names the same file with
//     the same size, count, checksum, times and attributes: a later split
//     of the same name differs there, damage past the header does not.
//     Only a header whose count or size bytes alone are damaged passes
//     with another count or size: one whose name and times are those of
//     the header the set records (then the set's header is taken).
//  4. The content. Without a header read from the disk (a headerless
//     series, or 0001 lost or unreadable): at least one segment on disk is
//     what the set records, length and first 16 KiB.
//  5. The end of the series. Without a header read from the disk, nothing
//     says how many segments the series has but the set, which may describe
//     only the first part of a longer series written later under the same
//     names (its segments copied over the older ones share their bytes up
//     to the older one's end). So a segment N + 1 on disk, beyond the set's
//     last, makes the set another series' unless it is a leftover: either
//     the set's segment N is on disk as it records it and shorter than its
//     segment N - 1 (the end of a series, which a longer one cannot have
//     there), or N + 1 was last written before every recovery file of the
//     set (older than the set, so not of a series written after it).
//
// A set that passes is this series': every segment it describes is then
// checked by it, even when the damage hides every segment's first bytes.
// One that fails is said ("describe another series; not used") and the
// join goes on as it would without it.

namespace {

std::string countOf(std::size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}


// The file sizes a series with headers of n segments carries in segments
// of these lengths; false when a length is shorter than its header.
bool payloadOf(const RecoverySet& set, uint32_t n, uint64_t* total) {
  *total = 0;
  for (const SetFile& f : set.files) {
    if (f.segment == 0) continue;
    const uint64_t header = f.segment == 1 ? kFullHeaderSize : kShortHeaderSize;
    if (f.description.length < header) return false;
    *total += f.description.length - header;
  }
  return n != 0;
}

// N when the set's segments are 0001 .. N, each once; 0 otherwise.
uint32_t namedSegments(const RecoverySet& set) {
  std::vector<bool> named(kMaxSegments + 1, false);
  uint32_t count = 0, last = 0;
  for (const SetFile& f : set.files) {
    if (f.segment == 0) continue;
    if (f.segment > kMaxSegments || named[f.segment]) return 0;
    named[f.segment] = true;
    ++count;
    last = std::max(last, f.segment);
  }
  return count == last ? count : 0;
}

// Whether segment f is on disk as the set records it: its length and the
// MD5 of its first 16 KiB.
bool segmentAsRecorded(Platform& platform, const std::string& prefix, const SetFile& f) {
  return recovery::segmentMatches(platform, findSegmentPath(platform, prefix, {}, f.segment),
                                  f.description);
}

// When a file was last written (Windows file-time units); false when that
// cannot be told.
bool lastWritten(Platform& platform, const std::string& path, uint64_t* when) {
  std::unique_ptr<File> file =
      platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting);
  FileTimes times;
  if (!file || !file->getTimes(&times)) return false;
  *when = times.lastWrite;
  return true;
}

// Whether the disk holds a segment n + 1 beyond the set's last (n) that is
// no leftover of an older series: the rule written out above judgeSet (5.).
bool seriesGoesOn(Platform& platform, const RecoverySet& set, const std::string& prefix,
                  uint32_t n) {
  if (n >= kMaxSegments) return false;
  const std::string beyond = findSegmentPath(platform, prefix, {}, n + 1);
  if (platform.fileAttributes(beyond) == kInvalidAttributes) return false;
  const SetFile* last = nullptr;
  const SetFile* before = nullptr;
  for (const SetFile& f : set.files) {
    if (f.segment == n) last = &f;
    if (f.segment + 1 == n) before = &f;
  }
  if (last != nullptr && before != nullptr &&
      last->description.length < before->description.length &&
      segmentAsRecorded(platform, prefix, *last))
    return false;  // the set's series ends here on the disk
  uint64_t written = 0, setWritten = 0;
  if (!lastWritten(platform, beyond, &written)) return true;  // nothing to clear it
  for (const std::string& path : set.paths) {
    uint64_t t = 0;
    if (!lastWritten(platform, path, &t)) return true;
    setWritten = std::max(setWritten, t);
  }
  return written >= setWritten;
}

// Two headers of one split: the fields a later split of the same name
// (or of other data) changes.
bool sameSplit(const JobSettings& a, const JobSettings& b) {
  return a.segmentCount == b.segmentCount && a.fileSize == b.fileSize &&
         a.fileCrc == b.fileCrc && a.originalName.str() == b.originalName.str() &&
         a.creationTime == b.creationTime && a.lastAccessTime == b.lastAccessTime &&
         a.lastWriteTime == b.lastWriteTime && a.fileAttributes == b.fileAttributes;
}

}  // namespace

SetVerdict judgeSet(Platform& platform, const RecoverySet& set, const std::string& prefix,
                    const JobSettings* header, std::vector<uint8_t>* firstBytes,
                    std::string* why) {
  std::string folder, base;
  splitPrefix(prefix, &folder, &base);
  if (firstBytes != nullptr) firstBytes->clear();
  // 1. Names.
  const uint32_t n = namedSegments(set);
  if (n == 0) {
    *why = "they name no unbroken row of its segments";
    return SetVerdict::kOtherSeries;
  }
  // 2. Sizes: a set without recovery slices backs its slice size by nothing
  // but the segments (a slice is never longer than the longest file, to a
  // multiple of 4).
  if (set.recovery.empty()) {
    uint64_t longest = 0;
    for (const SetFile& f : set.files) {
      if (f.segment == 0) continue;
      std::unique_ptr<File> file =
          platform.openFile(findSegmentPath(platform, prefix, {}, f.segment), FileAccess::kRead,
                            FileShare::kRead, FileCreate::kOpenExisting);
      uint64_t size = 0;
      if (file && file->size(&size)) longest = std::max(longest, size);
    }
    if (set.sliceSize > (longest + 3) / 4 * 4) {
      *why = "they claim slices of " + std::to_string(set.sliceSize) +
             " bytes, longer than any of its segments";
      return SetVerdict::kUnbacked;
    }
  }
  std::size_t first = set.files.size();
  for (std::size_t i = 0; i < set.files.size(); ++i)
    if (set.files[i].segment == 1) first = i;

  // 3. The header read from the disk.
  if (header != nullptr) {
    // The header the set records for 0001, when it must be compared.
    std::vector<uint8_t> rebuilt;
    JobSettings recorded;
    auto setHeader = [&]() {
      if (!rebuilt.empty()) return true;
      if (!recovery::rebuildFirstBytes(platform, set, folder, base, first, &rebuilt) ||
          rebuilt.size() < kFullHeaderSize ||
          std::memcmp(rebuilt.data(), kMagic, kMagicSize) != 0) {
        rebuilt.clear();
        return false;
      }
      uint32_t useDescription = 0;
      decodeFullHeader(rebuilt.data(), rebuilt.size(), &recorded, &useDescription);
      return true;
    };
    uint64_t payload = 0;
    const bool countAgrees = header->segmentCount == n;
    const bool sizeAgrees = payloadOf(set, n, &payload) && payload == header->fileSize;
    if (!countAgrees || !sizeAgrees) {
      // Damage to 0001's count or size bytes, which leaves the header
      // readable, is told from another split by the rest of it: the same
      // name and times as the header the set records. The caller then takes
      // the set's header.
      if (setHeader() && recorded.originalName.str() == header->originalName.str() &&
          recorded.creationTime == header->creationTime &&
          recorded.lastWriteTime == header->lastWriteTime) {
        if (firstBytes != nullptr) *firstBytes = std::move(rebuilt);
        return SetVerdict::kThisSeries;
      }
      *why = !countAgrees ? "they describe " + countOf(n, "segment", "segments") +
                                ", its header " + std::to_string(header->segmentCount)
                          : "they describe " + std::to_string(payload) + " bytes, its header " +
                                std::to_string(header->fileSize);
      return SetVerdict::kOtherSeries;
    }
    if (segmentAsRecorded(platform, prefix, set.files[first])) return SetVerdict::kThisSeries;
    if (setHeader()) {
      if (!sameSplit(recorded, *header)) {
        *why = "the header they record for its first segment is another split's";
        return SetVerdict::kOtherSeries;
      }
      if (firstBytes != nullptr) *firstBytes = std::move(rebuilt);
    }
    // The header agrees in count and sizes: every segment is checked by the
    // set, which then says what it cannot mend.
    return SetVerdict::kThisSeries;
  }

  // 4. The content.
  bool asRecorded = false;
  for (const SetFile& f : set.files)
    if (f.segment != 0 && segmentAsRecorded(platform, prefix, f)) {
      asRecorded = true;
      break;
    }
  if (!asRecorded) {
    *why = "none of its segments is as they record it";
    return SetVerdict::kOtherSeries;
  }

  // 5. The end of the series.
  if (seriesGoesOn(platform, set, prefix, n)) {
    *why = "segment " + zeroPadded(n + 1, 4) + " lies beyond the " +
           countOf(n, "segment", "segments") + " they describe and was written after them";
    return SetVerdict::kOtherSeries;
  }
  return SetVerdict::kThisSeries;
}

FirstSegment firstSegmentFromRecovery(Platform& platform, const std::string& prefix,
                                      uint8_t* bytes, uint32_t capacity, uint32_t* got,
                                      uint64_t* length, uint32_t* segments,
                                      std::shared_ptr<const SetReading>* reading) {
  std::string folder, base;
  splitPrefix(prefix, &folder, &base);
  *reading = readRecoveryFiles(platform, folder, base);
  if ((*reading)->found != SetFound::kUsable) return FirstSegment::kAsFound;
  const RecoverySet& set = (*reading)->set;
  std::size_t target = set.files.size();
  for (std::size_t i = 0; i < set.files.size(); ++i)
    if (set.files[i].segment == 1) target = i;
  if (target == set.files.size()) return FirstSegment::kAsFound;

  // The header 0001 holds on the disk, when it reads as one.
  JobSettings onDisk;
  bool headerRead = false;
  if (*got >= kFullHeaderSize && std::memcmp(bytes, kMagic, kMagicSize) == 0) {
    uint32_t useDescription = 0;
    decodeFullHeader(bytes, *got, &onDisk, &useDescription);
    headerRead = onDisk.segmentCount != 0 && onDisk.segmentCount <= kMaxSegments;
  }
  std::vector<uint8_t> rebuilt;
  std::string why;
  // Not this series' set (the join says so): it says nothing about 0001.
  if (judgeSet(platform, set, prefix, headerRead ? &onDisk : nullptr, &rebuilt, &why) !=
      SetVerdict::kThisSeries)
    return FirstSegment::kAsFound;
  if (segmentAsRecorded(platform, prefix, set.files[target])) return FirstSegment::kAsFound;
  if (rebuilt.empty() &&
      !recovery::rebuildFirstBytes(platform, set, folder, base, target, &rebuilt)) {
    // A header read from the disk that the set agrees with stays in use.
    if (headerRead) return FirstSegment::kAsFound;
    *segments = namedSegments(set);
    return FirstSegment::kLost;
  }
  *got = static_cast<uint32_t>(std::min<std::size_t>(capacity, rebuilt.size()));
  std::memcpy(bytes, rebuilt.data(), *got);
  *length = set.files[target].description.length;
  return FirstSegment::kRebuilt;
}

}  // namespace recovery
}  // namespace trep
