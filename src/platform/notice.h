// Every message and question of the program goes through raiseNotice: a text,
// two buttons stacked one above the other, an optional timeout.
#ifndef TREP_PLATFORM_NOTICE_H_
#define TREP_PLATFORM_NOTICE_H_

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace trep {

// Passed by value to the answerer, so two threads can never mix their texts.
struct NoticeParameters {
  std::string message;
  std::string firstButton;   // upper button, answer 1
  std::string secondButton;  // lower button, answer 2
  uint32_t kind = 10;        // every notice of the program uses 10 (small font)
  uint32_t timeoutSeconds = 0;  // 0 = wait for an answer; else a timeout answers 1
};

constexpr uint32_t kUpperButton = 1;
constexpr uint32_t kLowerButton = 2;

// Button captions and messages shared by several callers.
inline constexpr char kOk[] = "OK";
inline constexpr char kOpenReadMe[] = "Open ReadMe";
inline constexpr char kAbortProcedure[] = "Abort procedure";

// Answers a notice: 1 for the upper button (or the timeout), 2 for the lower.
class NoticeAnswerer {
 public:
  virtual ~NoticeAnswerer() = default;
  virtual uint32_t answer(const NoticeParameters& notice) = 0;
};

// The answer a notice gets when nobody can give one: "Abort procedure" where
// it is offered, the upper button otherwise.
uint32_t safeAnswer(const NoticeParameters& notice);

// For tests: answers from a queue and records every notice it was shown. With
// the queue empty it gives the safe answer, so a test never hangs.
class ScriptedAnswerer : public NoticeAnswerer {
 public:
  ScriptedAnswerer() = default;
  explicit ScriptedAnswerer(std::vector<uint32_t> answers)
      : answers_(answers.begin(), answers.end()) {}

  uint32_t answer(const NoticeParameters& notice) override {
    std::lock_guard<std::mutex> lock(mutex_);
    shown_.push_back(notice);
    if (answers_.empty()) return safeAnswer(notice);
    uint32_t a = answers_.front();
    answers_.pop_front();
    return a;
  }

  void push(uint32_t answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_.push_back(answer);
  }
  std::vector<NoticeParameters> shown() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return shown_;
  }
  std::vector<std::string> messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> m;
    for (const auto& n : shown_) m.push_back(n.message);
    return m;
  }

 private:
  mutable std::mutex mutex_;
  std::deque<uint32_t> answers_;
  std::vector<NoticeParameters> shown_;
};

}  // namespace trep

#endif  // TREP_PLATFORM_NOTICE_H_
