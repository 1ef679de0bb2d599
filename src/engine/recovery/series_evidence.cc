#include "engine/recovery/series_evidence.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "engine/checksum.h"
#include "engine/naming.h"
#include "engine/recovery/block_io.h"
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

namespace {

// What the files bearing the series' segment names show of a set: which
// are as it records them under their own names, which under another of its
// names (two swapped), and which are there otherwise.
struct Evidence {
  std::vector<SegmentLook> look;  // [n]: segment n on disk, n = 1 .. the set's last
  std::vector<bool> own;          // [n]: segment n as the set records it
  bool any = false;               // some file is one the set records, under any of its names
  bool lengthsAsRecorded = true;  // every segment the set names is there, of its length
};

Evidence evidenceOf(Platform& platform, const RecoverySet& set, const std::string& prefix,
                    uint32_t n) {
  Evidence e;
  e.look.resize(n + 1);
  e.own.assign(n + 1, false);
  for (uint32_t k = 1; k <= n; ++k)
    e.look[k] = lookAt(platform, findSegmentPath(platform, prefix, {}, k));
  for (const SetFile& f : set.files) {
    if (f.segment == 0 || f.segment > n) continue;
    e.own[f.segment] = matchesDescription(e.look[f.segment], f.description);
    if (!e.look[f.segment].present || e.look[f.segment].length != f.description.length)
      e.lengthsAsRecorded = false;
    for (uint32_t k = 1; k <= n && !e.any; ++k)
      e.any = matchesDescription(e.look[k], f.description);
  }
  return e;
}

// Whether 0001's header on the disk differs from `recorded` (the header the
// set records for it) as damage does: in one run of at most kDamageSpan
// bytes (a byte or a few changed, a short range zeroed), or not at all. A
// later split of the same name differs in its times and checksum, which lie
// further apart (the checksum at 622, the last-write time at 642..649).
constexpr std::size_t kDamageSpan = 16;
bool headerDamagedOnly(Platform& platform, const std::string& prefix,
                       const std::vector<uint8_t>& recorded) {
  std::unique_ptr<File> file = platform.openFile(findSegmentPath(platform, prefix, {}, 1),
                                                 FileAccess::kRead, FileShare::kRead,
                                                 FileCreate::kOpenExisting);
  uint8_t disk[kFullHeaderSize];
  if (!file || recorded.size() < kFullHeaderSize ||
      readAt(*file, 0, disk, sizeof disk) != sizeof disk)
    return false;
  std::size_t first = kFullHeaderSize, last = 0;
  for (std::size_t i = 0; i < kFullHeaderSize; ++i) {
    if (disk[i] == recorded[i]) continue;
    first = std::min(first, i);
    last = i;
  }
  return first == kFullHeaderSize || last - first < kDamageSpan;
}

// Whether the series on the disk holds together by the header read from
// its 0001: its segments' payloads, read in order, have the size and the
// checksum it records. False where it records no checksum (nothing then
// says the disk's series is whole).
bool seriesHoldsTogether(Platform& platform, const std::string& prefix, const JobSettings& header) {
  if (header.fileCrc == 0 || header.segmentCount == 0 || header.segmentCount > kMaxSegments)
    return false;
  CrcStream crc(header.fileSize);
  std::vector<uint8_t> buffer(1u << 20);
  for (uint32_t k = 1; k <= header.segmentCount; ++k) {
    std::unique_ptr<File> file = platform.openFile(findSegmentPath(platform, prefix, {}, k),
                                                   FileAccess::kRead, FileShare::kRead,
                                                   FileCreate::kOpenExisting);
    if (!file || !file->seek(k == 1 ? kFullHeaderSize : kShortHeaderSize)) return false;
    for (;;) {
      uint32_t got = 0;
      if (!file->read(buffer.data(), static_cast<uint32_t>(buffer.size()), &got)) return false;
      if (got == 0) break;
      if (crc.bytes() + got > header.fileSize) return false;
      crc.add(buffer.data(), got);
    }
  }
  uint32_t value = 0;
  return crc.bytes() == header.fileSize && crc.value(&value) && value == header.fileCrc;
}

// Whether some whole slice of a file bearing one of the series' segment
// names is one the set records (its CRC-32 and MD5, zero-padded as the
// set's are), at a slice boundary of that file. Reads the files through
// until one is found: only asked when their first 16 KiB showed nothing.
bool anySliceAsRecorded(Platform& platform, const RecoverySet& set, const std::string& prefix,
                        uint32_t n) {
  const uint64_t S = set.sliceSize;
  if (S == 0 || S > (64u << 20)) return false;
  std::multimap<uint32_t, const SliceChecksum*> byCrc;
  for (const SetFile& f : set.files)
    for (const SliceChecksum& c : f.slices) byCrc.emplace(c.crc, &c);
  std::vector<uint8_t> slice(static_cast<std::size_t>(S));
  for (uint32_t k = 1; k <= n; ++k) {
    std::unique_ptr<File> file = platform.openFile(findSegmentPath(platform, prefix, {}, k),
                                                   FileAccess::kRead, FileShare::kRead,
                                                   FileCreate::kOpenExisting);
    uint64_t size = 0;
    if (!file || !file->size(&size)) continue;
    for (uint64_t at = 0; at < size; at += S) {
      const std::size_t got = readAt(*file, at, slice.data(), slice.size());
      if (got == 0) break;
      std::fill(slice.begin() + static_cast<std::ptrdiff_t>(got), slice.end(), uint8_t{0});
      const uint32_t crc = crc32Update(0, slice.data(), slice.size());
      auto range = byCrc.equal_range(crc);
      if (range.first == range.second) continue;
      const Md5Digest md5 = md5Of(slice.data(), slice.size());
      for (auto it = range.first; it != range.second; ++it)
        if (it->second->md5 == md5) return true;
    }
  }
  return false;
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
  const Evidence evidence = evidenceOf(platform, set, prefix, n);

  // 3. The header read from the disk.
  if (header != nullptr) {
    uint64_t payload = 0;
    const bool countAgrees = header->segmentCount == n;
    const bool sizeAgrees = payloadOf(set, n, &payload) && payload == header->fileSize;
    // 0001 as the set records it (its first 16 KiB hold the header): the
    // header is the one the set vouches for.
    if (evidence.own[1]) {
      if (countAgrees && sizeAgrees) return SetVerdict::kThisSeries;
      *why = !countAgrees ? "they describe " + countOf(n, "segment", "segments") +
                                ", its header " + std::to_string(header->segmentCount)
                          : "they describe " + std::to_string(payload) + " bytes, its header " +
                                std::to_string(header->fileSize);
      return SetVerdict::kOtherSeries;
    }
    // 0001 is not what the set records: its header is not believed until
    // the evidence says whose set this is. The header the set records for
    // 0001, rebuilt from it:
    std::vector<uint8_t> rebuilt;
    JobSettings recorded;
    const bool haveRecorded =
        recovery::rebuildFirstBytes(platform, set, folder, base, first, &rebuilt) &&
        rebuilt.size() >= kFullHeaderSize && std::memcmp(rebuilt.data(), kMagic, kMagicSize) == 0;
    if (haveRecorded) {
      uint32_t useDescription = 0;
      decodeFullHeader(rebuilt.data(), rebuilt.size(), &recorded, &useDescription);
    }
    // The same split, damaged past its header or in it where the header
    // does not tell splits apart.
    bool ours = haveRecorded && sameSplit(recorded, *header);
    // 0001's header damaged, not another split's: it differs from the
    // header the set records as damage does (a short run of bytes), while
    // other damage, anywhere, is the set's to find and mend.
    if (!ours && haveRecorded) ours = headerDamagedOnly(platform, prefix, rebuilt);
    // Otherwise the series on the disk tells, with the content the set
    // records. A later split under the same names holds together by its
    // own header (its checksum over the payloads on the disk, its size); a
    // damaged one does not, unless the damage lies where that checksum does
    // not read.
    //  - With a recorded header that is another's than the disk's (beyond
    //    damage): the set is this series' only where the disk's does not
    //    hold together and the other segments its header counts back the
    //    set, some as it records them and none otherwise (an older
    //    version's set differs somewhere).
    //  - With none to compare (0001's first bytes could not be rebuilt):
    //    none of the other segments may be there otherwise than the set
    //    records it (an older version's set differs somewhere), and some
    //    must be there as it records it, or the set must agree with the
    //    disk's header in count and sizes while the disk's series does not
    //    hold together. It then checks every byte, and 0001's header is
    //    read from the 0001 it rebuilds.
    if (!ours) {
      const uint32_t counted =
          header->segmentCount >= 1 && header->segmentCount <= n ? header->segmentCount : n;
      uint32_t matching = 0, otherwise = 0;
      for (uint32_t k = 2; k <= counted; ++k) {
        if (evidence.own[k]) ++matching;
        else if (evidence.look[k].present) ++otherwise;
      }
      if (haveRecorded)
        ours = matching != 0 && otherwise == 0 && !seriesHoldsTogether(platform, prefix, *header);
      else
        ours = otherwise == 0 &&
               (matching != 0 ||
                (countAgrees && sizeAgrees && !seriesHoldsTogether(platform, prefix, *header)));
    }
    if (!ours && !haveRecorded && countAgrees && sizeAgrees && evidence.lengthsAsRecorded) {
      *why = "they agree with its header in names, count and sizes, but none of its segments "
             "is as they record it";
      return SetVerdict::kUnconfirmed;
    }
    if (!ours) {
      *why = !countAgrees ? "they describe " + countOf(n, "segment", "segments") +
                                ", its header " + std::to_string(header->segmentCount)
             : !sizeAgrees ? "they describe " + std::to_string(payload) + " bytes, its header " +
                                 std::to_string(header->fileSize)
                           : "the header they record for its first segment is another split's";
      return SetVerdict::kOtherSeries;
    }
    if (firstBytes != nullptr && haveRecorded) *firstBytes = std::move(rebuilt);
    // Every segment is checked by the set, which then says what it cannot
    // mend; 0001's header is the set's.
    return SetVerdict::kThisSeries;
  }

  // 4. The content: some segment on disk is one the set records (under any
  // of its names: two swapped are the set's still), or some whole slice of
  // one is, or, where nothing on the disk can say (every segment damaged,
  // a one-segment series zeroed), every segment it names is there with the
  // length it records, or 0001's unreadable header is the recorded one
  // damaged.
  // Or 0001 is there with a header too damaged to read (its count, say)
  // that differs from the one the set records only as damage does.
  auto headerDamaged = [&] {
    std::vector<uint8_t> recorded;
    if (first == set.files.size() || !evidence.look[1].present ||
        !recovery::rebuildFirstBytes(platform, set, folder, base, first, &recorded) ||
        !headerDamagedOnly(platform, prefix, recorded))
      return false;
    if (firstBytes != nullptr) *firstBytes = std::move(recorded);
    return true;
  };
  if (!evidence.any && !evidence.lengthsAsRecorded &&
      !anySliceAsRecorded(platform, set, prefix, n) && !headerDamaged()) {
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

namespace {

// The first segment the two sets both name, that neither finds on disk as
// it records it, and that they record differently; 0 when there is none.
uint32_t firstDifference(Platform& platform, const RecoverySet& a, const RecoverySet& b,
                         const std::string& prefix) {
  std::map<uint32_t, const FileDescription*> ofA;
  for (const SetFile& f : a.files)
    if (f.segment != 0) ofA[f.segment] = &f.description;
  uint32_t first = 0;
  for (const SetFile& f : b.files) {
    auto it = ofA.find(f.segment);
    if (f.segment == 0 || it == ofA.end()) continue;
    const FileDescription& d = f.description;
    if (it->second->length == d.length && it->second->hash == d.hash) continue;
    const SegmentLook look = lookAt(platform, findSegmentPath(platform, prefix, {}, f.segment));
    if (matchesDescription(look, d) || matchesDescription(look, *it->second)) continue;
    if (first == 0 || f.segment < first) first = f.segment;
  }
  return first;
}

}  // namespace

const RecoverySet* chooseSet(Platform& platform, const SetReading& reading,
                             const std::string& prefix, const JobSettings* header,
                             std::vector<uint8_t>* firstBytes, SetVerdict* verdict,
                             std::string* why, std::string* ambiguity) {
  ambiguity->clear();
  std::vector<const RecoverySet*> sets{&reading.set};
  for (const RecoverySet& other : reading.others) sets.push_back(&other);
  const RecoverySet* chosen = nullptr;
  for (std::size_t i = 0; i < sets.size() && chosen == nullptr; ++i) {
    std::string setWhy;
    const SetVerdict v = judgeSet(platform, *sets[i], prefix, header, firstBytes, &setWhy);
    if (v == SetVerdict::kThisSeries) {
      chosen = sets[i];
      *verdict = v;
    } else if (i == 0 || (v == SetVerdict::kUnconfirmed && *verdict != SetVerdict::kUnconfirmed)) {
      // A set that may be this series' weighs more than one that is not.
      *verdict = v;
      *why = setWhy;
    }
  }
  if (chosen == nullptr) return nullptr;
  for (const RecoverySet* other : sets) {
    if (other == chosen || other->matching != chosen->matching || other->named != chosen->named)
      continue;
    const uint32_t n = firstDifference(platform, *chosen, *other, prefix);
    std::string ignored;
    if (n == 0 || judgeSet(platform, *other, prefix, header, nullptr, &ignored) !=
                      SetVerdict::kThisSeries)
      continue;
    *ambiguity = "two sets of recovery files (\"" + fileNameOf(chosen->paths.front()) +
                 "\" and \"" + fileNameOf(other->paths.front()) +
                 "\") fit its segments equally well and record different bytes for segment " +
                 zeroPadded(n, 4) +
                 ", which is not there as either records it; remove the set that is not this "
                 "series' and join again.";
    if (firstBytes != nullptr) firstBytes->clear();
    return nullptr;
  }
  return chosen;
}

FirstSegment firstSegmentFromRecovery(Platform& platform, const std::string& prefix,
                                      uint8_t* bytes, uint32_t capacity, uint32_t* got,
                                      uint64_t* length, uint32_t* segments,
                                      std::shared_ptr<const SetReading>* reading) {
  std::string folder, base;
  splitPrefix(prefix, &folder, &base);
  *reading = readRecoveryFiles(platform, folder, base);
  if ((*reading)->found != SetFound::kUsable) return FirstSegment::kAsFound;
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
  SetVerdict verdict;
  std::string ambiguity;
  // Not this series' set (the join says so): it says nothing about 0001.
  const RecoverySet* chosen = chooseSet(platform, **reading, prefix,
                                        headerRead ? &onDisk : nullptr, &rebuilt, &verdict, &why,
                                        &ambiguity);
  if (chosen == nullptr) {
    // Two sets that cannot be told apart, with 0001 not on the disk: the
    // join says so.
    if (!ambiguity.empty() && *got == 0) {
      *segments = 0;
      return FirstSegment::kLost;
    }
    return FirstSegment::kAsFound;
  }
  const RecoverySet& set = *chosen;
  std::size_t target = set.files.size();
  for (std::size_t i = 0; i < set.files.size(); ++i)
    if (set.files[i].segment == 1) target = i;
  if (target == set.files.size()) return FirstSegment::kAsFound;
  if (segmentAsRecorded(platform, prefix, set.files[target])) return FirstSegment::kAsFound;
  if (rebuilt.empty() &&
      !recovery::rebuildFirstBytes(platform, set, folder, base, target, &rebuilt)) {
    // 0001 is not what the set records and its first bytes cannot be had
    // from the set alone: its header is not believed. The join rebuilds
    // 0001 whole first and reads the header from there.
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
