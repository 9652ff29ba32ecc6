#include "editor/CSlider.h"

#include <algorithm>
#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"

namespace VSTGUI {

CSlider::CSlider(const CRect& size_, CControlListener* listener_, std::int32_t tag_, std::int32_t minPos,
                 std::int32_t maxPos, CBitmap* handle_, CBitmap* background_, const CPoint& trackOffset_,
                 std::int32_t style_)
    : CControl(size_, listener_, tag_, background_), trackOffset(trackOffset_), handle(handle_), style(style_) {
  if (handle) {
    handle->retain();
    handleWidth = handle->getWidth();
    handleHeight = handle->getHeight();
  }
  controlWidth = size.width();
  controlHeight = size.height();
  travelStart = minPos - (isHorizontal() ? size.left : size.top);
  handleRange = maxPos - minPos;
  setHandleOffset(CPoint(0, 0));
  setAcceptsFocus(true);
}

CSlider::CSlider(const CSlider& other)
    : CControl(other),
      trackOffset(other.trackOffset),
      handleOffset(other.handleOffset),
      handle(other.handle),
      style(other.style),
      handleWidth(other.handleWidth),
      handleHeight(other.handleHeight),
      handleRange(other.handleRange),
      handleMinPos(other.handleMinPos),
      handleMaxPos(other.handleMaxPos),
      travelStart(other.travelStart),
      controlWidth(other.controlWidth),
      controlHeight(other.controlHeight),
      fineDivisor(other.fineDivisor),
      transparentHandle(other.transparentHandle),
      clickAnywhere(other.clickAnywhere) {
  if (handle) handle->retain();
}

CSlider::~CSlider() {
  if (handle) handle->release();
}

CView* CSlider::clone() const { return new CSlider(*this); }

bool CSlider::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CSlider") == 0 || CControl::isKindOf(className));
}

bool CHorizontalSlider::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CHorizontalSlider") == 0 || CSlider::isKindOf(className));
}

void CSlider::setHandleOffset(const CPoint& offset) {
  handleOffset = offset;
  if (isHorizontal()) {
    handleMinPos = travelStart + offset.x;
    handleMaxPos = handleMinPos + handleRange + handleWidth;
  } else {
    handleMinPos = travelStart + offset.y;
    handleMaxPos = handleMinPos + handleRange + handleHeight;
  }
}

void CSlider::setHandle(CBitmap* bitmap) {
  if (handle) handle->release();
  handle = bitmap;
  if (handle) {
    handle->retain();
    handleWidth = handle->getWidth();
    handleHeight = handle->getHeight();
  }
}

float CSlider::normalisedPosition() const { return (style & (kLeft | kTop)) ? value : 1.0f - value; }

void CSlider::draw(CDrawContext* context) {
  if (background) {
    const CRect track(size.left, size.top, size.left + controlWidth, size.top + controlHeight);
    if (transparent)
      background->drawTransparent(context, track, trackOffset);
    else
      background->draw(context, track, trackOffset);
  }

  const auto travel = static_cast<std::int32_t>(static_cast<float>(handleRange) * normalisedPosition());
  CRect r;
  if (isHorizontal()) {
    r.left = std::max(travel + handleOffset.x, handleMinPos);
    r.right = std::min(r.left + handleWidth, handleMaxPos);
    r.top = handleOffset.y;
    r.bottom = r.top + handleHeight;
  } else {
    r.top = std::max(travel + handleOffset.y, handleMinPos);
    r.bottom = std::min(r.top + handleHeight, handleMaxPos);
    r.left = handleOffset.x;
    r.right = r.left + handleWidth;
  }
  r.offset(size.left, size.top);
  if (handle) {
    if (transparentHandle)
      handle->drawTransparent(context, r, CPoint(0, 0));
    else
      handle->draw(context, r, CPoint(0, 0));
  }
  setDirty(false);
}

CMouseEventResult CSlider::mouseDown(CPoint& where, std::int32_t buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;

  grabOffset = isHorizontal() ? handleOffset.x + size.left : handleOffset.y + size.top;
  if (clickAnywhere) {
    // The pointer takes the handle a little left of its middle.
    grabOffset += (isHorizontal() ? handleWidth : handleHeight) / 2 - 1;
  } else {
    const std::int32_t p =
        static_cast<std::int32_t>(static_cast<float>(handleRange) * normalisedPosition()) + grabOffset;
    if (isHorizontal()) {
      const std::int32_t top = handleOffset.y + size.top;
      if (where.x < p || where.x > p + handleWidth || where.y < top || where.y > top + handleHeight)
        return kMouseEventNotHandled;
      grabOffset += where.x - p;
    } else {
      const std::int32_t left = handleOffset.x + size.left;
      if (where.y < p || where.y > p + handleHeight || where.x < left || where.x > left + handleWidth)
        return kMouseEventNotHandled;
      grabOffset += where.y - p;
    }
  }

  fineBase = fineBaseUnset();
  lastButtons = buttons;
  beginEdit();
  if (resetOnModifierClick(buttons)) {
    endEdit();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  }
  // A fine-mode press leaves the handle where it is.
  if (buttons & kShift) return kMouseEventHandled;
  return mouseMoved(where, buttons);
}

CMouseEventResult CSlider::mouseMoved(CPoint& where, std::int32_t buttons) {
  if (!(buttons & kLButton)) return kMouseEventHandled;

  if (fineBase == fineBaseUnset()) fineBase = relativeValue();
  // The fine mode measures from where the value stood when Shift went down,
  // so it keeps its base only while the same buttons with Shift stay held.
  if (buttons != lastButtons) {
    fineBase = relativeValue();
    if (buttons & kShift) lastButtons = buttons;
  } else if (!(buttons & kShift)) {
    fineBase = relativeValue();
  }

  const std::int32_t coordinate = isHorizontal() ? where.x : where.y;
  value = static_cast<float>(coordinate - grabOffset) / static_cast<float>(handleRange);
  if (style & (kRight | kBottom)) value = 1.0f - value;
  if (buttons & kShift) value = fineBase + (value - fineBase) / fineDivisor;
  if (!(vmax == 1.0f && vmin == 1.0f)) value = (vmax - vmin) * value + vmin;
  clampValue();

  if (isDirty() && listener) listener->valueChanged(this);
  if (isDirty()) invalid();
  return kMouseEventHandled;
}

CMouseEventResult CSlider::mouseUp(CPoint&, std::int32_t) {
  endEdit();
  return kMouseEventHandled;
}

void CSlider::reportAsEdit() {
  clampValue();
  if (isDirty() && listener) {
    beginEdit();
    listener->valueChanged(this);
    endEdit();
  }
}

bool CSlider::mouseWheel(const CPoint&, float distance, std::int32_t buttons) {
  if (!mouseEnabled) return false;
  if (buttons & kShift)
    value += distance * 0.1f * wheelStep;
  else
    value += wheelStep * distance;
  reportAsEdit();
  return true;
}

std::int32_t CSlider::keyDown(const CKeyCode& key) {
  float step;
  switch (key.virt) {
    case kVirtualKeyLeft:
    case kVirtualKeyDown: step = -1.0f; break;
    case kVirtualKeyUp:
    case kVirtualKeyRight: step = 1.0f; break;
    default: return kKeyNotHandled;
  }
  if (key.modifier & kModifierShift)
    value += step * 0.1f * wheelStep;
  else
    value += wheelStep * step;
  reportAsEdit();
  return 1;
}

void CSlider::setBounds(const CRect& rect, bool invalidate) {
  if (isHorizontal()) {
    travelStart += rect.left - size.left;
    handleRange += rect.width() - size.width();
  } else {
    travelStart += rect.top - size.top;
    handleRange += rect.height() - size.height();
  }
  controlWidth = rect.width();
  controlHeight = rect.height();
  size = rect;
  if (invalidate) setDirty(true);
}

}  // namespace VSTGUI
