#include "engine/recovery/repair.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
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
// data0001.trp. Calling thread only (it may list the folder).
std::string segmentOnDisk(Platform& platform, const std::string& prefix, uint32_t n) {
  return findSegmentPath(platform, prefix, {}, n);
}

constexpr std::size_t kReadPiece = 1 << 20;
constexpr unsigned kCheckThreads = 4;
constexpr std::size_t kCachePiece = 32 << 10;
// Less than this per call is multiplied on the calling thread alone: a
// thread costs more than it saves there.
constexpr std::size_t kWorthASecondThread = 128 << 10;
// Bytes at a time through a repair whose residuals are the check's sums.
constexpr uint64_t kFoldPiece = 4 << 20;

bool going(const RepairOptions& o) { return !o.keepGoing || o.keepGoing(); }

std::unique_ptr<File> openForReading(Platform& platform, const std::string& path,
                                     Status* why = nullptr) {
  return platform.openFile(path, FileAccess::kRead, FileShare::kRead, FileCreate::kOpenExisting,
                           kAttributeNormal, why);
}

// A failure of ours, with no system call behind it: the words alone.
Status because(const std::string& path, const std::string& words) {
  return Status::failure(path, words);
}

// ------------------------------------------------------------- checking ---

// A segment as found: its size and the MD5 of each of its slices, zero-padded
// as the set's checksums are (at most `maxSlices` of them).
struct Scan {
  bool present = false;
  uint64_t size = 0;
  std::vector<Md5Digest> hashes;
};

// The bytes of slice j of a segment as the check reads them, `at` bytes
// into the slice.
using SlicePiece = std::function<void(uint64_t j, uint64_t at, const uint8_t* data, std::size_t n)>;

// False when keepGoing stopped it. `sawPiece` (when given) sees every byte
// hashed.
bool scanSegment(Platform& platform, const std::string& path, uint64_t sliceSize,
                 uint64_t maxSlices, std::vector<uint8_t>& buffer,
                 const std::function<bool()>& keepGoing, const SlicePiece& sawPiece, Scan* scan) {
  std::unique_ptr<File> file = openForReading(platform, path);
  if (!file || !file->size(&scan->size)) return true;
  scan->present = true;
  const uint64_t slices = std::min(slicesOf(scan->size, sliceSize), maxSlices);
  Md5 md5;
  for (uint64_t i = 0; i < slices; ++i) {
    // Bytes that cannot be read count as zeros, and will not match.
    const uint64_t left = std::min(sliceSize, scan->size - i * sliceSize);
    bool stopped = false;
    std::function<void(uint64_t, const uint8_t*, std::size_t)> piece;
    if (sawPiece)
      piece = [&sawPiece, i](uint64_t at, const uint8_t* data, std::size_t n) {
        sawPiece(i, at, data, n);
      };
    const uint64_t got =
        readAndHash(*file, i * sliceSize, left, buffer, md5, keepGoing, &stopped, piece);
    if (stopped) return false;
    md5Zeros(md5, sliceSize - got);
    scan->hashes.push_back(md5.finish());
  }
  return true;
}

// Whether a segment as scanned holds the bytes of set file f: its length,
// and every slice by its MD5.
bool scanHolds(const Scan& s, const SetFile& f) {
  return s.present && s.size == f.description.length && s.hashes.size() == f.slices.size() &&
         std::equal(f.slices.begin(), f.slices.end(), s.hashes.begin(),
                    [](const SliceChecksum& c, const Md5Digest& h) { return c.md5 == h; });
}

bool recoveryPacketIntact(Platform& platform, const RecoverySliceRef& ref, uint64_t sliceSize,
                          std::vector<uint8_t>& buffer, const std::function<bool()>& keepGoing) {
  std::unique_ptr<File> file = openForReading(platform, ref.path);
  if (!file) return false;
  Md5 md5;
  const uint64_t from = ref.packetOffset + kPacketSetIdOffset;
  const uint64_t n = kRecoveryHeadSize - kPacketSetIdOffset + sliceSize;
  return readAndHash(*file, from, n, buffer, md5, keepGoing) == n && md5.finish() == ref.hash;
}

// -------------------------------------------------------------- solving ---

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

// The unknown input slices of a set solved from as many independent
// recovery slices, one window of bytes at a time (the same offsets in every
// slice):
//   residual_r = recovery_r ^ Σ over known k of c(k, e_r) · slice_k
//   slice_u    = Σ_r inverse[u][r] · residual_r
// For each window: fill residual(r) with recovery slice r's bytes, add
// every known slice's bytes (addKnown), then solve(u) gives the bytes of
// unknown slice u. The repair and the rebuild of a file's first bytes both
// go through it; they differ only in the window and where bytes come from.
class Solver {
 public:
  Solver(Platform& platform, const std::vector<uint32_t>& unknown,
         const std::vector<const RecoverySliceRef*>& chosen)
      : platform_(platform), unknown_(unknown), chosen_(chosen), factors_(unknown.size()) {}

  // The inverse of the chosen rows over the unknown slices, and room for a
  // window of every residual: the widest up to `sliceBytes` within
  // `memoryLimit`, narrowed while memory is short, never below kMinWindow.
  // *singular when the chosen rows have no inverse.
  Status prepare(uint64_t sliceBytes, uint64_t memoryLimit, bool* singular) {
    const std::size_t m = unknown_.size();
    if (Status s = invertChosen(singular); !s) return s;
    for (uint64_t limit = memoryLimit;; limit /= 2) {
      window_ = windowSize(sliceBytes, m + 1, limit);
      residuals_ = Block(platform_, window_ * m);
      work_ = Block(platform_, window_);
      if (residuals_ && work_) {
        workBytes_ = window_;
        rows_.clear();
        for (std::size_t r = 0; r < m; ++r) rows_.push_back(residuals_.data() + r * window_);
        return Status();
      }
      if (window_ <= kMinWindow) return because("", "There is not enough memory for the repair.");
    }
  }

  // As prepare, over residuals the caller holds already: `rows`, one per
  // chosen recovery slice, of `window` bytes each (a whole slice), with
  // `workBytes` of scratch memory.
  Status prepareOn(std::vector<uint8_t*> rows, uint64_t window, uint64_t workBytes,
                   bool* singular) {
    if (Status s = invertChosen(singular); !s) return s;
    window_ = window;
    residuals_.reset();
    work_ = Block(platform_, workBytes);
    if (!work_) return because("", "There is not enough memory for the repair.");
    workBytes_ = workBytes;
    rows_ = std::move(rows);
    return Status();
  }

  std::size_t window() const { return static_cast<std::size_t>(window_); }
  uint8_t* residual(std::size_t r) { return rows_[r]; }
  // workBytes() of scratch memory (a window, unless prepareOn said
  // otherwise), for the caller's reads and results.
  uint8_t* work() { return work_.data(); }
  std::size_t workBytes() const { return static_cast<std::size_t>(workBytes_); }

  // `bytes` (even) of known input slice k, at the window's offsets from
  // `at` on, into every residual.
  void addKnown(uint32_t k, const uint8_t* data, std::size_t bytes, std::size_t at = 0) {
    const std::size_t m = unknown_.size();
    for (std::size_t r = 0; r < m; ++r)
      factors_[r] = GfFactor(recoveryCoefficient(k, chosen_[r]->exponent));
    auto add = [&](std::size_t from, std::size_t to) {
      for (std::size_t done = from; done < to; done += kCachePiece) {
        const std::size_t piece = std::min(kCachePiece, to - done);
        for (std::size_t r = 0; r < m; ++r)
          gfMultiplyAdd(factors_[r], data + done, residual(r) + at + done, piece);
      }
    };
    split(bytes, add);
  }

  // Unknown slice u over `width` bytes of the window from `at` on into `out`.
  void solve(std::size_t u, uint8_t* out, std::size_t width, std::size_t at = 0) {
    const std::size_t m = unknown_.size();
    const auto* a = reinterpret_cast<const uint16_t*>(inverse_.data());
    for (std::size_t r = 0; r < m; ++r) factors_[r] = GfFactor(a[u * 2 * m + m + r]);
    std::memset(out, 0, width);
    split(width, [&](std::size_t from, std::size_t to) {
      std::vector<const uint8_t*> rows(m);
      for (std::size_t r = 0; r < m; ++r) rows[r] = residual(r) + at + from;
      gfMultiplyAddMany(factors_.data(), rows.data(), m, out + from, to - from);
    });
  }

 private:
  // Work on bytes 0 .. n: each half on a processor of its own when worth it.
  template <typename Work>
  static void split(std::size_t n, Work work) {
    if (n < kWorthASecondThread) return work(0, n);
    const std::size_t half = n / 2 & ~std::size_t{63};
    onTwoThreads([&] { work(0, half); }, [&] { work(half, n); });
  }

  // The inverse of the chosen rows' coefficients over the unknown slices.
  Status invertChosen(bool* singular) {
    const std::size_t m = unknown_.size();
    *singular = false;
    inverse_ = Block(platform_, 4 * uint64_t{m} * m);
    if (!inverse_) return because("", "There is not enough memory for the repair.");
    auto* a = reinterpret_cast<uint16_t*>(inverse_.data());
    for (std::size_t r = 0; r < m; ++r) {
      for (std::size_t u = 0; u < m; ++u)
        a[r * 2 * m + u] = recoveryCoefficient(unknown_[u], chosen_[r]->exponent);
      a[r * 2 * m + m + r] = 1;
    }
    // Independent rows (independentSlices) make it regular; a set that
    // repeats an exponent under two packets could still get here.
    if (!invert(a, m)) {
      *singular = true;
      return because("", "The recovery slices do not fit together.");
    }
    return Status();
  }

  Platform& platform_;
  const std::vector<uint32_t>& unknown_;
  const std::vector<const RecoverySliceRef*>& chosen_;
  std::vector<GfFactor> factors_;
  Block inverse_;  // m rows of 2m words; the inverse in the right half
  Block residuals_;
  std::vector<uint8_t*> rows_;  // residual r's window
  Block work_;
  uint64_t window_ = 0;
  uint64_t workBytes_ = 0;
};

// ------------------------------------------------------------ rebuilding ---

std::string rebuiltName(Platform& platform, const std::string& workFolder, const std::string& base,
                        uint32_t segment) {
  const std::string stem = workFolder + kPathSeparator + base + zeroPadded(segment, 4) + ".trp";
  std::string name = stem + ".rebuilt";
  for (uint32_t n = 2; platform.fileAttributes(name) != kInvalidAttributes; ++n)
    name = stem + ".rebuilt" + std::to_string(n);
  return name;
}

// n bytes at `offset`: the system's reason when they cannot be written.
Status writeRebuilt(File& file, uint64_t offset, const uint8_t* data, std::size_t n) {
  if (Status s = file.seek(offset); !s) return s;
  while (n != 0) {
    const uint32_t want = n > 0x40000000u ? 0x40000000u : static_cast<uint32_t>(n);
    uint32_t done = 0;
    if (Status s = file.write(data, want, &done); !s) return s;
    if (done != want) return because("", "The disk might be full.");
    data += want;
    n -= want;
  }
  return Status();
}

bool wholeFileMatches(Platform& platform, const std::string& path, const FileDescription& d,
                      std::vector<uint8_t>& buffer) {
  std::unique_ptr<File> file = openForReading(platform, path);
  uint64_t size = 0;
  if (!file || !file->size(&size) || size != d.length) return false;
  Md5 md5;
  return readAndHash(*file, 0, size, buffer, md5) == size && md5.finish() == d.hash;
}

// ---------------------------------------------------------------- repair ---

// One repair of a series, as the steps it takes in order:
//   sliceSizeBacked       find: a set whose sizes the disk backs
//   checkSegments         check: every segment, slice by slice, by its MD5
//   locateSlices          choose: where each input slice's bytes are, if anywhere
//   chooseRecoverySlices  choose: independent, intact recovery slices for the rest
//   createOutputs, solveUnknown, copyKnown   solve and rebuild
//   verify                every rebuilt segment by its whole MD5
// A step returns whether the repair goes on; when it does not, the report
// holds the outcome (and nothing rebuilt is left behind).
class SeriesRepair {
 public:
  SeriesRepair(Platform& platform, const RecoverySet& set, const std::string& folder,
               const std::string& base, const RepairOptions& options)
      : platform_(platform),
        set_(set),
        base_(base),
        options_(options),
        prefix_(folder + kPathSeparator + base),
        buffer_(kReadPiece) {
    // Resolved here, on the calling thread: the check reads them from others.
    for (const SetFile& f : set.files)
      paths_.push_back(f.segment == 0 ? std::string()
                                      : segmentOnDisk(platform, prefix_, f.segment));
  }

  RepairReport run() {
    if (!sliceSizeBacked()) return std::move(report_);
    startFold();
    if (!checkSegments()) return std::move(report_);
    if (report_.missing.empty() && report_.damaged.empty()) return std::move(report_);  // kIntact
    locateSlices();
    if (!chooseRecoverySlices()) return std::move(report_);
    if (options_.checkOnly) {
      report_.outcome = RepairOutcome::kRepairable;
      return std::move(report_);
    }
    if (!createOutputs() || !solveUnknown() || !copyKnown() || !verify())
      return std::move(report_);
    for (const auto& [segment, path] : report_.readFrom) report_.rebuilt.push_back(segment);
    report_.outcome = RepairOutcome::kRepaired;
    return std::move(report_);
  }

 private:
  // A slice size is only believed when bytes on disk back it: a recovery
  // slice of that size, or segments not far below it. Checking a segment
  // hashes its last slice padded with zeros to the slice size, so a set
  // that claims vast slices over small files would keep the check busy for
  // hours.
  bool sliceSizeBacked() {
    if (!set_.recovery.empty()) return true;
    uint64_t largest = 0;
    for (const std::string& path : paths_) {
      if (path.empty()) continue;
      std::unique_ptr<File> file = openForReading(platform_, path);
      uint64_t size = 0;
      if (file && file->size(&size)) largest = std::max(largest, size);
    }
    if (set_.sliceSize / 64 <= largest) return true;
    report_.outcome = RepairOutcome::kNotRepairable;
    report_.problem = "The recovery files claim slices far larger than the segments.";
    return false;
  }

  // While the check hashes each segment, its slices are multiplied into
  // sums over the set's first recovery slices too, so that a repair reads
  // every whole segment once: a residual is then its sum, corrected for
  // the slices the check found damaged or found elsewhere, XOR the recovery
  // slice (solveFolded). As many sums as segments are missing or of another
  // length (at least one), and only when they fit the memory with a slice
  // to spare; a repair that needs other recovery slices, or more, makes its
  // residuals window by window instead (solveWindows).
  void startFold() {
    const uint64_t S = set_.sliceSize;
    if (options_.checkOnly || set_.recovery.empty() || S == 0 || S % 4 != 0) return;
    uint64_t wanted = 0;
    for (std::size_t i = 0; i < set_.files.size(); ++i) {
      if (paths_[i].empty()) continue;
      std::unique_ptr<File> file = openForReading(platform_, paths_[i]);
      uint64_t size = 0;
      if (!file || !file->size(&size) || size != set_.files[i].description.length) ++wanted;
    }
    segmentsCut_ = wanted != 0;
    wanted = std::min<uint64_t>(std::max<uint64_t>(wanted, 1), set_.recovery.size());
    if (S > (options_.memoryLimit - std::min(S, kFoldPiece)) / wanted) return;
    auto fold = std::make_unique<Fold>();
    fold->sums = Block(platform_, wanted * S);
    if (!fold->sums) return;
    for (uint64_t r = 0; r < wanted; ++r) fold->refs.push_back(&set_.recovery[r]);
    fold->from.assign(set_.inputSlices, std::string());
    fold->bytes.assign(set_.inputSlices, 0);
    fold_ = std::move(fold);
  }

  // n bytes of slice j of set file i, `at` bytes into it, into every sum.
  // From the check's threads.
  void foldIn(std::size_t i, uint64_t j, uint64_t at, const uint8_t* data, std::size_t n) {
    const SetFile& f = set_.files[i];
    if (j >= f.slices.size()) return;  // beyond what the set records of the file
    const uint32_t k = f.firstSlice + static_cast<uint32_t>(j);
    const uint64_t S = set_.sliceSize;
    std::vector<GfFactor> factors;
    for (const RecoverySliceRef* ref : fold_->refs)
      factors.emplace_back(recoveryCoefficient(k, ref->exponent));
    const std::size_t even = n & ~std::size_t{1};
    const uint8_t last[2] = {n & 1 ? data[n - 1] : uint8_t{0}, 0};  // the odd byte, as a word
    std::lock_guard<std::mutex> lock(fold_->mutex);
    for (std::size_t r = 0; r < factors.size(); ++r) {
      uint8_t* row = fold_->sums.data() + r * S + at;
      gfMultiplyAdd(factors[r], data, row, even);
      if (n & 1) gfMultiplyAdd(factors[r], last, row + even, 2);
    }
    fold_->from[k] = paths_[i];
    fold_->bytes[k] = at + n;
  }

  // Each segment of the set, slice by slice; MD5 is the slow part, so
  // segments are checked side by side on up to kCheckThreads processors.
  // The recovery packets the sums fold are checked by their MD5 after the
  // segments, on the same threads: a repair needs them next, and the last
  // segments' check leaves processors free for them.
  // Only the calling thread asks keepGoing; the others see its answer.
  bool checkSegments() {
    uint64_t maxSlices = 0;
    for (const SetFile& f : set_.files) maxSlices = std::max<uint64_t>(maxSlices, f.slices.size());
    scans_.assign(set_.files.size(), Scan{});
    // Only for a repair known to come: a series found whole reads no packet.
    packetsChecked_.assign(fold_ && segmentsCut_ ? fold_->refs.size() : 0, kPacketUnchecked);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    auto work = [&](bool caller) {
      std::vector<uint8_t> own(kReadPiece);
      const std::function<bool()> keepGoing = [&]() {
        if (caller && !going(options_)) stop = true;
        return !stop.load();
      };
      for (std::size_t i; (i = next++) < set_.files.size() + packetsChecked_.size();) {
        if (i >= set_.files.size()) {
          const std::size_t r = i - set_.files.size();
          packetsChecked_[r] = recoveryPacketIntact(platform_, *fold_->refs[r], set_.sliceSize,
                                                    own, keepGoing)
                                   ? kPacketIntact
                                   : kPacketNotIntact;
          continue;
        }
        if (paths_[i].empty()) continue;  // not of this series: never read, its slices unknown
        SlicePiece foldPiece;
        if (fold_ || options_.bytesChecked)
          foldPiece = [this, i](uint64_t j, uint64_t at, const uint8_t* data, std::size_t n) {
            if (options_.bytesChecked) *options_.bytesChecked += n;
            if (fold_) foldIn(i, j, at, data, n);
          };
        if (!scanSegment(platform_, paths_[i], set_.sliceSize, maxSlices, own, keepGoing,
                         foldPiece, &scans_[i]))
          return;
      }
    };
    const unsigned processors = std::thread::hardware_concurrency();
    const unsigned helpers =
        std::min<unsigned>(processors > 1 ? processors - 1 : 0, kCheckThreads - 1);
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < helpers && t + 1 < set_.files.size(); ++t) {
      try {
        threads.emplace_back(work, false);
      } catch (const std::system_error&) {
        break;  // no thread to be had: the calling thread checks the rest
      }
    }
    work(true);
    for (std::thread& t : threads) t.join();
    if (stop) return stopped();

    intact_.assign(set_.files.size(), false);
    for (std::size_t i = 0; i < set_.files.size(); ++i) {
      const SetFile& f = set_.files[i];
      if (f.segment == 0) continue;
      intact_[i] = scanHolds(scans_[i], f);
      if (!scans_[i].present)
        report_.missing.push_back(f.segment);
      else if (!intact_[i])
        report_.damaged.push_back(f.segment);
    }
    std::sort(report_.missing.begin(), report_.missing.end());
    std::sort(report_.damaged.begin(), report_.damaged.end());
    return true;
  }

  // Where each input slice can be read from: its own segment where its MD5
  // matches, a segment that holds another's bytes whole (two swapped), or
  // nowhere (unknown, to be solved).
  void locateSlices() {
    sources_.assign(set_.inputSlices, std::string());
    for (std::size_t i = 0; i < set_.files.size(); ++i) {
      const SetFile& f = set_.files[i];
      if (intact_[i]) {
        for (std::size_t k = 0; k < f.slices.size(); ++k) sources_[f.firstSlice + k] = paths_[i];
        continue;
      }
      if (f.segment == 0) continue;
      std::size_t whole = set_.files.size();
      for (std::size_t j = 0; j < set_.files.size() && whole == set_.files.size(); ++j)
        if (j != i && scanHolds(scans_[j], f)) whole = j;
      if (whole != set_.files.size()) {
        for (std::size_t k = 0; k < f.slices.size(); ++k)
          sources_[f.firstSlice + k] = paths_[whole];
        report_.readFrom[f.segment] = paths_[whole];
        continue;
      }
      const Scan& s = scans_[i];
      for (std::size_t k = 0; k < f.slices.size() && k < s.hashes.size(); ++k)
        if (s.hashes[k] == f.slices[k].md5) sources_[f.firstSlice + k] = paths_[i];
      toWrite_.push_back(i);
    }
    for (uint32_t k = 0; k < set_.inputSlices; ++k)
      if (sources_[k].empty()) unknown_.push_back(k);
    report_.slicesNeeded = static_cast<uint32_t>(unknown_.size());
    fileOfSlice_.assign(set_.inputSlices, 0);
    for (std::size_t i = 0; i < set_.files.size(); ++i)
      for (std::size_t k = 0; k < set_.files[i].slices.size(); ++k)
        fileOfSlice_[set_.files[i].firstSlice + k] = i;
  }

  // Recovery slices whose rows are independent, each checked whole by its
  // packet's MD5, as many as there are unknown slices.
  bool chooseRecoverySlices() {
    const std::size_t m = unknown_.size();
    if (m > kMaxRepairSlices) {
      report_.outcome = RepairOutcome::kNotRepairable;
      report_.problem = "More slices are damaged than one repair takes on.";
      return false;
    }
    bool stopAsked = false;
    const std::function<bool()> keepGoing = [this] { return going(options_); };
    chosen_ = independentSlices(
        set_, unknown_,
        [&](const RecoverySliceRef& ref) {
          for (std::size_t r = 0; fold_ && r < packetsChecked_.size(); ++r)
            if (fold_->refs[r] == &ref && packetsChecked_[r] != kPacketUnchecked)
              return packetsChecked_[r] == kPacketIntact;
          return recoveryPacketIntact(platform_, ref, set_.sliceSize, buffer_, keepGoing);
        },
        [&] { return stopAsked = !going(options_); });
    if (stopAsked) return stopped();
    report_.slicesAvailable = static_cast<uint32_t>(chosen_.size());
    if (chosen_.size() < m) {
      report_.outcome = RepairOutcome::kNotRepairable;
      return false;
    }
    return true;
  }

  // The rebuilt segments, empty, in the work folder. They are opened for
  // each piece written and closed again: thousands open at once could
  // exceed the system's open files, and Windows deletes no open file when
  // a failure removes them.
  bool createOutputs() {
    for (std::size_t i : toWrite_) {
      const std::string path =
          rebuiltName(platform_, options_.workFolder, base_, set_.files[i].segment);
      Status why;
      if (!platform_.openFile(path, FileAccess::kWrite, FileShare::kNone,
                              FileCreate::kCreateAlways, kAttributeNormal, &why))
        return fail("The rebuilt segment \"" + path + "\" cannot be written.", why, true);
      report_.temporaries.push_back(path);
      outputPaths_[i] = path;
    }
    return true;
  }

  std::unique_ptr<File> openOutput(std::size_t i, Status* why) {
    return platform_.openFile(outputPaths_[i], FileAccess::kWrite, FileShare::kNone,
                              FileCreate::kOpenExisting, kAttributeNormal, why);
  }

  // The unknown slices solved into the rebuilt segments: from the check's
  // sums when they serve, else window by window.
  bool solveUnknown() {
    if (unknown_.empty()) return true;
    if (fold_) {
      bool served = true;
      const bool goOn = solveFolded(&served);
      fold_.reset();
      if (served) return goOn;
    }
    return solveWindows();
  }

  // A solver that could not be prepared: the chosen slices do not fit
  // together, or there is no memory.
  bool unprepared(const Status& why, bool singular) {
    if (!singular) return fail(why.reason());
    removeRebuilt(platform_, &report_);
    report_.outcome = RepairOutcome::kNotRepairable;
    return false;
  }

  // The residuals from the check's sums. *served false (and nothing
  // written) when they do not serve: other recovery slices chosen, or a
  // slice folded in that cannot be read again to take it out.
  bool solveFolded(bool* served) {
    const uint64_t S = set_.sliceSize;
    std::vector<uint8_t*> rows;
    for (const RecoverySliceRef* ref : chosen_) {
      auto it = std::find(fold_->refs.begin(), fold_->refs.end(), ref);
      if (it == fold_->refs.end()) return *served = false;
      rows.push_back(fold_->sums.data() + (it - fold_->refs.begin()) * S);
    }
    Solver solver(platform_, unknown_, chosen_);
    bool singular = false;
    const uint64_t piece = std::min(S, kFoldPiece);
    if (Status s = solver.prepareOn(rows, S, piece, &singular); !s) return unprepared(s, singular);
    uint8_t* work = solver.work();
    // n bytes of `path` from `at` on, piece by piece, into every residual
    // as slice k's; false when they cannot be read. `zeroTail`: a slice
    // found by its zero-padded checksum in a file cut within its trailing
    // zeros, whose bytes past the file's end are those zeros.
    auto add = [&](uint32_t k, const std::string& path, uint64_t at, uint64_t n,
                   bool zeroTail = false) {
      std::unique_ptr<File> file = openForReading(platform_, path);
      for (uint64_t done = 0; done < n; done += piece) {
        std::size_t bytes = static_cast<std::size_t>(std::min(piece, n - done));
        const std::size_t got = file ? readAt(*file, at + done, work, bytes) : 0;
        if (!file || (got != bytes && !zeroTail)) return false;
        std::fill(work + got, work + bytes, uint8_t{0});
        if (bytes & 1) work[bytes++] = 0;  // the last word's missing high byte
        solver.addKnown(k, work, bytes, static_cast<std::size_t>(done));
      }
      return true;
    };
    for (uint32_t k = 0; k < set_.inputSlices; ++k) {
      const SetFile& f = set_.files[fileOfSlice_[k]];
      const uint64_t at = (k - f.firstSlice) * S;
      const std::string& had = fold_->from[k];
      const std::string& own = sources_[k];
      const uint64_t folded = fold_->bytes[k];
      const uint64_t bytes = own.empty() ? 0 : std::min(S, f.description.length - at);
      if (had == own && folded == bytes) continue;  // folded in as it is to be
      if (!going(options_)) return stopped();
      // Bytes folded in as slice k that are not its own: added again, which
      // takes them out.
      if (folded != 0 && !add(k, had, at, folded)) return *served = false;
      if (bytes != 0 && !add(k, own, at, bytes, true))
        return fail("The segment \"" + own + "\" cannot be read.");
    }
    static const GfFactor kOne(1);
    for (std::size_t r = 0; r < chosen_.size(); ++r) {
      Status why;
      std::unique_ptr<File> file = openForReading(platform_, chosen_[r]->path, &why);
      for (uint64_t done = 0; done < S; done += piece) {
        const std::size_t bytes = static_cast<std::size_t>(std::min(piece, S - done));
        if (!file || readAt(*file, chosen_[r]->packetOffset + kRecoveryHeadSize + done, work,
                            bytes) != bytes)
          return fail("The recovery file \"" + chosen_[r]->path + "\" cannot be read.", why);
        gfMultiplyAdd(kOne, work, solver.residual(r) + done, bytes);  // XOR
      }
    }
    return writeSolved(solver, 0, static_cast<std::size_t>(S));
  }

  // The unknown slices, window by window, into the rebuilt segments.
  bool solveWindows() {
    const std::size_t m = unknown_.size();
    const uint64_t S = set_.sliceSize;
    Solver solver(platform_, unknown_, chosen_);
    bool singular = false;
    if (Status s = solver.prepare(S, options_.memoryLimit, &singular); !s)
      return unprepared(s, singular);
    const uint64_t w = solver.window();
    uint8_t* work = solver.work();
    for (uint64_t start = 0; start < S; start += w) {
      const std::size_t width = static_cast<std::size_t>(std::min(w, S - start));
      for (std::size_t r = 0; r < m; ++r) {
        Status why;
        std::unique_ptr<File> file = openForReading(platform_, chosen_[r]->path, &why);
        if (!file || readAt(*file, chosen_[r]->packetOffset + kRecoveryHeadSize + start,
                            solver.residual(r), width) != width)
          return fail("The recovery file \"" + chosen_[r]->path + "\" cannot be read.", why);
      }
      for (uint32_t k = 0; k < set_.inputSlices; ++k) {
        if (sources_[k].empty()) continue;
        if (!going(options_)) return stopped();
        const SetFile& f = set_.files[fileOfSlice_[k]];
        const uint64_t at = (k - f.firstSlice) * S + start;
        if (at >= f.description.length) continue;
        std::size_t bytes = static_cast<std::size_t>(std::min<uint64_t>(width, f.description.length - at));
        Status why;
        std::unique_ptr<File> file = openForReading(platform_, sources_[k], &why);
        if (!file) return fail("The segment \"" + sources_[k] + "\" cannot be read.", why);
        // Past the end of a file cut within its trailing zeros: those zeros
        // (the slice was found by its zero-padded checksum).
        const std::size_t got = readAt(*file, at, work, bytes);
        std::fill(work + got, work + bytes, uint8_t{0});
        if (bytes & 1) work[bytes++] = 0;  // the last word's missing high byte
        solver.addKnown(k, work, bytes);
      }
      if (!writeSolved(solver, start, width)) return false;
    }
    return true;
  }

  // The unknown slices of the rebuilt segments over `width` bytes from
  // `start` of each slice, solved and written, as much at a time as the
  // solver's scratch memory holds.
  bool writeSolved(Solver& solver, uint64_t start, std::size_t width) {
    const uint64_t S = set_.sliceSize;
    uint8_t* work = solver.work();
    const std::size_t piece = solver.workBytes();
    for (std::size_t u = 0; u < unknown_.size(); ++u) {
      const std::size_t i = fileOfSlice_[unknown_[u]];
      if (outputPaths_.count(i) == 0) continue;  // a file of another series: solved, not kept
      const SetFile& f = set_.files[i];
      for (std::size_t done = 0; done < width; done += piece) {
        const uint64_t at = (unknown_[u] - f.firstSlice) * S + start + done;
        if (at >= f.description.length) break;
        const std::size_t n = std::min(piece, width - done);
        solver.solve(u, work, n, done);
        const std::size_t bytes =
            static_cast<std::size_t>(std::min<uint64_t>(n, f.description.length - at));
        Status why;
        std::unique_ptr<File> out = openOutput(i, &why);
        if (out) why = writeRebuilt(*out, at, work, bytes);
        out.reset();
        if (!why)
          return fail("The rebuilt segment \"" + outputPaths_[i] +
                          "\" cannot be written. The disk might be full.",
                      why, true);
      }
    }
    return true;
  }

  // The known slices of every rebuilt segment, copied from where they are.
  bool copyKnown() {
    const uint64_t S = set_.sliceSize;
    for (std::size_t i : toWrite_) {
      const SetFile& f = set_.files[i];
      const std::string cannot = "The rebuilt segment \"" + outputPaths_[i] + "\" cannot be written.";
      Status why;
      std::unique_ptr<File> out = openOutput(i, &why);
      if (!out) return fail(cannot, why, true);
      for (std::size_t k = 0; k < f.slices.size(); ++k) {
        const std::string& from = sources_[f.firstSlice + k];
        if (from.empty()) continue;
        if (!going(options_)) {
          out.reset();
          return stopped();
        }
        Status read;
        std::unique_ptr<File> in = openForReading(platform_, from, &read);
        const uint64_t at = k * S;
        const uint64_t length = std::min(S, f.description.length - at);
        // The slice was found by its checksum over its bytes zero-padded to
        // S: where its file ends early (cut within trailing zeros), the
        // bytes it lacks are those zeros.
        for (uint64_t done = 0; in && why && done < length;) {
          const std::size_t want =
              static_cast<std::size_t>(std::min<uint64_t>(buffer_.size(), length - done));
          const std::size_t got = readAt(*in, at + done, buffer_.data(), want);
          std::fill(buffer_.begin() + static_cast<std::ptrdiff_t>(got),
                    buffer_.begin() + static_cast<std::ptrdiff_t>(want), uint8_t{0});
          why = writeRebuilt(*out, at + done, buffer_.data(), want);
          done += want;
        }
        if (!in) {
          out.reset();
          return fail("The segment \"" + from + "\" cannot be read.", read);
        }
        if (!why) {
          out.reset();
          return fail(cannot, why, true);
        }
      }
    }
    return true;
  }

  // Every rebuilt segment checked whole before anyone reads it.
  bool verify() {
    for (std::size_t i : toWrite_) {
      if (!wholeFileMatches(platform_, outputPaths_[i], set_.files[i].description, buffer_))
        return fail("The rebuilt segment \"" + outputPaths_[i] + "\" does not match its MD5.");
      report_.readFrom[set_.files[i].segment] = outputPaths_[i];
    }
    return true;
  }

  bool fail(const std::string& text, const Status& why = Status(), bool writing = false) {
    removeRebuilt(platform_, &report_);
    report_.outcome = RepairOutcome::kFailed;
    report_.problem = text;
    report_.failure = why;
    report_.writeFailed = writing;
    return false;
  }

  bool stopped() {
    removeRebuilt(platform_, &report_);
    report_.outcome = RepairOutcome::kStopped;
    return false;
  }

  Platform& platform_;
  const RecoverySet& set_;
  const std::string base_;
  const RepairOptions& options_;
  const std::string prefix_;
  std::vector<uint8_t> buffer_;
  RepairReport report_;

  std::vector<std::string> paths_;         // by set file: its segment on disk; empty: none
  std::vector<Scan> scans_;                // by set file
  std::vector<bool> intact_;               // by set file
  std::vector<std::string> sources_;       // by input slice: where its bytes are; empty: unknown
  std::vector<std::size_t> fileOfSlice_;   // by input slice
  std::vector<std::size_t> toWrite_;       // set files rebuilt from slices
  std::vector<uint32_t> unknown_;          // input slices to solve
  std::vector<const RecoverySliceRef*> chosen_;  // one per unknown slice
  std::map<std::size_t, std::string> outputPaths_;  // by set file

  // The check's sums (startFold).
  struct Fold {
    std::vector<const RecoverySliceRef*> refs;  // the set's first recovery slices
    Block sums;                                 // one row of sliceSize bytes per ref
    std::vector<std::string> from;              // by input slice: the file folded in as it
    std::vector<uint64_t> bytes;                // by input slice: how many of its bytes
    std::mutex mutex;
  };
  std::unique_ptr<Fold> fold_;
  // By fold_->refs: what the check found of each packet's MD5.
  enum PacketCheck : uint8_t { kPacketUnchecked, kPacketIntact, kPacketNotIntact };
  std::vector<PacketCheck> packetsChecked_;
  bool segmentsCut_ = false;  // segments missing or of another length before the check
};

}  // namespace

uint64_t bytesToCheck(const RecoverySet& set) {
  uint64_t bytes = 0;
  for (const SetFile& f : set.files)
    if (f.segment != 0) bytes += f.description.length;
  return bytes;
}

RepairReport repairSeries(Platform& platform, const RecoverySet& set, const std::string& folder,
                          const std::string& base, const RepairOptions& options) {
  return SeriesRepair(platform, set, folder, base, options).run();
}

Status rebuildFirstBytes(Platform& platform, const RecoverySet& set, const std::string& folder,
                         const std::string& base, std::size_t target, std::vector<uint8_t>* out) {
  const uint64_t S = set.sliceSize;
  if (target >= set.files.size() || S == 0 || set.inputSlices == 0)
    return because("", "The recovery files do not describe that file.");
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
    SegmentLook look;
    if (!file || !file->size(&look.length) || look.length != f.description.length) continue;
    const uint64_t size = look.length;
    look.present = true;
    look.firstHash = md5Of(first.data(), readAt(*file, 0, first.data(), first.size()));
    const bool firstWhole = matchesDescription(look, f.description);
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
    return because("", "Too little is left of the series to rebuild its first bytes.");

  // Independent recovery slices, and the first W bytes of their data. Only
  // slices whose packet MD5 checks are used: one damaged volume must not
  // spoil the rebuild while another can stand in for it.
  std::vector<std::vector<uint8_t>> recoveryBytes;
  std::vector<uint8_t> buffer(kReadPiece);
  const std::vector<const RecoverySliceRef*> chosen =
      independentSlices(set, unknown, [&](const RecoverySliceRef& ref) {
        if (!recoveryPacketIntact(platform, ref, S, buffer, nullptr)) return false;
        std::vector<uint8_t> data(w);
        std::unique_ptr<File> file = openForReading(platform, ref.path);
        if (!file || readAt(*file, ref.packetOffset + kRecoveryHeadSize, data.data(), w) != w)
          return false;
        recoveryBytes.push_back(std::move(data));
        return true;
      });
  if (chosen.size() < m) return because("", "Too few recovery slices can be read.");

  const uint64_t length = std::min<uint64_t>(t.description.length, kFirstBytesHashed);
  out->assign(static_cast<std::size_t>(length), 0);
  if (m != 0) {
    // One window: the first W bytes of every slice.
    Solver solver(platform, unknown, chosen);
    bool singular = false;
    if (Status s = solver.prepare(W, UINT64_MAX, &singular); !s) {
      out->clear();
      return s;
    }
    for (std::size_t r = 0; r < m; ++r)
      std::copy(recoveryBytes[r].begin(), recoveryBytes[r].end(), solver.residual(r));
    for (uint32_t k = 0; k < set.inputSlices; ++k)
      if (!known[k].empty()) solver.addKnown(k, known[k].data(), w);
    for (std::size_t u = 0; u < m; ++u) {
      const uint32_t k = unknown[u];
      if (k < t.firstSlice || k >= t.firstSlice + t.slices.size()) continue;
      const uint64_t at = (k - t.firstSlice) * S;
      if (at >= length) continue;
      solver.solve(u, solver.work(), w);
      std::copy(solver.work(), solver.work() + std::min(W, length - at),
                out->begin() + static_cast<std::ptrdiff_t>(at));
    }
  }
  if (md5Of(out->data(), out->size()) != t.description.firstHash) {
    out->clear();
    return because("", "The first bytes rebuilt do not match the recovery files' hash.");
  }
  return Status();
}

void removeRebuilt(Platform& platform, RepairReport* report) {
  for (const std::string& t : report->temporaries) platform.deleteFile(t);
  report->temporaries.clear();
  report->readFrom.clear();
}

}  // namespace recovery
}  // namespace trep
