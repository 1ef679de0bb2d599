#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// Every argument is read before anything acts on the line: a typo is refused
// naming the argument, never run with the defaults. Rows of (arguments after
// the program's name; lone file allowed; what is asked for; the refusal).
TEST(CommandLineTest, ReadCommandLineRefusesWhatItDoesNotKnow) {
  using Request = CommandLine::Request;
  const std::string longPath(600, 'p');
  struct Case {
    std::vector<std::string> args;
    bool lone;
    Request request;
    std::string refusal;
  } cases[] = {
      {{}, false, Request::kSwitches, ""},
      {{"/i=f", "/size=2"}, false, Request::kRefused, "unknown switch \"/size=2\""},
      {{"-q"}, false, Request::kRefused, "unknown switch \"-q\""},
      {{"-q"}, true, Request::kRefused, "unknown switch \"-q\""},
      {{"/x"}, true, Request::kRefused, "unknown switch \"/x\""},
      {{"/i=f", "/s2"}, false, Request::kRefused, "unknown switch \"/s2\""},
      {{"/i=f", "/qx"}, false, Request::kRefused, "unknown switch \"/qx\""},
      {{"/i=f", "/q=1"}, false, Request::kRefused, "unknown switch \"/q=1\""},
      {{"/i=a", "/i=b"}, false, Request::kRefused, "\"/i=b\" repeats the switch \"/i=a\""},
      {{"/i=a", "/I=b"}, false, Request::kRefused, "\"/I=b\" repeats the switch \"/i=a\""},
      {{"/o=x", "/i=a", "/O=y"}, false, Request::kRefused,
       "\"/O=y\" repeats the switch \"/o=x\""},
      {{"/q", "/quiet"}, false, Request::kRefused, "\"/quiet\" repeats the switch \"/q\""},
      {{"/s=1", "/s=1"}, false, Request::kRefused, "\"/s=1\" repeats the switch \"/s=1\""},
      {{"/i=f", "data.bin"}, false, Request::kRefused, "stray argument \"data.bin\""},
      {{"data.bin"}, false, Request::kRefused, "stray argument \"data.bin\""},
      {{"C:\\x\\data0002.trp"}, true, Request::kSwitches, ""},
      {{""}, true, Request::kSwitches, ""},
      {{"a.trp", "b.trp"}, true, Request::kRefused, "stray argument \"a.trp\""},
      {{"a.trp", "/q"}, true, Request::kRefused, "stray argument \"a.trp\""},
      {{"/i=f", ""}, false, Request::kRefused, "argument 2 is empty"},
      {{"", "/i=f"}, true, Request::kRefused, "argument 1 is empty"},
      {{"/i="}, false, Request::kRefused, "switch \"/i=\" names no file"},
      {{"/i=f", "/o="}, false, Request::kRefused, "switch \"/o=\" names no folder"},
      {{"/i=f", "/s=12x"}, false, Request::kRefused,
       "the segment size \"12x\" is not valid: it must be a whole number of kilobytes below "
       "4 GiB (0 to 4194303)"},
      {{"/i=" + longPath}, false, Request::kRefused,
       "the path \"" + longPath + "\" is longer than 599 characters"},
      {{"/i=f", "/o=" + longPath}, false, Request::kRefused,
       "the path \"" + longPath + "\" is longer than 599 characters"},
      // Help and the version win wherever they stand, over any refusal.
      {{"/i=f", "--help", "/x"}, false, Request::kHelp, ""},
      {{"-h"}, true, Request::kHelp, ""},
      {{"/?"}, true, Request::kHelp, ""},
      {{"--version", "--help"}, false, Request::kHelp, ""},
      {{"/x", "--version"}, false, Request::kVersion, ""},
      {{"--Help"}, false, Request::kRefused, "unknown switch \"--Help\""},
      {{"/i=f", "/r=0"}, false, Request::kRefused,
       "the number of recovery files \"0\" is not valid: it must be a whole number from 1 to "
       "the number of segments"},
      {{"/i=f", "/R=2", "/r=3"}, false, Request::kRefused, "\"/r=3\" repeats the switch \"/R=2\""},
      {{"/i=f", "/r"}, false, Request::kRefused, "unknown switch \"/r\""},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = c.args;
    argv.insert(argv.begin(), "trep");
    CommandLine line = readCommandLine(ArgvArguments(argv), c.lone);
    std::string shown = c.args.empty() ? "(none)" : c.args[0] + (c.args.size() > 1 ? " ..." : "");
    EXPECT_EQ(line.request, c.request) << shown;
    EXPECT_EQ(line.refusal, c.refusal) << shown;
    if (c.request != Request::kSwitches) {
      EXPECT_TRUE(line.switches.empty()) << shown;
    }
  }
}

TEST(CommandLineTest, SwitchesInAnyLetterCaseInTheirOrder) {
  CommandLine line = readCommandLine(
      CommandLineArguments("Trep.exe /O=\"C:\\my out\" /S=7 /I=in.bin /QUIET /R=12"), true);
  ASSERT_EQ(line.request, CommandLine::Request::kSwitches);
  ASSERT_EQ(line.switches.size(), 5u);
  EXPECT_EQ(line.switches[0].kind, Switch::Kind::kOutput);
  EXPECT_EQ(line.switches[0].value, "C:\\my out");
  EXPECT_EQ(line.switches[1].kind, Switch::Kind::kSegmentSize);
  EXPECT_EQ(line.switches[1].kbytes, 7u);
  EXPECT_EQ(line.switches[2].kind, Switch::Kind::kInput);
  EXPECT_EQ(line.switches[2].value, "in.bin");
  EXPECT_EQ(line.switches[2].text, "/I=in.bin");
  EXPECT_EQ(line.switches[3].kind, Switch::Kind::kQuiet);
  EXPECT_EQ(line.switches[4].kind, Switch::Kind::kRecovery);
  EXPECT_EQ(line.switches[4].count, 12u);

  line = readCommandLine(CommandLineArguments("Trep.exe /i=\"unbalanced.bin /q"), true);
  EXPECT_EQ(line.request, CommandLine::Request::kRefused);
  EXPECT_EQ(line.refusal, "the command line has an unbalanced double quote");
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
