#include "platform/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace trep {
namespace {

TEST(FixedTextTest, KeepsWithinCapacityAndReportsCuts) {
  FixedText<8> t;  // 7 characters and the terminator
  EXPECT_TRUE(t.assign("abcdefg"));
  EXPECT_EQ(t.str(), "abcdefg");
  EXPECT_FALSE(t.append("h"));
  EXPECT_EQ(t.str(), "abcdefg");
  EXPECT_FALSE(t.assign("0123456789"));
  EXPECT_EQ(t.str(), "0123456");
  EXPECT_EQ(t.size(), 7u);
  EXPECT_EQ(t.c_str()[7], '\0');
  EXPECT_TRUE(t.assign(""));
  EXPECT_TRUE(t.empty());
  EXPECT_FALSE(t.append("abcd1234"));
  EXPECT_EQ(t.str(), "abcd123");
}

TEST(FixedTextTest, PathTextHolds599Characters) {
  PathText p;
  EXPECT_TRUE(p.assign(std::string(599, 'x')));
  EXPECT_FALSE(p.assign(std::string(600, 'x')));
  EXPECT_EQ(p.size(), 599u);
  p.truncate(3);
  EXPECT_EQ(p.str(), "xxx");
}

TEST(FixedTextTest, CutsOnlyBetweenCharacters) {
  FixedText<8> t;  // 7 bytes
  EXPECT_FALSE(t.assign("ab日本"));  // 2 + 3 + 3 bytes
  EXPECT_EQ(t.str(), "ab日");
  EXPECT_FALSE(t.append("本"));
  EXPECT_EQ(t.str(), "ab日");
  EXPECT_TRUE(t.append("é"));  // exactly 7 bytes
  EXPECT_EQ(t.str(), "ab日é");
  EXPECT_FALSE(t.assign("🎬🎬"));
  EXPECT_EQ(t.str(), "🎬");
  EXPECT_TRUE(t.assign("aé日"));
  EXPECT_FALSE(t.append("é"));  // 6 bytes and 2 more
  EXPECT_EQ(t.str(), "aé日");
  t.truncate(5);  // inside "日": it goes whole
  EXPECT_EQ(t.str(), "aé");
  PathText p;
  std::string accents;
  for (int i = 0; i < 300; ++i) accents += "é";
  EXPECT_FALSE(p.assign(accents));
  EXPECT_EQ(p.size(), 598u);
  EXPECT_TRUE(isValidUtf8(p.view()));
}

}  // namespace
}  // namespace trep
