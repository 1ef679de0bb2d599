// The copy loop's two ways of moving a chunk — inside the system
// (File::moveFrom) or through the work buffer, scrambled there for "Encrypt"
// — and the vectorised checksum must give exactly what the plain ways give:
// the same files, bytes, chunk sizes, progress values, questions and results.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/checksum.h"
#include "engine/engine.h"
#include "engine/naming.h"
#include "engine/scramble.h"
#include "engine/segment_format.h"
#include "engine/work_buffer.h"
#include "planning/controls.h"
#include "planning/size_arithmetic.h"
#include "planning/source_analysis.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::FaultyPlatform;
using testing::fileExists;
using testing::patternBytes;
using testing::readBytes;
using testing::slice;
using testing::TempDir;
using testing::writeBytes;

// ---------------------------------------------------------------------------
// Two ways through one faulty platform: `direct` lets files move bytes inside
// the system where it can (and counts the chunks that moved so); without it
// every file refuses, so every chunk goes through the work buffer.

class SwitchFile : public FileWrapper {
 public:
  SwitchFile(std::unique_ptr<File> inner, bool direct, int* moves)
      : FileWrapper(std::move(inner)), direct_(direct), moves_(moves) {}
  DirectMove moveFrom(File& source, uint32_t n, uint32_t* done, Status* why) override {
    if (!direct_) return File::moveFrom(source, n, done, why);
    DirectMove r = FileWrapper::moveFrom(source, n, done, why);
    if (r == DirectMove::kMoved) ++*moves_;
    return r;
  }

 private:
  bool direct_;
  int* moves_;
};

class SwitchPlatform : public PlatformWrapper {
 public:
  SwitchPlatform(FaultyPlatform& inner, bool direct) : PlatformWrapper(&inner), direct_(direct) {}
  int moves = 0;  // chunks moved inside the system

  std::unique_ptr<File> openFile(const std::string& path, FileAccess access, FileShare share,
                                 FileCreate create, uint32_t attributes = kAttributeNormal,
                                 Status* why = nullptr) override {
    std::unique_ptr<File> f = target().openFile(path, access, share, create, attributes, why);
    if (!f) return nullptr;
    return std::make_unique<SwitchFile>(std::move(f), direct_, &moves);
  }
  std::unique_ptr<File> createTemporaryFor(const std::string& path, std::string* temporary,
                                           Status* why = nullptr) override {
    std::unique_ptr<File> f = target().createTemporaryFor(path, temporary, why);
    if (!f) return nullptr;
    return std::make_unique<SwitchFile>(std::move(f), direct_, &moves);
  }

 private:
  bool direct_;
};

// Whether this system moves bytes between files itself: Linux does
// (copy_file_range); elsewhere both ways are the buffer loop.
#ifdef __linux__
constexpr bool kSystemMoves = true;
#else
constexpr bool kSystemMoves = false;
#endif

std::string lastComponent(const std::string& path) {
  std::size_t at = path.find_last_of("/\\");
  return at == std::string::npos ? path : path.substr(at + 1);
}

// One write (or move) the destination files saw: file name, bytes, jobState.
struct Write {
  std::string file;
  uint32_t n;
  uint32_t state;
  bool operator==(const Write& o) const {
    return file == o.file && n == o.n && state == o.state;
  }
};

std::ostream& operator<<(std::ostream& out, const Write& w) {
  return out << w.file << ":" << w.n << "@" << w.state;
}

// What a job left behind.
struct Outcome {
  std::vector<std::vector<uint8_t>> files;  // the segments, or the rebuilt file
  std::vector<std::string> names;           // a split: every name in its folder
  std::vector<Write> writes;
  std::vector<std::string> questions;
  uint32_t result = 0;
  uint32_t state = 0;
  int moves = 0;
};

// The last-access time differs from run to run (reading the source may set
// it), in the plain engine as much as in the fast one: set aside.
std::vector<uint8_t> withoutAccessTime(std::vector<uint8_t> first) {
  if (first.size() >= kFullHeaderSize)
    std::fill(first.begin() + kOffsetLastAccessTime, first.begin() + kOffsetLastWriteTime, 0);
  return first;
}

// The writes with consecutive ones to the same file at the same progress
// value taken together: a chunk moved inside the system is offered to the
// fault hook as one write, the same chunk through the buffer as its pieces.
std::vector<Write> perChunk(const std::vector<Write>& writes) {
  std::vector<Write> merged;
  for (const Write& w : writes) {
    if (!merged.empty() && merged.back().file == w.file && merged.back().state == w.state)
      merged.back().n += w.n;
    else
      merged.push_back(w);
  }
  return merged;
}

void expectSameOutcome(const Outcome& plain, const Outcome& direct, const std::string& what) {
  ASSERT_EQ(plain.files.size(), direct.files.size()) << what;
  for (std::size_t i = 0; i < plain.files.size(); ++i) {
    std::vector<uint8_t> a = plain.files[i], b = direct.files[i];
    if (i == 0) a = withoutAccessTime(a), b = withoutAccessTime(b);
    EXPECT_EQ(a, b) << what << ", file " << i + 1;
  }
  EXPECT_EQ(perChunk(plain.writes), perChunk(direct.writes)) << what;
  EXPECT_EQ(plain.questions, direct.questions) << what;
  EXPECT_EQ(plain.result, direct.result) << what;
  EXPECT_EQ(plain.state, direct.state) << what;
  EXPECT_EQ(plain.moves, 0) << what;
}

struct Mode {
  bool encrypt;
  RebuildMethod rebuildMethod;
  const char* key;
  bool headerless() const { return rebuildMethod == RebuildMethod::kBatFile; }
};

const Mode kModes[] = {
    {false, RebuildMethod::kTrep, ""},
    {true, RebuildMethod::kTrep, "secret"},
    {false, RebuildMethod::kBatFile, ""},
    {true, RebuildMethod::kBatFile, ""},
};

std::string describe(std::size_t size, uint32_t segment, uint32_t buffer, const Mode& m) {
  return std::to_string(size) + " bytes in segments of " + std::to_string(segment) +
         ", buffer " + std::to_string(buffer) + (m.encrypt ? ", encrypted" : "") +
         (m.headerless() ? ", headerless" : "");
}

class FastPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.beforeWrite = [this](const std::string& path, uint32_t n) {
      writes.push_back({lastComponent(path), n, job ? job->jobState.load() : 0});
      return failWrite ? failWrite(path, n) : true;
    };
  }

  // Writes the source "movie.avi" of `size` bytes.
  void makeSource(std::size_t size) {
    source = patternBytes(size, static_cast<uint32_t>(size));
    writeBytes(dir.file("movie.avi"), source);
  }

  // Writes the whole source again, with the same times each time, so the
  // headers of two splits of it can be compared.
  void restoreSource() {
    writeBytes(dir.file("movie.avi"), source);
    auto f = platform.openFile(dir.file("movie.avi"), FileAccess::kReadWrite, FileShare::kNone,
                               FileCreate::kOpenExisting);
    ASSERT_TRUE(f);
    FileTimes times;
    ASSERT_TRUE(f->getTimes(&times));
    times.lastAccess = 132000000000000000ull;
    times.lastWrite = 131000000000000000ull;
    ASSERT_TRUE(f->setTimes(times));
  }

  // Splits the source into `folder` with a work buffer of `buffer` bytes.
  Outcome split(bool direct, const std::string& folder, uint32_t segmentSize, uint32_t buffer,
                const Mode& m, std::vector<uint32_t> answers = {}) {
    SwitchPlatform p(platform, direct);
    ScriptedAnswerer answerer(answers);
    p.setNoticeAnswerer(&answerer);
    job = std::make_unique<JobSettings>();
    job->sourcePath = dir.file("movie.avi");
    job->fileSize = jobFileSize != 0 ? jobFileSize : source.size();
    job->segmentSize = segmentSize;
    job->isSplit = job->sourceValid = 1;
    job->encrypt = m.encrypt;
    job->cipherKey = m.key;
    job->outputFolder = dir.file(folder);
    job->jobState = kJobPrepared;
    job->workBuffer = static_cast<uint8_t*>(p.allocateZeroed(buffer + kWorkBufferSlack));
    job->workBufferSize = buffer;
    PersistedSettings options;
    options.rebuildMethod = m.rebuildMethod;
    options.useCrc = 1;
    BatchPlanning planning;
    JobContext ctx{*job, options, p, planning, nullptr};
    writes.clear();
    runJob(ctx);
    releaseWorkBuffer(ctx);

    Outcome o;
    for (uint32_t n = 1; fileExists(segment(folder, n)); ++n)
      o.files.push_back(readBytes(segment(folder, n)));
    o.names = testing::namesIn(dir.file(folder));
    o.writes = writes;
    o.questions = answerer.messages();
    o.result = job->jobResult;
    o.state = job->jobState;
    o.moves = p.moves;
    job.reset();
    return o;
  }

  // Joins the series in `series` (chosen by its segment 0001) into `folder`.
  Outcome join(bool direct, const std::string& series, const std::string& folder,
               uint32_t buffer, const Mode& m, std::vector<uint32_t> answers = {}) {
    SwitchPlatform p(platform, direct);
    if (m.headerless()) answers.insert(answers.begin(), kUpperButton);  // "anyway"
    ScriptedAnswerer answerer(answers);
    p.setNoticeAnswerer(&answerer);
    job = std::make_unique<JobSettings>();
    job->sourcePath = segment(series, 1);
    job->encrypt = m.encrypt;
    job->cipherKey = m.key;
    PersistedSettings options;
    options.useCrc = 1;
    NoControls none;
    SizeState sizes;
    PlanningContext planningContext{*job, options, p, none, sizes};
    analyseSource(planningContext);
    EXPECT_EQ(job->sourceValid, 1u);
    job->outputFolder = dir.file(folder);
    job->jobState = kJobPrepared;
    job->workBuffer = static_cast<uint8_t*>(p.allocateZeroed(buffer + kWorkBufferSlack));
    job->workBufferSize = buffer;
    BatchPlanning planning;
    JobContext ctx{*job, options, p, planning, nullptr};
    writes.clear();
    runJob(ctx);
    releaseWorkBuffer(ctx);

    Outcome o;
    const std::string rebuilt = dir.file(folder) + kPathSeparator + job->originalName.str();
    if (fileExists(rebuilt)) o.files.push_back(readBytes(rebuilt));
    o.writes = writes;
    o.questions = answerer.messages();
    o.result = job->jobResult;
    o.state = job->jobState;
    o.moves = p.moves;
    job.reset();
    return o;
  }

  std::string segment(const std::string& folder, uint32_t n) const {
    return segmentPath(dir.file(folder) + kPathSeparator + "movi", n);
  }

  // A folder name not used before in this test: no job meets an earlier
  // job's files.
  std::string fresh(const std::string& name) {
    return name + "-" + std::to_string(++folders);
  }

  // The segments a split must write, made here from the source: header (or
  // magic, or none), then the payload, its bytes 0 .. min(P - 1, length) - 1
  // XORed with the key when scrambled. Headers are compared between the two
  // ways, so only their length is taken here.
  void expectPayloads(const Outcome& o, uint32_t segmentSize, const Mode& m,
                      const std::string& what) {
    // A file smaller than one segment makes one segment of its own size.
    if (segmentSize > source.size()) segmentSize = static_cast<uint32_t>(source.size());
    std::size_t count = (source.size() + segmentSize - 1) / segmentSize;
    ASSERT_EQ(o.files.size(), count) << what;
    std::string key = m.key;
    if (m.encrypt) {
      if (key.empty()) key = kDefaultKey;
      while (key.size() < kKeyLength) key += key;
    }
    for (std::size_t i = 0; i < count; ++i) {
      std::size_t header = m.headerless() ? 0 : (i == 0 ? kFullHeaderSize : kMagicSize);
      std::size_t length = source.size() - i * segmentSize < segmentSize
                               ? source.size() - i * segmentSize
                               : segmentSize;
      std::vector<uint8_t> expected = slice(source, i * segmentSize, length);
      if (m.encrypt)
        for (std::size_t k = 0; k + 1 < segmentSize && k < length; ++k)
          expected[k] ^= static_cast<uint8_t>(key[k % kKeyLength]);
      ASSERT_EQ(o.files[i].size(), header + length) << what << ", segment " << i + 1;
      EXPECT_EQ(slice(o.files[i], header, length), expected) << what << ", segment " << i + 1;
    }
  }

  TempDir dir;
  FaultyPlatform platform;
  std::unique_ptr<JobSettings> job;
  std::vector<Write> writes;
  std::function<bool(const std::string&, uint32_t)> failWrite;
  std::vector<uint8_t> source;
  std::size_t jobFileSize = 0;  // the size the job is told; 0: the source's
  int folders = 0;
};

// Sizes around the chunk (buffer) and segment boundaries, and chunk limits
// that meet the last payload byte of a segment, which is never scrambled.
struct SizeCase {
  std::size_t size;
  uint32_t segment;
  uint32_t buffer;
};

const SizeCase kSizes[] = {
    {1, 1000, 256},    {255, 1000, 256},  {256, 1000, 256},  {257, 1000, 256},
    {999, 1000, 256},  {1000, 1000, 256}, {1001, 1000, 256}, {1999, 1000, 256},
    {2000, 1000, 256}, {2001, 1000, 256}, {3257, 1000, 256}, {2500, 1000, 999},
    {2500, 1000, 500}, {2500, 1000, 1000}, {2500, 1000, 1001}, {2500, 1000, 4096},
    {7, 1, 256},       {9, 2, 1},         {300, 100, 33},    {100000, 40000, 65536},
    // Chunks of several pieces of the copy loop (256 KiB).
    {1500000, 600000, 600000}, {1300000, 1000000, 524288}, {800000, 262145, 262144},
    // Segments and chunks of whole memory pages: a headerless series moves
    // inside the system there.
    {3 * 65536 + 5, 65536, 65536}, {5 * 8192, 8192, 4096},
};

// Whether a split or join of the case surely moves chunks inside the
// system: on Linux, where source and destination positions agree within
// every 4 KiB page, which a headerless series of whole pages gives. (A join
// of a series with headers moves too: it reads from within pages.)
bool movesInside(const SizeCase& c, const Mode& m) {
  return kSystemMoves && !m.encrypt && m.headerless() && c.segment % 4096 == 0 &&
         c.buffer % 4096 == 0 && c.size > c.segment;
}

TEST_F(FastPathTest, SplitsAreTheSameBothWays) {
  for (const SizeCase& c : kSizes) {
    makeSource(c.size);
    for (const Mode& m : kModes) {
      const std::string what = describe(c.size, c.segment, c.buffer, m);
      Outcome plain = split(false, fresh("plain"), c.segment, c.buffer, m);
      Outcome direct = split(true, fresh("direct"), c.segment, c.buffer, m);
      EXPECT_EQ(plain.result, kResultFinished) << what;
      EXPECT_EQ(plain.state, kJobEnded) << what;
      EXPECT_TRUE(plain.questions.empty()) << what;
      expectPayloads(plain, c.segment, m, what);
      expectSameOutcome(plain, direct, what);
      if (movesInside(c, m)) {
        EXPECT_GT(direct.moves, 0) << what;
      }
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST_F(FastPathTest, JoinsAreTheSameBothWays) {
  for (const SizeCase& c : kSizes) {
    makeSource(c.size);
    for (const Mode& m : kModes) {
      const std::string what = describe(c.size, c.segment, c.buffer, m);
      const std::string series = fresh("series");
      Outcome made = split(false, series, c.segment, c.buffer, m);
      ASSERT_EQ(made.result, kResultFinished) << what;
      if (made.files.size() < 2) continue;  // a series has two segments or more
      Outcome plain = join(false, series, fresh("plain"), c.buffer, m);
      Outcome direct = join(true, series, fresh("direct"), c.buffer, m);
      EXPECT_EQ(plain.result, kResultFinished) << what;
      EXPECT_EQ(plain.state, kJobEnded) << what;
      EXPECT_EQ(plain.files[0], source) << what;
      expectSameOutcome(plain, direct, what);
      if (movesInside(c, m)) {
        EXPECT_GT(direct.moves, 0) << what;
      }
      for (uint32_t n = 1; n <= made.files.size(); ++n)
        EXPECT_EQ(readBytes(segment(series, n)), made.files[n - 1]) << what;  // only read
      if (::testing::Test::HasFailure()) return;
    }
  }
}

// A full disk in the middle of segment 2: the chunk is refused twice, "OK"
// both times, then the same chunk goes again from its start.
TEST_F(FastPathTest, FailedWriteInTheMiddleIsRetriedTheSameBothWays) {
  makeSource(2500);
  for (const Mode& m : kModes) {
    const std::string what = describe(2500, 1000, 300, m);
    Outcome outcomes[2];
    for (bool direct : {false, true}) {
      int refused = 0;
      failWrite = [&](const std::string& path, uint32_t n) {
        if (lastComponent(path) != "movi0002.trp" || n != 300) return true;
        return ++refused > 3 || refused == 1;  // the second chunk fails twice
      };
      outcomes[direct] = split(direct, fresh("out"), 1000, 300, m, {kUpperButton, kUpperButton});
      failWrite = nullptr;
      EXPECT_EQ(refused, 5) << what;  // 3 chunks of 300 bytes, the second twice more
    }
    EXPECT_EQ(outcomes[0].questions,
              (std::vector<std::string>{kWriteError, kWriteError})) << what;
    EXPECT_EQ(outcomes[0].result, kResultFinished) << what;
    expectPayloads(outcomes[0], 1000, m, what);
    expectSameOutcome(outcomes[0], outcomes[1], what);
  }
}

TEST_F(FastPathTest, FailedWriteAndAbortLeaveTheSameFilesBothWays) {
  makeSource(2500);
  for (const Mode& m : kModes) {
    const std::string what = describe(2500, 1000, 300, m);
    Outcome outcomes[2];
    for (bool direct : {false, true}) {
      int seen = 0;
      failWrite = [&](const std::string& path, uint32_t n) {
        return !(lastComponent(path) == "movi0002.trp" && n == 300 && ++seen == 3);
      };
      outcomes[direct] = split(direct, fresh("out"), 1000, 300, m, {kLowerButton});
      failWrite = nullptr;
    }
    EXPECT_EQ(outcomes[0].questions, std::vector<std::string>{kWriteError}) << what;
    EXPECT_EQ(outcomes[0].result, kResultAborted) << what;
    // Segment 1 is complete; segment 2, two chunks of it written, is gone,
    // under its temporary name too.
    ASSERT_EQ(outcomes[0].files.size(), 1u) << what;
    for (const Outcome& o : outcomes)
      EXPECT_EQ(o.names, m.headerless()
                             ? (std::vector<std::string>{"UnTrep.bat", "movi0001.trp"})
                             : std::vector<std::string>{"movi0001.trp"}) << what;
    expectSameOutcome(outcomes[0], outcomes[1], what);
  }
}

#ifndef _WIN32  // Windows lets no one shorten a file the job holds open
// The source is shorter than the job expects (it changed after it was
// chosen): the short chunk is refused before anything of it is written.
TEST_F(FastPathTest, ShortSourceAsksAndWritesTheSameBothWays) {
  makeSource(2500);
  jobFileSize = 2500;
  for (const Mode& m : kModes) {
    const std::string what = describe(2500, 1000, 400, m);
    Outcome outcomes[2];
    for (bool direct : {false, true}) {
      restoreSource();
      // The file loses its last 700 bytes when segment 2 is first written to.
      bool cut = false;
      failWrite = [&](const std::string& path, uint32_t) {
        if (!cut && lastComponent(path) == "movi0002.trp") {
          writeBytes(dir.file("movie.avi"), slice(source, 0, 1800));
          cut = true;
        }
        return true;
      };
      outcomes[direct] = split(direct, fresh("out"), 1000, 400, m, {kUpperButton, kLowerButton});
      failWrite = nullptr;
    }
    // Segment 2's chunks are 400, 400 and 200 bytes; the last finds nothing.
    EXPECT_EQ(outcomes[0].questions,
              (std::vector<std::string>{kWriteError, kWriteError})) << what;
    EXPECT_EQ(outcomes[0].result, kResultAborted) << what;
    ASSERT_EQ(outcomes[0].files.size(), 1u) << what;  // segment 2 never completed
    expectSameOutcome(outcomes[0], outcomes[1], what);
  }
  jobFileSize = 0;
}
#endif

// A scrambled segment that cannot be read: "OK" tries again (the medium is
// back), "Abort procedure" ends the job with 99; the segments are only read.
TEST_F(FastPathTest, UnreadableScrambledSegmentAsksForItAgain) {
  makeSource(2500);
  const Mode m = {true, RebuildMethod::kTrep, "secret"};
  Outcome made = split(false, "series", 1000, 300, m);
  ASSERT_EQ(made.files.size(), 3u);
  platform.deleteFile(segment("series", 2));

  // "OK" with the segment back in place.
  SwitchPlatform p(platform, true);
  int asked = 0;
  testing::FunctionAnswerer putBack([&](const NoticeParameters& n) {
    ++asked;
    EXPECT_EQ(n.message, kReadError);
    writeBytes(segment("series", 2), made.files[1]);
    return kUpperButton;
  });
  p.setNoticeAnswerer(&putBack);
  job = std::make_unique<JobSettings>();
  job->sourcePath = segment("series", 1);
  job->encrypt = 1;
  job->cipherKey = "secret";
  PersistedSettings options;
  options.useCrc = 1;
  NoControls none;
  SizeState sizes;
  PlanningContext pc{*job, options, p, none, sizes};
  analyseSource(pc);
  ASSERT_EQ(job->sourceValid, 1u);
  job->outputFolder = dir.file("out");
  job->jobState = kJobPrepared;
  BatchPlanning planning;
  JobContext ctx{*job, options, p, planning, nullptr};
  runJob(ctx);
  releaseWorkBuffer(ctx);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(job->jobResult, kResultFinished);
  EXPECT_EQ(readBytes(dir.file("out") + kPathSeparator + "movie.avi"), source);
  for (uint32_t n = 1; n <= 3; ++n) EXPECT_EQ(readBytes(segment("series", n)), made.files[n - 1]);

  // "Abort procedure".
  platform.deleteFile(segment("series", 3));
  Outcome aborted = join(true, "series", "out2", 300, m, {kLowerButton});
  EXPECT_EQ(aborted.questions, std::vector<std::string>{kReadError});
  EXPECT_EQ(aborted.result, kResultAborted);
  EXPECT_TRUE(aborted.files.empty());  // no part-made file
  EXPECT_EQ(testing::namesIn(dir.file("out2")), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// The pieces on their own.

#ifdef __linux__
TEST(MoveFromTest, MovesUnlessFromAPageStartIntoAPage) {
  TempDir dir;
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  std::vector<uint8_t> bytes = patternBytes(20000, 3);
  writeBytes(dir.file("a"), bytes);
  auto from = platform->openFile(dir.file("a"), FileAccess::kRead, FileShare::kRead,
                                 FileCreate::kOpenExisting);
  auto to = platform->openFile(dir.file("b"), FileAccess::kReadWrite, FileShare::kNone,
                               FileCreate::kCreateAlways);
  ASSERT_TRUE(from && to);
  std::vector<uint8_t> head(4100, 'h');
  uint32_t put = 0;
  ASSERT_TRUE(to->write(head.data(), 4100, &put));
  ASSERT_TRUE(from->seek(8196));  // 4 bytes into a page, as the destination
  uint32_t done = 0;
  EXPECT_EQ(to->moveFrom(*from, 10000, &done), DirectMove::kMoved);
  EXPECT_EQ(done, 10000u);
  uint64_t at = 0;
  EXPECT_TRUE(from->tell(&at));
  EXPECT_EQ(at, 18196u);
  EXPECT_TRUE(to->tell(&at));
  EXPECT_EQ(at, 14100u);

  // 1804 bytes are left; 1805 asked: nothing moves, both stay where they are.
  EXPECT_EQ(to->moveFrom(*from, 1805, &done), DirectMove::kUnsupported);
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(from->tell(&at));
  EXPECT_EQ(at, 18196u);
  EXPECT_TRUE(to->tell(&at));
  EXPECT_EQ(at, 14100u);

  // From the start of a page to the middle of one: left to a read and a
  // write, which are faster there.
  ASSERT_TRUE(from->seek(8192));
  EXPECT_EQ(to->moveFrom(*from, 1000, &done), DirectMove::kUnsupported);
  EXPECT_EQ(done, 0u);
  EXPECT_TRUE(from->tell(&at));
  EXPECT_EQ(at, 8192u);
  EXPECT_TRUE(to->tell(&at));
  EXPECT_EQ(at, 14100u);

  // From the middle of a page, wherever the destination is: moved.
  ASSERT_TRUE(from->seek(100));
  EXPECT_EQ(to->moveFrom(*from, 1000, &done), DirectMove::kMoved);
  EXPECT_EQ(done, 1000u);
  to.reset();

  std::vector<uint8_t> expected = head;
  std::vector<uint8_t> moved = slice(bytes, 8196, 10000);
  expected.insert(expected.end(), moved.begin(), moved.end());
  moved = slice(bytes, 100, 1000);
  expected.insert(expected.end(), moved.begin(), moved.end());
  EXPECT_EQ(readBytes(dir.file("b")), expected);
}
#endif

TEST(MoveFromTest, AFileOfAnotherKindIsNotMovedFrom) {
  TempDir dir;
  std::unique_ptr<Platform> platform = makeSystemPlatform();
  writeBytes(dir.file("a"), patternBytes(100));
  auto to = platform->openFile(dir.file("b"), FileAccess::kWrite, FileShare::kNone,
                               FileCreate::kCreateAlways);
  ASSERT_TRUE(to);
  FaultyPlatform faulty;
  auto wrapped = faulty.openFile(dir.file("a"), FileAccess::kRead, FileShare::kRead,
                                 FileCreate::kOpenExisting);
  uint32_t done = 1;
  EXPECT_EQ(to->moveFrom(*wrapped, 50, &done), DirectMove::kUnsupported);
  EXPECT_EQ(done, 0u);
}

TEST(ScrambleBytesTest, EqualsTheBytewiseXorAtEveryOffsetAndLength) {
  const char key[] = "0123456789abcdefghijklmnopqrstuv";
  std::vector<uint8_t> data = patternBytes(300, 9);
  for (uint64_t offset : {0ull, 1ull, 31ull, 32ull, 33ull, 1000000007ull, 4294967296ull + 5}) {
    for (std::size_t length = 0; length <= 200; ++length) {
      std::vector<uint8_t> fast = slice(data, 7, length), slow = fast;
      scrambleBytes(key, offset, fast.data(), fast.size());
      for (std::size_t i = 0; i < length; ++i)
        slow[i] ^= static_cast<uint8_t>(key[(offset + i) % 32]);
      ASSERT_EQ(fast, slow) << "offset " << offset << ", length " << length;
    }
  }
}

// The window pass as first written: one step per byte, a 32-bit word each.
void referenceWindowPass(const uint8_t* area, uint32_t n, CrcSums* sums) {
  uint32_t a = sums->a, b = sums->b;
  uint32_t k = n;
  const uint8_t* p = area;
  while (k != 0) {
    a += static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    ++p;
    b += a;
    if (k <= 3) {
      uint32_t t;
      if (k == 3)
        t = (static_cast<uint32_t>(p[0]) << 24) + (static_cast<uint32_t>(p[2]) << 8);
      else if (k == 2)
        t = (static_cast<uint32_t>(p[0]) << 16) + (static_cast<uint32_t>(p[1]) << 24);
      else
        t = static_cast<uint32_t>(p[0]) << 24;
      a += t;
      b += a;
      k = 0;
    } else {
      k -= 4;
    }
  }
  sums->a = a;
  sums->b = b;
}

TEST(ChecksumWindowTest, EqualsTheStepwisePassOnEveryLength) {
  std::mt19937 random(12345);
  std::vector<uint8_t> area(3000000);
  for (uint8_t& byte : area) byte = static_cast<uint8_t>(random());
  // Every kernel this processor has: the portable one always, SSE2 and
  // AVX2 on x86 processors with them.
  std::vector<CrcKernel> kernels;
  for (CrcKernel k : {CrcKernel::kPortable, CrcKernel::kSse2, CrcKernel::kAvx2})
    if (crcKernelAvailable(k)) kernels.push_back(k);
#if defined(__x86_64__)
  EXPECT_TRUE(crcKernelAvailable(CrcKernel::kSse2));
#endif
  std::vector<uint32_t> lengths;
  for (uint32_t n = 0; n <= 600; ++n) lengths.push_back(n);
  for (uint32_t n : {1021u, 1024u, 4096u, 65535u, 65536u, 65537u, 1000003u, 10000000u})
    lengths.push_back(n);
  for (uint32_t n : lengths) {
    for (uint32_t start : {0u, 1u, 13u}) {  // unaligned areas too
      CrcSums initial;
      initial.a = random();
      initial.b = random();
      CrcSums expected = initial, got = initial;
      referenceWindowPass(area.data() + start, n, &expected);
      crcWindowPass(area.data() + start, n, &got);
      ASSERT_EQ(got.a, expected.a) << n << " bytes at " << start;
      ASSERT_EQ(got.b, expected.b) << n << " bytes at " << start;
      for (CrcKernel kernel : kernels) {
        CrcSums with = initial;
        crcWindowPassWith(kernel, area.data() + start, n, &with);
        ASSERT_EQ(with.a, expected.a) << n << " bytes at " << start << ", kernel " << int(kernel);
        ASSERT_EQ(with.b, expected.b) << n << " bytes at " << start << ", kernel " << int(kernel);
      }
    }
  }
  // All bytes 255: the largest sums, wrapping many times.
  std::vector<uint8_t> full(2600000, 0xFF);
  CrcSums expected;
  referenceWindowPass(full.data(), 10000000, &expected);
  for (CrcKernel kernel : kernels) {
    CrcSums got;
    crcWindowPassWith(kernel, full.data(), 10000000, &got);
    EXPECT_EQ(got.a, expected.a) << int(kernel);
    EXPECT_EQ(got.b, expected.b) << int(kernel);
  }
}

TEST(ChecksumAreaTest, HoldsWhatTheFirstChunkReads) {
  EXPECT_EQ(crcAreaSize(0), 3u);
  EXPECT_EQ(crcAreaSize(1), 4u);
  EXPECT_EQ(crcAreaSize(3), 4u);
  EXPECT_EQ(crcAreaSize(8), 5u);
  EXPECT_EQ(crcAreaSize(9999999), 2500003u);
  EXPECT_EQ(crcAreaSize(1ull << 30), 2500003u);
  EXPECT_EQ(crcAreaSize((1ull << 32) + 8), 5u);  // the high half of the size is ignored
}

TEST(ChecksumAreaTest, ComputeAllocatesOnlyThatArea) {
  TempDir dir;
  FaultyPlatform platform;
  writeBytes(dir.file("f"), patternBytes(10000003));
  uint32_t crc = computeFileCrc(platform, dir.file("f"));
  EXPECT_NE(crc, 0u);
  EXPECT_EQ(platform.allocationRequests, std::vector<uint64_t>{2500003u});
}

}  // namespace
}  // namespace trep
