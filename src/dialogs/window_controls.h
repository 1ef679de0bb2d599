// Controls over a real window: the main window or a wizard page, addressed
// by the ids of its template. Usable from the worker thread too: every call
// is a window message, which the window's own thread serves.
#ifndef TREP_DIALOGS_WINDOW_CONTROLS_H_
#define TREP_DIALOGS_WINDOW_CONTROLS_H_

#include <windows.h>
#include <shellapi.h>

#include <map>
#include <mutex>
#include <string>

#include "engine/engine.h"
#include "planning/controls.h"

namespace trep {

class WindowControls : public Controls {
 public:
  // `tooltips`: the tooltip window every control of the program registers with.
  WindowControls(HWND window, HWND tooltips) : window_(window), tooltips_(tooltips) {}

  HWND window() const { return window_; }

  bool isWindow() const override { return window_ != nullptr; }
  void setText(int id, std::string_view text) override;
  std::string text(int id) override;
  void setNumber(int id, uint32_t n) override;
  uint32_t number(int id) override;
  void select(int id, int index) override;
  int selection(int id) override;
  void setCheck(int id, bool on) override;
  bool checked(int id) override;
  void enable(int id, bool on) override;
  void show(int id, bool on) override;
  void setSliderMin(int id, uint32_t min) override;
  void setSliderMax(int id, uint32_t max) override;
  void setSliderPosition(int id, uint32_t position) override;
  uint32_t sliderPosition(int id) override;
  void setTooltip(int id, std::string_view text) override;

  // Fills a drop-down list with `count` entries, in this order.
  void fillList(int id, const char* const* entries, int count);

 private:
  HWND item(int id) const { return window_ ? GetDlgItem(window_, id) : nullptr; }

  HWND window_;
  HWND tooltips_;
  // The tooltip window keeps a pointer-free copy, but the texts are kept
  // here as well for the life of the window, one per control.
  std::mutex tooltipMutex_;
  std::map<int, std::string> tooltipTexts_;
};

// The first path of a drop, and the drop released; empty when it is longer
// than a path may be here (it is never cut to another path).
std::string firstDroppedPath(HDROP drop);

// The main window's fields that a running job writes (title, count, CRC).
class WindowJobFields : public JobWindow {
 public:
  explicit WindowJobFields(HWND window) : window_(window) {}
  void setTitle(std::string_view title) override;
  void showSegmentCount(uint32_t count) override;
  void showCrc(uint32_t crc) override;

 private:
  HWND window_;
};

}  // namespace trep

#endif  // TREP_DIALOGS_WINDOW_CONTROLS_H_
