#include "app/subcommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "planning/size_arithmetic.h"

namespace trep {
namespace {

TEST(SubcommandTest, SizesWithUnits) {
  struct Case {
    const char* text;
    bool ok;
    uint64_t bytes;
  } cases[] = {
      {"1", true, 1},
      {"512", true, 512},
      {"10K", true, 10240},
      {"10k", true, 10240},
      {"10KiB", true, 10240},
      {"10KB", true, 10000},
      {"10M", true, 10485760},
      {"10MB", true, 10000000},
      {"700M", true, 734003200},
      {"700mb", true, 700000000},
      {"4G", true, 4294967296ull},
      {"4GB", true, 4000000000ull},
      {"2T", true, 2199023255552ull},
      {"1TB", true, 1000000000000ull},
      {"0", false, 0},
      {"0M", false, 0},
      {"", false, 0},
      {"M", false, 0},
      {"10 M", false, 0},
      {"-10M", false, 0},
      {"10X", false, 0},
      {"10MBB", false, 0},
      {"10Mi", false, 0},
      {"1.5G", false, 0},
      {"99999999999999999999", false, 0},  // 20 digits
      {"18446744073709551615", false, 0},
      {"17179869184G", false, 0},  // 2^64 bytes
  };
  for (const Case& c : cases) {
    uint64_t bytes = 7;
    EXPECT_EQ(parseSizeWithUnit(c.text, &bytes), c.ok) << c.text;
    EXPECT_EQ(bytes, c.ok ? c.bytes : 7u) << c.text;
  }
}

TEST(SubcommandTest, MediaNamesAreTheWindowsList) {
  EXPECT_EQ(presetIndexOfMedium("cd80"), 8);
  EXPECT_EQ(presetIndexOfMedium("cd74"), 7);
  EXPECT_EQ(presetIndexOfMedium("email"), 1);
  EXPECT_EQ(presetIndexOfMedium("flash1g"), 13);
  EXPECT_EQ(presetIndexOfMedium("dvdsl"), 16);
  EXPECT_EQ(presetIndexOfMedium("dvddl"), 17);
  EXPECT_EQ(presetIndexOfMedium("dvd"), 19);  // the wizard's DVD
  EXPECT_EQ(presetIndexOfMedium("manual"), 0);
  EXPECT_EQ(presetIndexOfMedium("CD80"), 0);  // the reader lowers the case first
  EXPECT_EQ(presetIndexOfMedium("cd 80"), 0);
  // Every name it lists is one it reads.
  for (const std::string& n : mediumNames()) EXPECT_NE(presetIndexOfMedium(n), 0) << n;
}

struct LineCase {
  std::vector<std::string> args;
  std::string refusal;  // always empty: these lines are taken
  Subcommand::Verb verb;
  std::string input, output, name;
  uint64_t bytes;
  int preset;
  uint32_t count, recovery;
  bool quiet, verbose, force, help;
};

TEST(SubcommandTest, LinesTable) {
  using V = Subcommand::Verb;
  const LineCase cases[] = {
      {{"split", "movie.bin"}, "", V::kSplit, "movie.bin", "", "", 0, 0, 0, 0, false, false, false, false},
      {{"split", "-s", "10M", "movie.bin"}, "", V::kSplit, "movie.bin", "", "", 10485760, 0, 0, 0, false, false, false, false},
      {{"split", "movie.bin", "-s10MB", "-o", "out", "-r", "2"}, "", V::kSplit, "movie.bin", "out", "", 10000000, 0, 0, 2, false, false, false, false},
      {{"split", "--size=cd80", "--output=out", "--recovery=3", "movie.bin"}, "", V::kSplit, "movie.bin", "out", "", 0, 8, 0, 3, false, false, false, false},
      {{"split", "-s", "DVD", "x"}, "", V::kSplit, "x", "", "", 0, 19, 0, 0, false, false, false, false},
      {{"split", "-n", "6", "-q", "-f", "x"}, "", V::kSplit, "x", "", "", 0, 0, 6, 0, true, false, true, false},
      {{"split", "-", "--name", "dir.tar", "-s", "700M", "-r", "2"}, "", V::kSplit, "-", "", "dir.tar", 734003200, 0, 0, 2, false, false, false, false},
      {{"split", "-v", "--", "-odd name"}, "", V::kSplit, "-odd name", "", "", 0, 0, 0, 0, false, true, false, false},
      {{"split", "--help"}, "", V::kSplit, "", "", "", 0, 0, 0, 0, false, false, false, true},
      {{"join", "-h"}, "", V::kJoin, "", "", "", 0, 0, 0, 0, false, false, false, true},
      {{"join", "dir.tar0001.trp", "-o", "-"}, "", V::kJoin, "dir.tar0001.trp", "-", "", 0, 0, 0, 0, false, false, false, false},
      {{"join", "--force", "a0002.trp", "-o", "d"}, "", V::kJoin, "a0002.trp", "d", "", 0, 0, 0, 0, false, false, true, false},
      {{"check", "a0001.trp"}, "", V::kCheck, "a0001.trp", "", "", 0, 0, 0, 0, false, false, false, false},
      {{"check", "-q", "a0001.trp"}, "", V::kCheck, "a0001.trp", "", "", 0, 0, 0, 0, true, false, false, false},
  };
  for (const LineCase& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    Subcommand s = readSubcommand(c.args);
    EXPECT_EQ(s.refusal, "") << line;
    EXPECT_EQ(s.verb, c.verb) << line;
    EXPECT_EQ(s.input, c.input) << line;
    EXPECT_EQ(s.output, c.output) << line;
    EXPECT_EQ(s.name, c.name) << line;
    EXPECT_EQ(s.segmentBytes, c.bytes) << line;
    EXPECT_EQ(s.presetIndex, c.preset) << line;
    EXPECT_EQ(s.segmentCount, c.count) << line;
    EXPECT_EQ(s.recoveryCount, c.recovery) << line;
    EXPECT_EQ(s.quiet, c.quiet) << line;
    EXPECT_EQ(s.verbose, c.verbose) << line;
    EXPECT_EQ(s.force, c.force) << line;
    EXPECT_EQ(s.help, c.help) << line;
  }
}

// Refused lines, each naming what is wrong; nothing of them is kept.
TEST(SubcommandTest, RefusedLinesTable) {
  const struct {
    std::vector<std::string> args;
    std::string refusal;
  } cases[] = {
      {{"split"}, "no file given"},
      {{"join"}, "no segment given"},
      {{"split", "a", "b"}, "\"b\" is one too many"},
      {{"split", "-s", "10Q", "a"}, "segment size \"10Q\" is not valid"},
      {{"split", "-s", "5G", "a"}, "too large"},
      {{"split", "-s", "4200000001", "a"}, "too large"},
      {{"split", "-s", "0", "a"}, "not valid"},
      {{"split", "-s", "1M", "-n", "3", "a"}, "once"},
      {{"split", "-n", "0", "a"}, "number of segments \"0\""},
      {{"split", "-n", "10000", "a"}, "number of segments"},
      {{"split", "-r", "0", "a"}, "recovery files \"0\""},
      {{"split", "-s"}, "\"-s\" needs a value"},
      {{"split", "-x", "a"}, "unknown option \"-x\""},
      {{"split", "--sizes=1M", "a"}, "unknown option"},
      {{"split", "-"}, "needs --name"},
      {{"split", "a", "--name", "n"}, "--name is for a split of standard input"},
      {{"split", "-", "--name", "d/x"}, "not a file name"},
      {{"split", "a", "-o", "-"}, "only a join writes to standard output"},
      {{"split", "-q", "-v", "a"}, "opposite"},
      {{"join", "-"}, "only a split reads standard input"},
      {{"join", "-s", "1M", "a0001.trp"}, "takes no option \"-s\""},
      {{"join", "-r", "2", "a0001.trp"}, "takes no option"},
      {{"check", "-o", "d", "a0001.trp"}, "takes no option"},
      {{"check", "--force", "a0001.trp"}, "takes no option"},
      {{"join", "", "a0001.trp"}, "is empty"},
      // A path longer than a path field is refused, never cut to another.
      {{"split", "a", "-o", std::string(600, 'd')}, "is longer than 599 characters"},
      {{"split", std::string(600, 'f')}, "is longer than 599 characters"},
      {{"join", std::string(592, 'f') + "0001.trp"}, "is longer than 599 characters"},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    Subcommand s = readSubcommand(c.args);
    EXPECT_NE(s.refusal.find(c.refusal), std::string::npos) << line << "-> " << s.refusal;
    EXPECT_TRUE(s.input.empty()) << line;
    EXPECT_EQ(s.recoveryCount, 0u) << line;
    EXPECT_FALSE(s.force) << line;
  }
}

TEST(SubcommandTest, OnlyTheThreeVerbs) {
  for (const char* v : {"split", "join", "check"}) EXPECT_TRUE(isSubcommandVerb(v)) << v;
  for (const char* v : {"Split", "/i=split", "splitter", "", "-", "help"})
    EXPECT_FALSE(isSubcommandVerb(v)) << v;
}

}  // namespace
}  // namespace trep
