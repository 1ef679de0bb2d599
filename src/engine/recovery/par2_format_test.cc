#include "engine/recovery/par2_format.h"

#include <gtest/gtest.h>

#include <cstring>

#include "engine/recovery/recovery_set.h"
#include "engine/recovery/recovery_writer.h"

namespace trep {
namespace recovery {
namespace {

Md5Digest digestWith(std::initializer_list<std::pair<int, uint8_t>> bytes) {
  Md5Digest d{};
  for (auto [at, v] : bytes) d[at] = v;
  return d;
}

TEST(Par2FormatTest, FileIdsOrderAsLittleEndianNumbers) {
  const Md5Digest low = digestWith({{0, 0xFF}, {15, 0x01}});
  const Md5Digest high = digestWith({{0, 0x00}, {15, 0x02}});
  const Md5Digest middle = digestWith({{14, 0x80}, {15, 0x01}});
  EXPECT_TRUE(fileIdLess(low, high));
  EXPECT_FALSE(fileIdLess(high, low));
  EXPECT_TRUE(fileIdLess(low, middle));
  EXPECT_TRUE(fileIdLess(middle, high));
  EXPECT_FALSE(fileIdLess(low, low));
}

TEST(Par2FormatTest, PacketsCarryLengthTypeAndTheirMd5) {
  const Md5Digest setId = digestWith({{0, 7}});
  FileDescription d;
  d.hash = digestWith({{1, 1}});
  d.firstHash = digestWith({{2, 2}});
  d.length = 0x123456789ull;
  d.name = "abcd0001.trp.x";  // 14 characters: padded to 16
  d.id = fileIdOf(d.firstHash, d.length, d.name);
  const Bytes packet = encodePacket(setId, kFileDescType, encodeFileDescBody(d));
  ASSERT_EQ(packet.size(), 64u + 56u + 16u);

  PacketHeader h;
  ASSERT_TRUE(decodePacketHeader(packet.data(), &h));
  EXPECT_EQ(h.length, packet.size());
  EXPECT_EQ(h.setId, setId);
  EXPECT_EQ(h.type, kFileDescType);
  EXPECT_EQ(h.hash, md5Of(packet.data() + 32, packet.size() - 32));

  FileDescription back;
  ASSERT_TRUE(decodeFileDescBody(packet.data() + 64, packet.size() - 64, &back));
  EXPECT_EQ(back.name, d.name);
  EXPECT_EQ(back.length, d.length);
  EXPECT_EQ(back.id, d.id);
  EXPECT_EQ(back.hash, d.hash);
  EXPECT_EQ(back.firstHash, d.firstHash);
}

TEST(Par2FormatTest, MainAndChecksumBodiesRoundTrip) {
  const std::vector<Md5Digest> ids = {digestWith({{0, 1}}), digestWith({{0, 2}})};
  Bytes main = encodeMainBody(1000, ids);
  ASSERT_EQ(main.size(), 12u + 32u);
  MainPacket m;
  ASSERT_TRUE(decodeMainBody(main.data(), main.size(), &m));
  EXPECT_EQ(m.sliceSize, 1000u);
  EXPECT_EQ(m.recoveryIds, ids);

  const std::vector<SliceChecksum> slices = {{digestWith({{3, 3}}), 0xDEADBEEF},
                                             {digestWith({{4, 4}}), 7}};
  Bytes ifsc = encodeSliceChecksumBody(ids[0], slices);
  Md5Digest id;
  std::vector<SliceChecksum> back;
  ASSERT_TRUE(decodeSliceChecksumBody(ifsc.data(), ifsc.size(), &id, &back));
  EXPECT_EQ(id, ids[0]);
  EXPECT_EQ(back, slices);

  EXPECT_EQ(encodeCreatorBody("abcde").size(), 8u);
}

TEST(Par2FormatTest, MalformedPacketsAreRefused) {
  Bytes good = encodePacket(Md5Digest{}, kCreatorType, encodeCreatorBody("x"));
  struct Row {
    const char* what;
    std::size_t at;
    uint8_t value;
  } headerRows[] = {
      {"magic", 3, 'X'},
      {"length not a multiple of 4", 8, 70},
      {"length below the header", 8, 60},
  };
  for (const Row& r : headerRows) {
    Bytes bad = good;
    bad[r.at] = r.value;
    if (r.at == 8) std::memset(bad.data() + 9, 0, 7);
    PacketHeader h;
    EXPECT_FALSE(decodePacketHeader(bad.data(), &h)) << r.what;
  }

  MainPacket m;
  Bytes main = encodeMainBody(1000, {Md5Digest{}, Md5Digest{}});
  EXPECT_FALSE(decodeMainBody(main.data(), 11, &m)) << "short";
  EXPECT_FALSE(decodeMainBody(main.data(), main.size() - 4, &m)) << "IDs cut";
  Bytes more = main;
  more[8] = 3;  // three files, two IDs
  EXPECT_FALSE(decodeMainBody(more.data(), more.size(), &m)) << "count above the IDs";
  Bytes odd = encodeMainBody(1002, {Md5Digest{}});
  EXPECT_FALSE(decodeMainBody(odd.data(), odd.size(), &m)) << "slice size not a multiple of 4";
  Bytes none = encodeMainBody(1000, {});
  EXPECT_FALSE(decodeMainBody(none.data(), none.size(), &m)) << "no file";

  Md5Digest id;
  std::vector<SliceChecksum> slices;
  Bytes ifsc = encodeSliceChecksumBody(Md5Digest{}, {{}});
  EXPECT_FALSE(decodeSliceChecksumBody(ifsc.data(), ifsc.size() - 4, &id, &slices));
  FileDescription d;
  EXPECT_FALSE(decodeFileDescBody(ifsc.data(), 55, &d));
}

TEST(Par2FormatTest, VolumeNamesAsPar2cmdlineGivesThem) {
  struct Row {
    uint32_t count;
    std::vector<std::string> names;
  } rows[] = {
      {1, {"abcd.par2", "abcd.vol0+1.par2"}},
      {3, {"abcd.par2", "abcd.vol0+1.par2", "abcd.vol1+1.par2", "abcd.vol2+1.par2"}},
  };
  for (const Row& r : rows) EXPECT_EQ(recoveryFileNames("abcd", r.count), r.names);
  std::vector<std::string> ten = recoveryFileNames("abcd", 10);
  EXPECT_EQ(ten[1], "abcd.vol00+1.par2");
  EXPECT_EQ(ten[10], "abcd.vol09+1.par2");
  EXPECT_EQ(recoveryFileNames("abcd", 100)[100], "abcd.vol099+1.par2");
}

TEST(Par2FormatTest, SliceSizeIsTheLargestFileRoundedUpTo4) {
  EXPECT_EQ(chooseSliceSize({100, 200, 50}), 200u);
  EXPECT_EQ(chooseSliceSize({100, 201}), 204u);
  EXPECT_EQ(chooseSliceSize({1}), 4u);
  EXPECT_EQ(chooseSliceSize({0, 0}), 0u);
  EXPECT_EQ(chooseSliceSize({5000000001ull}), 5000000004ull);
}

TEST(Par2FormatTest, NamesOfTheSeriesAndItsRecoveryFiles) {
  struct Row {
    const char* name;
    uint32_t segment;
    bool recovery;
  } rows[] = {
      {"abcd0001.trp", 1, false},   {"ABCD0012.TRP", 12, false}, {"abcd9999.trp", 9999, false},
      {"abcd0000.trp", 0, false},   {"abcd001.trp", 0, false},   {"abcd00a1.trp", 0, false},
      {"abce0001.trp", 0, false},   {"x/abcd0001.trp", 0, false}, {"abcd0001.trp.x", 0, false},
      {"abcd.par2", 0, true},       {"ABCD.PAR2", 0, true},      {"abcd.vol0+1.par2", 0, true},
      {"abcd.vol00+12.par2", 0, true}, {"abcd.vol.par2", 0, false}, {"abce.par2", 0, false},
      {"abcd.par", 0, false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(segmentNumberOf(r.name, "abcd"), r.segment) << r.name;
    EXPECT_EQ(isRecoveryFileName(r.name, "abcd"), r.recovery) << r.name;
  }
}

}  // namespace
}  // namespace recovery
}  // namespace trep
