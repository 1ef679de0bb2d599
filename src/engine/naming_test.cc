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
  EXPECT_EQ(originalNameOf(native("C:\\x\\caf\xE9.bin")), "café.bin");  // Latin-1 bytes
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
      // Four characters, never four bytes: whatever their width.
      {"日本語.bin", "日本語."},   {"café.bin", "café"},   {"Ωmega 🎬.mkv", "Ωmeg"},
      {"🎬 Ωmega.mkv", "🎬XΩm"},    {"Ωmeg", "Ωmeg"},        {"abcé.txt", "abcé"},
      {"日本", "日本XX"},           {"é", "éXXX"},
  };
  for (const Case& c : cases) EXPECT_EQ(splitBaseName(c.original), c.base) << c.original;
}

TEST(NamingTest, CutBeforeExtensionKeepsWholeCharacters) {
  // Counted as the system counts a name: UTF-16 units on Windows, bytes on
  // POSIX. "日" is one unit or three bytes, "🎬" two units or four bytes.
#ifdef _WIN32
  EXPECT_EQ(cutBeforeExtension("日本語日本語.txt", 7), "日本語.txt");
  EXPECT_EQ(cutBeforeExtension("🎬🎬🎬.txt", 8), "🎬🎬.txt");
  EXPECT_EQ(cutBeforeExtension("🎬🎬🎬.txt", 7), "🎬.txt");  // never half a pair
  EXPECT_EQ(cutBeforeExtension("日本語日本語.txt", 10), "日本語日本語.txt");
#else
  EXPECT_EQ(cutBeforeExtension("日本語日本語.txt", 14), "日本語.txt");
  EXPECT_EQ(cutBeforeExtension("日本語日本語.txt", 15), "日本語.txt");
  EXPECT_EQ(cutBeforeExtension("🎬🎬🎬.txt", 15), "🎬🎬.txt");
  EXPECT_EQ(cutBeforeExtension("日本語日本語.txt", 22), "日本語日本語.txt");
#endif
  // An extension of sixteen characters is kept whatever its bytes.
  const std::string extension = ".ééééééééééééééé";
  EXPECT_EQ(cutBeforeExtension(std::string(300, 'n') + extension, 255),
            std::string(255 - systemLength(extension), 'n') + extension);
}

TEST(NamingTest, FileNameOfCountsCharacters) {
  // A last component of one character keeps the path, whatever its bytes.
  EXPECT_EQ(fileNameOf(native("C:\\é")), native("C:\\é"));
  EXPECT_EQ(originalNameOf(native("C:\\x\\é")), "é");
  EXPECT_EQ(fileNameOf(native("C:\\x\\日本")), "日本");
}

TEST(NamingTest, SegmentPath) {
  EXPECT_EQ(segmentPath(native("D:\\out\\repo"), 1), native("D:\\out\\repo0001.trp"));
  EXPECT_EQ(segmentPath("repo", 123), "repo0123.trp");
}

}  // namespace
}  // namespace trep
