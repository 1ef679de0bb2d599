#include "engine/rebuild_batch.h"

#include "engine/naming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace trep {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find("\r\n", start);
    out.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return out;
    start = end + 2;
  }
}

TEST(RebuildBatchTest, ThreeSegments) {
  EXPECT_EQ(rebuildBatchText("repo", "my file.bin", 3),
            "Copy /b repo0001.trp+repo0002.trp+repo0003.trp \"my file.bin\"");
}

TEST(RebuildBatchTest, OneLineBelowHundred) {
  EXPECT_EQ(rebuildBatchText("repo", "a", 1), "Copy /b repo0001.trp \"a\"");
  std::string t = rebuildBatchText("repo", "a", 99);
  EXPECT_EQ(t.find('\r'), std::string::npos);
  EXPECT_EQ(t.size(), 8u + 99 * 12 + 98 + 4);  // the blank and the quoted name
  EXPECT_EQ(t.substr(t.size() - 16), "repo0099.trp \"a\"");
}

TEST(RebuildBatchTest, GroupsOfHundred) {
  struct Case {
    uint32_t count;
    std::vector<std::size_t> groupSizes;
  } cases[] = {{100, {100}}, {150, {100, 50}}, {201, {100, 100, 1}}, {9999, {}}};
  for (const Case& c : cases) {
    std::string text = rebuildBatchText("repo", "my file.bin", c.count);
    std::vector<std::string> l = lines(text);
    uint32_t groups = (c.count + 99) / 100;
    ASSERT_EQ(l.size(), groups + 1) << c.count;
    uint32_t next = 1;
    for (uint32_t g = 0; g < groups; ++g) {
      std::string x = "X" + zeroPadded(g + 1, 4) + ".trp";
      EXPECT_EQ(l[g].substr(0, 8), "Copy /b ");
      EXPECT_EQ(l[g].substr(l[g].size() - x.size() - 3), " \"" + x + "\"") << c.count;
      std::size_t names = (l[g].size() - 8 - x.size() - 3 + 1) / 13;  // "name.trp" and "+"
      if (!c.groupSizes.empty()) {
        EXPECT_EQ(names, c.groupSizes[g]) << c.count << " group " << g;
      }
      EXPECT_EQ(l[g].substr(8, 12), "repo" + zeroPadded(next, 4) + ".trp");
      next += static_cast<uint32_t>(names);
    }
    EXPECT_EQ(next, c.count + 1);
    EXPECT_EQ(l.back().substr(l.back().size() - 14), " \"my file.bin\"");
  }
  std::vector<std::string> l = lines(rebuildBatchText("repo", "my file.bin", 150));
  EXPECT_EQ(l[0].size(), 1319u);
  EXPECT_EQ(l[2], "Copy /b X0001.trp+X0002.trp \"my file.bin\"");
  EXPECT_EQ(lines(rebuildBatchText("repo", "n", 100))[1], "Copy /b X0001.trp \"n\"");
  std::vector<std::string> l201 = lines(rebuildBatchText("repo", "n", 201));
  EXPECT_EQ(l201[2], "Copy /b repo0201.trp \"X0003.trp\"");
  EXPECT_EQ(l201[3], "Copy /b X0001.trp+X0002.trp+X0003.trp \"n\"");
}

TEST(RebuildBatchTest, NamesBeyondAsciiOpenWithTheSwitchToUtf8) {
  const std::string opening =
      "@chcp 65001 >nul\r\n"
      "@setlocal\r\n"
      "@set \"TrepProbe=€\"\r\n"
      "@if not \"%TrepProbe:~1%\"==\"\" (echo This command interpreter does not read "
      "UnTrep.bat as UTF-8, so it cannot name the files: nothing was copied.& exit /b 1)\r\n";
  EXPECT_EQ(rebuildBatchText("résu", "résumé.doc", 2),
            opening + "Copy /b résu0001.trp+résu0002.trp \"résumé.doc\"");
  // An ASCII base name, the original's name beyond ASCII: UTF-8 all the same.
  EXPECT_EQ(rebuildBatchText("repo", "日本語.bin", 1), opening + "Copy /b repo0001.trp \"日本語.bin\"");
  std::vector<std::string> l = lines(rebuildBatchText("🎬XΩm", "🎬 Ωmega.mkv", 150));
  ASSERT_EQ(l.size(), 4u + 3);
  const std::string first = "Copy /b 🎬XΩm0001.trp+🎬XΩm0002.trp+";
  EXPECT_EQ(l[4].substr(0, first.size()), first);
  EXPECT_EQ(l[6], "Copy /b X0001.trp+X0002.trp \"🎬 Ωmega.mkv\"");
  // A name a POSIX system gave in Latin-1 is written as the character it is.
  EXPECT_EQ(rebuildBatchText("caf\xE9", "caf\xE9.bin", 1),
            opening + "Copy /b café0001.trp \"café.bin\"");
}

}  // namespace
}  // namespace trep
