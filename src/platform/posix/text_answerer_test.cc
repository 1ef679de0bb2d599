#include "platform/posix/text_answerer.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace trep {
namespace {

// Answers `notice` with `input` written to a pipe (closed after it when
// `close` is set); returns the answer and what was printed.
uint32_t answerWith(const NoticeParameters& notice, const std::string& input, bool close,
                    std::string* printed) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  if (close) ::close(fds[1]);
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  TextAnswerer answerer(fds[0], out);
  uint32_t a = answerer.answer(notice);
  std::fclose(out);
  *printed = std::string(buffer, size);
  free(buffer);
  ::close(fds[0]);
  if (!close) ::close(fds[1]);
  return a;
}

NoticeParameters question() {
  NoticeParameters n;
  n.message = "File already exists.";
  n.firstButton = "Overwrite it";
  n.secondButton = "Abort procedure";
  return n;
}

TEST(TextAnswererTest, AnswersFromInput) {
  struct Case {
    std::string input;
    bool close;
    uint32_t answer;
  } cases[] = {
      {"1\n", false, 1}, {"2\n", false, 2},   {" 2 \r\n", false, 2},
      {"x\n3\n1\n", false, 1},  // asks again until it gets 1 or 2
      {"2", true, 2},    // an answer without a line end before the input ends
      {"", true, 2},     // no input: the safe answer, "Abort procedure"
      {"yes\n", true, 2},
  };
  for (const Case& c : cases) {
    std::string printed;
    EXPECT_EQ(answerWith(question(), c.input, c.close, &printed), c.answer) << c.input;
    EXPECT_NE(printed.find("File already exists."), std::string::npos);
    EXPECT_NE(printed.find("1) Overwrite it"), std::string::npos);
    EXPECT_NE(printed.find("2) Abort procedure"), std::string::npos);
  }
}

TEST(TextAnswererTest, SafeAnswerWithoutAbortIsTheUpperButton) {
  NoticeParameters n;
  n.message = "Finished";
  n.firstButton = "OK";
  n.secondButton = "Open ReadMe";
  std::string printed;
  EXPECT_EQ(answerWith(n, "", true, &printed), 1u);
}

TEST(TextAnswererTest, TimeoutAnswersTheUpperButton) {
  NoticeParameters n;
  n.message = "Finished";
  n.firstButton = "OK";
  n.secondButton = "Open ReadMe";
  n.timeoutSeconds = 1;
  std::string printed;
  EXPECT_EQ(answerWith(n, "", false, &printed), 1u);  // the pipe stays open and silent
}

}  // namespace
}  // namespace trep
