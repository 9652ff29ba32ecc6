#pragma once

#include <cstdint>

namespace VSTGUI {

class CControl;

// How a control reports the user's changes to its owner.
class CControlListener {
 public:
  virtual ~CControlListener() = default;
  virtual void valueChanged(CControl* control) = 0;
  // A non-zero answer takes a press with modifiers away from the control.
  virtual std::int32_t modifierClicked(CControl*, std::int32_t) { return 0; }
  virtual void editBegan(CControl*) {}
  virtual void editEnded(CControl*) {}
};

}  // namespace VSTGUI
