// The recovery writer and the repairer together, on real files: a series is
// written with its recovery files, damaged, and repaired; every rebuilt
// segment must hold the original bytes.
#include "engine/recovery/repair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engine/naming.h"
#include "engine/recovery/gf16.h"
#include "engine/recovery/recovery_set.h"
#include "engine/recovery/recovery_writer.h"
#include "testing/test_support.h"

namespace trep {
namespace recovery {
namespace {

enum class Damage { kLose, kRandom, kTruncate, kSwapWithNext };

struct Series {
  testing::TempDir dir;
  testing::TempDir work;
  std::vector<std::vector<uint8_t>> segments;
  std::vector<std::string> names;

  std::string path(uint32_t n) const { return dir.file(names[n - 1]); }
};

// Segments of the given sizes, each of its own bytes, named abcd0001.trp ...
void makeSegments(Series& s, const std::vector<std::size_t>& sizes, uint32_t seed = 1) {
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    s.segments.push_back(testing::patternBytes(sizes[i], seed * 100 + static_cast<uint32_t>(i)));
    s.names.push_back("abcd" + zeroPadded(static_cast<uint32_t>(i + 1), 4) + ".trp");
    testing::writeBytes(s.path(static_cast<uint32_t>(i + 1)), s.segments.back());
  }
}

void writeRecovery(Platform& platform, Series& s, uint32_t count,
                   uint64_t memory = kDefaultRecoveryMemory, uint64_t sliceSize = 0) {
  std::string problem;
  ASSERT_TRUE(createRecoveryFiles(platform, s.dir.path(), "abcd", s.names, count, sliceSize,
                                  memory, &problem))
      << problem;
}

void damage(Series& s, uint32_t n, Damage how) {
  const std::string path = s.path(n);
  switch (how) {
    case Damage::kLose: std::filesystem::remove(path); break;
    case Damage::kRandom:
      testing::writeBytes(path, testing::patternBytes(s.segments[n - 1].size(), 999 + n));
      break;
    case Damage::kTruncate:
      testing::writeBytes(path, testing::slice(s.segments[n - 1], 0, s.segments[n - 1].size() / 3));
      break;
    case Damage::kSwapWithNext: {
      auto a = testing::readBytes(path);
      auto b = testing::readBytes(s.path(n + 1));
      testing::writeBytes(path, b);
      testing::writeBytes(s.path(n + 1), a);
      break;
    }
  }
}

RepairReport repair(Platform& platform, Series& s, uint64_t memory = kDefaultRecoveryMemory,
                    bool checkOnly = false) {
  RecoverySet set;
  Status why;
  EXPECT_EQ(readRecoverySet(platform, s.dir.path(), "abcd", &set, &why), SetFound::kUsable)
      << why.toString();
  RepairOptions options;
  options.workFolder = s.work.path();
  options.memoryLimit = memory;
  options.checkOnly = checkOnly;
  return repairSeries(platform, set, s.dir.path(), "abcd", options);
}

// After a repair, every segment reads back as it was written, from its own
// file or from where the report points.
void expectSeriesReadable(const Series& s, const RepairReport& r) {
  for (uint32_t n = 1; n <= s.segments.size(); ++n) {
    auto it = r.readFrom.find(n);
    const std::string path = it != r.readFrom.end() ? it->second : s.path(n);
    EXPECT_EQ(testing::readBytes(path), s.segments[n - 1]) << "segment " << n;
  }
}

struct DamageRow {
  const char* what;
  uint32_t recoveryFiles;
  std::vector<std::pair<uint32_t, Damage>> damages;
  RepairOutcome outcome;
  std::vector<uint32_t> missing, damaged, rebuilt;
  uint32_t needed, available;
};

TEST(RepairTest, DamageTable) {
  const DamageRow rows[] = {
      {"intact", 1, {}, RepairOutcome::kIntact, {}, {}, {}, 0, 0},
      {"one lost", 1, {{3, Damage::kLose}}, RepairOutcome::kRepaired, {3}, {}, {3}, 1, 1},
      {"segment 0001 lost", 1, {{1, Damage::kLose}}, RepairOutcome::kRepaired, {1}, {}, {1}, 1, 1},
      {"same size, other bytes", 1, {{2, Damage::kRandom}}, RepairOutcome::kRepaired, {}, {2}, {2}, 1, 1},
      {"truncated", 1, {{5, Damage::kTruncate}}, RepairOutcome::kRepaired, {}, {5}, {5}, 1, 1},
      {"two swapped: found by their MD5, no recovery slice used", 1, {{2, Damage::kSwapWithNext}},
       RepairOutcome::kRepaired, {}, {2, 3}, {2, 3}, 0, 0},
      {"0001 lost, 0002 and 0003 swapped: their bytes taken out of the check's sums again", 1,
       {{1, Damage::kLose}, {2, Damage::kSwapWithNext}}, RepairOutcome::kRepaired, {1}, {2, 3},
       {1, 2, 3}, 1, 1},
      {"N damaged", 3, {{1, Damage::kLose}, {2, Damage::kRandom}, {4, Damage::kTruncate}},
       RepairOutcome::kRepaired, {1}, {2, 4}, {1, 2, 4}, 3, 3},
      {"N + 1 damaged", 3,
       {{1, Damage::kLose}, {2, Damage::kRandom}, {4, Damage::kTruncate}, {5, Damage::kLose}},
       RepairOutcome::kNotRepairable, {1, 5}, {2, 4}, {}, 4, 3},
      {"every segment lost, as many recovery files", 5,
       {{1, Damage::kLose}, {2, Damage::kLose}, {3, Damage::kLose}, {4, Damage::kLose}, {5, Damage::kLose}},
       RepairOutcome::kRepaired, {1, 2, 3, 4, 5}, {}, {1, 2, 3, 4, 5}, 5, 5},
  };
  testing::FaultyPlatform platform;
  for (const DamageRow& row : rows) {
    SCOPED_TRACE(row.what);
    Series s;
    makeSegments(s, {4096 + 652, 4096 + 8, 4096 + 8, 4096 + 8, 1234 + 8});
    writeRecovery(platform, s, row.recoveryFiles);
    for (auto [n, how] : row.damages) damage(s, n, how);
    auto swappedBefore = s.segments;
    RepairReport r = repair(platform, s);
    EXPECT_EQ(r.outcome, row.outcome) << r.problem;
    EXPECT_EQ(r.missing, row.missing);
    EXPECT_EQ(r.damaged, row.damaged);
    EXPECT_EQ(r.rebuilt, row.rebuilt);
    EXPECT_EQ(r.slicesNeeded, row.needed);
    EXPECT_EQ(r.slicesAvailable, row.available);
    if (r.outcome == RepairOutcome::kRepaired || r.outcome == RepairOutcome::kIntact)
      expectSeriesReadable(s, r);
    // Nothing written beside the series; the rebuilt files go with removeRebuilt.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir.path()),
                            std::filesystem::directory_iterator{}),
              static_cast<long>(5 + 1 + row.recoveryFiles - std::count_if(
                  row.damages.begin(), row.damages.end(),
                  [](auto d) { return d.second == Damage::kLose; })));
    removeRebuilt(platform, &r);
    EXPECT_TRUE(std::filesystem::is_empty(s.work.path()));
  }
}

// Slices of several MiB: the repair takes the check's sums piece by piece
// (taking out what a damaged segment put in them over several pieces), and
// window by window when the memory holds no sum; a last slice of odd length.
TEST(RepairTest, LargeSlicesAreSolvedPieceByPiece) {
  struct Row {
    const char* what;
    Damage damage;
    uint64_t memory;
  } rows[] = {
      {"lost, from the check's sums", Damage::kLose, kDefaultRecoveryMemory},
      {"other bytes, taken out of the sums again", Damage::kRandom, kDefaultRecoveryMemory},
      {"lost, window by window", Damage::kLose, 8u << 20},
  };
  testing::FaultyPlatform platform;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Series s;
    makeSegments(s, {(9u << 20) + 652, (9u << 20) + 8, (5u << 20) + 3});
    writeRecovery(platform, s, 1);
    damage(s, 2, row.damage);
    RepairReport r = repair(platform, s, row.memory);
    EXPECT_EQ(r.outcome, RepairOutcome::kRepaired) << r.problem;
    EXPECT_EQ(r.rebuilt, std::vector<uint32_t>{2});
    expectSeriesReadable(s, r);
  }
}

TEST(RepairTest, CheckOnlyFindsTheDamageAndWritesNothing) {
  testing::FaultyPlatform platform;
  Series s;
  makeSegments(s, {3000, 3000, 2000});
  writeRecovery(platform, s, 1);
  damage(s, 2, Damage::kRandom);
  RepairReport r = repair(platform, s, kDefaultRecoveryMemory, true);
  EXPECT_EQ(r.outcome, RepairOutcome::kRepairable);
  EXPECT_EQ(r.damaged, std::vector<uint32_t>{2});
  EXPECT_TRUE(r.readFrom.empty());
  EXPECT_TRUE(std::filesystem::is_empty(s.work.path()));
}

// The user's abort stops the check or the rebuild where it is; nothing
// rebuilt is left behind, whichever question it answers.
TEST(RepairTest, AStopLeavesNothingBehind) {
  testing::FaultyPlatform platform;
  // Stopped at the first question, the second, ... until a repair runs
  // to its end: how many questions come, and from which step, depends on
  // how the check's threads share the segments.
  for (int allowed = 0;; ++allowed) {
    SCOPED_TRACE(allowed);
    ASSERT_LT(allowed, 1000) << "the repair never ends";
    Series s;
    makeSegments(s, {3000, 3000, 3000, 2000});
    writeRecovery(platform, s, 2);
    damage(s, 2, Damage::kRandom);
    damage(s, 4, Damage::kTruncate);
    RecoverySet set;
    Status why;
    ASSERT_EQ(readRecoverySet(platform, s.dir.path(), "abcd", &set, &why), SetFound::kUsable);
    RepairOptions options;
    options.workFolder = s.work.path();
    int calls = 0;
    options.keepGoing = [&]() { return calls++ < allowed; };
    RepairReport r = repairSeries(platform, set, s.dir.path(), "abcd", options);
    if (r.outcome == RepairOutcome::kRepaired) {
      EXPECT_GE(allowed, 2);  // stops after the check were among those tried
      expectSeriesReadable(s, r);
      removeRebuilt(platform, &r);
      break;
    }
    EXPECT_EQ(r.outcome, RepairOutcome::kStopped);
    EXPECT_TRUE(r.readFrom.empty());
    EXPECT_TRUE(std::filesystem::is_empty(s.work.path()));
  }
}

// Recovery data that does not fit the memory limit is computed in passes;
// the files are the same byte for byte, and so is the repair.
TEST(RepairTest, PassesGiveTheSameFilesAsOnePass) {
  testing::FaultyPlatform platform;
  Series one, many;
  const std::vector<std::size_t> sizes = {300001, 300000, 123457};
  makeSegments(one, sizes);
  makeSegments(many, sizes);
  writeRecovery(platform, one, 2);
  {
    std::vector<InputFile> files;
    for (std::size_t i = 0; i < sizes.size(); ++i)
      files.push_back({many.names[i], sizes[i], firstBytesHash(many.segments[i].data(), sizes[i])});
    RecoveryWriter writer(platform, many.dir.path(), "abcd", files, 2, 0, 200000);
    std::string problem;
    ASSERT_TRUE(writer.start(&problem)) << problem;
    EXPECT_EQ(writer.passes(), 8u);  // columns of 39,936 bytes over slices of 300,004
    // Fed in odd pieces, files interleaved with nothing: words split across feeds.
    const std::size_t pieces[] = {1, 3, 652, 7, 4096, 65535, 2};
    for (uint32_t i = 0; i < files.size(); ++i)
      for (std::size_t at = 0, p = 0; at < sizes[i]; ++p) {
        std::size_t n = std::min(pieces[p % 7], sizes[i] - at);
        writer.feed(i, many.segments[i].data() + at, n);
        at += n;
      }
    ASSERT_TRUE(writer.finish(&problem)) << problem;
  }
  for (const std::string& name : recoveryFileNames("abcd", 2))
    EXPECT_EQ(testing::readBytes(many.dir.file(name)), testing::readBytes(one.dir.file(name)))
        << name;

  damage(many, 1, Damage::kLose);
  damage(many, 3, Damage::kRandom);
  RepairReport r = repair(platform, many, 200000);
  EXPECT_EQ(r.outcome, RepairOutcome::kRepaired) << r.problem;
  expectSeriesReadable(many, r);
}

// A file changed between the feeding and the later passes is caught.
TEST(RepairTest, AFileChangedDuringThePassesFailsTheWriter) {
  testing::FaultyPlatform platform;
  Series s;
  makeSegments(s, {200000, 200000});
  std::vector<InputFile> files;
  for (std::size_t i = 0; i < 2; ++i)
    files.push_back({s.names[i], 200000, firstBytesHash(s.segments[i].data(), 200000)});
  RecoveryWriter writer(platform, s.dir.path(), "abcd", files, 1, 0, 100000);
  std::string problem;
  ASSERT_TRUE(writer.start(&problem));
  for (uint32_t i = 0; i < 2; ++i) writer.feed(i, s.segments[i].data(), 200000);
  damage(s, 2, Damage::kRandom);
  EXPECT_FALSE(writer.finish(&problem));
  EXPECT_EQ(problem, "The file \"" + s.path(2) + "\" changed while its recovery data was computed.");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir.path()),
                          std::filesystem::directory_iterator{}), 2);
}

// An abort during the later passes leaves no recovery file, and says no
// problem.
TEST(RepairTest, AStoppedWriterLeavesNoRecoveryFile) {
  testing::FaultyPlatform platform;
  for (int allowed : {0, 2, 9}) {
    SCOPED_TRACE(allowed);
    Series s;
    makeSegments(s, {200000, 200000});
    std::vector<InputFile> files;
    for (std::size_t i = 0; i < 2; ++i)
      files.push_back({s.names[i], 200000, firstBytesHash(s.segments[i].data(), 200000)});
    RecoveryWriter writer(platform, s.dir.path(), "abcd", files, 2, 0, 100000);
    std::string problem = "unchanged";
    ASSERT_TRUE(writer.start(&problem));
    for (uint32_t i = 0; i < 2; ++i) writer.feed(i, s.segments[i].data(), 200000);
    int calls = 0;
    EXPECT_FALSE(writer.finish(&problem, [&]() { return calls++ < allowed; }));
    EXPECT_EQ(problem, "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir.path()),
                            std::filesystem::directory_iterator{}), 2);
  }
}

TEST(RepairTest, AFailedWriteLeavesNoRecoveryFile) {
  testing::FaultyPlatform platform;
  Series s;
  makeSegments(s, {5000, 5000});
  platform.beforeWrite = [](const std::string& path, uint32_t) {
    return path.find(".vol1+1") == std::string::npos;
  };
  std::string problem;
  EXPECT_FALSE(createRecoveryFiles(platform, s.dir.path(), "abcd", s.names, 2, 0,
                                   kDefaultRecoveryMemory, &problem));
  EXPECT_NE(problem.find("abcd.vol1+1.par2\" cannot be written"), std::string::npos) << problem;
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.dir.path()),
                          std::filesystem::directory_iterator{}), 2);
}

// Damaged recovery files: a recovery slice whose MD5 fails is passed over
// for another; a cut index and garbage between packets do not stop the rest.
TEST(RepairTest, DamagedRecoveryFilesAreWorkedAround) {
  testing::FaultyPlatform platform;
  struct Row {
    const char* what;
    bool spoilVolume0, spoilVolume1, cutIndex;
    RepairOutcome outcome;
    uint32_t available;
  } rows[] = {
      {"first volume's slice spoilt", true, false, false, RepairOutcome::kRepaired, 1},
      {"index cut in half, garbage in a volume", false, false, true, RepairOutcome::kRepaired, 1},
      {"both slices spoilt", true, true, false, RepairOutcome::kNotRepairable, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Series s;
    makeSegments(s, {6000, 6000, 6000});
    writeRecovery(platform, s, 2);
    auto spoil = [&](const std::string& name) {
      auto bytes = testing::readBytes(s.dir.file(name));
      bytes[kRecoveryHeadSize + 100] ^= 0x40;
      testing::writeBytes(s.dir.file(name), bytes);
    };
    if (row.spoilVolume0) spoil("abcd.vol0+1.par2");
    if (row.spoilVolume1) spoil("abcd.vol1+1.par2");
    if (row.cutIndex) {
      auto index = testing::readBytes(s.dir.file("abcd.par2"));
      testing::writeBytes(s.dir.file("abcd.par2"), testing::slice(index, 0, index.size() / 2));
      auto volume = testing::readBytes(s.dir.file("abcd.vol1+1.par2"));
      auto garbage = testing::patternBytes(333, 5);
      volume.insert(volume.begin() + static_cast<long>(kRecoveryHeadSize + 6000), garbage.begin(),
                    garbage.end());
      testing::writeBytes(s.dir.file("abcd.vol1+1.par2"), volume);
    }
    damage(s, 2, Damage::kLose);
    RepairReport r = repair(platform, s);
    EXPECT_EQ(r.outcome, row.outcome) << r.problem;
    EXPECT_EQ(r.slicesAvailable, row.available);
    if (r.outcome == RepairOutcome::kRepaired) expectSeriesReadable(s, r);
  }
}

// A split of other data under the same names leaves volumes of the old set
// beside the new one (the old set had more): the set whose file IDs match
// the segments there is the one taken.
TEST(RepairTest, AnOldSetUnderTheSameNamesIsPassedOver) {
  testing::FaultyPlatform platform;
  Series s;
  makeSegments(s, {3000, 3000, 2000}, 1);
  writeRecovery(platform, s, 3);
  Series now;
  makeSegments(now, {3000, 3000, 2000}, 2);
  for (uint32_t n = 1; n <= 3; ++n)
    testing::writeBytes(s.path(n), now.segments[n - 1]);
  s.segments = now.segments;
  writeRecovery(platform, s, 1);  // replaces abcd.par2 and abcd.vol0+1.par2 only
  ASSERT_TRUE(testing::fileExists(s.dir.file("abcd.vol2+1.par2")));
  RepairReport r = repair(platform, s);
  EXPECT_EQ(r.outcome, RepairOutcome::kIntact);
  damage(s, 2, Damage::kLose);
  r = repair(platform, s);
  EXPECT_EQ(r.outcome, RepairOutcome::kRepaired);
  expectSeriesReadable(s, r);
}

TEST(RepairTest, OnlyRecoveryFilesOfThisSeriesCount) {
  testing::FaultyPlatform platform;
  Series s;
  makeSegments(s, {3000, 3000});
  RecoverySet set;
  Status why;
  EXPECT_EQ(readRecoverySet(platform, s.dir.path(), "abcd", &set, &why), SetFound::kNone);
  EXPECT_TRUE(why.ok());

  // A set of other files under this series' name is no set of it.
  testing::writeBytes(s.dir.file("notes.txt"), testing::patternBytes(100, 1));
  std::string problem;
  ASSERT_TRUE(createRecoveryFiles(platform, s.dir.path(), "abcd", {"notes.txt"}, 1, 0,
                                  kDefaultRecoveryMemory, &problem));
  EXPECT_EQ(readRecoverySet(platform, s.dir.path(), "abcd", &set, &why), SetFound::kUnusable);
  EXPECT_EQ(why.toString(), "The recovery files describe no segment of this series.");

  // Garbage under a recovery file's name.
  testing::writeBytes(s.dir.file("abcd.par2"), testing::patternBytes(5000, 2));
  EXPECT_EQ(readRecoverySet(platform, s.dir.path(), "abcd", &set, &why), SetFound::kUnusable);
  EXPECT_EQ(why.toString(), "The recovery files describe no segment of this series.");
}

// A recovery file that cannot be read is named with the system's reason
// when nothing else describes the series; beside a set that does, it is
// passed over.
TEST(RepairTest, ARecoveryFileThatCannotBeReadIsNamed) {
  testing::FaultyPlatform platform;
  Series s;
  makeSegments(s, {3000, 3000});
  writeRecovery(platform, s, 1);
  const std::string index = s.dir.file("abcd.par2"), volume = s.dir.file("abcd.vol0+1.par2");
  platform.beforeOpen = [&](const std::string& path) {
    return path == index || path == volume
               ? Status::failure(path, "Permission denied", 13, true)
               : Status();
  };
  RecoverySet set;
  Status why;
  EXPECT_EQ(readRecoverySet(platform, s.dir.path(), "abcd", &set, &why), SetFound::kUnusable);
  EXPECT_EQ(why.toString(), index + ": Permission denied");

  platform.beforeOpen = [&](const std::string& path) {
    return path == index ? Status::failure(path, "Permission denied", 13, true) : Status();
  };
  EXPECT_EQ(readRecoverySet(platform, s.dir.path(), "abcd", &set, &why), SetFound::kUsable);
  EXPECT_TRUE(why.ok()) << why.toString();
  EXPECT_EQ(set.files.size(), 2u);
}

// The analysis's reading of the recovery files is the join's while they
// are the files it read; any change to them, and the join reads them anew.
TEST(RepairTest, AReadingIsTakenUpOnlyWhileItsFilesStand) {
  testing::FaultyPlatform platform;
  struct Row {
    const char* what;
    std::function<void(Series&)> change;
    bool sameReading;
    std::size_t recoverySlices;  // in the reading the join takes
  } rows[] = {
      {"nothing changed", [](Series&) {}, true, 2},
      {"a volume removed",
       [](Series& s) { std::filesystem::remove(s.dir.file("abcd.vol1+1.par2")); }, false, 1},
      {"a volume rewritten, same size, another time",
       [](Series& s) {
         const std::string v = s.dir.file("abcd.vol1+1.par2");
         auto bytes = testing::readBytes(v);
         bytes[kRecoveryHeadSize + 10] ^= 1;
         testing::writeBytes(v, bytes);
         std::filesystem::last_write_time(
             v, std::filesystem::last_write_time(v) + std::chrono::seconds(5));
       },
       false, 2},  // located only: its MD5 is checked when a repair takes it
      {"a file added under a volume's name",
       [](Series& s) {
         testing::writeBytes(s.dir.file("abcd.vol7+1.par2"), testing::patternBytes(64, 3));
       },
       false, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Series s;
    makeSegments(s, {3000, 3000, 1000});
    writeRecovery(platform, s, 2);
    auto first = readRecoveryFiles(platform, s.dir.path(), "abcd");
    ASSERT_EQ(first->found, SetFound::kUsable);
    row.change(s);
    auto again = readRecoveryFiles(platform, s.dir.path(), "abcd", first);
    EXPECT_EQ(again == first, row.sameReading);
    EXPECT_EQ(again->found, SetFound::kUsable);
    EXPECT_EQ(again->set.recovery.size(), row.recoverySlices);
    // Another series in the same folder is never given this one's reading.
    EXPECT_NE(readRecoveryFiles(platform, s.dir.path(), "abce", first), first);
  }
}

// A file of the set that is not a segment of this series is never read or
// written; its slices count as unknown.
TEST(RepairTest, OtherFilesInTheSetAreSolvedButNeverWritten) {
  testing::FaultyPlatform platform;
  Series s;
  makeSegments(s, {3000, 3000, 3000});
  testing::writeBytes(s.dir.file("notes.txt"), testing::patternBytes(2000, 3));
  std::vector<std::string> names = s.names;
  names.push_back("notes.txt");
  std::string problem;
  ASSERT_TRUE(createRecoveryFiles(platform, s.dir.path(), "abcd", names, 2, 0,
                                  kDefaultRecoveryMemory, &problem));
  damage(s, 2, Damage::kRandom);
  RepairReport r = repair(platform, s);
  EXPECT_EQ(r.outcome, RepairOutcome::kRepaired) << r.problem;
  EXPECT_EQ(r.slicesNeeded, 2u);
  EXPECT_EQ(r.rebuilt, std::vector<uint32_t>{2});
  expectSeriesReadable(s, r);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s.work.path()),
                          std::filesystem::directory_iterator{}), 1);
}

// The code is not always invertible: unknown slices with constants 2^1 and
// 2^256 (their quotient 2^255 has order 257) meet recovery slices 0 and 257
// in a singular matrix. The repair passes over slice 257 for another, and
// without another says it cannot.
TEST(RepairTest, ASingularChoiceIsReplacedByAnotherRecoverySlice) {
  testing::FaultyPlatform platform;
  uint32_t k256 = 0;
  while (sliceConstantLog(k256) != 256) ++k256;
  Series s;
  makeSegments(s, std::vector<std::size_t>(k256 + 1, 8));
  writeRecovery(platform, s, 259);
  RecoverySet set;
  Status why;
  ASSERT_EQ(readRecoverySet(platform, s.dir.path(), "abcd", &set, &why), SetFound::kUsable);
  uint32_t first = 0, other = 0;
  for (const SetFile& f : set.files) {
    if (f.firstSlice == 0) first = f.segment;
    if (f.firstSlice == k256) other = f.segment;
  }
  ASSERT_NE(first, 0u);
  ASSERT_NE(other, 0u);
  const std::vector<std::string> volumes = recoveryFileNames("abcd", 259);
  for (uint32_t e = 0; e < 259; ++e)
    if (e != 0 && e != 257 && e != 258) std::filesystem::remove(s.dir.file(volumes[e + 1]));
  damage(s, first, Damage::kLose);
  damage(s, other, Damage::kRandom);

  RepairReport r = repair(platform, s);
  EXPECT_EQ(r.outcome, RepairOutcome::kRepaired) << r.problem;
  expectSeriesReadable(s, r);
  removeRebuilt(platform, &r);

  std::filesystem::remove(s.dir.file(volumes[259]));
  r = repair(platform, s);
  EXPECT_EQ(r.outcome, RepairOutcome::kNotRepairable);
  EXPECT_EQ(r.slicesNeeded, 2u);
  EXPECT_EQ(r.slicesAvailable, 1u);
}

}  // namespace
}  // namespace recovery
}  // namespace trep
