#include "engine/recovery/repair.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

#include "engine/naming.h"
#include "engine/recovery/block_io.h"
#include "engine/recovery/gf16.h"

namespace trep {
namespace recovery {
namespace {

// Segment n of the series as its folder spells it: a series copied off a
// medium may be named in capitals (DATA0001.TRP) though the set records
// data0001.trp.
std::string segmentOnDisk(Platform& platform, const std::string& prefix, uint32_t n) {
  return findSegmentPath(platform, prefix, {}, n);
}

constexpr std::size_t kReadPiece = 1 << 20;
constexpr unsigned kCheckThreads = 4;
constexpr std::size_t kCachePiece = 32 << 10;

bool going(const RepairOptions& o) { return !o.keepGoing || o.keepGoing(); }

std::unique_ptr<File> openForReading(Platform& platform, const std::string& path) {
  return platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting);
}

// A segment as found: its size and the MD5 of each of its slices, zero-padded
// as the set's checksums are (at most `maxSlices` of them).
struct Scan {
  bool present = false;
  uint64_t size = 0;
  std::vector<Md5Digest> hashes;
};

bool scanSegment(Platform& platform, const std::string& path, uint64_t sliceSize,
                 uint64_t maxSlices, std::vector<uint8_t>& buffer,
                 const std::function<bool()>& keepGoing, Scan* scan) {
  std::unique_ptr<File> file = openForReading(platform, path);
  if (!file || !file->size(&scan->size)) return true;
  scan->present = true;
  const uint64_t slices = std::min(slicesOf(scan->size, sliceSize), maxSlices);
  Md5 md5;
  for (uint64_t i = 0; i < slices; ++i) {
    // Bytes that cannot be read count as zeros, and will not match.
    const uint64_t left = std::min(sliceSize, scan->size - i * sliceSize);
    bool stopped = false;
    const uint64_t got = readAndHash(*file, i * sliceSize, left, buffer, md5, keepGoing, &stopped);
    if (stopped) return false;
    md5Zeros(md5, sliceSize - got);
    scan->hashes.push_back(md5.finish());
  }
  return true;
}

// Where a known input slice's bytes are read from.
struct Source {
  std::string path;  // empty: unknown
};

// Gauss-Jordan over GF(2^16) on rows of 16-bit words, with the vector
// kernel for row operations (row ^= f · pivot row).
void addRow(uint16_t* row, const uint16_t* pivot, uint16_t f, std::size_t words) {
  gfMultiplyAdd(f, reinterpret_cast<const uint8_t*>(pivot), reinterpret_cast<uint8_t*>(row),
                2 * words);
}
void scaleRow(uint16_t* row, uint16_t f, std::size_t words) {
  for (std::size_t i = 0; i < words; ++i) row[i] = gfMultiply(row[i], f);
}

// Inverts the m × m matrix in the left half of `a` (m rows of 2m words, the
// right half the identity on entry, the inverse on return). False when it is
// singular.
bool invert(uint16_t* a, std::size_t m) {
  const std::size_t words = 2 * m;
  for (std::size_t col = 0; col < m; ++col) {
    std::size_t pivot = col;
    while (pivot < m && a[pivot * words + col] == 0) ++pivot;
    if (pivot == m) return false;
    if (pivot != col)
      std::swap_ranges(a + pivot * words, a + (pivot + 1) * words, a + col * words);
    uint16_t* p = a + col * words;
    scaleRow(p, gfInverse(p[col]), words);
    for (std::size_t r = 0; r < m; ++r)
      if (r != col && a[r * words + col] != 0) addRow(a + r * words, p, a[r * words + col], words);
  }
  return true;
}

// Recovery slices, in the set's order, whose rows of coefficients over the
// `unknown` input slices are independent, until there are as many as
// unknowns. `usable` is asked about each slice that would add a row (it may
// read and check the slice's data): true takes it. `stop`, when given, is
// asked after a slice was not taken: true ends the search.
std::vector<const RecoverySliceRef*> independentSlices(
    const RecoverySet& set, const std::vector<uint32_t>& unknown,
    const std::function<bool(const RecoverySliceRef&)>& usable,
    const std::function<bool()>& stop = nullptr) {
  const std::size_t m = unknown.size();
  std::vector<const RecoverySliceRef*> chosen;
  std::vector<std::vector<uint16_t>> echelon;  // reduced rows, pivot at pivots[r], value 1
  std::vector<std::size_t> pivots;
  for (const RecoverySliceRef& ref : set.recovery) {
    if (chosen.size() == m) break;
    std::vector<uint16_t> row(m);
    for (std::size_t u = 0; u < m; ++u) row[u] = recoveryCoefficient(unknown[u], ref.exponent);
    for (std::size_t r = 0; r < echelon.size(); ++r)
      if (row[pivots[r]] != 0) addRow(row.data(), echelon[r].data(), row[pivots[r]], m);
    std::size_t p = 0;
    while (p < m && row[p] == 0) ++p;
    if (p == m) continue;  // adds nothing to the slices already chosen
    if (!usable(ref)) {
      if (stop && stop()) break;
      continue;
    }
    scaleRow(row.data(), gfInverse(row[p]), m);
    echelon.push_back(std::move(row));
    pivots.push_back(p);
    chosen.push_back(&ref);
  }
  return chosen;
}

// The inverse of the chosen slices' coefficients over the unknown ones, in
// the right half of `a` (m rows of 2m words). False when it is singular,
// which independentSlices rules out.
bool invertCoefficients(const std::vector<uint32_t>& unknown,
                        const std::vector<const RecoverySliceRef*>& chosen, uint16_t* a) {
  const std::size_t m = unknown.size();
  for (std::size_t r = 0; r < m; ++r) {
    for (std::size_t u = 0; u < m; ++u) {
      a[r * 2 * m + u] = recoveryCoefficient(unknown[u], chosen[r]->exponent);
      a[r * 2 * m + m + u] = 0;
    }
    a[r * 2 * m + m + r] = 1;
  }
  return invert(a, m);
}

bool recoveryPacketIntact(Platform& platform, const RecoverySliceRef& ref, uint64_t sliceSize,
                          std::vector<uint8_t>& buffer, const RepairOptions& options) {
  std::unique_ptr<File> file = openForReading(platform, ref.path);
  if (!file) return false;
  Md5 md5;
  const uint64_t from = ref.packetOffset + kPacketSetIdOffset;
  const uint64_t n = kRecoveryHeadSize - kPacketSetIdOffset + sliceSize;
  return readAndHash(*file, from, n, buffer, md5, [&] { return going(options); }) == n &&
         md5.finish() == ref.hash;
}

std::string rebuiltName(Platform& platform, const std::string& workFolder, const std::string& base,
                        uint32_t segment) {
  const std::string stem = workFolder + kPathSeparator + base + zeroPadded(segment, 4) + ".trp";
  std::string name = stem + ".rebuilt";
  for (uint32_t n = 2; platform.fileAttributes(name) != kInvalidAttributes; ++n)
    name = stem + ".rebuilt" + std::to_string(n);
  return name;
}

bool copyRange(File& from, File& to, uint64_t offset, uint64_t length, std::vector<uint8_t>& buffer) {
  for (uint64_t done = 0; done < length;) {
    std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(buffer.size(), length - done));
    if (readAt(from, offset + done, buffer.data(), want) != want) return false;
    if (!writeAt(to, offset + done, buffer.data(), want)) return false;
    done += want;
  }
  return true;
}

bool wholeFileMatches(Platform& platform, const std::string& path, const FileDescription& d,
                      std::vector<uint8_t>& buffer) {
  std::unique_ptr<File> file = openForReading(platform, path);
  uint64_t size = 0;
  if (!file || !file->size(&size) || size != d.length) return false;
  Md5 md5;
  return readAndHash(*file, 0, size, buffer, md5) == size && md5.finish() == d.hash;
}

}  // namespace

RepairReport repairSeries(Platform& platform, const RecoverySet& set, const std::string& folder,
                          const std::string& base, const RepairOptions& options) {
  RepairReport report;
  const uint64_t S = set.sliceSize;
  const std::string prefix = folder + kPathSeparator + base;
  std::vector<uint8_t> buffer(kReadPiece);
  auto stopped = [&platform, &report]() {
    removeRebuilt(platform, &report);
    report.outcome = RepairOutcome::kStopped;
    return report;
  };

  // A slice size is only believed when bytes on disk back it: a recovery
  // slice of that size, or segments not far below it. Checking a segment
  // hashes its last slice padded with zeros to the slice size, so a set
  // that claims vast slices over small files would keep the check busy for
  // hours.
  if (set.recovery.empty()) {
    uint64_t largest = 0;
    for (const SetFile& f : set.files) {
      if (f.segment == 0) continue;
      std::unique_ptr<File> file = openForReading(platform, segmentOnDisk(platform, prefix, f.segment));
      uint64_t size = 0;
      if (file && file->size(&size)) largest = std::max(largest, size);
    }
    if (S / 64 > largest) {
      report.outcome = RepairOutcome::kNotRepairable;
      report.problem = "The recovery files claim slices far larger than the segments.";
      return report;
    }
  }

  // 1. Each segment of the set, slice by slice; MD5 is the slow part, so
  // segments are checked side by side on up to kCheckThreads processors.
  // Only the calling thread asks keepGoing; the others see its answer.
  uint64_t maxSlices = 0;
  for (const SetFile& f : set.files) maxSlices = std::max<uint64_t>(maxSlices, f.slices.size());
  std::vector<Scan> scans(set.files.size());
  {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    auto work = [&](bool caller) {
      std::vector<uint8_t> own(kReadPiece);
      const std::function<bool()> keepGoing = [&]() {
        if (caller && !going(options)) stop = true;
        return !stop.load();
      };
      for (std::size_t i; (i = next++) < set.files.size();) {
        if (set.files[i].segment == 0) continue;  // not of this series: never read, its slices unknown
        if (!scanSegment(platform, segmentOnDisk(platform, prefix, set.files[i].segment), S, maxSlices, own,
                         keepGoing, &scans[i]))
          return;
      }
    };
    const unsigned processors = std::thread::hardware_concurrency();
    const unsigned helpers = std::min<unsigned>(processors > 1 ? processors - 1 : 0,
                                                kCheckThreads - 1);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < helpers && t + 1 < set.files.size(); ++t) {
      try {
        threads.emplace_back(work, false);
      } catch (const std::system_error&) {
        break;  // no thread to be had: the calling thread checks the rest
      }
    }
    work(true);
    for (std::thread& t : threads) t.join();
    if (stop) return stopped();
  }
  std::vector<bool> intact(set.files.size(), false);
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    const SetFile& f = set.files[i];
    if (f.segment == 0) continue;
    const Scan& s = scans[i];
    intact[i] = s.present && s.size == f.description.length &&
                s.hashes.size() == f.slices.size() &&
                std::equal(f.slices.begin(), f.slices.end(), s.hashes.begin(),
                           [](const SliceChecksum& c, const Md5Digest& h) { return c.md5 == h; });
    if (!s.present)
      report.missing.push_back(f.segment);
    else if (!intact[i])
      report.damaged.push_back(f.segment);
  }
  std::sort(report.missing.begin(), report.missing.end());
  std::sort(report.damaged.begin(), report.damaged.end());
  if (report.missing.empty() && report.damaged.empty()) return report;  // kIntact

  // 2. Where each input slice can be read from: its own segment where its
  // MD5 matches, a segment that holds another's bytes whole (two swapped),
  // or nowhere (to be solved).
  std::vector<Source> sources(set.inputSlices);
  std::vector<std::size_t> toWrite;  // files of the series rebuilt from slices
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    const SetFile& f = set.files[i];
    if (intact[i]) {
      for (std::size_t k = 0; k < f.slices.size(); ++k)
        sources[f.firstSlice + k].path = segmentOnDisk(platform, prefix, f.segment);
      continue;
    }
    if (f.segment == 0) continue;
    std::size_t whole = set.files.size();
    for (std::size_t j = 0; j < set.files.size() && whole == set.files.size(); ++j) {
      const Scan& s = scans[j];
      if (j != i && s.present && s.size == f.description.length &&
          s.hashes.size() == f.slices.size() &&
          std::equal(f.slices.begin(), f.slices.end(), s.hashes.begin(),
                     [](const SliceChecksum& c, const Md5Digest& h) { return c.md5 == h; }))
        whole = j;
    }
    if (whole != set.files.size()) {
      const std::string path = segmentOnDisk(platform, prefix, set.files[whole].segment);
      for (std::size_t k = 0; k < f.slices.size(); ++k) sources[f.firstSlice + k].path = path;
      report.readFrom[f.segment] = path;
      continue;
    }
    const Scan& s = scans[i];
    for (std::size_t k = 0; k < f.slices.size() && k < s.hashes.size(); ++k)
      if (s.hashes[k] == f.slices[k].md5) sources[f.firstSlice + k].path = segmentOnDisk(platform, prefix, f.segment);
    toWrite.push_back(i);
  }
  std::vector<uint32_t> unknown;
  for (uint32_t k = 0; k < set.inputSlices; ++k)
    if (sources[k].path.empty()) unknown.push_back(k);
  const std::size_t m = unknown.size();
  report.slicesNeeded = static_cast<uint32_t>(m);

  // 3. Recovery slices whose rows are independent, each checked whole.
  if (m > kMaxRepairSlices) {
    report.outcome = RepairOutcome::kNotRepairable;
    report.problem = "More slices are damaged than one repair takes on.";
    return report;
  }
  bool stopAsked = false;
  const std::vector<const RecoverySliceRef*> chosen = independentSlices(
      set, unknown,
      [&](const RecoverySliceRef& ref) {
        return recoveryPacketIntact(platform, ref, S, buffer, options);
      },
      [&] { return stopAsked = !going(options); });
  if (stopAsked) return stopped();
  report.slicesAvailable = static_cast<uint32_t>(chosen.size());
  if (chosen.size() < m) {
    report.outcome = RepairOutcome::kNotRepairable;
    return report;
  }
  if (options.checkOnly) {
    report.outcome = RepairOutcome::kRepairable;
    return report;
  }

  // 4. The inverse of the chosen rows' coefficients over the unknown slices.
  Block matrix;
  if (m != 0) {
    matrix = Block(platform, 4 * uint64_t{m} * m);
    if (!matrix) {
      report.outcome = RepairOutcome::kFailed;
      report.problem = "There is not enough memory for the repair.";
      return report;
    }
    if (!invertCoefficients(unknown, chosen, reinterpret_cast<uint16_t*>(matrix.data()))) {
      report.outcome = RepairOutcome::kNotRepairable;
      return report;
    }
  }

  // 5. The rebuilt files: known slices copied, unknown ones solved window by
  // window: residual_r = recovery_r ^ Σ known c_k^e_r · slice_k, then
  // slice_u = Σ_r inverse[u][r] · residual_r.
  auto fail = [&](const std::string& text, bool writing = false) {
    removeRebuilt(platform, &report);
    report.outcome = RepairOutcome::kFailed;
    report.problem = text;
    report.writeFailed = writing;
    return report;
  };
  // Rebuilt segments are opened for each piece written and closed again:
  // thousands open at once could exceed the system's open files, and
  // Windows deletes no open file when a failure removes them.
  std::map<std::size_t, std::string> outputPaths;  // by set file
  for (std::size_t i : toWrite) {
    const std::string path = rebuiltName(platform, options.workFolder, base, set.files[i].segment);
    if (!platform.openFile(path, FileAccess::kWrite, FileShare::kNone, FileCreate::kCreateAlways))
      return fail("The rebuilt segment \"" + path + "\" cannot be written.", true);
    report.temporaries.push_back(path);
    outputPaths[i] = path;
  }
  auto openOutput = [&](std::size_t i) {
    return platform.openFile(outputPaths[i], FileAccess::kWrite, FileShare::kNone,
                             FileCreate::kOpenExisting);
  };
  std::vector<std::size_t> fileOfSlice(set.inputSlices);
  for (std::size_t i = 0; i < set.files.size(); ++i)
    for (std::size_t k = 0; k < set.files[i].slices.size(); ++k)
      fileOfSlice[set.files[i].firstSlice + k] = i;

  if (m != 0) {
    const auto* inverse = reinterpret_cast<const uint16_t*>(matrix.data());
    Block residuals, work;
    uint64_t limit = options.memoryLimit;
    uint64_t w = 0;
    for (;;) {
      w = windowSize(S, m + 1, limit);
      residuals = Block(platform, w * m);
      work = Block(platform, w);
      if (residuals && work) break;
      if (w <= kMinWindow) return fail("There is not enough memory for the repair.");
      limit /= 2;
    }
    // Coefficients prepared once per source slice (and per solved slice),
    // never per piece; the solve takes every residual in one pass.
    std::vector<GfFactor> factors(m);
    std::vector<const uint8_t*> residualRows(m);
    for (std::size_t r = 0; r < m; ++r) residualRows[r] = residuals.data() + r * w;
    for (uint64_t start = 0; start < S; start += w) {
      const uint64_t width = std::min(w, S - start);
      for (std::size_t r = 0; r < m; ++r) {
        std::unique_ptr<File> file = openForReading(platform, chosen[r]->path);
        if (!file || readAt(*file, chosen[r]->packetOffset + kRecoveryHeadSize + start,
                            residuals.data() + r * w, static_cast<std::size_t>(width)) != width)
          return fail("The recovery file \"" + chosen[r]->path + "\" cannot be read.");
      }
      for (uint32_t k = 0; k < set.inputSlices; ++k) {
        if (sources[k].path.empty()) continue;
        if (!going(options)) return stopped();
        const SetFile& f = set.files[fileOfSlice[k]];
        const uint64_t at = (k - f.firstSlice) * S + start;
        if (at >= f.description.length) continue;
        std::size_t bytes = static_cast<std::size_t>(std::min(width, f.description.length - at));
        std::unique_ptr<File> file = openForReading(platform, sources[k].path);
        if (!file || readAt(*file, at, work.data(), bytes) != bytes)
          return fail("The segment \"" + sources[k].path + "\" cannot be read.");
        if (bytes & 1) work.data()[bytes++] = 0;  // the last word's missing high byte
        for (std::size_t r = 0; r < m; ++r) factors[r] = GfFactor(recoveryCoefficient(k, chosen[r]->exponent));
        // Bytes from..to of the slice into every residual; each half of
        // them on a processor of its own.
        auto addSlice = [&](std::size_t from, std::size_t to) {
          for (std::size_t done = from; done < to; done += kCachePiece) {
            std::size_t piece = std::min(kCachePiece, to - done);
            for (std::size_t r = 0; r < m; ++r)
              gfMultiplyAdd(factors[r], work.data() + done, residuals.data() + r * w + done, piece);
          }
        };
        const std::size_t half = bytes / 2 & ~std::size_t{63};
        onTwoThreads([&] { addSlice(0, half); }, [&] { addSlice(half, bytes); });
      }
      for (std::size_t u = 0; u < m; ++u) {
        const std::size_t i = fileOfSlice[unknown[u]];
        if (outputPaths.count(i) == 0) continue;  // a file of another series: solved, not kept
        const SetFile& f = set.files[i];
        const uint64_t at = (unknown[u] - f.firstSlice) * S + start;
        if (at >= f.description.length) continue;
        std::memset(work.data(), 0, static_cast<std::size_t>(width));
        for (std::size_t r = 0; r < m; ++r) factors[r] = GfFactor(inverse[u * 2 * m + m + r]);
        const std::size_t half = static_cast<std::size_t>(width) / 2 & ~std::size_t{63};
        auto solve = [&](std::size_t from, std::size_t to) {
          std::vector<const uint8_t*> rows(m);
          for (std::size_t r = 0; r < m; ++r) rows[r] = residualRows[r] + from;
          gfMultiplyAddMany(factors.data(), rows.data(), m, work.data() + from, to - from);
        };
        onTwoThreads([&] { solve(0, half); },
                     [&] { solve(half, static_cast<std::size_t>(width)); });
        std::size_t bytes = static_cast<std::size_t>(std::min(width, f.description.length - at));
        std::unique_ptr<File> out = openOutput(i);
        const bool written = out && writeAt(*out, at, work.data(), bytes);
        out.reset();
        if (!written)
          return fail("The rebuilt segment \"" + outputPaths[i] +
                      "\" cannot be written. The disk might be full.", true);
      }
    }
  }
  for (std::size_t i : toWrite) {
    const SetFile& f = set.files[i];
    std::unique_ptr<File> out = openOutput(i);
    if (!out) return fail("The rebuilt segment \"" + outputPaths[i] + "\" cannot be written.", true);
    for (std::size_t k = 0; k < f.slices.size(); ++k) {
      const Source& src = sources[f.firstSlice + k];
      if (src.path.empty()) continue;
      if (!going(options)) {
        out.reset();
        return stopped();
      }
      std::unique_ptr<File> from = openForReading(platform, src.path);
      const uint64_t at = k * S;
      if (!from || !copyRange(*from, *out, at, std::min(S, f.description.length - at), buffer)) {
        out.reset();
        return fail("The rebuilt segment \"" + outputPaths[i] + "\" cannot be written.", true);
      }
    }
  }

  // 6. Every rebuilt segment checked whole before anyone reads it.
  for (std::size_t i : toWrite) {
    if (!wholeFileMatches(platform, outputPaths[i], set.files[i].description, buffer))
      return fail("The rebuilt segment \"" + outputPaths[i] + "\" does not match its MD5.");
    report.readFrom[set.files[i].segment] = outputPaths[i];
  }
  for (const auto& [segment, path] : report.readFrom) report.rebuilt.push_back(segment);
  report.outcome = RepairOutcome::kRepaired;
  return report;
}

bool rebuildFirstBytes(Platform& platform, const RecoverySet& set, const std::string& folder,
                       const std::string& base, std::size_t target, std::vector<uint8_t>* out,
                       std::string* problem) {
  auto failWith = [problem](const char* text) {
    *problem = text;
    return false;
  };
  const uint64_t S = set.sliceSize;
  if (target >= set.files.size() || S == 0 || set.inputSlices == 0)
    return failWith("The recovery files do not describe that file.");
  // Bytes 0 .. W - 1 of every slice: the target's first 16 KiB lie within
  // them (in its first slice, or in whole slices when slices are smaller).
  const uint64_t W = std::min<uint64_t>(S, kFirstBytesHashed);  // even: S is a multiple of 4
  const std::size_t w = static_cast<std::size_t>(W);
  const std::string prefix = folder + kPathSeparator + base;
  const SetFile& t = set.files[target];

  std::vector<std::vector<uint8_t>> known(set.inputSlices);  // empty: unknown
  std::vector<uint8_t> first(kFirstBytesHashed);
  for (std::size_t i = 0; i < set.files.size(); ++i) {
    const SetFile& f = set.files[i];
    if (i == target || f.segment == 0) continue;
    std::unique_ptr<File> file = openForReading(platform, segmentOnDisk(platform, prefix, f.segment));
    uint64_t size = 0;
    if (!file || !file->size(&size) || size != f.description.length) continue;
    const std::size_t firstBytes = readAt(*file, 0, first.data(), first.size());
    const bool firstWhole =
        firstBytes == std::min<uint64_t>(size, kFirstBytesHashed) &&
        md5Of(first.data(), firstBytes) == f.description.firstHash;
    for (std::size_t j = 0; j < f.slices.size(); ++j) {
      const uint64_t at = j * S;
      const std::size_t want = static_cast<std::size_t>(std::min(W, size - at));
      std::vector<uint8_t> bytes(w, 0);
      if (readAt(*file, at, bytes.data(), want) != want) continue;
      bool whole;
      if (W == S)
        whole = md5Of(bytes.data(), w) == f.slices[j].md5;  // the slice itself, padded
      else
        whole = j != 0 || firstWhole;  // deeper in the file: nothing to hold it to but the result
      if (whole) known[f.firstSlice + j] = std::move(bytes);
    }
  }
  std::vector<uint32_t> unknown;
  for (uint32_t k = 0; k < set.inputSlices; ++k)
    if (known[k].empty()) unknown.push_back(k);
  const std::size_t m = unknown.size();
  if (m > set.recovery.size() || m > kMaxRepairSlices)
    return failWith("Too little is left of the series to rebuild its first bytes.");

  // Independent recovery slices, and the first W bytes of their data. Only
  // slices whose packet MD5 checks are used: one damaged volume must not
  // spoil the rebuild while another can stand in for it.
  std::vector<std::vector<uint8_t>> residuals;
  std::vector<uint8_t> buffer(kReadPiece);
  const RepairOptions unstopped;
  const std::vector<const RecoverySliceRef*> chosen =
      independentSlices(set, unknown, [&](const RecoverySliceRef& ref) {
        if (!recoveryPacketIntact(platform, ref, S, buffer, unstopped)) return false;
        std::vector<uint8_t> data(w);
        std::unique_ptr<File> file = openForReading(platform, ref.path);
        if (!file || readAt(*file, ref.packetOffset + kRecoveryHeadSize, data.data(), w) != w)
          return false;
        residuals.push_back(std::move(data));
        return true;
      });
  if (chosen.size() < m) return failWith("Too few recovery slices can be read.");

  // residual_r = recovery_r ^ Σ known c_k^e_r · slice_k; then the unknown
  // slices through the inverse of the chosen rows over them.
  for (uint32_t k = 0; k < set.inputSlices; ++k) {
    if (known[k].empty()) continue;
    for (std::size_t r = 0; r < m; ++r)
      gfMultiplyAdd(recoveryCoefficient(k, chosen[r]->exponent), known[k].data(),
                    residuals[r].data(), w);
  }
  std::vector<uint16_t> a(2 * m * m, 0);
  if (m != 0 && !invertCoefficients(unknown, chosen, a.data()))
    return failWith("The recovery slices do not fit together.");

  const uint64_t length = std::min<uint64_t>(t.description.length, kFirstBytesHashed);
  out->assign(static_cast<std::size_t>(length), 0);
  std::vector<uint8_t> solved(w);
  for (std::size_t u = 0; u < m; ++u) {
    const uint32_t k = unknown[u];
    if (k < t.firstSlice || k >= t.firstSlice + t.slices.size()) continue;
    const uint64_t at = (k - t.firstSlice) * S;
    if (at >= length) continue;
    std::fill(solved.begin(), solved.end(), 0);
    for (std::size_t r = 0; r < m; ++r)
      gfMultiplyAdd(a[u * 2 * m + m + r], residuals[r].data(), solved.data(), w);
    std::copy(solved.begin(),
              solved.begin() + static_cast<std::ptrdiff_t>(std::min(W, length - at)),
              out->begin() + static_cast<std::ptrdiff_t>(at));
  }
  if (md5Of(out->data(), out->size()) != t.description.firstHash) {
    out->clear();
    return failWith("The first bytes rebuilt do not match the recovery files' hash.");
  }
  return true;
}

void removeRebuilt(Platform& platform, RepairReport* report) {
  for (const std::string& t : report->temporaries) platform.deleteFile(t);
  report->temporaries.clear();
  report->readFrom.clear();
}

}  // namespace recovery
}  // namespace trep
