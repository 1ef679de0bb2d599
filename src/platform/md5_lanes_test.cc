#include "platform/md5_lanes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/digest.h"
#include "testing/test_support.h"

namespace trep {
namespace {

const Md5Kernel kAllKernels[] = {Md5Kernel::kPortable, Md5Kernel::kSse2, Md5Kernel::kAvx2,
                                 Md5Kernel::kAvx512};

std::vector<Md5Kernel> kernelsHere() {
  std::vector<Md5Kernel> v;
  for (Md5Kernel k : kAllKernels)
    if (md5KernelAvailable(k)) v.push_back(k);
  return v;
}

using testing::hexOf;

// Feeds stream s the bytes at starts[s] in pieces: update u gives it
// pieces[u][s] bytes, then the next update what follows. Returns every
// stream's digest.
std::vector<Md5Digest> hashInPieces(Md5Kernel kernel, const std::vector<const uint8_t*>& starts,
                                    const std::vector<std::vector<std::size_t>>& pieces) {
  Md5Streams md5(starts.size(), kernel);
  EXPECT_EQ(md5.kernel(), kernel);
  std::vector<const uint8_t*> at = starts;
  for (const std::vector<std::size_t>& lengths : pieces) {
    md5.update(at.data(), lengths.data());
    for (std::size_t s = 0; s < at.size(); ++s) at[s] += lengths[s];
  }
  std::vector<Md5Digest> digests;
  for (std::size_t s = 0; s < starts.size(); ++s) digests.push_back(md5.finish(s));
  return digests;
}

TEST(Md5LanesTest, KernelsAndLanes) {
  EXPECT_TRUE(md5KernelAvailable(Md5Kernel::kPortable));
  EXPECT_TRUE(md5KernelAvailable(bestMd5Kernel()));
  for (Md5Kernel k : kernelsHere()) EXPECT_LE(md5Lanes(k), md5Lanes(bestMd5Kernel()));
  EXPECT_EQ(md5Lanes(Md5Kernel::kPortable), 1u);
  EXPECT_EQ(md5Lanes(Md5Kernel::kSse2), 8u);
  EXPECT_EQ(md5Lanes(Md5Kernel::kAvx2), 16u);
  EXPECT_EQ(md5Lanes(Md5Kernel::kAvx512), 32u);
#if defined(__x86_64__)
  EXPECT_TRUE(md5KernelAvailable(Md5Kernel::kSse2));  // part of x86-64 itself
#endif
  for (Md5Kernel k : kAllKernels)
    if (!md5KernelAvailable(k)) {
      Md5Streams md5(1, k);  // falls back to one the processor has
      EXPECT_EQ(md5.kernel(), bestMd5Kernel());
    }
  std::string here;
  for (Md5Kernel k : kernelsHere()) here += std::string(" ") + md5KernelName(k);
  std::printf("MD5 kernels on this processor:%s\n", here.c_str());
}

// The test suite of RFC 1321 (A.5), all seven texts side by side in one
// set of streams, in every kernel.
TEST(Md5LanesTest, Rfc1321Suite) {
  const struct {
    std::string text;
    const char* md5;
  } rows[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  std::vector<const uint8_t*> starts;
  std::vector<std::size_t> lengths;
  for (const auto& r : rows) {
    starts.push_back(reinterpret_cast<const uint8_t*>(r.text.data()));
    lengths.push_back(r.text.size());
  }
  for (Md5Kernel kernel : kernelsHere()) {
    std::vector<Md5Digest> got = hashInPieces(kernel, starts, {lengths});
    for (std::size_t i = 0; i < got.size(); ++i)
      EXPECT_EQ(hexOf(got[i]), rows[i].md5) << md5KernelName(kernel) << " \"" << rows[i].text << "\"";
  }
}

// Every length from 0 to 3000 bytes in one piece, in more streams than the
// widest kernel has lanes, each stream a different length (so lanes run
// out of blocks at different times) at an unaligned start.
TEST(Md5LanesTest, EveryLengthInEveryLane) {
  const std::size_t kLongest = 3000, kStreams = 32 + 5;
  const std::vector<uint8_t> bytes = testing::patternBytes(kLongest + 8 * kStreams + 8, 11);
  std::vector<const uint8_t*> starts;
  for (std::size_t s = 0; s < kStreams; ++s) starts.push_back(bytes.data() + 1 + 7 * s);
  // The system's digests, each made once and held to every kernel.
  std::vector<std::vector<std::string>> want(kStreams, std::vector<std::string>(kLongest + 1));
  for (Md5Kernel kernel : kernelsHere())
    for (std::size_t base = 0; base <= kLongest; ++base) {
      std::vector<std::size_t> lengths;
      for (std::size_t s = 0; s < kStreams; ++s)
        lengths.push_back((base + 193 * s) % (kLongest + 1));
      std::vector<Md5Digest> got = hashInPieces(kernel, starts, {lengths});
      for (std::size_t s = 0; s < kStreams; ++s) {
        std::string& judge = want[s][lengths[s]];
        if (judge.empty()) judge = hexOf(md5Of(starts[s], lengths[s]));
        ASSERT_EQ(hexOf(got[s]), judge)
            << md5KernelName(kernel) << " stream " << s << " length " << lengths[s];
      }
    }
}

// A few MiB per stream fed in pieces of random sizes, different in every
// stream and update (some 0, most not multiples of 64), so blocks wait
// between updates and lanes leave and join runs.
TEST(Md5LanesTest, LargeInputsInRandomPieces) {
  std::mt19937 random(5);
  const std::size_t kStreams = 32 + 5;
  std::vector<std::vector<uint8_t>> data;
  std::vector<const uint8_t*> starts;
  for (std::size_t s = 0; s < kStreams; ++s) {
    data.push_back(testing::patternBytes((512 << 10) + random() % (3 << 20), 100 + s));
    starts.push_back(data.back().data());
  }
  std::vector<std::vector<std::size_t>> pieces;
  std::vector<std::size_t> left;
  for (const auto& d : data) left.push_back(d.size());
  for (bool more = true; more;) {
    more = false;
    std::vector<std::size_t> lengths;
    for (std::size_t s = 0; s < kStreams; ++s) {
      std::size_t n = random() % 4 == 0 ? random() % 200 : random() % (600 << 10);
      if (random() % 8 == 0) n = 0;
      n = std::min(n, left[s]);
      left[s] -= n;
      more = more || left[s] != 0;
      lengths.push_back(n);
    }
    pieces.push_back(lengths);
  }
  std::vector<std::string> want;
  for (const auto& d : data) want.push_back(hexOf(md5Of(d.data(), d.size())));
  for (Md5Kernel kernel : kernelsHere()) {
    std::vector<Md5Digest> got = hashInPieces(kernel, starts, pieces);
    for (std::size_t s = 0; s < kStreams; ++s)
      EXPECT_EQ(hexOf(got[s]), want[s]) << md5KernelName(kernel) << " stream " << s;
  }
}

// Small pieces around the block size, fed as the system's Md5 is fed the
// same pieces: the bytes that wait between updates are carried over.
TEST(Md5LanesTest, SmallPiecesCarryPartialBlocks) {
  const std::size_t sizes[] = {0, 1, 55, 56, 63, 64, 65, 119, 120, 127, 128, 129, 200};
  const std::size_t kStreams = 21;
  const std::vector<uint8_t> bytes = testing::patternBytes(64 << 10, 3);
  for (Md5Kernel kernel : kernelsHere()) {
    Md5Streams md5(kStreams, kernel);
    std::vector<std::unique_ptr<Md5>> judges;
    for (std::size_t s = 0; s < kStreams; ++s) judges.push_back(std::make_unique<Md5>());
    std::vector<std::size_t> at(kStreams, 0);
    for (std::size_t u = 0; u < 60; ++u) {
      std::vector<const uint8_t*> data;
      std::vector<std::size_t> lengths;
      for (std::size_t s = 0; s < kStreams; ++s) {
        const std::size_t n = sizes[(u * 7 + s * 3) % (sizeof sizes / sizeof sizes[0])];
        data.push_back(n == 0 ? nullptr : bytes.data() + at[s] + s);
        lengths.push_back(n);
        if (n != 0) judges[s]->update(data.back(), n);
        at[s] += n;
      }
      md5.update(data.data(), lengths.data());
    }
    for (std::size_t s = 0; s < kStreams; ++s)
      EXPECT_EQ(hexOf(md5.finish(s)), hexOf(judges[s]->finish()))
          << md5KernelName(kernel) << " stream " << s;
  }
}

// finish() gives one stream's digest and starts it anew; the other
// streams go on untouched.
TEST(Md5LanesTest, FinishStartsOneStreamAnew) {
  const std::vector<uint8_t> one = testing::patternBytes(1000, 1), two = testing::patternBytes(1000, 2);
  for (Md5Kernel kernel : kernelsHere()) {
    Md5Streams md5(3, kernel);
    const uint8_t* first[] = {one.data(), two.data(), one.data()};
    const std::size_t firstLengths[] = {1000, 700, 130};
    md5.update(first, firstLengths);
    EXPECT_EQ(hexOf(md5.finish(0)), hexOf(md5Of(one.data(), 1000))) << md5KernelName(kernel);
    EXPECT_EQ(hexOf(md5.finish(0)), "d41d8cd98f00b204e9800998ecf8427e") << md5KernelName(kernel);
    const uint8_t* second[] = {two.data(), two.data() + 700, one.data() + 130};
    const std::size_t secondLengths[] = {300, 300, 870};
    md5.update(second, secondLengths);
    EXPECT_EQ(hexOf(md5.finish(0)), hexOf(md5Of(two.data(), 300))) << md5KernelName(kernel);
    EXPECT_EQ(hexOf(md5.finish(1)), hexOf(md5Of(two.data(), 1000))) << md5KernelName(kernel);
    EXPECT_EQ(hexOf(md5.finish(2)), hexOf(md5Of(one.data(), 1000))) << md5KernelName(kernel);
  }
}

}  // namespace
}  // namespace trep
