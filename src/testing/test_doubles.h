// Test doubles of the product's seams: a notice answerer that answers from
// a script, and a window kept in memory.
#ifndef TREP_TESTING_TEST_DOUBLES_H_
#define TREP_TESTING_TEST_DOUBLES_H_

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "planning/controls.h"
#include "platform/notice.h"

namespace trep {

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

// A window kept in memory, for tests: records every state by id.
class MemoryControls : public Controls {
 public:
  bool isWindow() const override { return true; }
  void setText(int id, std::string_view t) override { texts[id] = std::string(t); }
  std::string text(int id) override { return texts.count(id) ? texts[id] : ""; }
  void setNumber(int id, uint32_t n) override { texts[id] = std::to_string(n); }
  uint32_t number(int id) override { return fieldNumber(text(id)); }
  void select(int id, int index) override { selections[id] = index; }
  int selection(int id) override { return selections.count(id) ? selections[id] : 0; }
  void setCheck(int id, bool on) override { checks[id] = on; }
  bool checked(int id) override { return checks.count(id) && checks[id]; }
  void enable(int id, bool on) override { enabled[id] = on; }
  void show(int id, bool on) override { shown[id] = on; }
  void setSliderMin(int id, uint32_t min) override { sliderMins[id] = min; }
  void setSliderMax(int id, uint32_t max) override { sliderMaxes[id] = max; }
  void setSliderPosition(int id, uint32_t p) override { sliderPositions[id] = p; }
  uint32_t sliderPosition(int id) override {
    return sliderPositions.count(id) ? sliderPositions[id] : 0;
  }
  void setTooltip(int id, std::string_view t) override { tooltips[id] = std::string(t); }

  // Whether a control was enabled; ids never touched count as enabled.
  bool isEnabled(int id) const {
    auto it = enabled.find(id);
    return it == enabled.end() || it->second;
  }

  std::map<int, std::string> texts;
  std::map<int, int> selections;
  std::map<int, bool> checks;
  std::map<int, bool> enabled;
  std::map<int, bool> shown;
  std::map<int, uint32_t> sliderMins;
  std::map<int, uint32_t> sliderMaxes;
  std::map<int, uint32_t> sliderPositions;
  std::map<int, std::string> tooltips;
};

}  // namespace trep

#endif  // TREP_TESTING_TEST_DOUBLES_H_
