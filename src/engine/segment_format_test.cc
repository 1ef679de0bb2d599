#include "engine/segment_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace trep {
namespace {

void fillSample(JobSettings& job) {
  job.description = "a description";
  job.originalName = "my file.bin";
  job.fileSize = 0x0000000123456789ull;
  job.fileCrc = 0xA1B2C3D4u;
  job.creationTime = 0x01D0000011112222ull;
  job.lastAccessTime = 0x01D0000033334444ull;
  job.lastWriteTime = 0x01D0000055556666ull;
  job.fileAttributes = 0x12021;  // only the low 16 bits are stored
}

TEST(SegmentFormatTest, FullHeaderBytes) {
  JobSettings job;
  fillSample(job);
  FullHeader h = encodeFullHeader(job, 3, 0x10001);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.data()), 8), "TREP1600");
  EXPECT_EQ(getLe32(&h[8]), 3u);
  EXPECT_EQ(h[12], 1);  // low 16 bits of the flag
  EXPECT_EQ(h[13], 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[14])), "a description");
  for (std::size_t i = 14 + 13; i < 314; ++i) ASSERT_EQ(h[i], 0) << i;
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[314])), "my file.bin");
  for (std::size_t i = 314 + 11; i < 614; ++i) ASSERT_EQ(h[i], 0) << i;
  EXPECT_EQ(getLe32(&h[614]), 0x23456789u);
  EXPECT_EQ(getLe32(&h[618]), 0x1u);
  EXPECT_EQ(getLe32(&h[622]), 0xA1B2C3D4u);
  EXPECT_EQ(getLe32(&h[626]), 0x11112222u);
  EXPECT_EQ(getLe32(&h[630]), 0x01D00000u);
  EXPECT_EQ(getLe32(&h[634]), 0x33334444u);
  EXPECT_EQ(getLe32(&h[642]), 0x55556666u);
  EXPECT_EQ(getLe32(&h[646]), 0x01D00000u);
  EXPECT_EQ(h[650], 0x21);
  EXPECT_EQ(h[651], 0x20);
}

TEST(SegmentFormatTest, LongDescriptionIsCutTo299Characters) {
  JobSettings job;
  fillSample(job);
  job.description = std::string(400, 'd');
  FullHeader h = encodeFullHeader(job, 1, 1);
  for (std::size_t i = 14; i < 14 + 299; ++i) ASSERT_EQ(h[i], 'd') << i;
  EXPECT_EQ(h[14 + 299], 0);
  EXPECT_EQ(h[314], 'm');
}

TEST(SegmentFormatTest, DecodeReadsBackWhatEncodeWrote) {
  JobSettings in;
  fillSample(in);
  FullHeader h = encodeFullHeader(in, 42, 1);
  JobSettings out;
  uint32_t flag = 7;
  decodeFullHeader(h.data(), h.size(), &out, &flag);
  EXPECT_EQ(out.segmentCount, 42u);
  EXPECT_EQ(flag, 1u);
  EXPECT_EQ(out.description.str(), "a description");
  EXPECT_EQ(out.originalName.str(), "my file.bin");
  EXPECT_EQ(out.fileSize, in.fileSize);
  EXPECT_EQ(out.fileCrc, in.fileCrc);
  EXPECT_EQ(out.creationTime, in.creationTime);
  EXPECT_EQ(out.lastAccessTime, in.lastAccessTime);
  EXPECT_EQ(out.lastWriteTime, in.lastWriteTime);
  EXPECT_EQ(out.fileAttributes, 0x2021u);
}

TEST(SegmentFormatTest, DecodeOfHostileBytes) {
  // Text fields without any terminator stop at their 300 bytes.
  FullHeader h{};
  std::memcpy(h.data(), kMagic, 8);
  std::memset(&h[14], 'x', 600);
  JobSettings out;
  uint32_t flag = 0;
  decodeFullHeader(h.data(), h.size(), &out, &flag);
  EXPECT_EQ(out.description.str(), std::string(300, 'x'));
  EXPECT_EQ(out.originalName.str(), std::string(300, 'x'));

  // A header cut short: fields beyond the end keep their cleared values.
  JobSettings shortJob;
  shortJob.segmentCount = 9;
  shortJob.fileSize = 9;
  shortJob.fileAttributes = 9;
  JobSettings sample;
  fillSample(sample);
  FullHeader full = encodeFullHeader(sample, 5, 1);
  decodeFullHeader(full.data(), 100, &shortJob, &flag);
  EXPECT_EQ(shortJob.segmentCount, 5u);
  EXPECT_EQ(shortJob.fileSize, 0u);
  EXPECT_EQ(shortJob.fileAttributes, 0u);
  EXPECT_EQ(shortJob.description.str(), "a description");
}

}  // namespace
}  // namespace trep
