#include "planning/controls.h"

#include <gtest/gtest.h>

namespace trep {
namespace {

// A field the program rewrites while the user types in it keeps the caret
// where the typing goes on.
TEST(CaretAfterRewriteTest, TheCaretStaysWithTheTextAroundIt) {
  const struct {
    const char* before;
    const char* after;
    std::size_t position;
    std::size_t expected;
  } cases[] = {
      // The named folder added behind a folder typed so far: the caret stays
      // at the end of what was typed.
      {"C:\\Desktop\\moviex", "C:\\Desktop\\moviex\\movie", 17, 17},
      // Text replaced before the caret: it moves with the text after it.
      {"C:\\a\\file.bin", "D:\\longer\\file.bin", 7, 12},
      {"C:\\a\\file.bin", "D:\\longer\\file.bin", 13, 18},
      // Text removed before the caret.
      {"abcdef", "adef", 5, 3},
      // Untouched text before the caret keeps it, whatever changes after it.
      {"abcdef", "abcXYZ", 2, 2},
      {"abcdef", "abc", 3, 3},
      // A caret inside the replaced part goes to the end of the new part.
      {"abcdef", "aXYZf", 3, 4},
      // A caret beyond the text counts as its end; the result never passes
      // the new text's end.
      {"abc", "a", 10, 1},
      {"", "new text", 0, 0},
      {"same", "same", 2, 2},
  };
  for (const auto& c : cases)
    EXPECT_EQ(caretAfterRewrite(c.before, c.after, c.position), c.expected)
        << c.before << " -> " << c.after << " at " << c.position;
}

}  // namespace
}  // namespace trep
