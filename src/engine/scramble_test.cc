#include "engine/scramble.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/engine.h"
#include "engine/naming.h"
#include "planning/size_arithmetic.h"
#include "testing/test_doubles.h"
#include "testing/test_support.h"

namespace trep {
namespace {

using testing::readBytes;

std::string repeated(const std::string& s, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += s;
  return out;
}

TEST(ScrambleTest, PrepareKey) {
  struct Case {
    std::string entered;
    std::string prepared;
  } cases[] = {
      {"", kDefaultKey},
      {"ab", "abababababababababababababababab"},
      {"xyz", "xyzxyzxyzxyzxyzxyzxyzxyzxyzxyzxyz"},  // 33: the first 32 count
      {std::string(40, 'q'), std::string(40, 'q')},
      // The key's bytes as older versions on a Western Windows took them
      // (Windows-1252), so their series unscramble with the key typed again;
      // a key 1252 has no place for is taken in UTF-8.
      {"clé", repeated("cl\xE9", 11)},
      {"Ωμέγα日本語", "Ωμέγα日本語Ωμέγα日本語"},
  };
  for (const Case& c : cases) {
    auto job = std::make_unique<JobSettings>();
    job->cipherKey = c.entered;
    prepareKey(*job);
    EXPECT_EQ(job->cipherKey.str(), c.prepared) << c.entered;
  }
}

TEST(ScrambleTest, ScramblingTwiceRestores) {
  std::vector<uint8_t> data = testing::patternBytes(100);
  std::vector<uint8_t> copy = data;
  const char key[] = "0123456789abcdefghijklmnopqrstuv";
  scrambleBytes(key, 5, copy.data(), copy.size());
  EXPECT_EQ(copy[0], data[0] ^ '5');
  EXPECT_EQ(copy[27], data[27] ^ '0');  // the key restarts after key[31]
  scrambleBytes(key, 5, copy.data(), copy.size());
  EXPECT_EQ(copy, data);
}

// A split with and without "Encrypt": which bytes differ.
class ScrambleRangeTest : public ::testing::Test {
 protected:
  std::vector<std::vector<uint8_t>> splitWith(bool encrypt, RebuildMethod rebuildMethod) {
    testing::TempDir dir;
    testing::FaultyPlatform platform;
    ScriptedAnswerer answers;
    platform.setNoticeAnswerer(&answers);
    testing::writeBytes(dir.file("f.bin"), testing::patternBytes(2300));
    auto job = std::make_unique<JobSettings>();
    job->sourcePath = dir.file("f.bin");
    job->fileSize = 2300;
    job->segmentSize = 1000;  // P = 1000; the last segment holds 300
    job->isSplit = job->sourceValid = 1;
    job->encrypt = encrypt;
    job->cipherKey = "";  // the default key
    job->outputFolder = dir.file("out");
    job->jobState = kJobPrepared;
    PersistedSettings options;
    options.rebuildMethod = rebuildMethod;
    BatchPlanning planning;
    JobContext ctx{*job, options, platform, planning, nullptr};
    runJob(ctx);
    std::vector<std::vector<uint8_t>> segments;
    for (uint32_t n = 1; n <= 3; ++n)
      segments.push_back(readBytes(segmentPath(dir.file("out") + kPathSeparator + "f.bi", n)));
    return segments;
  }

  // Offsets at which two files differ.
  static std::vector<std::size_t> differing(const std::vector<uint8_t>& a,
                                            const std::vector<uint8_t>& b) {
    std::vector<std::size_t> d;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
      if (a[i] != b[i]) d.push_back(i);
    return d;
  }
};

TEST_F(ScrambleRangeTest, PayloadLessItsLastByte) {
  auto plain = splitWith(false, RebuildMethod::kTrep),
       scrambled = splitWith(true, RebuildMethod::kTrep);
  // The two sources were made at different moments: set their times aside.
  for (auto* s : {&plain, &scrambled}) std::fill((*s)[0].begin() + 626, (*s)[0].begin() + 650, 0);
  struct Case {
    std::size_t segment, first, last;  // the changed range, inclusive
  } cases[] = {{0, 652, 1650}, {1, 8, 1006}, {2, 8, 307}};
  for (const Case& c : cases) {
    auto d = differing(plain[c.segment], scrambled[c.segment]);
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(d.front(), c.first) << "segment " << c.segment + 1;
    EXPECT_EQ(d.back(), c.last) << "segment " << c.segment + 1;
    // Every byte in the range is the plain byte XOR the key at its payload index.
    for (std::size_t i = c.first; i <= c.last; ++i)
      ASSERT_EQ(scrambled[c.segment][i],
                plain[c.segment][i] ^ static_cast<uint8_t>(kDefaultKey[(i - c.first) % 32]));
  }
  EXPECT_EQ(plain[0].size(), scrambled[0].size());
}

TEST_F(ScrambleRangeTest, HeaderlessSegmentsFromTheirFirstByte) {
  auto plain = splitWith(false, RebuildMethod::kBatFile),
       scrambled = splitWith(true, RebuildMethod::kBatFile);
  auto d = differing(plain[0], scrambled[0]);
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(d.front(), 0u);
  EXPECT_EQ(d.back(), 998u);
}

}  // namespace
}  // namespace trep
