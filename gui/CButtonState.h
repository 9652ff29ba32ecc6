#pragma once

#include <cstdint>

namespace VSTGUI {

// Buttons and modifiers of a mouse event, or-ed into one signed 32-bit value.
enum CButton : std::int32_t {
  kLButton = 1 << 1,
  kMButton = 1 << 2,
  kRButton = 1 << 3,
  kShift = 1 << 4,
  kControl = 1 << 5,
  kAlt = 1 << 6,
  // A further modifier bit that no platform of ours sets; the container still
  // treats it as a modifier when it offers a press to a control's listener.
  kExtraModifier = 1 << 7,
  kButton4 = 1 << 8,
  kButton5 = 1 << 9,
  kDoubleClick = 1 << 10,
};

enum CMouseEventResult : std::int32_t {
  kMouseEventNotImplemented = 0,
  kMouseEventHandled = 1,
  kMouseEventNotHandled = 2,
  // Handled, but the view wants no moved or up events for this press: it does
  // not become the mouse-down view and the frame does not capture the mouse.
  kMouseDownEventHandledButDontNeedMovedOrUpEvents = 3,
};

// Result of a key operation that did not use the key.
inline constexpr std::int32_t kKeyNotHandled = -1;

}  // namespace VSTGUI
