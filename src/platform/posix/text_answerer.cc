#include "platform/posix/text_answerer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace trep {
namespace {

enum class LineResult { kLine, kEnd, kTimeout, kInterrupted };

// Reads one line byte by byte (so nothing beyond it is consumed), waiting at
// most until `deadline` when one is set, and no longer once `interruptFd`
// (when not -1) turns readable.
LineResult readLine(int fd, int interruptFd, bool useDeadline,
                    std::chrono::steady_clock::time_point deadline,
                    std::string* line) {
  line->clear();
  for (;;) {
    int waitMs = -1;
    if (useDeadline) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0) return LineResult::kTimeout;
      waitMs = static_cast<int>(left);
    }
    pollfd p[2] = {{fd, POLLIN, 0}, {interruptFd, POLLIN, 0}};
    int r = poll(p, interruptFd >= 0 ? 2 : 1, waitMs);
    if (r < 0) {
      if (errno == EINTR) continue;
      return LineResult::kEnd;
    }
    if (r == 0) return LineResult::kTimeout;
    if (interruptFd >= 0 && p[1].revents != 0) return LineResult::kInterrupted;
    char c;
    ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LineResult::kEnd;
    if (n == 0) return line->empty() ? LineResult::kEnd : LineResult::kLine;
    if (c == '\n') return LineResult::kLine;
    if (line->size() < 64) line->push_back(c);
  }
}

std::string trimmed(const std::string& s) {
  std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  std::size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

}  // namespace

uint32_t TextAnswerer::answerUnread(const NoticeParameters& notice, const char* why) {
  uint32_t a = safeAnswer(notice);
  std::fprintf(output_, "%s; taking %u.\n", why, a);
  std::fflush(output_);
  return a;
}

void TextAnswerer::showProgress(uint32_t percent) {
  std::lock_guard<std::mutex> lock(lineMutex_);
  std::fprintf(output_, "\rtrep: %u%%", percent);
  std::fflush(output_);
  lineOpen_ = true;
}

void TextAnswerer::endLine() {
  std::lock_guard<std::mutex> lock(lineMutex_);
  if (!lineOpen_) return;
  std::fprintf(output_, "\n");
  std::fflush(output_);
  lineOpen_ = false;
}

uint32_t TextAnswerer::answer(const NoticeParameters& notice) {
  endLine();
  std::fprintf(output_, "trep: %s\n", notice.message.c_str());
  if (!notice.reason.empty()) std::fprintf(output_, "trep: %s\n", notice.reason.c_str());
  if (notice.informational) {
    std::fflush(output_);
    return kUpperButton;
  }
  std::fprintf(output_, "  1) %s\n  2) %s\n", notice.firstButton.c_str(),
               notice.secondButton.c_str());
  if (interrupted_) return answerUnread(notice, "Ending");
  if (inputClosed_) return answerUnread(notice, "No answer can be read");
  if (notice.lastingFailure && !isatty(inputFd_))
    return answerUnread(notice, "Trying again cannot mend this, and no one answers at a terminal");
  bool useDeadline = notice.timeoutSeconds != 0;
  auto deadline = std::chrono::steady_clock::now() +
                  std::chrono::seconds(notice.timeoutSeconds);
  for (;;) {
    if (useDeadline)
      std::fprintf(output_, "Answer 1 or 2 (1 in %u s): ", notice.timeoutSeconds);
    else
      std::fprintf(output_, "Answer 1 or 2: ");
    std::fflush(output_);
    std::string line;
    LineResult r = readLine(inputFd_, interruptFd_, useDeadline, deadline, &line);
    if (r == LineResult::kTimeout) {
      std::fprintf(output_, "\n");
      return kUpperButton;
    }
    if (r == LineResult::kInterrupted) {
      interrupted_ = true;
      std::fprintf(output_, "\n");
      return answerUnread(notice, "Ending");
    }
    if (r == LineResult::kEnd) {
      inputClosed_ = true;
      uint32_t a = safeAnswer(notice);
      std::fprintf(output_, "\nNo answer can be read; taking %u.\n", a);
      std::fflush(output_);
      return a;
    }
    std::string t = trimmed(line);
    if (t == "1") return kUpperButton;
    if (t == "2") return kLowerButton;
  }
}

}  // namespace trep
