#include "engine/recovery/recovery_set.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "engine/naming.h"
#include "engine/recovery/block_io.h"
#include "engine/recovery/gf16.h"
#include "platform/folder_listing.h"

namespace trep {
namespace recovery {
namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameIgnoringCase(const std::string& a, std::size_t at, const std::string& b) {
  if (a.size() < at + b.size()) return false;
  for (std::size_t i = 0; i < b.size(); ++i)
    if (lower(a[at + i]) != lower(b[i])) return false;
  return true;
}

// Sets kept apart while reading at most: enough for a series and some
// leftovers of others beside it.
constexpr std::size_t kMaxSets = 16;
// Slice checksums kept per set at most: twice what a whole set can have.
constexpr uint64_t kMaxChecksumEntries = 2 * 32768;

struct Candidate {
  bool hasMain = false;
  MainPacket main;
  std::map<Md5Digest, FileDescription> descriptions;
  std::map<Md5Digest, std::vector<SliceChecksum>> checksums;
  uint64_t checksumEntries = 0;
  // By exponent, with length. Every packet of an exponent is kept: a copy
  // of a volume (damaged, say) may come before the one that checks out,
  // and which does is known only when its data is read.
  std::multimap<uint32_t, std::pair<RecoverySliceRef, uint64_t>> recovery;
  std::vector<std::string> paths;
};

using Candidates = std::map<Md5Digest, Candidate>;

// The position of the next packet magic at or after `from`, or `size`.
uint64_t nextMagic(File& file, uint64_t from, uint64_t size) {
  std::vector<uint8_t> block(64 << 10);
  while (from + 8 <= size) {
    std::size_t got = readAt(file, from, block.data(), block.size());
    if (got < 8) break;
    for (std::size_t i = 0; i + 8 <= got; ++i)
      if (block[i] == 'P' && std::memcmp(&block[i], kPacketMagic, 8) == 0) return from + i;
    from += got - 7;
  }
  return size;
}

void readPacket(Candidate& c, const PacketHeader& h, const uint8_t* body, std::size_t size) {
  if (h.type == kMainType) {
    MainPacket main;
    if (!c.hasMain && decodeMainBody(body, size, &main) && md5Of(body, size) == h.setId) {
      c.main = std::move(main);
      c.hasMain = true;
    }
  } else if (h.type == kFileDescType) {
    FileDescription d;
    if (decodeFileDescBody(body, size, &d) && d.id == fileIdOf(d.firstHash, d.length, d.name) &&
        c.descriptions.size() < kMaxSetFiles)
      c.descriptions.emplace(d.id, std::move(d));
  } else if (h.type == kSliceChecksumType) {
    Md5Digest id;
    std::vector<SliceChecksum> slices;
    if (decodeSliceChecksumBody(body, size, &id, &slices) && c.checksums.count(id) == 0 &&
        c.checksumEntries + slices.size() <= kMaxChecksumEntries) {
      c.checksumEntries += slices.size();
      c.checksums.emplace(id, std::move(slices));
    }
  }
}

// What a reading goes by of one recovery file, from the file as opened
// (null: it could not be), before any of its bytes are read.
SetReading::Stamp stampOf(const std::string& path, File* file) {
  SetReading::Stamp stamp;
  stamp.path = path;
  FileTimes times;
  if (file && file->size(&stamp.size) && file->getTimes(&times)) {
    stamp.lastWrite = times.lastWrite;
    stamp.opened = true;
  } else {
    stamp.size = 0;
  }
  return stamp;
}

// Ok, or why the file could not be opened or measured (what it held up to
// a read that failed counts as read: a packet is whole by its MD5 or not).
// *stamp, when given, receives the file's stamp.
Status scanFile(Platform& platform, const std::string& path, Candidates& sets,
                SetReading::Stamp* stamp) {
  Status why;
  std::unique_ptr<File> file = platform.openFile(path, FileAccess::kRead, FileShare::kRead,
                                                 FileCreate::kOpenExisting, kAttributeNormal, &why);
  if (stamp) *stamp = stampOf(path, file.get());
  if (!file) return why;
  uint64_t size = 0;
  why = file->size(&size);
  if (!why) return why;
  std::vector<uint8_t> packet;
  uint8_t head[kRecoveryHeadSize];
  uint64_t pos = 0;
  while (pos + kPacketHeaderSize <= size) {
    PacketHeader h;
    if (readAt(*file, pos, head, kPacketHeaderSize) != kPacketHeaderSize) return Status();
    if (!decodePacketHeader(head, &h) || h.length > size - pos) {
      pos = nextMagic(*file, pos + 1, size);
      continue;
    }
    auto it = sets.find(h.setId);
    if (it == sets.end()) {
      if (sets.size() >= kMaxSets) {
        pos += h.length;
        continue;
      }
      it = sets.emplace(h.setId, Candidate{}).first;
    }
    Candidate& c = it->second;
    if (c.paths.empty() || c.paths.back() != path) c.paths.push_back(path);
    if (h.type == kRecoverySliceType) {
      // Only located: its MD5 needs the whole slice and is checked on use.
      if (h.length >= kRecoveryHeadSize &&
          readAt(*file, pos, head, kRecoveryHeadSize) == kRecoveryHeadSize) {
        uint32_t exponent = head[64] | head[65] << 8 | head[66] << 16 |
                            static_cast<uint32_t>(head[67]) << 24;
        RecoverySliceRef ref{exponent, path, pos, h.hash};
        c.recovery.emplace(exponent, std::make_pair(ref, h.length));
      }
      pos += h.length;
      continue;
    }
    if (h.length > kMaxSmallPacket) {  // no packet of ours is this long
      pos += h.length;
      continue;
    }
    packet.resize(static_cast<std::size_t>(h.length));
    if (readAt(*file, pos, packet.data(), packet.size()) != packet.size()) return Status();
    if (md5Of(packet.data() + kPacketSetIdOffset, packet.size() - kPacketSetIdOffset) != h.hash) {
      pos = nextMagic(*file, pos + 1, size);  // damaged: look for the next packet
      continue;
    }
    readPacket(c, h, packet.data() + kPacketHeaderSize, packet.size() - kPacketHeaderSize);
    pos += h.length;
  }
  return Status();
}

// Segment n of the series as a file description sees it; looked at once.
const SegmentLook& foundSegment(Platform& platform, const std::string& folder,
                                const std::string& base, uint32_t n,
                                std::map<uint32_t, SegmentLook>& cache) {
  auto it = cache.find(n);
  if (it != cache.end()) return it->second;
  // As the folder spells it (a series copied off a medium in capitals).
  const std::string path =
      findSegmentPath(platform, (folder.empty() ? "" : folder + kPathSeparator) + base, {}, n);
  return cache.emplace(n, lookAt(platform, path)).first->second;
}

// How well a set fits the series: how many of its files are segments whose
// file ID matches the segment on disk, and how many are segments at all.
struct Fit {
  std::size_t matching = 0;
  std::size_t named = 0;
};

Fit fitOf(Platform& platform, const Candidate& c, const std::string& folder,
          const std::string& base, std::map<uint32_t, SegmentLook>& cache) {
  Fit fit;
  for (const Md5Digest& id : c.main.recoveryIds) {
    auto d = c.descriptions.find(id);
    if (d == c.descriptions.end()) continue;
    uint32_t n = segmentNumberOf(d->second.name, base);
    if (n == 0) continue;
    ++fit.named;
    if (matchesDescription(foundSegment(platform, folder, base, n, cache), d->second))
      ++fit.matching;
  }
  return fit;
}

// `stamps` (when given, one per path) receives each file's stamp.
SetFound readRecoverySetFrom(Platform& platform, const std::vector<std::string>& paths,
                             const std::string& folder, const std::string& base,
                             RecoverySet* set, Status* why,
                             std::vector<SetReading::Stamp>* stamps = nullptr,
                             std::vector<RecoverySet>* others = nullptr);
bool buildSet(const Md5Digest& id, const Candidate& c, const std::string& base, RecoverySet* set,
              Status* why);

// The recovery files of the series in the folder: the index first, then
// the volumes.
std::vector<std::string> recoveryPaths(const std::string& folder, const std::string& base) {
  std::vector<std::string> paths;
  for (const std::string& name : listFolder(folder)) {
    if (!isRecoveryFileName(name, base)) continue;
    paths.push_back(folder.empty() ? name : folder + kPathSeparator + name);
    if (paths.size() >= kMaxRecoveryFiles) break;
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace

SegmentLook lookAt(Platform& platform, const std::string& path) {
  SegmentLook look;
  std::unique_ptr<File> file =
      platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting);
  if (file && file->size(&look.length)) {
    std::vector<uint8_t> first(kFirstBytesHashed);
    const std::size_t got = readAt(*file, 0, first.data(), first.size());
    look.firstHash = md5Of(first.data(), got);
    look.present = true;
  }
  return look;
}

bool matchesDescription(const SegmentLook& look, const FileDescription& d) {
  return look.present && look.length == d.length && look.firstHash == d.firstHash;
}

bool segmentMatches(Platform& platform, const std::string& path, const FileDescription& d) {
  return matchesDescription(lookAt(platform, path), d);
}

uint32_t segmentNumberOf(const std::string& name, const std::string& base) {
  if (name.size() != base.size() + 8 || !sameIgnoringCase(name, 0, base) ||
      !sameIgnoringCase(name, base.size() + 4, ".trp"))
    return 0;
  uint32_t n = 0;
  for (std::size_t i = base.size(); i < base.size() + 4; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    n = n * 10 + static_cast<uint32_t>(name[i] - '0');
  }
  return n;
}

bool isRecoveryFileName(const std::string& name, const std::string& base) {
  if (!sameIgnoringCase(name, 0, base)) return false;
  if (name.size() == base.size() + 5) return sameIgnoringCase(name, base.size(), ".par2");
  return name.size() > base.size() + 9 && sameIgnoringCase(name, base.size(), ".vol") &&
         sameIgnoringCase(name, name.size() - 5, ".par2");
}

SetFound readRecoverySet(Platform& platform, const std::string& folder, const std::string& base,
                         RecoverySet* set, Status* why) {
  return readRecoverySetFrom(platform, recoveryPaths(folder, base), folder, base, set, why);
}

std::shared_ptr<const SetReading> readRecoveryFiles(
    Platform& platform, const std::string& folder, const std::string& base,
    const std::shared_ptr<const SetReading>& earlier) {
  const std::vector<std::string> paths = recoveryPaths(folder, base);
  if (earlier && earlier->folder == folder && earlier->base == base) {
    std::vector<SetReading::Stamp> now;
    for (const std::string& path : paths)
      now.push_back(stampOf(path, platform.openFile(path, FileAccess::kRead, FileShare::kRead,
                                                    FileCreate::kOpenExisting).get()));
    if (now == earlier->stamps) return earlier;
  }
  // A new reading stamps each file as it opens it to read.
  auto reading = std::make_shared<SetReading>();
  reading->folder = folder;
  reading->base = base;
  reading->found = readRecoverySetFrom(platform, paths, folder, base, &reading->set,
                                       &reading->why, &reading->stamps, &reading->others);
  return reading;
}

namespace {

SetFound readRecoverySetFrom(Platform& platform, const std::vector<std::string>& paths,
                             const std::string& folder, const std::string& base,
                             RecoverySet* set, Status* why,
                             std::vector<SetReading::Stamp>* stamps,
                             std::vector<RecoverySet>* others) {
  *set = RecoverySet{};
  *why = Status();
  if (stamps) stamps->assign(paths.size(), SetReading::Stamp{});
  if (paths.empty()) return SetFound::kNone;
  Candidates sets;
  Status unread;  // the first file that could not be read, and why
  for (std::size_t i = 0; i < paths.size(); ++i) {
    Status read = scanFile(platform, paths[i], sets, stamps ? &(*stamps)[i] : nullptr);
    if (!read && unread.ok()) unread = read;
  }
  // Words of ours, about the set rather than one of its files.
  auto unusable = [why](std::string words) {
    *why = Status::failure("", std::move(words));
    return SetFound::kUnusable;
  };

  // The sets that name segments of this series, best fit first: most file
  // IDs matching the segments there (their length and first 16 KiB), then
  // most segments named, then most recovery slices.
  struct Ranked {
    const Md5Digest* id;
    const Candidate* c;
    Fit fit;
  };
  std::vector<Ranked> ranked;
  std::map<uint32_t, SegmentLook> cache;
  for (const auto& [id, c] : sets) {
    if (!c.hasMain) continue;
    const Fit fit = fitOf(platform, c, folder, base, cache);
    if (fit.named != 0) ranked.push_back({&id, &c, fit});
  }
  std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
    if (a.fit.matching != b.fit.matching) return a.fit.matching > b.fit.matching;
    if (a.fit.named != b.fit.named) return a.fit.named > b.fit.named;
    return a.c->recovery.size() > b.c->recovery.size();
  });
  if (ranked.empty()) {
    // A file that could not be read may have been the set: its reason
    // says more than that the others describe nothing.
    if (!unread.ok()) {
      *why = unread;
      return SetFound::kUnusable;
    }
    return unusable("The recovery files describe no segment of this series.");
  }

  // The best that is whole is the set; the others whole are its
  // alternatives, for a judge that finds the best another series'.
  Status firstWhy;
  bool found = false;
  for (const Ranked& r : ranked) {
    RecoverySet built;
    Status builtWhy;
    if (!buildSet(*r.id, *r.c, base, &built, &builtWhy)) {
      if (firstWhy.ok()) firstWhy = builtWhy;
      continue;
    }
    built.matching = r.fit.matching;
    built.named = r.fit.named;
    if (!found) {
      *set = std::move(built);
      found = true;
    } else if (others != nullptr) {
      others->push_back(std::move(built));
    }
  }
  if (!found) {
    *why = firstWhy;
    return SetFound::kUnusable;
  }
  return SetFound::kUsable;
}

// The set of candidate c, every file described and checksummed; false and
// *why (words without a path) otherwise.
bool buildSet(const Md5Digest& id, const Candidate& c, const std::string& base, RecoverySet* set,
              Status* why) {
  auto unusable = [why](std::string words) {
    *why = Status::failure("", std::move(words));
    return false;
  };
  set->setId = id;
  set->sliceSize = c.main.sliceSize;
  set->paths = c.paths;
  uint64_t slices = 0;
  std::vector<bool> taken(10000, false);
  for (const Md5Digest& fileId : c.main.recoveryIds) {
    auto d = c.descriptions.find(fileId);
    auto s = c.checksums.find(fileId);
    if (d == c.descriptions.end() || s == c.checksums.end()) {
      return unusable(d == c.descriptions.end()
                          ? "The recovery files lack the description of a file of their set."
                          : "The recovery files lack the checksums of \"" + d->second.name +
                                "\".");
    }
    SetFile f;
    f.description = d->second;
    f.slices = s->second;
    const uint64_t expected = slicesOf(f.description.length, set->sliceSize);
    if (expected != f.slices.size() || expected > kMaxInputSlices - slices) {
      return unusable("The recovery files hold wrong checksums for \"" + f.description.name +
                      "\".");
    }
    f.firstSlice = static_cast<uint32_t>(slices);
    slices += expected;
    f.segment = segmentNumberOf(f.description.name, base);
    if (f.segment != 0 && taken[f.segment]) f.segment = 0;  // a name twice, in other cases
    if (f.segment != 0) taken[f.segment] = true;
    set->files.push_back(std::move(f));
  }
  set->inputSlices = static_cast<uint32_t>(slices);
  for (const auto& [exponent, found] : c.recovery)
    if (exponent < kGfOrder && found.second == kRecoveryHeadSize + set->sliceSize)
      set->recovery.push_back(found.first);
  return true;
}

}  // namespace

}  // namespace recovery
}  // namespace trep
