#include "engine/recovery/recovery_writer.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "engine/recovery/block_io.h"
#include "engine/recovery/gf16.h"

namespace trep {
namespace recovery {
namespace {

// dst ^= f · src for n bytes that start at byte `offset` of a slice (and of
// dst's window, which starts at an even offset). A piece may start or end
// inside a 16-bit word; the product is linear, so a lone low or high byte
// contributes c·b or c·(b << 8) to its word.
void addProduct(const GfFactor& f, const uint8_t* src, uint8_t* dst, uint64_t offset,
                std::size_t n) {
  if (n == 0 || f.value == 0) return;
  if (offset & 1) {
    uint16_t p = gfMultiply(f.value, static_cast<uint16_t>(src[0] << 8));
    dst[-1] ^= static_cast<uint8_t>(p);
    dst[0] ^= static_cast<uint8_t>(p >> 8);
    ++src;
    ++dst;
    --n;
  }
  const std::size_t even = n & ~std::size_t{1};
  gfMultiplyAdd(f, src, dst, even);
  if (n & 1) {
    uint16_t p = gfMultiply(f.value, src[even]);
    dst[even] ^= static_cast<uint8_t>(p);
    dst[even + 1] ^= static_cast<uint8_t>(p >> 8);
  }
}

// Bytes of source taken at a time against every recovery slice: small
// enough that the piece stays in the processor's cache between them.
constexpr std::size_t kCachePiece = 32 << 10;

// Fed bytes wait for the workers in a ring of a 32nd of the memory limit,
// at most kFeedRing, in pieces of at most a quarter of it.
constexpr std::size_t kFeedRing = 4 << 20;
constexpr std::size_t kMinFeedRing = 4096;

// The fed bytes on their way from the caller (the split's copy loop) to two
// workers: one hashes them (MD5, the slow part, which no two threads can
// share within one file), the other computes their CRC-32s and their share
// of the recovery data. Both take every piece, in the order fed; a piece's
// room in the ring is free again when both are done with it. The caller
// waits only when the ring is full.
class FeedQueue {
 public:
  struct Piece {
    uint32_t file;
    const uint8_t* data;
    std::size_t n;
    std::size_t span;  // ring bytes taken, with any skipped at the ring's end
  };
  static constexpr int kWorkers = 2;

  explicit FeedQueue(Block ring) : ring_(std::move(ring)) {}

  void push(uint32_t file, const uint8_t* data, std::size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::size_t at = write_, span = n;
    if (at + n > ring_.size()) {
      span += ring_.size() - at;  // no piece wraps: it starts again at the ring's start
      at = 0;
    }
    roomFreed_.wait(lock, [&] { return used_ + span <= ring_.size(); });
    std::memcpy(ring_.data() + at, data, n);
    write_ = at + n;
    used_ += span;
    pieces_.push_back({file, ring_.data() + at, n, span});
    pieceAdded_.notify_all();
  }

  // Worker w's next piece; false when the queue is closed and it took all.
  bool next(int w, Piece* piece) {
    std::unique_lock<std::mutex> lock(mutex_);
    pieceAdded_.wait(lock, [&] { return next_[w] - first_ < pieces_.size() || closed_; });
    if (next_[w] - first_ >= pieces_.size()) return false;
    *piece = pieces_[next_[w] - first_];
    return true;
  }

  void done(int w) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++next_[w];
    while (!pieces_.empty() && first_ < next_[0] && first_ < next_[1]) {
      used_ -= pieces_.front().span;
      pieces_.pop_front();
      ++first_;
    }
    roomFreed_.notify_all();
  }

  void close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    pieceAdded_.notify_all();
  }

 private:
  Block ring_;
  std::mutex mutex_;
  std::condition_variable pieceAdded_, roomFreed_;
  std::deque<Piece> pieces_;
  uint64_t first_ = 0;               // number of pieces_.front() among all pushed
  uint64_t next_[kWorkers] = {0, 0};  // per worker: the number of its next piece
  std::size_t write_ = 0, used_ = 0;
  bool closed_ = false;
};

// The coefficients of one input slice in every recovery slice, prepared
// when the slice's first bytes come and kept until the next slice's.
struct SliceFactors {
  uint32_t slice = UINT32_MAX;
  std::vector<GfFactor> factors;
  const std::vector<GfFactor>& of(uint32_t k, uint32_t count) {
    if (slice != k) {
      factors.resize(count);
      for (uint32_t j = 0; j < count; ++j) factors[j] = GfFactor(recoveryCoefficient(k, j));
      slice = k;
    }
    return factors;
  }
};

std::string joinPath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + kPathSeparator + name;
}

}  // namespace

uint64_t chooseSliceSize(const std::vector<uint64_t>& lengths) {
  uint64_t largest = 0;
  for (uint64_t l : lengths) largest = std::max(largest, l);
  if (largest == 0) return 0;
  uint64_t size = (largest + 3) & ~uint64_t{3};
  for (;;) {
    uint64_t slices = 0;
    for (uint64_t l : lengths) slices += slicesOf(l, size);
    if (slices <= kMaxInputSlices) return size;
    size *= 2;  // only reachable with more files than input slices: then no size works
    if (size > (uint64_t{1} << 62)) return 0;
  }
}

std::vector<std::string> recoveryFileNames(const std::string& base, uint32_t count) {
  std::vector<std::string> names{base + ".par2"};
  unsigned digits = 1;
  for (uint32_t t = count; t >= 10; t /= 10) ++digits;
  for (uint32_t e = 0; e < count; ++e) {
    std::string number = std::to_string(e);
    names.push_back(base + ".vol" + std::string(digits - number.size(), '0') + number + "+1.par2");
  }
  return names;
}

Md5Digest firstBytesHash(const uint8_t* data, std::size_t n) {
  return md5Of(data, std::min<std::size_t>(n, kFirstBytesHashed));
}

// What is known of one file as it is fed. `fed` is the caller's; the rest
// belongs to one worker each, as marked, until the queue is drained.
struct FileFeed {
  uint64_t fed = 0;
  // The hashing worker's:
  uint64_t hashed = 0;
  Md5 firstBytes;  // of the first 16 KiB fed, held to InputFile::firstHash
  Md5 hash;
  Md5 sliceHash;
  std::vector<Md5Digest> sliceMd5s;
  // The computing worker's:
  uint64_t computed = 0;
  uint32_t sliceCrc = 0;
  std::vector<uint32_t> sliceCrcs;
  std::vector<SliceChecksum> slices;  // both put together once drained
  std::vector<uint32_t> laterCrcs;  // per slice: CRC of its bytes past the first window
  uint32_t laterCrc = 0;
  FileDescription description;
};

struct RecoveryWriter::State {
  Platform& platform;
  std::string folder, base;
  std::vector<InputFile> files;
  uint32_t count;
  uint64_t sliceSize;
  uint64_t memoryLimit;

  std::vector<uint32_t> order;        // files in the set's order
  std::vector<uint32_t> firstSlice;   // per file (constructor's order): its first slice's number
  Md5Digest setId{};
  Bytes mainPacket;
  std::vector<FileFeed> feeds;
  uint64_t window = 0;  // bytes of each recovery slice computed per pass
  Block recoveryData;   // count windows, one after another
  std::vector<std::string> names;
  std::vector<std::string> temporaries;  // written, not yet renamed
  RecoveryWriter::Reader reader;         // none: the files in the folder
  bool started = false;

  std::size_t ringSize = 0;
  std::unique_ptr<FeedQueue> queue;  // none: the caller's thread does the work
  std::vector<std::thread> workers;
  uint32_t hasherShare = 0;  // recovery slices 0 .. hasherShare - 1 go to the hashing worker
  SliceFactors hasherFactors, computerFactors;

  State(Platform& p, std::string f, std::string b, std::vector<InputFile> in, uint32_t n,
        uint64_t slice, uint64_t memory)
      : platform(p), folder(std::move(f)), base(std::move(b)), files(std::move(in)), count(n),
        sliceSize(slice), memoryLimit(memory), feeds(files.size()) {}

  uint8_t* recoveryWindow(uint32_t j) const { return recoveryData.data() + j * window; }

  // Adds n bytes at `offset` of slice k (within the current window, which
  // starts at slice offset `windowStart`) to recovery slices j0 .. j1 - 1.
  void accumulate(SliceFactors& cache, uint32_t k, uint64_t windowStart, uint64_t offset,
                  const uint8_t* data, std::size_t n, uint32_t j0, uint32_t j1) {
    if (j0 >= j1) return;
    const std::vector<GfFactor>& factors = cache.of(k, count);
    for (std::size_t done = 0; done < n; done += kCachePiece) {
      std::size_t piece = std::min(kCachePiece, n - done);
      for (uint32_t j = j0; j < j1; ++j)
        addProduct(factors[j], data + done, recoveryWindow(j) + (offset - windowStart) + done,
                   offset + done, piece);
    }
  }

  // The hashing worker's part of n fed bytes of file `index`: the file's
  // and its slices' MD5s, each byte hashed once (a file of one slice, as
  // every segment of a series is, takes its own MD5 from its slice's
  // stream before the padding), and recovery slices 0 .. hasherShare - 1.
  void hashPiece(uint32_t index, const uint8_t* data, std::size_t n) {
    FileFeed& f = feeds[index];
    const uint64_t length = files[index].length;
    if (f.hashed < kFirstBytesHashed)
      f.firstBytes.update(data, static_cast<std::size_t>(
                                    std::min<uint64_t>(n, kFirstBytesHashed - f.hashed)));
    const bool oneSlice = length <= sliceSize;
    if (!oneSlice) f.hash.update(data, n);
    while (n != 0) {
      const uint64_t offset = f.hashed % sliceSize;
      const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(n, sliceSize - offset));
      f.sliceHash.update(data, take);
      if (offset < window)
        accumulate(hasherFactors, firstSlice[index] + static_cast<uint32_t>(f.hashed / sliceSize),
                   0, offset, data, static_cast<std::size_t>(std::min<uint64_t>(take, window - offset)),
                   0, hasherShare);
      f.hashed += take;
      data += take;
      n -= take;
      if (f.hashed % sliceSize == 0 || f.hashed == length) {
        if (oneSlice) f.hash.copyFrom(f.sliceHash);
        md5Zeros(f.sliceHash, (sliceSize - f.hashed % sliceSize) % sliceSize);
        f.sliceMd5s.push_back(f.sliceHash.finish());
      }
    }
  }

  // The computing worker's part: the slices' CRC-32s, the CRCs of the bytes
  // later passes read again, and recovery slices hasherShare .. count - 1.
  void computePiece(uint32_t index, const uint8_t* data, std::size_t n) {
    FileFeed& f = feeds[index];
    const uint64_t length = files[index].length;
    while (n != 0) {
      const uint64_t offset = f.computed % sliceSize;
      const uint32_t k = firstSlice[index] + static_cast<uint32_t>(f.computed / sliceSize);
      const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(n, sliceSize - offset));
      f.sliceCrc = crc32Update(f.sliceCrc, data, take);
      if (offset < window) {
        std::size_t first = static_cast<std::size_t>(std::min<uint64_t>(take, window - offset));
        accumulate(computerFactors, k, 0, offset, data, first, hasherShare, count);
        if (first < take) f.laterCrc = crc32Update(f.laterCrc, data + first, take - first);
      } else {
        f.laterCrc = crc32Update(f.laterCrc, data, take);
      }
      f.computed += take;
      data += take;
      n -= take;
      if (f.computed % sliceSize == 0 || f.computed == length) {
        f.sliceCrcs.push_back(crc32Zeros(f.sliceCrc, (sliceSize - f.computed % sliceSize) % sliceSize));
        f.sliceCrc = 0;
        f.laterCrcs.push_back(f.laterCrc);
        f.laterCrc = 0;
      }
    }
  }

  // Starts the two workers; without threads to be had, the caller's thread
  // does their work as it feeds.
  void startWorkers() {
    Block ring(platform, ringSize);
    if (!ring) return;
    queue = std::make_unique<FeedQueue>(std::move(ring));
    auto run = [this](int w) {
      FeedQueue::Piece p;
      while (queue->next(w, &p)) {
        if (w == 0)
          hashPiece(p.file, p.data, p.n);
        else
          computePiece(p.file, p.data, p.n);
        queue->done(w);
      }
    };
    try {
      for (int w = 0; w < FeedQueue::kWorkers; ++w) workers.emplace_back(run, w);
    } catch (const std::system_error&) {
      stopWorkers();
      queue.reset();
    }
  }

  // Waits until the workers have taken every fed byte, and ends them.
  void stopWorkers() {
    if (queue) queue->close();
    for (std::thread& t : workers) t.join();
    workers.clear();
  }

  void removeTemporaries() {
    for (const std::string& t : temporaries) platform.deleteFile(t);
    temporaries.clear();
  }

  bool failWith(std::string* problem, const std::string& text) {
    removeTemporaries();
    if (problem) *problem = text;
    return false;
  }
};

RecoveryWriter::RecoveryWriter(Platform& platform, std::string folder, std::string base,
                               std::vector<InputFile> files, uint32_t recoveryCount,
                               uint64_t sliceSize, uint64_t memoryLimit)
    : s_(new State(platform, std::move(folder), std::move(base), std::move(files),
                   recoveryCount, sliceSize, memoryLimit)) {}

RecoveryWriter::~RecoveryWriter() {
  s_->stopWorkers();
  s_->removeTemporaries();
}

void RecoveryWriter::setReader(Reader read) { s_->reader = std::move(read); }

uint64_t RecoveryWriter::sliceSize() const { return s_->sliceSize; }
const std::vector<std::string>& RecoveryWriter::fileNames() const { return s_->names; }
uint32_t RecoveryWriter::passes() const {
  if (s_->window == 0) return 0;
  return static_cast<uint32_t>((s_->sliceSize + s_->window - 1) / s_->window);
}

bool RecoveryWriter::start(std::string* problem) {
  State& s = *s_;
  if (s.files.empty() || s.files.size() > kMaxSetFiles) {
    *problem = "A recovery set holds 1 to 32768 files.";
    return false;
  }
  if (s.count == 0 || s.count > kGfOrder) {
    *problem = "A recovery set holds 1 to 65535 recovery slices.";
    return false;
  }
  std::vector<uint64_t> lengths;
  for (const InputFile& f : s.files) lengths.push_back(f.length);
  if (s.sliceSize == 0) s.sliceSize = chooseSliceSize(lengths);
  uint64_t slices = 0;
  for (uint64_t l : lengths) slices += s.sliceSize == 0 ? 0 : slicesOf(l, s.sliceSize);
  if (s.sliceSize == 0 || s.sliceSize % 4 != 0 || slices == 0 || slices > kMaxInputSlices) {
    *problem = "These files cannot form a recovery set (no bytes, or more than 32768 slices).";
    return false;
  }

  // The set's order and each file's ID, from what the caller knows up front.
  std::vector<Md5Digest> ids(s.files.size());
  for (std::size_t i = 0; i < s.files.size(); ++i)
    ids[i] = fileIdOf(s.files[i].firstHash, s.files[i].length, s.files[i].name);
  s.order.resize(s.files.size());
  for (uint32_t i = 0; i < s.order.size(); ++i) s.order[i] = i;
  std::stable_sort(s.order.begin(), s.order.end(),
                   [&](uint32_t a, uint32_t b) { return fileIdLess(ids[a], ids[b]); });
  std::vector<Md5Digest> orderedIds;
  s.firstSlice.assign(s.files.size(), 0);
  uint32_t next = 0;
  for (uint32_t i : s.order) {
    orderedIds.push_back(ids[i]);
    s.firstSlice[i] = next;
    next += static_cast<uint32_t>(slicesOf(s.files[i].length, s.sliceSize));
  }
  Bytes mainBody = encodeMainBody(s.sliceSize, orderedIds);
  s.setId = md5Of(mainBody.data(), mainBody.size());
  s.mainPacket = encodePacket(s.setId, kMainType, mainBody);
  for (std::size_t i = 0; i < s.files.size(); ++i) {
    FileDescription& d = s.feeds[i].description;
    d.id = ids[i];
    d.firstHash = s.files[i].firstHash;
    d.length = s.files[i].length;
    d.name = s.files[i].name;
  }

  // The recovery windows, and one more buffer for reading the later passes,
  // beside the ring the fed bytes wait in; halved until the system gives them.
  s.ringSize = static_cast<std::size_t>(
      std::max<uint64_t>(std::min<uint64_t>(s.memoryLimit / 32, kFeedRing), kMinFeedRing));
  uint64_t limit = s.memoryLimit > s.ringSize ? s.memoryLimit - s.ringSize : s.memoryLimit;
  for (;;) {
    s.window = windowSize(s.sliceSize, s.count + 1, limit);
    uint64_t bytes = s.window * s.count;
    if (bytes / s.count == s.window) {
      s.recoveryData = Block(s.platform, bytes);
      if (s.recoveryData) break;
    }
    if (s.window <= kMinWindow) {
      *problem = "There is not enough memory for the recovery data.";
      return false;
    }
    limit /= 2;
  }
  // The two workers' loads, measured per 512 MiB fed on this kind of
  // machine: MD5 0.75 s; the multiply-add 0.08 s per recovery slice; the
  // copy loop's own reading and writing 0.4 s and the CRC-32 0.1 s, which
  // share a core with the computing worker. Even loads: the hashing worker
  // takes a = count / 2 - 1.25 recovery slices (rounded), none below 4.
  s.hasherShare = s.count >= 4 ? (2 * s.count - 3) / 4 : 0;
  s.names = recoveryFileNames(s.base, s.count);
  s.startWorkers();
  s.started = true;
  return true;
}

void RecoveryWriter::feed(uint32_t index, const uint8_t* data, std::size_t n) {
  State& s = *s_;
  if (!s.started || index >= s.files.size()) return;
  FileFeed& f = s.feeds[index];
  if (n > s.files[index].length - f.fed) n = static_cast<std::size_t>(s.files[index].length - f.fed);
  f.fed += n;
  if (!s.queue) {
    s.hashPiece(index, data, n);
    s.computePiece(index, data, n);
    return;
  }
  const std::size_t most = s.ringSize / 4;
  for (std::size_t done = 0; done < n; done += most)
    s.queue->push(index, data + done, std::min(most, n - done));
}

bool RecoveryWriter::finish(std::string* problem, const std::function<bool()>& keepGoing) {
  State& s = *s_;
  if (!s.started) return s.failWith(problem, "The recovery set was not started.");
  s.stopWorkers();
  s.queue.reset();
  for (std::size_t i = 0; i < s.files.size(); ++i) {
    FileFeed& f = s.feeds[i];
    if (f.fed != s.files[i].length)
      return s.failWith(problem, "The file \"" + s.files[i].name + "\" was not read whole.");
    // The set's order and the file IDs came from the hash given up front.
    if (f.firstBytes.finish() != s.files[i].firstHash)
      return s.failWith(problem, "The file \"" + joinPath(s.folder, s.files[i].name) +
                                     "\" changed while its recovery data was computed.");
    f.description.hash = f.hash.finish();
    for (std::size_t k = 0; k < f.sliceMd5s.size(); ++k)
      f.slices.push_back({f.sliceMd5s[k], f.sliceCrcs[k]});
  }

  // The packets every recovery file carries.
  Bytes critical = s.mainPacket;
  for (uint32_t i : s.order) {
    Bytes p = encodePacket(s.setId, kFileDescType, encodeFileDescBody(s.feeds[i].description));
    critical.insert(critical.end(), p.begin(), p.end());
  }
  for (uint32_t i : s.order) {
    Bytes p = encodePacket(s.setId, kSliceChecksumType,
                           encodeSliceChecksumBody(s.feeds[i].description.id, s.feeds[i].slices));
    critical.insert(critical.end(), p.begin(), p.end());
  }
  Bytes creator = encodePacket(s.setId, kCreatorType, encodeCreatorBody(kCreatorText));
  critical.insert(critical.end(), creator.begin(), creator.end());

  // One file at a time is open, and only for one piece of work: a set of
  // thousands of volumes must not run out of the system's open files, and
  // Windows deletes no open file when a failure removes the temporaries.
  auto fail = [&](const std::string& text) { return s.failWith(problem, text); };
  auto going = [&]() { return !keepGoing || keepGoing(); };
  struct Piece {
    uint64_t offset;
    const uint8_t* data;
    std::size_t n;
  };
  auto writeInto = [&](const std::string& path, FileCreate create,
                       std::initializer_list<Piece> pieces) {
    std::unique_ptr<File> file =
        s.platform.openFile(path, FileAccess::kWrite, FileShare::kNone, create);
    if (!file) return false;
    for (const Piece& p : pieces)
      if (!writeAt(*file, p.offset, p.data, p.n)) return false;
    return true;
  };

  // The index, and the volumes made empty: each under a hidden temporary
  // name of its own, made exclusively (never a user's file, never through a
  // link), that takes the final name only once the whole set is written.
  for (std::size_t n = 0; n < s.names.size(); ++n) {
    const std::string final = joinPath(s.folder, s.names[n]);
    std::string path;
    std::unique_ptr<File> made = s.platform.createTemporaryFor(final, &path);
    if (!made) return fail("The recovery file \"" + final + "\" cannot be written.");
    s.temporaries.push_back(path);
    if (n == 0 && !writeAt(*made, 0, critical.data(), critical.size()))
      return fail("The recovery file \"" + final + "\" cannot be written.");
  }

  // The volumes: head (written last, its MD5 covers the data), data window
  // by window, then the copy of the index's packets.
  std::vector<std::unique_ptr<Md5>> hashes;
  for (uint32_t j = 0; j < s.count; ++j) {
    hashes.push_back(std::make_unique<Md5>());
    auto head = encodeRecoveryHead(s.setId, j, s.sliceSize, Md5Digest{});
    hashes.back()->update(head.data() + kPacketSetIdOffset, head.size() - kPacketSetIdOffset);
  }

  Block readBuffer;
  std::vector<std::vector<uint32_t>> rereadCrcs(s.files.size());
  for (uint64_t start = 0; start < s.sliceSize; start += s.window) {
    const uint64_t width = std::min(s.window, s.sliceSize - start);
    if (start != 0) {
      // A later pass: this window of every slice, read back from the files.
      std::memset(s.recoveryData.data(), 0, s.recoveryData.size());
      if (!readBuffer) readBuffer = Block(s.platform, s.window);
      if (!readBuffer) return fail("There is not enough memory for the recovery data.");
      for (uint32_t i : s.order) {
        if (!going()) return fail("");
        const std::string path = joinPath(s.folder, s.files[i].name);
        std::unique_ptr<File> input;
        if (!s.reader) {
          input = s.platform.openFile(path, FileAccess::kRead, FileShare::kRead,
                                      FileCreate::kOpenExisting);
          if (!input) return fail("The file \"" + path + "\" cannot be read.");
        }
        rereadCrcs[i].resize(s.feeds[i].slices.size());
        const uint64_t length = s.files[i].length;
        for (uint32_t slice = 0; slice < s.feeds[i].slices.size(); ++slice) {
          const uint64_t at = slice * s.sliceSize + start;
          if (at >= length) continue;
          const std::size_t want = static_cast<std::size_t>(std::min(width, length - at));
          const std::size_t got = s.reader ? s.reader(i, at, readBuffer.data(), want)
                                           : readAt(*input, at, readBuffer.data(), want);
          if (got != want) return fail("The file \"" + path + "\" cannot be read.");
          // Two processors on the read bytes: the first half of them on a
          // thread of its own, the second half and the CRC here.
          const uint32_t k = s.firstSlice[i] + slice;
          const std::size_t half = want / 2 & ~std::size_t{63};
          onTwoThreads(
              [&] {
                s.accumulate(s.hasherFactors, k, start, start, readBuffer.data(), half, 0,
                             s.count);
              },
              [&] {
                rereadCrcs[i][slice] = crc32Update(rereadCrcs[i][slice], readBuffer.data(), want);
                s.accumulate(s.computerFactors, k, start, start + half, readBuffer.data() + half,
                             want - half, 0, s.count);
              });
        }
      }
    }
    for (uint32_t j = 0; j < s.count; ++j) {
      if (!going()) return fail("");
      hashes[j]->update(s.recoveryWindow(j), static_cast<std::size_t>(width));
      if (!writeInto(s.temporaries[j + 1], FileCreate::kOpenExisting,
                     {{kRecoveryHeadSize + start, s.recoveryWindow(j),
                       static_cast<std::size_t>(width)}}))
        return fail("The recovery file \"" + joinPath(s.folder, s.names[j + 1]) +
                    "\" cannot be written. The disk might be full.");
    }
  }
  // What was read back must be what was fed, or the recovery data is wrong.
  if (s.window < s.sliceSize)
    for (std::size_t i = 0; i < s.files.size(); ++i)
      if (rereadCrcs[i] != s.feeds[i].laterCrcs)
        return fail("The file \"" + joinPath(s.folder, s.files[i].name) +
                    "\" changed while its recovery data was computed.");

  for (uint32_t j = 0; j < s.count; ++j) {
    auto head = encodeRecoveryHead(s.setId, j, s.sliceSize, hashes[j]->finish());
    if (!writeInto(s.temporaries[j + 1], FileCreate::kOpenExisting,
                   {{kRecoveryHeadSize + s.sliceSize, critical.data(), critical.size()},
                    {0, head.data(), head.size()}}))
      return fail("The recovery file \"" + joinPath(s.folder, s.names[j + 1]) +
                  "\" cannot be written. The disk might be full.");
  }
  s.recoveryData.reset();

  // On the medium before any takes its name, and the names after.
  for (std::size_t n = 0; n < s.names.size(); ++n) {
    const std::string final = joinPath(s.folder, s.names[n]);
    std::unique_ptr<File> file = s.platform.openFile(s.temporaries[n], FileAccess::kWrite,
                                                     FileShare::kNone, FileCreate::kOpenExisting);
    if (!file || !file->sync())
      return fail("The recovery file \"" + final + "\" cannot be written. The disk might be full.");
    file.reset();
    s.platform.setAttributes(s.temporaries[n], kAttributeNormal);  // Win32: not hidden
  }
  for (std::size_t n = 0; n < s.names.size(); ++n) {
    const std::string final = joinPath(s.folder, s.names[n]);
    if (!s.platform.replaceFile(s.temporaries[n], final)) {
      // Those already renamed stay: each is a whole, valid recovery file.
      s.temporaries.erase(s.temporaries.begin(), s.temporaries.begin() + n);
      return s.failWith(problem, "The recovery file \"" + final + "\" cannot be made.");
    }
  }
  s.temporaries.clear();
  s.platform.syncFolder(s.folder);
  return true;
}

bool createRecoveryFiles(Platform& platform, const std::string& folder, const std::string& base,
                         const std::vector<std::string>& names, uint32_t recoveryCount,
                         uint64_t sliceSize, uint64_t memoryLimit, std::string* problem) {
  auto open = [&](const std::string& name) {
    return platform.openFile(joinPath(folder, name), FileAccess::kRead, FileShare::kRead,
                             FileCreate::kOpenExisting);
  };
  auto unreadable = [&](const std::string& name) {
    *problem = "The file \"" + joinPath(folder, name) + "\" cannot be read.";
    return false;
  };
  // Each file is read twice, and open only while it is read: its first
  // 16 KiB (the set's order comes from them), then all of it.
  std::vector<InputFile> files;
  std::vector<uint8_t> buffer(4 << 20);
  for (const std::string& name : names) {
    std::unique_ptr<File> file = open(name);
    InputFile f;
    f.name = name;
    if (!file || !file->size(&f.length)) return unreadable(name);
    std::size_t got = readAt(*file, 0, buffer.data(), kFirstBytesHashed);
    f.firstHash = firstBytesHash(buffer.data(), got);
    files.push_back(f);
  }
  RecoveryWriter writer(platform, folder, base, files, recoveryCount, sliceSize, memoryLimit);
  if (!writer.start(problem)) return false;
  for (uint32_t i = 0; i < files.size(); ++i) {
    std::unique_ptr<File> file = open(files[i].name);
    if (!file) return unreadable(files[i].name);
    for (uint64_t at = 0; at < files[i].length;) {
      std::size_t got = readAt(*file, at, buffer.data(), buffer.size());
      if (got == 0) return unreadable(files[i].name);
      writer.feed(i, buffer.data(), got);
      at += got;
    }
  }
  return writer.finish(problem);
}

}  // namespace recovery
}  // namespace trep
