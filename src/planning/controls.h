// The surface a planning routine writes to: the main window, a wizard page,
// or none (batch mode), addressed by control id. A surface that lacks an id
// ignores writes to it and reads it as empty, index 0 and number 0.
#ifndef TREP_PLANNING_CONTROLS_H_
#define TREP_PLANNING_CONTROLS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "planning/control_ids.h"

namespace trep {

// The number an edit field's text reads as: digits only and fitting 32 bits,
// else 0 (as the number fields, which take digits only, are read).
uint32_t fieldNumber(std::string_view text);

// Where a caret at `position` in a field's text `before` belongs once the
// program has rewritten the text to `after` while the user types: text
// before it that stayed the same keeps it where it is (a folder added after
// the caret), text changed only before it moves it by the change in length,
// and a caret inside the changed part goes to that part's end. Positions
// count the text's characters, as the field does; the result is never
// beyond `after`.
std::size_t caretAfterRewrite(std::string_view before, std::string_view after,
                              std::size_t position);

class Controls {
 public:
  virtual ~Controls() = default;
  // False for the surface of batch mode, which has no controls at all.
  virtual bool isWindow() const = 0;

  virtual void setText(int id, std::string_view text) = 0;
  virtual std::string text(int id) = 0;
  // An unsigned number in an edit field; reading gives 0 for no number.
  virtual void setNumber(int id, uint32_t n) = 0;
  virtual uint32_t number(int id) = 0;
  // The selected entry of a list.
  virtual void select(int id, int index) = 0;
  virtual int selection(int id) = 0;
  virtual void setCheck(int id, bool on) = 0;
  virtual bool checked(int id) = 0;
  virtual void enable(int id, bool on) = 0;
  virtual void show(int id, bool on) = 0;
  virtual void setSliderMin(int id, uint32_t min) = 0;
  virtual void setSliderMax(int id, uint32_t max) = 0;
  virtual void setSliderPosition(int id, uint32_t position) = 0;
  virtual uint32_t sliderPosition(int id) = 0;
  // The tooltip of a control; a later text replaces the earlier one.
  virtual void setTooltip(int id, std::string_view text) = 0;
};

// Batch mode: no window.
class NoControls : public Controls {
 public:
  bool isWindow() const override { return false; }
  void setText(int, std::string_view) override {}
  std::string text(int) override { return ""; }
  void setNumber(int, uint32_t) override {}
  uint32_t number(int) override { return 0; }
  void select(int, int) override {}
  int selection(int) override { return 0; }
  void setCheck(int, bool) override {}
  bool checked(int) override { return false; }
  void enable(int, bool) override {}
  void show(int, bool) override {}
  void setSliderMin(int, uint32_t) override {}
  void setSliderMax(int, uint32_t) override {}
  void setSliderPosition(int, uint32_t) override {}
  uint32_t sliderPosition(int) override { return 0; }
  void setTooltip(int, std::string_view) override {}
};

// Forwards every call to another surface: a surface that differs in a few
// controls derives from it and overrides only those.
class ControlsWrapper : public Controls {
 public:
  explicit ControlsWrapper(Controls& target) : target_(target) {}

  bool isWindow() const override { return target_.isWindow(); }
  void setText(int id, std::string_view text) override { target_.setText(id, text); }
  std::string text(int id) override { return target_.text(id); }
  void setNumber(int id, uint32_t n) override { target_.setNumber(id, n); }
  uint32_t number(int id) override { return target_.number(id); }
  void select(int id, int index) override { target_.select(id, index); }
  int selection(int id) override { return target_.selection(id); }
  void setCheck(int id, bool on) override { target_.setCheck(id, on); }
  bool checked(int id) override { return target_.checked(id); }
  void enable(int id, bool on) override { target_.enable(id, on); }
  void show(int id, bool on) override { target_.show(id, on); }
  void setSliderMin(int id, uint32_t min) override { target_.setSliderMin(id, min); }
  void setSliderMax(int id, uint32_t max) override { target_.setSliderMax(id, max); }
  void setSliderPosition(int id, uint32_t position) override {
    target_.setSliderPosition(id, position);
  }
  uint32_t sliderPosition(int id) override { return target_.sliderPosition(id); }
  void setTooltip(int id, std::string_view text) override { target_.setTooltip(id, text); }

 protected:
  Controls& target() { return target_; }

 private:
  Controls& target_;
};

}  // namespace trep

#endif  // TREP_PLANNING_CONTROLS_H_
