#include "editor/COnOffButton.h"

#include <cmath>
#include <cstring>

#include "gui/CBitmap.h"

namespace VSTGUI {

COnOffButton::COnOffButton(const CRect& size_, CControlListener* listener_, std::int32_t tag_, CBitmap* image,
                           std::int32_t updateStyle_)
    : CControl(size_, listener_, tag_, image), updateStyle(updateStyle_) {}

bool COnOffButton::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "COnOffButton") == 0 || CControl::isKindOf(className));
}

void COnOffButton::draw(CDrawContext* context) {
  if (background) {
    // Anything but exactly off shows the "on" half.
    const CPoint source(0, value != 0.0f ? background->getHeight() / 2 : 0);
    if (transparent)
      background->drawTransparent(context, size, source);
    else
      background->draw(context, size, source);
  }
  setDirty(false);
}

CMouseEventResult COnOffButton::mouseDown(CPoint&, std::int32_t buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  // A value between 0 and 1 counts as off here although it draws as on.
  value = std::trunc(value) == 0.0f ? 1.0f : 0.0f;
  invalid();
  auto report = [this] {
    beginEdit();
    listener->valueChanged(this);
    endEdit();
  };
  if (listener && updateStyle == kPostListenerUpdate) report();
  runIdleProcessing();
  if (listener && updateStyle == kPreListenerUpdate) report();
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

}  // namespace VSTGUI
