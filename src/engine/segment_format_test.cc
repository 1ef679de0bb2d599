#include "engine/segment_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/text_encoding.h"

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

// The bytes each program stores for a text, and what either reads back.
TEST(SegmentFormatTest, HeaderTextBytes) {
  struct Case {
    const char* text;
    const char* bytes;
    const char* why;
  } cases[] = {
      {"report 2024.doc", "report 2024.doc", "ASCII as it always was"},
      {"résumé.doc", "r\xE9sum\xE9.doc", "Windows-1252: older versions read it"},
      {"€100 – Größe.txt", "\x80" "100 \x96 Gr\xF6\xDF" "e.txt", "1252's own upper half"},
      {"Ωmega 🎬.mkv", "Ωmega 🎬.mkv", "no place in 1252: UTF-8"},
      {"日本語の資料.bin", "日本語の資料.bin", "no place in 1252: UTF-8"},
      {"Ã©t.txt", "Ã©t.txt", "1252 bytes C3 A9 would read as é: UTF-8"},
      {"caf\xE9.bin", "caf\xE9.bin", "not UTF-8 (a POSIX name in Latin-1): as 1252"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(encodeHeaderText(c.text), c.bytes) << c.why;
    EXPECT_EQ(decodeHeaderText(c.bytes), utf8TextOf(c.text)) << c.why;
  }
  // Fields an older Trep.exe wrote on a Western Windows.
  EXPECT_EQ(decodeHeaderText("r\xE9sum\xE9.doc"), "résumé.doc");
  EXPECT_EQ(decodeHeaderText("\x81\x8D\x8F\x90\x9D"), "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D");
}

// Whatever one program writes the other reads back unchanged: every text of
// up to three characters drawn from ASCII, 1252's upper half, characters
// whose 1252 bytes look like UTF-8, and characters 1252 has no place for.
TEST(SegmentFormatTest, EveryHeaderTextReadsBackAsWritten) {
  const char* pieces[] = {"a", " ", "é", "Ã", "©", "\xC2\x81", "€", "Â", "\xC2\xA0",
                          "Ω", "日", "🎬", "ÿ", "ð", "Ÿ"};
  std::vector<std::string> texts = {""};
  for (int round = 0; round < 3; ++round) {
    std::vector<std::string> longer;
    for (const std::string& t : texts)
      for (const char* p : pieces) longer.push_back(t + p);
    texts.insert(texts.end(), longer.begin(), longer.end());
  }
  for (const std::string& t : texts) ASSERT_EQ(decodeHeaderText(encodeHeaderText(t)), t) << t;
}

TEST(SegmentFormatTest, HeaderTextIsCutBetweenCharacters) {
  // 298 ASCII and "日": the whole "日" does not fit 299 bytes.
  std::string text = std::string(298, 'x') + "日本";
  EXPECT_EQ(encodeHeaderText(text), std::string(298, 'x'));
  // 1252: one byte a character, 299 of them.
  EXPECT_EQ(encodeHeaderText(std::string(150 * 2, 'a') + "é"), std::string(299, 'a'));
  std::string accents;
  for (int i = 0; i < 300; ++i) accents += "é";
  EXPECT_EQ(encodeHeaderText(accents), std::string(299, '\xE9'));
  // UTF-8: 99 whole characters of three bytes.
  std::string cjk;
  for (int i = 0; i < 120; ++i) cjk += "語";
  std::string stored = encodeHeaderText(cjk);
  EXPECT_EQ(stored.size(), 297u);
  EXPECT_EQ(decodeHeaderText(stored), cjk.substr(0, 297));
  // Cut so that 1252 bytes would read as UTF-8: stored as UTF-8 instead.
  std::string look = std::string(297, 'x') + "Ã©Ã";
  EXPECT_EQ(decodeHeaderText(encodeHeaderText(look)), std::string(297, 'x') + "Ã");
}

TEST(SegmentFormatTest, HeaderOfAnOlderWesternTrepReadsItsName) {
  FullHeader h{};
  std::memcpy(h.data(), kMagic, 8);
  putLe32(&h[kOffsetCount], 2);
  const std::string description = "Lebenslauf f\xFCr Z\xFCrich";
  const std::string name = "r\xE9sum\xE9.doc";
  std::memcpy(&h[kOffsetDescription], description.data(), description.size());
  std::memcpy(&h[kOffsetOriginalName], name.data(), name.size());
  JobSettings out;
  uint32_t flag = 0;
  decodeFullHeader(h.data(), h.size(), &out, &flag);
  EXPECT_EQ(out.originalName.str(), "résumé.doc");
  EXPECT_EQ(out.description.str(), "Lebenslauf für Zürich");
}

}  // namespace
}  // namespace trep
