#include "engine/naming.h"

#include <gtest/gtest.h>

#include "platform/platform.h"

namespace trep {
namespace {

// Writes a path with "\" as the separator in the platform's own.
std::string native(std::string p) {
  for (char& c : p)
    if (c == '\\') c = kPathSeparator;
  return p;
}

TEST(NamingTest, FileNameOf) {
  struct Case {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\dir\\", "dir"},          {"C:\\a", "C:\\a"},  // one-character component: path kept
      {"C:\\video\\movie.avi", "movie.avi"},
      {"movie.avi", "movie.avi"},    {"\\x", "\\x"},      // 2 characters or fewer
      {"D:\\Data\\report.trp.bak", "report.trp.bak"},
      {"ab\\cd", "cd"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(fileNameOf(native(c.path)), native(c.name)) << c.path;
}

TEST(NamingTest, LastComponentNamesSingleCharacterFiles) {
  EXPECT_EQ(lastComponentOf(native("C:\\a")), "a");
  EXPECT_EQ(lastComponentOf("a"), "a");
}

TEST(NamingTest, OriginalNameOf) {
  EXPECT_EQ(originalNameOf(native("C:\\x\\a")), "a");
  EXPECT_EQ(originalNameOf(native("C:\\x\\data.bin")), "data.bin");
}

TEST(NamingTest, CutBeforeExtension) {
  struct Case {
    const char* name;
    std::size_t room;
    const char* cut;
  } cases[] = {
      {"report.pdf", 10, "report.pdf"},              // fits: unchanged
      {"longreport.pdf", 10, "longre.pdf"},          // the stem gives way
      {"a.verylongextension", 10, "a.verylong"},     // over 16: no extension kept
      {"name.abcdefghijklmno", 12, "name.abcdefg"},  // 16 with the dot, but no room left
      {"x.tar.gz", 3, "x.t"},                        // an extension as long as the room
  };
  for (const Case& c : cases)
    EXPECT_EQ(cutBeforeExtension(c.name, c.room), c.cut) << c.name << " in " << c.room;
}

TEST(NamingTest, ZeroPadded) {
  EXPECT_EQ(zeroPadded(7, 4), "0007");
  EXPECT_EQ(zeroPadded(9999, 4), "9999");
  EXPECT_EQ(zeroPadded(0, 4), "0000");
  EXPECT_EQ(zeroPadded(12, 1), "12");
}

TEST(NamingTest, SplitBaseName) {
  struct Case {
    const char* original;
    const char* base;
  } cases[] = {
      {"my file.bin", "myXf"}, {"a", "aXXX"},      {"ab", "abXX"},
      {"a.b.zip", "a.b."},     {"movie.avi", "movi"}, {"   x", "XXXx"},
      {"", "XXXX"},
  };
  for (const Case& c : cases) EXPECT_EQ(splitBaseName(c.original), c.base) << c.original;
}

TEST(NamingTest, SegmentPath) {
  EXPECT_EQ(segmentPath(native("D:\\out\\repo"), 1), native("D:\\out\\repo0001.trp"));
  EXPECT_EQ(segmentPath("repo", 123), "repo0123.trp");
}

}  // namespace
}  // namespace trep
