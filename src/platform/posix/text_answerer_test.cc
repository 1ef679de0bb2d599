#include "platform/posix/text_answerer.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

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

// What is left unread in a descriptor that nothing more is written to.
std::string unread(int fd) {
  int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  std::string left;
  char c;
  while (read(fd, &c, 1) == 1) left += c;
  fcntl(fd, F_SETFL, flags);
  return left;
}

NoticeParameters writeError(bool lasting) {
  NoticeParameters n;
  n.message = "File Write Error. The disk might be full.";
  n.firstButton = "OK";
  n.secondButton = "Abort procedure";
  n.reason = "out/data0002.trp: Read-only file system";
  n.lastingFailure = lasting;
  return n;
}

// The reason goes on a line of its own after the message. A failure no
// retry mends is answered with the safe answer unread when stdin is not a
// terminal (a script would answer "OK" forever); read as ever from a
// terminal. One that can be mended is read from a script too.
TEST(TextAnswererTest, ReasonsAndFailuresNoRetryMends) {
  struct Case {
    bool lasting;
    bool terminal;
    uint32_t answer;
    std::string left;  // of the input "1\n"
  } cases[] = {
      {true, false, 2, "1\n"},
      {true, true, 1, ""},
      {false, false, 1, ""},
  };
  for (const Case& c : cases) {
    int in = -1, feed = -1;
    if (c.terminal) {
      feed = posix_openpt(O_RDWR | O_NOCTTY);
      ASSERT_GE(feed, 0);
      ASSERT_EQ(grantpt(feed), 0);
      ASSERT_EQ(unlockpt(feed), 0);
      in = open(ptsname(feed), O_RDWR | O_NOCTTY);
      ASSERT_GE(in, 0);
    } else {
      int fds[2];
      ASSERT_EQ(pipe(fds), 0);
      in = fds[0];
      feed = fds[1];
    }
    ASSERT_EQ(write(feed, "1\n", 2), 2);
    char* buffer = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&buffer, &size);
    TextAnswerer answerer(in, out);
    EXPECT_EQ(answerer.answer(writeError(c.lasting)), c.answer);
    std::fclose(out);
    std::string printed(buffer, size);
    free(buffer);
    EXPECT_EQ(printed.rfind("trep: File Write Error. The disk might be full.\n"
                            "trep: out/data0002.trp: Read-only file system\n"
                            "  1) OK\n  2) Abort procedure\n", 0), 0u) << printed;
    if (c.answer == 2) {
      EXPECT_NE(printed.find("Trying again cannot mend this"), std::string::npos) << printed;
    }
    if (!c.terminal) {
      EXPECT_EQ(unread(in), c.left);
    }
    close(in);
    close(feed);
  }
}

// A notice with nothing to decide is printed, never waited for.
TEST(TextAnswererTest, InformationalNoticeIsOnlyPrinted) {
  NoticeParameters n;
  n.message = "Segment \"movi0004.trp\" of an earlier series is still in the output folder.";
  n.firstButton = "OK";
  n.secondButton = "Open ReadMe";
  n.informational = true;
  std::string printed;
  EXPECT_EQ(answerWith(n, "2\n", false, &printed), 1u);
  EXPECT_EQ(printed, "trep: " + n.message + "\n");
}

// A signal while a question waits: the safe answer at once, and for every
// later question too, while stdin stays open and silent.
TEST(TextAnswererTest, InterruptEndsTheWaitWithTheSafeAnswer) {
  int input[2], interrupt[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(pipe(interrupt), 0);
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  TextAnswerer answerer(input[0], out);
  answerer.setInterruptFd(interrupt[0]);
  ASSERT_EQ(write(interrupt[1], "x", 1), 1);
  EXPECT_EQ(answerer.answer(question()), 2u);
  EXPECT_EQ(answerer.answer(question()), 2u);
  std::fclose(out);
  std::string printed(buffer, size);
  free(buffer);
  EXPECT_NE(printed.find("Ending; taking 2."), std::string::npos) << printed;
  for (int fd : {input[0], input[1], interrupt[0], interrupt[1]}) close(fd);
}

// The progress line is ended before a notice and at the end of the job,
// once: "trep: 97%" never runs on into the next text.
TEST(TextAnswererTest, TheProgressLineIsEndedBeforeANotice) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  TextAnswerer answerer(-1, out);
  NoticeParameters finished;
  finished.message = "Finished";
  finished.firstButton = "OK";
  finished.secondButton = "Quit Trep";
  finished.informational = true;
  answerer.showProgress(96);
  answerer.showProgress(97);
  answerer.answer(finished);
  answerer.endLine();
  answerer.showProgress(99);
  answerer.endLine();
  answerer.endLine();
  std::fclose(out);
  EXPECT_EQ(std::string(buffer, size),
            "\rtrep: 96%\rtrep: 97%\ntrep: Finished\n\rtrep: 99%\n");
  free(buffer);
}

}  // namespace
}  // namespace trep
