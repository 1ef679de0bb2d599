#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace trep {
namespace {

TEST(CommandLineTest, GetArgumentTable) {
  struct Case {
    std::string line;
    uint32_t n;
    int result;
    std::string out;
  } cases[] = {
      {"Trep.exe", 0, kArgumentFound, "Trep.exe"},
      {"Trep.exe", 1, kArgumentMissing, ""},
      {"  Trep.exe   /q  ", 1, kArgumentFound, "/q"},
      {"  Trep.exe   /q  ", 2, kArgumentMissing, ""},
      {"Trep.exe\t/i=a.bin\t\t/q", 2, kArgumentFound, "/q"},
      {"\"C:\\Program Files\\Trep.exe\" /i=\"C:\\my data\\big file.iso\" /q", 0,
       kArgumentFound, "C:\\Program Files\\Trep.exe"},
      {"\"C:\\Program Files\\Trep.exe\" /i=\"C:\\my data\\big file.iso\" /q", 1,
       kArgumentFound, "/i=C:\\my data\\big file.iso"},
      {"\"C:\\Program Files\\Trep.exe\" /i=\"C:\\my data\\big file.iso\" /q", 2,
       kArgumentFound, "/q"},
      {"Trep.exe a\"b c\"d e", 1, kArgumentFound, "ab cd"},  // quotes anywhere inside
      {"Trep.exe a\"b c\"d e", 2, kArgumentFound, "e"},
      {"Trep.exe \"\" /i=x", 1, kArgumentEmpty, ""},
      {"Trep.exe \"\" /i=x", 2, kArgumentFound, "/i=x"},
      {"Trep.exe \"unbalanced", 1, kUnbalancedQuotes, "untouched"},
      {std::string("Trep.exe a\xFE") + "b", 1, kArgumentFound, "a b"},  // a written 254
      {"", 0, kArgumentMissing, ""},
  };
  for (const Case& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(getArgument(c.line, c.n, &out), c.result) << c.line << " #" << c.n;
    EXPECT_EQ(out, c.out) << c.line << " #" << c.n;
  }
}

TEST(CommandLineTest, LongLinesAreReadWhole) {
  std::string path = "C:\\" + std::string(700, 'p') + "\\file name.bin";
  std::string line = "Trep.exe /q \"/i=" + path + "\" /s=100";
  std::string out;
  EXPECT_EQ(getArgument(line, 2, &out), kArgumentFound);
  EXPECT_EQ(out, "/i=" + path);
  EXPECT_EQ(getArgument(line, 3, &out), kArgumentFound);
  EXPECT_EQ(out, "/s=100");
}

TEST(CommandLineTest, ArgvEntriesAreTakenAsTheyAre) {
  ArgvArguments args({"trep", "/i=my \"odd\" file", "", "/q"});
  std::string out;
  EXPECT_EQ(args.get(1, &out), kArgumentFound);
  EXPECT_EQ(out, "/i=my \"odd\" file");
  EXPECT_EQ(args.get(2, &out), kArgumentEmpty);
  EXPECT_EQ(args.get(4, &out), kArgumentMissing);
}

TEST(CommandLineTest, SegmentKBytesAreWholeNumbersBelow4GiB) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t kbytes;
  } cases[] = {
      {"512", true, 512},       {"0", true, 1},           {"100", true, 100},
      {"4194303", true, 4194303}, {"4194304", false, 0},  {"99999999999", false, 0},
      {"12x", false, 0},        {"-5", false, 0},         {"", false, 0},
      {" 5", false, 0},         {"0004", true, 4},
  };
  for (const Case& c : cases) {
    uint32_t v = 0;
    EXPECT_EQ(parseSegmentKBytes(c.text, &v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.kbytes) << c.text;
    }
  }
}

TEST(CommandLineTest, RecoveryCountIsAWholeNumberFrom1To9999) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t count;
  } cases[] = {
      {"1", true, 1},      {"2", true, 2},     {"9999", true, 9999}, {"0010", true, 10},
      {"0", false, 0},     {"10000", false, 0}, {"", false, 0},      {"3x", false, 0},
      {"-1", false, 0},    {" 1", false, 0},    {"4294967296", false, 0},
  };
  for (const Case& c : cases) {
    uint32_t v = 77;
    EXPECT_EQ(parseRecoveryCount(c.text, &v), c.ok) << c.text;
    EXPECT_EQ(v, c.ok ? c.count : 77u) << c.text;
  }
}

}  // namespace
}  // namespace trep
