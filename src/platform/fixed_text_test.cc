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

}  // namespace
}  // namespace trep
