#include "platform/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace trep {
namespace {

// Texts of every width of character: ASCII, 2 bytes (é, Ω), 3 (日), 4 (🎬).
TEST(TextEncodingTest, CountsAndTakesCharacters) {
  struct Case {
    const char* text;
    std::size_t count;
    const char* first4;
    const char* last2;
  } cases[] = {
      {"movie.avi", 9, "movi", "vi"},
      {"café.bin", 8, "café", "in"},
      {"日本語.bin", 7, "日本語.", "in"},
      {"Ωmega 🎬.mkv", 11, "Ωmeg", "kv"},
      {"🎬🎬🎬🎬🎬", 5, "🎬🎬🎬🎬", "🎬🎬"},
      {"ab", 2, "ab", "ab"},
      {"", 0, "", ""},
      // A byte that starts no whole sequence is a character of its own.
      {"caf\xE9.b", 6, "caf\xE9", ".b"},
      {"\xE6\x97.x", 4, "\xE6\x97.x", ".x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(characterCount(c.text), c.count) << c.text;
    EXPECT_EQ(firstCharacters(c.text, 4), c.first4) << c.text;
    EXPECT_EQ(lastCharacters(c.text, 2), c.last2) << c.text;
  }
  EXPECT_EQ(withoutLastCharacters("日本語0001.trp", 8), "日本語");
  EXPECT_EQ(withoutLastCharacters("ab", 8), "");
}

TEST(TextEncodingTest, FitBytesNeverCutsInsideACharacter) {
  const std::string text = "aé日🎬";  // 1 + 2 + 3 + 4 bytes
  const char* expected[] = {"", "a", "a", "aé", "aé", "aé", "aé日", "aé日", "aé日", "aé日", "aé日🎬"};
  for (std::size_t bytes = 0; bytes <= 10; ++bytes)
    EXPECT_EQ(fitBytes(text, bytes), expected[bytes]) << bytes << " bytes";
  EXPECT_EQ(fitBytes(text, 99), text);
}

TEST(TextEncodingTest, StrictUtf8) {
  struct Case {
    const char* bytes;
    bool valid;
  } cases[] = {
      {"plain", true},
      {"résumé 日本語 🎬", true},
      {"caf\xE9", false},                // Windows-1252, not UTF-8
      {"\xC3", false},                   // cut short
      {"\xC0\xAF", false},               // overlong "/"
      {"\xE0\x80\xAF", false},           // overlong "/"
      {"\xF0\x80\x80\xAF", false},       // overlong "/"
      {"\xED\xA0\x80", false},           // a surrogate
      {"\xF4\x90\x80\x80", false},       // above U+10FFFF
      {"\xF4\x8F\xBF\xBF", true},        // U+10FFFF
      {"\x80", false},                   // a lone continuation byte
  };
  for (const Case& c : cases) EXPECT_EQ(isValidUtf8(c.bytes), c.valid) << c.bytes;
}

TEST(TextEncodingTest, Utf16BothWays) {
  EXPECT_EQ(utf8ToUtf16("aé日🎬"), (std::u16string{u'a', 0xE9, 0x65E5, 0xD83C, 0xDFAC}));
  EXPECT_EQ(utf16ToUtf8(u"aé日🎬"), "aé日🎬");
  EXPECT_EQ(utf16Length("aé日🎬"), 5u);
  // A lone surrogate, which a Windows name may hold, comes back as it was.
  const std::u16string lone{u'x', 0xD800, u'y', 0xDC01};
  EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(lone)), lone);
  EXPECT_EQ(characterCount(utf16ToUtf8(lone)), 4u);
  // Bytes that are no character, and overlong forms, never become one.
  EXPECT_EQ(utf8ToUtf16("caf\xE9"), (std::u16string{u'c', u'a', u'f', 0xFFFD}));
  EXPECT_EQ(utf8ToUtf16("\xE0\x80\x80"), (std::u16string{0xFFFD}));
}

TEST(TextEncodingTest, Windows1252BothWays) {
  struct Case {
    unsigned byte;
    const char* text;
  } cases[] = {
      {0x41, "A"},  {0x80, "€"},  {0x81, "\xC2\x81"}, {0x8A, "Š"}, {0x8D, "\xC2\x8D"},
      {0x8F, "\xC2\x8F"}, {0x90, "\xC2\x90"}, {0x92, "’"},  {0x99, "™"}, {0x9D, "\xC2\x9D"},
      {0x9F, "Ÿ"},  {0xA0, "\xC2\xA0"}, {0xE9, "é"}, {0xFF, "ÿ"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(fromWindows1252(std::string(1, static_cast<char>(c.byte))), c.text) << c.byte;
  // Every byte is one character, and goes back to itself.
  for (unsigned b = 1; b < 256; ++b) {
    std::string byte(1, static_cast<char>(b));
    std::string text = fromWindows1252(byte);
    EXPECT_TRUE(isValidUtf8(text)) << b;
    std::string back;
    EXPECT_TRUE(toWindows1252(text, &back)) << b;
    EXPECT_EQ(back, byte) << b;
  }
  std::string out;
  EXPECT_FALSE(toWindows1252("Ωmega", &out));
  EXPECT_FALSE(toWindows1252("日本", &out));
  EXPECT_FALSE(toWindows1252("🎬", &out));
  EXPECT_EQ(utf8TextOf("caf\xE9"), "café");
  EXPECT_EQ(utf8TextOf("café"), "café");
}

}  // namespace
}  // namespace trep
