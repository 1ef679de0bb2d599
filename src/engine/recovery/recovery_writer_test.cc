// The recovery writer given a reader before it starts, as the split gives
// it: the computation runs beside the caller's feeding, on two threads, and
// must give the files the writer gives from the folder alone, hold the fed
// bytes to those read, and say why a file could not be written.
#include "engine/recovery/recovery_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "engine/naming.h"
#include "testing/test_support.h"

namespace trep {
namespace recovery {
namespace {

struct Files {
  testing::TempDir dir;
  std::vector<std::vector<uint8_t>> bytes;
  std::vector<std::string> names;
  std::vector<InputFile> inputs;
};

void makeFiles(Files& f, const std::vector<std::size_t>& sizes) {
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    f.bytes.push_back(testing::patternBytes(sizes[i], 70 + static_cast<uint32_t>(i)));
    f.names.push_back("abcd" + zeroPadded(static_cast<uint32_t>(i + 1), 4) + ".trp");
    testing::writeBytes(f.dir.file(f.names.back()), f.bytes.back());
    f.inputs.push_back(
        {f.names.back(), sizes[i], firstBytesHash(f.bytes.back().data(), sizes[i])});
  }
}

std::size_t entries(const std::string& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                                std::filesystem::directory_iterator{}));
}

// Reads file i of `f`, with byte `spoilAt` of file `spoilFile` changed: a
// source that changed between the reading and the copy.
RecoveryWriter::Reader readerOf(const Files& f, uint32_t spoilFile = UINT32_MAX,
                                uint64_t spoilAt = 0) {
  return [&f, spoilFile, spoilAt](uint32_t i, uint64_t offset, uint8_t* out, std::size_t n) {
    const std::vector<uint8_t>& b = f.bytes[i];
    const std::size_t got = static_cast<std::size_t>(std::min<uint64_t>(n, b.size() - offset));
    std::memcpy(out, b.data() + offset, got);
    if (i == spoilFile && spoilAt >= offset && spoilAt < offset + got) out[spoilAt - offset] ^= 1;
    return got;
  };
}

void feedAll(RecoveryWriter& writer, const Files& f) {
  // Odd pieces: words and the quick sum's blocks split across feeds.
  const std::size_t pieces[] = {1, 3, 652, 7, 4096, 65535, 2, 33};
  for (uint32_t i = 0; i < f.bytes.size(); ++i)
    for (std::size_t at = 0, p = 0; at < f.bytes[i].size(); ++p) {
      const std::size_t n = std::min(pieces[p % 8], f.bytes[i].size() - at);
      writer.feed(i, f.bytes[i].data() + at, n);
      at += n;
    }
}

// Sets of one slice per file (as a split makes) and of several slices per
// file, one column and many, one batch of sources and several: the files
// written beside the feeding are those written from the folder alone.
TEST(RecoveryWriterTest, AReaderGivenFirstGivesTheFilesOfTheFolder) {
  struct Row {
    const char* what;
    std::vector<std::size_t> sizes;
    uint32_t count;
    uint64_t sliceSize, memory;
  } rows[] = {
      {"one column", {5000, 4999, 123}, 3, 0, kDefaultRecoveryMemory},
      {"many columns", {300001, 300000, 123457}, 2, 0, 200000},
      {"two batches of sources", {70001, 70000, 70000, 70000, 65536, 70000, 3, 69999, 70000, 1},
       5, 0, 400000},
      {"several slices per file", {300001, 123457}, 4, 40000, 150000},
  };
  testing::FaultyPlatform platform;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Files alone, beside;
    makeFiles(alone, row.sizes);
    makeFiles(beside, row.sizes);
    std::string problem;
    ASSERT_TRUE(createRecoveryFiles(platform, alone.dir.path(), "abcd", alone.names, row.count,
                                    row.sliceSize, row.memory, &problem))
        << problem;
    {
      RecoveryWriter writer(platform, beside.dir.path(), "abcd", beside.inputs, row.count,
                            row.sliceSize, row.memory);
      writer.setReader(readerOf(beside));
      ASSERT_TRUE(writer.start(&problem)) << problem;
      feedAll(writer, beside);
      ASSERT_TRUE(writer.finish(&problem)) << problem;
      const RecoveryWriter::Progress done = writer.progress();
      EXPECT_EQ(done.done, done.total);
      EXPECT_NE(done.total, 0u);
    }
    for (const std::string& name : recoveryFileNames("abcd", row.count))
      EXPECT_EQ(testing::readBytes(beside.dir.file(name)), testing::readBytes(alone.dir.file(name)))
          << name;
    EXPECT_EQ(entries(beside.dir.path()), row.sizes.size() + row.count + 1);
  }
}

// Bytes read that are not those fed (one byte of the first, a middle or the
// last slice of a file), and files not fed whole, fail the writer, which
// leaves nothing behind.
TEST(RecoveryWriterTest, FedBytesOtherThanThoseReadFailTheWriter) {
  struct Row {
    const char* what;
    uint32_t file;
    uint64_t at;
    bool feedWhole;
    std::string problem;  // "*" stands for the file's path
  } rows[] = {
      {"first byte", 0, 0, true, "The file \"*\" changed while its recovery data was computed."},
      {"a middle byte of a later slice", 1, 150001, true,
       "The file \"*\" changed while its recovery data was computed."},
      {"last byte", 1, 299999, true,
       "The file \"*\" changed while its recovery data was computed."},
      {"not fed whole", 1, 0, false, "The file \"abcd0002.trp\" was not read whole."},
  };
  testing::FaultyPlatform platform;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Files f;
    makeFiles(f, {200000, 300000});
    RecoveryWriter writer(platform, f.dir.path(), "abcd", f.inputs, 2, 100000, 120000);
    writer.setReader(readerOf(f, row.feedWhole ? row.file : UINT32_MAX, row.at));
    std::string problem;
    ASSERT_TRUE(writer.start(&problem)) << problem;
    if (row.feedWhole) {
      feedAll(writer, f);
    } else {
      writer.feed(0, f.bytes[0].data(), f.bytes[0].size());
      writer.feed(1, f.bytes[1].data(), 1000);
    }
    EXPECT_FALSE(writer.finish(&problem));
    std::string expected = row.problem;
    const std::size_t star = expected.find('*');
    if (star != std::string::npos) expected.replace(star, 1, f.dir.file(f.names[row.file]));
    EXPECT_EQ(problem, expected);
    EXPECT_EQ(entries(f.dir.path()), 2u);
  }
}

// A volume that cannot be written names itself and carries the system's
// reason; an abort while the computation runs says no problem; neither
// leaves a file behind.
TEST(RecoveryWriterTest, FailuresAndAbortsBesideTheFeedingLeaveNothing) {
  for (bool abort : {false, true}) {
    SCOPED_TRACE(abort ? "abort" : "volume not written");
    testing::FaultyPlatform platform;
    if (!abort)
      platform.beforeWrite = [](const std::string& path, uint32_t) {
        return path.find(".vol1+1") == std::string::npos;
      };
    Files f;
    makeFiles(f, {400000, 400000, 400000});
    RecoveryWriter writer(platform, f.dir.path(), "abcd", f.inputs, 2, 0, 100000);
    writer.setReader(readerOf(f));
    std::string problem = "unchanged";
    Status why;
    ASSERT_TRUE(writer.start(&problem, &why)) << problem;
    feedAll(writer, f);
    EXPECT_FALSE(writer.finish(&problem, [abort] { return !abort; }, &why));
    if (abort) {
      EXPECT_EQ(problem, "");
    } else {
      EXPECT_EQ(problem, "The recovery file \"" + f.dir.file("abcd.vol1+1.par2") +
                             "\" cannot be written. The disk might be full.");
      EXPECT_EQ(why.reason(), testing::kInjectedFailure);
    }
    EXPECT_EQ(entries(f.dir.path()), 3u);
  }
}

}  // namespace
}  // namespace recovery
}  // namespace trep
