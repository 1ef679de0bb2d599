#include "engine/recovery/recovery_writer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "engine/recovery/block_io.h"
#include "engine/recovery/gf16.h"

namespace trep {
namespace recovery {
namespace {

// Source slices taken together in one pass of the multiply-add over each
// recovery slice: the kernel's group, so every byte of recovery data is
// read and written once per eight sources.
constexpr std::size_t kSourceBatch = 8;

// The most bytes of each slice worked on at once (a column): large enough
// for reads of the sources in long runs, small enough that the recovery
// data of a column stays near the processor and the memory taken small.
constexpr uint64_t kColumnWidth = 1 << 20;

// Bytes of each source taken at a time against every recovery slice: the
// batch's pieces (8 × 32 KiB) stay in the processor's cache between them.
constexpr std::size_t kCachePiece = 32 << 10;

// Prepared coefficients kept for a whole computation at most (a factor is
// 288 bytes); a larger set prepares them per batch and column instead.
constexpr uint64_t kMostFactorBytes = 16 << 20;

std::string joinPath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder + kPathSeparator + name;
}

// Where the threads of one computation meet between its steps. Each brings
// whether it must stop (a failure, an abort); all leave with the same
// answer, so none waits for a partner that has left.
class Meeting {
 public:
  explicit Meeting(int threads) : threads_(threads) {}

  // True when every thread may go on.
  bool meet(bool stop) {
    std::unique_lock<std::mutex> lock(mutex_);
    stopAny_ = stopAny_ || stop;
    const uint64_t round = round_;
    if (++arrived_ == threads_) {
      arrived_ = 0;
      ++round_;
      answer_ = !stopAny_;
      allHere_.notify_all();
    } else {
      allHere_.wait(lock, [&] { return round_ != round; });
    }
    return answer_;
  }

 private:
  const int threads_;
  std::mutex mutex_;
  std::condition_variable allHere_;
  int arrived_ = 0;
  uint64_t round_ = 0;
  bool stopAny_ = false;
  bool answer_ = true;
};

// A quick sum of a stream of bytes, however it comes in pieces: what the
// caller wrote held against what was read, at a small part of a CRC-32's
// cost (the caller's thread is the copy loop's). Four 64-bit lanes, each
// word added and the lane multiplied by an odd constant: every step can be
// undone, so a changed word changes its lane for good. Not a checksum of
// any format; it never leaves this process.
class QuickSum {
 public:
  void update(const uint8_t* data, std::size_t n) {
    total_ += n;
    if (pending_ != 0) {
      const std::size_t take = std::min(n, sizeof held_ - pending_);
      std::memcpy(held_ + pending_, data, take);
      pending_ += take;
      data += take;
      n -= take;
      if (pending_ < sizeof held_) return;
      block(held_);
      pending_ = 0;
    }
    for (; n >= sizeof held_; data += sizeof held_, n -= sizeof held_) block(data);
    std::memcpy(held_, data, n);
    pending_ = n;
  }
  bool operator==(const QuickSum& o) const {
    return total_ == o.total_ && pending_ == o.pending_ &&
           std::memcmp(lanes_, o.lanes_, sizeof lanes_) == 0 &&
           std::memcmp(held_, o.held_, pending_) == 0;
  }
  bool operator!=(const QuickSum& o) const { return !(*this == o); }

 private:
  static constexpr uint64_t kOdd = 0x9E3779B97F4A7C15ull;
  void block(const uint8_t* p) {
    for (int l = 0; l < 4; ++l) {
      uint64_t w;
      std::memcpy(&w, p + 8 * l, 8);
      lanes_[l] = (lanes_[l] + w) * kOdd;
    }
  }
  uint64_t lanes_[4] = {1, 2, 3, 4};
  uint8_t held_[32] = {};
  std::size_t pending_ = 0;
  uint64_t total_ = 0;
};

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

// One input slice as the computation reads it: whose it is, where, and
// what is learnt of its bytes. Each belongs to one thread at a time: the
// one that loads it in its batch.
struct SourceSlice {
  uint32_t file = 0;      // constructor's order
  uint64_t offset = 0;    // of its first byte in the file
  uint64_t length = 0;    // its bytes, without the zeros it is padded with
  bool wholeFile = false; // the file is this one slice: its hashes come from here
  Md5 md5;                // of the bytes and then the padding
  uint32_t crc = 0;       // of the bytes alone
  QuickSum read;          // of the bytes, held to those fed
  Md5Digest digest{};
};

// What the caller fed of one file, to hold against what was read.
struct FedFile {
  uint64_t fed = 0;
  QuickSum slice;              // of the current slice's fed bytes
  std::vector<QuickSum> sums;  // per slice
};

// What is learnt of one file's whole.
struct FileResult {
  Md5 firstBytes;  // of its first 16 KiB, held to InputFile::firstHash
  Md5 hash;
  FileDescription description;
  std::vector<SliceChecksum> slices;
};

struct RecoveryWriter::State {
  Platform& platform;
  std::string folder, base;
  std::vector<InputFile> files;
  uint32_t count;
  uint64_t sliceSize;
  uint64_t memoryLimit;

  std::vector<uint32_t> order;       // files in the set's order
  std::vector<uint32_t> firstSlice;  // per file (constructor's order): its first slice's number
  Md5Digest setId{};
  Bytes mainPacket;
  std::vector<SourceSlice> sources;  // every input slice, in the set's order
  std::vector<FileResult> results;   // per file
  std::vector<FedFile> fed;          // per file
  bool anyFed = false;
  std::vector<std::string> names;
  std::vector<std::string> temporaries;  // made, not yet renamed
  RecoveryWriter::Reader reader;         // none: the files in the folder
  bool started = false;

  // The computation's plan and memory.
  uint64_t window = 0;         // bytes of each slice per column
  std::size_t batch = 0;       // sources per batch
  std::size_t bufferSets = 0;  // 1, or 2 when batches alternate
  Block memory;                // bufferSets × batch source buffers, then count recovery windows
  std::vector<GfFactor> factors;  // [j × sources + k] when kept whole; empty: made as needed
  std::vector<std::unique_ptr<Md5>> volumeHashes;  // per recovery slice: its packet's MD5
  std::thread background;      // the helper thread of a computation begun by start()
  bool computing = false;      // a computation was begun (and must be waited for)
  bool computed = false;       // ... and ran to its end

  // Shared by the computation's threads.
  std::mutex platformMutex;     // the test platforms' hooks see one call at a time
  std::mutex problemMutex;
  std::string problem;          // the first failure's text
  Status why;                   // ... and its reason
  std::atomic<bool> stopAsked{false};
  std::function<bool()> askGoing;  // the caller's, asked by the thread it runs on
  std::atomic<uint64_t> bytesDone{0};
  uint64_t bytesTotal = 0;

  State(Platform& p, std::string f, std::string b, std::vector<InputFile> in, uint32_t n,
        uint64_t slice, uint64_t memoryBytes)
      : platform(p), folder(std::move(f)), base(std::move(b)), files(std::move(in)), count(n),
        sliceSize(slice), memoryLimit(memoryBytes), results(files.size()), fed(files.size()) {}

  uint32_t columns() const {
    return window == 0 ? 0 : static_cast<uint32_t>((sliceSize + window - 1) / window);
  }
  std::size_t batches() const { return (sources.size() + batch - 1) / batch; }
  uint8_t* sourceBuffer(std::size_t set, std::size_t m) const {
    return memory.data() + (set * batch + m) * window;
  }
  uint8_t* recoveryWindow(uint32_t j) const {
    return memory.data() + (bufferSets * batch + j) * window;
  }

  // Records the first failure of a computation's thread.
  void failed(std::string text, const Status& reason) {
    std::lock_guard<std::mutex> lock(problemMutex);
    if (problem.empty()) {
      problem = std::move(text);
      why = reason;
    }
  }
  bool stopped() {
    if (stopAsked) return true;
    std::lock_guard<std::mutex> lock(problemMutex);
    return !problem.empty();
  }

  // --- the plan ---------------------------------------------------------

  // The set's order, each file's ID and slices, the main packet.
  void orderTheSet() {
    std::vector<Md5Digest> ids(files.size());
    for (std::size_t i = 0; i < files.size(); ++i)
      ids[i] = fileIdOf(files[i].firstHash, files[i].length, files[i].name);
    order.resize(files.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return fileIdLess(ids[a], ids[b]); });
    std::vector<Md5Digest> orderedIds;
    firstSlice.assign(files.size(), 0);
    uint64_t total = 0;
    for (uint32_t i : order) total += slicesOf(files[i].length, sliceSize);
    sources = std::vector<SourceSlice>(total);
    uint32_t next = 0;
    for (uint32_t i : order) {
      orderedIds.push_back(ids[i]);
      firstSlice[i] = next;
      const uint64_t n = slicesOf(files[i].length, sliceSize);
      for (uint64_t s = 0; s < n; ++s) {
        SourceSlice& source = sources[next + s];
        source.file = i;
        source.offset = s * sliceSize;
        source.length = std::min(sliceSize, files[i].length - source.offset);
        source.wholeFile = n == 1;
      }
      next += static_cast<uint32_t>(n);
    }
    Bytes mainBody = encodeMainBody(sliceSize, orderedIds);
    setId = md5Of(mainBody.data(), mainBody.size());
    mainPacket = encodePacket(setId, kMainType, mainBody);
    for (std::size_t i = 0; i < files.size(); ++i) {
      FileDescription& d = results[i].description;
      d.id = ids[i];
      d.firstHash = files[i].firstHash;
      d.length = files[i].length;
      d.name = files[i].name;
    }
  }

  // The column width and the memory for it: source buffers and a window of
  // every recovery slice, halved until the system gives them.
  bool takeMemory() {
    batch = std::min<std::size_t>(sources.size(), kSourceBatch);
    bufferSets = sources.size() > batch ? 2 : 1;
    const uint64_t buffers = bufferSets * batch + count;
    const uint64_t factorBytes = uint64_t{count} * sources.size() * sizeof(GfFactor);
    const bool keepFactors = factorBytes <= std::min(kMostFactorBytes, memoryLimit / 4);
    uint64_t limit = memoryLimit - (keepFactors ? factorBytes : 0);
    for (;;) {
      window = std::min(windowSize(sliceSize, buffers, limit), kColumnWidth);
      const uint64_t bytes = window * buffers;
      if (bytes / buffers == window) {
        memory = Block(platform, bytes);
        if (memory) break;
      }
      if (window <= kMinWindow) return false;
      limit /= 2;
    }
    if (keepFactors) {
      try {
        factors.resize(static_cast<std::size_t>(uint64_t{count} * sources.size()));
      } catch (const std::bad_alloc&) {
        factors.clear();
        return true;
      }
      for (uint32_t j = 0; j < count; ++j)
        for (std::size_t k = 0; k < sources.size(); ++k)
          factors[j * sources.size() + k] = GfFactor(recoveryCoefficient(static_cast<uint32_t>(k), j));
    }
    return true;
  }

  // The index and the volumes, made empty: each under a hidden temporary
  // name of its own, made exclusively (never a user's file, never through a
  // link), that takes the final name only once the whole set is written.
  // Each is opened again only for a piece of work, so a set of thousands of
  // volumes never runs out of the system's open files, and Windows deletes
  // no open file when a failure removes the temporaries.
  bool makeTemporaries(std::string* text, Status* reason) {
    for (std::size_t n = temporaries.size(); n < names.size(); ++n) {
      const std::string final = joinPath(folder, names[n]);
      std::string path;
      Status status;
      std::unique_ptr<File> made = platform.createTemporaryFor(final, &path, &status);
      if (!made) {
        *text = "The recovery file \"" + final + "\" cannot be written.";
        *reason = status;
        return false;
      }
      temporaries.push_back(path);
    }
    return true;
  }

  // --- the computation --------------------------------------------------

  // Where a thread reads the files in the folder when the caller gave no
  // reader: one file open at a time.
  struct FolderReader {
    uint32_t file = UINT32_MAX;
    std::unique_ptr<File> handle;
  };

  // Reads n bytes of file i from `offset`: fewer on a failure.
  std::size_t readFile(FolderReader& own, uint32_t i, uint64_t offset, uint8_t* out,
                       std::size_t n, Status* reason) {
    if (reader) return reader(i, offset, out, n);
    if (own.file != i) {
      own.handle.reset();
      own.file = i;
      own.handle = platform.openFile(joinPath(folder, files[i].name), FileAccess::kRead,
                                     FileShare::kRead, FileCreate::kOpenExisting,
                                     kAttributeNormal, reason);
    }
    if (!own.handle) return 0;
    return readAt(*own.handle, offset, out, n);
  }

  // Step 1 of a column, per source: its bytes into the buffer (zeros past
  // its end), and its hashes, each byte hashed once (a file of one slice,
  // as every segment of a series is, takes its own MD5 from its slice's
  // stream before the padding).
  bool loadSource(FolderReader& own, std::size_t k, uint64_t x, uint64_t width, uint8_t* out) {
    SourceSlice& s = sources[k];
    const std::size_t n =
        x < s.length ? static_cast<std::size_t>(std::min(width, s.length - x)) : 0;
    if (n != 0) {
      Status reason;
      const std::size_t got = readFile(own, s.file, s.offset + x, out, n, &reason);
      if (got != n) {
        failed("The file \"" + joinPath(folder, files[s.file].name) + "\" cannot be read.",
               reason);
        return false;
      }
    }
    std::memset(out + n, 0, static_cast<std::size_t>(width) - n);
    s.md5.update(out, n);
    s.crc = crc32Update(s.crc, out, n);
    s.read.update(out, n);
    if (s.wholeFile) {
      FileResult& r = results[s.file];
      if (x < kFirstBytesHashed)
        r.firstBytes.update(out, static_cast<std::size_t>(std::min<uint64_t>(n, kFirstBytesHashed - x)));
      if (n != 0 && x + n == s.length) r.hash.copyFrom(s.md5);
    }
    s.md5.update(out + n, static_cast<std::size_t>(width) - n);
    if (x + width == sliceSize) s.digest = s.md5.finish();
    return true;
  }

  // Step 2, per batch: this thread's bytes [from, to) of the column of
  // every recovery slice take the batch's share, eight sources per pass.
  void multiplyAdd(std::size_t b, std::size_t set, std::size_t from, std::size_t to) {
    const std::size_t first = b * batch;
    const std::size_t n = std::min(batch, sources.size() - first);
    const uint8_t* pieces[kSourceBatch];
    if (!factors.empty()) {
      for (std::size_t p = from; p < to; p += kCachePiece) {
        const std::size_t piece = std::min(kCachePiece, to - p);
        for (std::size_t m = 0; m < n; ++m) pieces[m] = sourceBuffer(set, m) + p;
        for (uint32_t j = 0; j < count; ++j)
          gfMultiplyAddMany(&factors[j * sources.size() + first], pieces, n,
                            recoveryWindow(j) + p, piece);
      }
      return;
    }
    GfFactor made[kSourceBatch];
    for (uint32_t j = 0; j < count; ++j) {
      for (std::size_t m = 0; m < n; ++m)
        made[m] = GfFactor(recoveryCoefficient(static_cast<uint32_t>(first + m), j));
      for (std::size_t p = from; p < to; p += kCachePiece) {
        const std::size_t piece = std::min(kCachePiece, to - p);
        for (std::size_t m = 0; m < n; ++m) pieces[m] = sourceBuffer(set, m) + p;
        gfMultiplyAddMany(made, pieces, n, recoveryWindow(j) + p, piece);
      }
    }
  }

  // Step 3, per recovery slice: the finished column into its packet's MD5
  // and its volume, and the window cleared for the next column.
  bool storeColumn(uint32_t j, uint64_t x, uint64_t width) {
    const std::size_t w = static_cast<std::size_t>(width);
    volumeHashes[j]->update(recoveryWindow(j), w);
    Status reason;
    {
      std::lock_guard<std::mutex> lock(platformMutex);
      std::unique_ptr<File> file =
          platform.openFile(temporaries[j + 1], FileAccess::kWrite, FileShare::kNone,
                            FileCreate::kOpenExisting, kAttributeNormal, &reason);
      if (file) {
        reason = writeAt(*file, kRecoveryHeadSize + x, recoveryWindow(j), w);
      }
    }
    if (!reason) {
      failed("The recovery file \"" + joinPath(folder, names[j + 1]) +
                 "\" cannot be written. The disk might be full.",
             reason);
      return false;
    }
    std::memset(recoveryWindow(j), 0, w);
    return true;
  }

  // One thread's part of the whole computation, column by column: thread t
  // of `threads` loads every threads-th source of each batch, takes its
  // part of the bytes of every column in the multiply-add, and stores
  // every threads-th recovery slice.
  void computeColumns(int t, int threads, Meeting& meeting) {
    FolderReader own;
    const std::size_t half = static_cast<std::size_t>(window / 2) & ~std::size_t{63};
    for (uint64_t x = 0; x < sliceSize; x += window) {
      const uint64_t width = std::min(window, sliceSize - x);
      const std::size_t from = threads == 1 || t == 0 ? 0 : std::min<std::size_t>(half, width);
      const std::size_t to =
          threads == 1 || t == 1 ? static_cast<std::size_t>(width) : std::min<std::size_t>(half, width);
      for (std::size_t b = 0; b < batches(); ++b) {
        const std::size_t set = b % bufferSets;
        const std::size_t first = b * batch;
        const std::size_t n = std::min(batch, sources.size() - first);
        if (t == 0 && askGoing && !askGoing()) stopAsked = true;
        bool ok = !stopped();
        for (std::size_t m = t; ok && m < n; m += threads)
          ok = loadSource(own, first + m, x, width, sourceBuffer(set, m));
        if (!meeting.meet(!ok)) return;
        multiplyAdd(b, set, from, to);
      }
      bool ok = meeting.meet(stopped());
      if (!ok) return;
      // The next column's loads touch no recovery window: a failure here
      // is met at its first meeting.
      for (uint32_t j = t; ok && j < count; j += threads) ok = storeColumn(j, x, width);
      if (t == 0) bytesDone += width * sources.size();
    }
  }

  // Runs the computation on two threads (one when no second is to be
  // had): on a thread of its own beside the caller (`inBackground`), or on
  // the caller's thread and one more, returning when it is done.
  void compute(bool inBackground) {
    computing = true;
    volumeHashes.clear();
    for (uint32_t j = 0; j < count; ++j) {
      volumeHashes.push_back(std::make_unique<Md5>());
      auto head = encodeRecoveryHead(setId, j, sliceSize, Md5Digest{});
      volumeHashes.back()->update(head.data() + kPacketSetIdOffset,
                                  head.size() - kPacketSetIdOffset);
    }
    auto both = [this] {
      auto meeting = std::make_shared<Meeting>(2);
      std::thread helper;
      try {
        helper = std::thread([this, meeting] { computeColumns(1, 2, *meeting); });
      } catch (const std::system_error&) {
        Meeting alone(1);
        computeColumns(0, 1, alone);
        return;
      }
      computeColumns(0, 2, *meeting);
      helper.join();
    };
    if (inBackground) {
      try {
        background = std::thread([this, both] {
          both();
          computed = !stopped();
          std::lock_guard<std::mutex> lock(doneMutex);
          backgroundDone = true;
          doneSaid.notify_all();
        });
        return;
      } catch (const std::system_error&) {
      }
    }
    both();
    computed = !stopped();
  }

  // Waits for a computation begun in the background, asking `going`
  // between short waits; false when it was stopped or failed.
  bool awaitComputation(const std::function<bool()>& going) {
    if (background.joinable()) {
      std::unique_lock<std::mutex> lock(doneMutex);
      while (!backgroundDone) {
        if (!going()) stopAsked = true;
        doneSaid.wait_for(lock, std::chrono::milliseconds(50));
      }
      lock.unlock();
      background.join();
    }
    return computed;
  }
  std::mutex doneMutex;
  std::condition_variable doneSaid;
  bool backgroundDone = false;  // under doneMutex

  void stopComputation() {
    stopAsked = true;
    if (background.joinable()) background.join();
  }

  // --- what follows the computation --------------------------------------

  // The fed bytes against those read: the recovery data holds the bytes
  // read, so they must be those the caller wrote.
  bool checkWhatWasFed(std::string* text) {
    if (!anyFed) return true;
    for (std::size_t i = 0; i < files.size(); ++i)
      if (fed[i].fed != files[i].length) {
        *text = "The file \"" + files[i].name + "\" was not read whole.";
        return false;
      }
    for (std::size_t i = 0; i < files.size(); ++i)
      for (std::size_t s = 0; s < fed[i].sums.size(); ++s)
        if (fed[i].sums[s] != sources[firstSlice[i] + s].read) {
          *text = "The file \"" + joinPath(folder, files[i].name) +
                  "\" changed while its recovery data was computed.";
          return false;
        }
    return true;
  }

  // A file of several slices is hashed whole in a pass of its own (the
  // columns take its slices side by side, not one after another); every
  // file's first 16 KiB are then held to the hash it was described with,
  // which gave the set's order and the file IDs.
  bool hashFiles(const std::function<bool()>& going, std::string* text, Status* reason) {
    FolderReader own;
    for (std::size_t i = 0; i < files.size(); ++i) {
      FileResult& r = results[i];
      const uint64_t length = files[i].length;
      if (slicesOf(length, sliceSize) > 1) {
        uint8_t* buffer = sourceBuffer(0, 0);
        for (uint64_t at = 0; at < length;) {
          if (!going()) return false;
          const std::size_t want = static_cast<std::size_t>(std::min(window, length - at));
          if (readFile(own, static_cast<uint32_t>(i), at, buffer, want, reason) != want) {
            *text = "The file \"" + joinPath(folder, files[i].name) + "\" cannot be read.";
            return false;
          }
          if (at < kFirstBytesHashed)
            r.firstBytes.update(buffer, static_cast<std::size_t>(
                                            std::min<uint64_t>(want, kFirstBytesHashed - at)));
          r.hash.update(buffer, want);
          at += want;
        }
      }
      if (r.firstBytes.finish() != files[i].firstHash) {
        *text = "The file \"" + joinPath(folder, files[i].name) +
                "\" changed while its recovery data was computed.";
        return false;
      }
      r.description.hash = r.hash.finish();
      for (std::size_t s = 0; s < slicesOf(length, sliceSize); ++s) {
        const SourceSlice& source = sources[firstSlice[i] + s];
        r.slices.push_back({source.digest, crc32Zeros(source.crc, sliceSize - source.length)});
      }
    }
    return true;
  }

  // The packets every recovery file carries: main, file descriptions and
  // slice checksums in the set's order, creator.
  Bytes criticalPackets() const {
    Bytes critical = mainPacket;
    auto append = [&critical](const Bytes& p) { critical.insert(critical.end(), p.begin(), p.end()); };
    for (uint32_t i : order)
      append(encodePacket(setId, kFileDescType, encodeFileDescBody(results[i].description)));
    for (uint32_t i : order)
      append(encodePacket(setId, kSliceChecksumType,
                          encodeSliceChecksumBody(results[i].description.id, results[i].slices)));
    append(encodePacket(setId, kCreatorType, encodeCreatorBody(kCreatorText)));
    return critical;
  }

  // The index's packets; each volume's copy of them after its data, and its
  // head, whose MD5 covers the data, last.
  bool writePackets(const Bytes& critical, std::string* text, Status* reason) {
    struct Piece {
      uint64_t offset;
      const uint8_t* data;
      std::size_t n;
    };
    auto writeInto = [&](std::size_t n, std::initializer_list<Piece> pieces) {
      std::unique_ptr<File> file = platform.openFile(temporaries[n], FileAccess::kWrite,
                                                     FileShare::kNone, FileCreate::kOpenExisting,
                                                     kAttributeNormal, reason);
      if (file)
        for (const Piece& p : pieces) {
          *reason = writeAt(*file, p.offset, p.data, p.n);
          if (!*reason) break;
        }
      if (file && *reason) return true;
      *text = n == 0 ? "The recovery file \"" + joinPath(folder, names[n]) + "\" cannot be written."
                     : "The recovery file \"" + joinPath(folder, names[n]) +
                           "\" cannot be written. The disk might be full.";
      return false;
    };
    if (!writeInto(0, {{0, critical.data(), critical.size()}})) return false;
    for (uint32_t j = 0; j < count; ++j) {
      auto head = encodeRecoveryHead(setId, j, sliceSize, volumeHashes[j]->finish());
      if (!writeInto(j + 1, {{kRecoveryHeadSize + sliceSize, critical.data(), critical.size()},
                             {0, head.data(), head.size()}}))
        return false;
    }
    return true;
  }

  // On the medium before any takes its name, and the names after.
  bool nameTheFiles(std::string* text, Status* reason) {
    for (std::size_t n = 0; n < names.size(); ++n) {
      const std::string final = joinPath(folder, names[n]);
      std::unique_ptr<File> file = platform.openFile(temporaries[n], FileAccess::kWrite,
                                                     FileShare::kNone, FileCreate::kOpenExisting,
                                                     kAttributeNormal, reason);
      if (file) *reason = file->sync();
      if (!file || !*reason) {
        *text = "The recovery file \"" + final + "\" cannot be written. The disk might be full.";
        return false;
      }
      file.reset();
      platform.setAttributes(temporaries[n], kAttributeNormal);  // Win32: not hidden
    }
    for (std::size_t n = 0; n < names.size(); ++n) {
      const std::string final = joinPath(folder, names[n]);
      *reason = platform.replaceFile(temporaries[n], final);
      if (!*reason) {
        // Those already renamed stay: each is a whole, valid recovery file.
        temporaries.erase(temporaries.begin(), temporaries.begin() + n);
        *text = "The recovery file \"" + final + "\" cannot be made.";
        return false;
      }
    }
    temporaries.clear();
    platform.syncFolder(folder);
    return true;
  }

  void removeTemporaries() {
    for (const std::string& t : temporaries) platform.deleteFile(t);
    temporaries.clear();
  }
};

RecoveryWriter::RecoveryWriter(Platform& platform, std::string folder, std::string base,
                               std::vector<InputFile> files, uint32_t recoveryCount,
                               uint64_t sliceSize, uint64_t memoryLimit)
    : s_(new State(platform, std::move(folder), std::move(base), std::move(files),
                   recoveryCount, sliceSize, memoryLimit)) {}

RecoveryWriter::~RecoveryWriter() {
  s_->stopComputation();
  s_->removeTemporaries();
}

void RecoveryWriter::setReader(Reader read) { s_->reader = std::move(read); }

uint64_t RecoveryWriter::sliceSize() const { return s_->sliceSize; }
const std::vector<std::string>& RecoveryWriter::fileNames() const { return s_->names; }
uint32_t RecoveryWriter::passes() const { return s_->columns(); }

RecoveryWriter::Progress RecoveryWriter::progress() const {
  return {s_->bytesDone.load(), s_->bytesTotal};
}

bool RecoveryWriter::start(std::string* problem, Status* why) {
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
  s.orderTheSet();
  if (!s.takeMemory()) {
    *problem = "There is not enough memory for the recovery data.";
    return false;
  }
  s.names = recoveryFileNames(s.base, s.count);
  s.bytesTotal = s.sliceSize * s.sources.size();
  for (std::size_t i = 0; i < s.files.size(); ++i)
    s.fed[i].sums.reserve(static_cast<std::size_t>(slicesOf(s.files[i].length, s.sliceSize)));
  s.started = true;
  // With a reader the bytes are there to read now: the computation runs
  // beside the caller, which feeds what it writes meanwhile.
  if (s.reader) {
    Status reason;
    if (!s.makeTemporaries(problem, why ? why : &reason)) {
      s.removeTemporaries();
      s.started = false;
      return false;
    }
    s.compute(true);
  }
  return true;
}

void RecoveryWriter::feed(uint32_t index, const uint8_t* data, std::size_t n) {
  State& s = *s_;
  if (!s.started || index >= s.files.size()) return;
  FedFile& f = s.fed[index];
  const uint64_t length = s.files[index].length;
  if (n > length - f.fed) n = static_cast<std::size_t>(length - f.fed);
  s.anyFed = true;
  while (n != 0) {
    const uint64_t offset = f.fed % s.sliceSize;
    const std::size_t take = static_cast<std::size_t>(std::min<uint64_t>(n, s.sliceSize - offset));
    f.slice.update(data, take);
    f.fed += take;
    data += take;
    n -= take;
    if (f.fed % s.sliceSize == 0 || f.fed == length) {
      f.sums.push_back(f.slice);
      f.slice = QuickSum();
    }
  }
}

bool RecoveryWriter::finish(std::string* problem, const std::function<bool()>& keepGoing,
                            Status* why) {
  State& s = *s_;
  std::string text;
  Status reason;
  auto fail = [&](const std::string& t, const Status& r) {
    s.stopComputation();
    s.removeTemporaries();
    if (problem) *problem = t;
    if (why) *why = r;
    return false;
  };
  auto going = [&]() { return !keepGoing || keepGoing(); };
  if (!s.started) return fail("The recovery set was not started.", Status());

  // 1. The recovery data, computed now unless it was begun by start().
  if (!s.computing) {
    if (!s.makeTemporaries(&text, &reason)) return fail(text, reason);
    if (!going()) return fail("", Status());
    s.askGoing = going;
    s.compute(false);
    s.askGoing = nullptr;
  }
  if (!s.awaitComputation(going) || !going()) {
    if (s.problem.empty()) return fail("", Status());
    return fail(s.problem, s.why);
  }
  // 2. The bytes fed against those read, and the files' own hashes.
  if (!s.checkWhatWasFed(&text)) return fail(text, Status());
  if (!s.hashFiles(going, &text, &reason)) return fail(text, reason);
  s.memory.reset();
  // 3. The packets, then every file under its own name.
  if (!s.writePackets(s.criticalPackets(), &text, &reason)) return fail(text, reason);
  if (!s.nameTheFiles(&text, &reason)) return fail(text, reason);
  return true;
}

bool createRecoveryFiles(Platform& platform, const std::string& folder, const std::string& base,
                         const std::vector<std::string>& names, uint32_t recoveryCount,
                         uint64_t sliceSize, uint64_t memoryLimit, std::string* problem,
                         Status* why) {
  Status reason;
  auto unreadable = [&](const std::string& name) {
    *problem = "The file \"" + joinPath(folder, name) + "\" cannot be read.";
    if (why) *why = reason;
    return false;
  };
  // Each file's first 16 KiB give the set's order; the writer reads the
  // rest itself. Each is open only while it is read.
  std::vector<InputFile> files;
  std::vector<uint8_t> buffer(kFirstBytesHashed);
  for (const std::string& name : names) {
    std::unique_ptr<File> file =
        platform.openFile(joinPath(folder, name), FileAccess::kRead, FileShare::kRead,
                          FileCreate::kOpenExisting, kAttributeNormal, &reason);
    InputFile f;
    f.name = name;
    if (!file) return unreadable(name);
    reason = file->size(&f.length);
    if (!reason) return unreadable(name);
    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(f.length, kFirstBytesHashed));
    if (readAt(*file, 0, buffer.data(), want) != want) return unreadable(name);
    f.firstHash = firstBytesHash(buffer.data(), want);
    files.push_back(f);
  }
  RecoveryWriter writer(platform, folder, base, files, recoveryCount, sliceSize, memoryLimit);
  if (!writer.start(problem, why)) return false;
  return writer.finish(problem, nullptr, why);
}

}  // namespace recovery
}  // namespace trep
