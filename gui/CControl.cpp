#include "CControl.h"

#include <algorithm>
#include <cstring>

#include "CFrame.h"
#include "platform/Platform.h"

namespace VSTGUI {

namespace {
std::int32_t platformDoubleClickTime() { return std::max<std::int32_t>(platform::doubleClickTime(), 250); }
}  // namespace

CControl::CControl(const CRect& size_, CControlListener* listener_, std::int32_t tag_,
                   CBitmap* background_)
    : CView(size_), listener(listener_), tag(tag_), doubleClickTime(platformDoubleClickTime()) {
  setMouseEnabled(true);
  setTransparent(false);
  setBackground(background_);
  // Leaves lastValue apart from value, so every new control is drawn at the
  // first opportunity.
  setDirty(true);
}

CControl::CControl(const CControl& other)
    : CView(other),
      listener(other.listener),
      tag(other.tag),
      lastValue(other.lastValue),
      defaultValue(other.defaultValue),
      value(other.value),
      vmin(other.vmin),
      vmax(other.vmax),
      wheelStep(other.wheelStep),
      spareStamp(other.spareStamp),
      doubleClickTime(platformDoubleClickTime()) {}

CControl::~CControl() = default;

bool CControl::isDirty() const {
  // Written as a negated equality so that a not-a-number counts as changed.
  return !(value == lastValue) || CView::isDirty();
}

void CControl::setDirty(bool state) {
  CView::setDirty(state);
  if (state)
    lastValue = value == -1.0f ? 0.0f : -1.0f;
  else
    lastValue = value;
}

bool CControl::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CControl") == 0 || CView::isKindOf(className));
}

void CControl::runIdleProcessing() {
  if (parentFrame) parentFrame->editorIdle();
}

void CControl::setValue(float v) { value = v; }
float CControl::getValue() const { return value; }
void CControl::setMin(float v) { vmin = v; }
float CControl::getMin() const { return vmin; }
void CControl::setMax(float v) { vmax = v; }
float CControl::getMax() const { return vmax; }
void CControl::setLastValue(float v) { lastValue = v; }
float CControl::getLastValue() const { return lastValue; }
void CControl::setDefaultValue(float v) { defaultValue = v; }
float CControl::getDefaultValue() const { return defaultValue; }

void CControl::clampValue() {
  if (value > vmax)
    value = vmax;
  else if (value < vmin)
    value = vmin;
}

bool CControl::resetOnModifierClick(std::int32_t buttons) {
  if (buttons != (kLButton | kControl)) return false;
  beginEdit();
  value = getDefaultValue();
  if (isDirty() && listener) listener->valueChanged(this);
  endEdit();
  return true;
}

void CControl::setTag(std::int32_t v) { tag = v; }
std::int32_t CControl::getTag() const { return tag; }

// The listener hears of the begin before the host and of the end after it.
void CControl::beginEdit() {
  if (listener) listener->editBegan(this);
  if (parentFrame) {
    parentFrame->setFocusView(this);
    parentFrame->beginEdit(tag);
  }
}

void CControl::endEdit() {
  if (parentFrame) parentFrame->endEdit(tag);
  if (listener) listener->editEnded(this);
}

CControlListener* CControl::getListener() const { return listener; }
void CControl::setListener(CControlListener* l) { listener = l; }
void CControl::setBackgroundOffset(const CPoint& offset) { backgroundOffset = offset; }
void CControl::alignBackgroundOffset() { backgroundOffset = size.topLeft(); }
void CControl::setWheelStep(float step) { wheelStep = step; }
float CControl::getWheelStep() const { return wheelStep; }

}  // namespace VSTGUI
