#include "editor/CSplashScreen.h"

#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CFrame.h"

namespace VSTGUI {

CSplashScreen::CSplashScreen(const CRect& size_, CControlListener* listener_, std::int32_t tag_, CBitmap* image,
                             const CRect& displayArea_, const CPoint& displayOffset_)
    : CControl(size_, listener_, tag_, image),
      displayArea(displayArea_),
      displayOffset(displayOffset_),
      panelView(new CDefaultSplashScreenView(displayArea_, this, image, displayOffset_)) {}

CSplashScreen::CSplashScreen(const CSplashScreen& other)
    : CControl(other),
      CControlListener(other),
      displayArea(other.displayArea),
      reservedArea(other.reservedArea),
      displayOffset(other.displayOffset),
      panelView(static_cast<CDefaultSplashScreenView*>(other.panelView->clone())) {
  // The copy's panel reports to the copy.
  panelView->setListener(this);
}

CSplashScreen::~CSplashScreen() { panelView->release(); }

CView* CSplashScreen::clone() const { return new CSplashScreen(*this); }

bool CSplashScreen::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CSplashScreen") == 0 || CControl::isKindOf(className));
}

bool CSplashScreen::hitTest(const CPoint& where, std::int32_t buttons) {
  return mouseableArea.pointInside(where) && (buttons & kLButton);
}

// What the user sees at the hot spot is the panel image's own artwork.
void CSplashScreen::draw(CDrawContext*) { setDirty(false); }

CMouseEventResult CSplashScreen::mouseDown(CPoint&, std::int32_t buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  value = value == 0.0f ? 1.0f : 0.0f;
  if (value == 0.0f) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  if (panelView && parentFrame && parentFrame->setModalView(panelView) && listener) listener->valueChanged(this);
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CSplashScreen::hideSplash() {
  value = 0.0f;
  if (parentFrame && parentFrame->getModalView() == panelView) {
    if (panelView) panelView->invalid();
    parentFrame->setModalView(nullptr);
  }
}

void CSplashScreen::valueChanged(CControl* control) {
  if (control != panelView) return;
  hideSplash();
  if (listener) listener->valueChanged(this);
}

CDefaultSplashScreenView::CDefaultSplashScreenView(const CRect& size_, CControlListener* listener_, CBitmap* image,
                                                   const CPoint& offset)
    : CControl(size_, listener_, 0, nullptr), imageOffset(offset) {
  setBackground(image);
  setDirty(true);
}

bool CDefaultSplashScreenView::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CDefaultSplashScreenView") == 0 || CControl::isKindOf(className));
}

void CDefaultSplashScreenView::draw(CDrawContext* context) {
  if (background) {
    if (transparent)
      background->drawTransparent(context, size, imageOffset);
    else
      background->draw(context, size, imageOffset);
  }
  setDirty(false);
}

CMouseEventResult CDefaultSplashScreenView::mouseDown(CPoint&, std::int32_t buttons) {
  if (!(buttons & kLButton)) return kMouseEventNotHandled;
  if (listener) listener->valueChanged(this);
  return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

}  // namespace VSTGUI
