#include "platform/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace trep {
namespace {

TEST(FixedTextTest, KeepsWithinCapacityAndReportsCuts) {
  FixedText<8> t;  // 7 characters
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

TEST(FixedTextTest, CountsCharactersNotBytes) {
  FixedText<4> t;  // 3 characters, of any width
  EXPECT_TRUE(t.assign("日本語"));
  EXPECT_EQ(t.str(), "日本語");
  EXPECT_FALSE(t.append("é"));
  EXPECT_EQ(t.str(), "日本語");
  EXPECT_FALSE(t.assign("a🎬é日"));
  EXPECT_EQ(t.str(), "a🎬é");
  EXPECT_EQ(t.size(), 7u);  // bytes
  EXPECT_TRUE(t.assign("é"));
  EXPECT_FALSE(t.append("🎬🎬🎬"));
  EXPECT_EQ(t.str(), "é🎬🎬");
  t.truncate(2);
  EXPECT_EQ(t.str(), "é🎬");
  EXPECT_TRUE(FixedText<4>::fits("🎬🎬🎬"));
  EXPECT_FALSE(FixedText<4>::fits("abcd"));
  // 599 characters of a script of four bytes each still fit a path.
  PathText p;
  std::string emoji;
  for (int i = 0; i < 599; ++i) emoji += "🎬";
  EXPECT_TRUE(p.assign(emoji));
  EXPECT_FALSE(p.append("x"));
  EXPECT_EQ(p.str(), emoji);
}

}  // namespace
}  // namespace trep
