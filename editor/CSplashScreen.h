#pragma once
// An invisible hot spot that shows a panel (the about panel) above the whole
// editor as the frame's modal view; a left press anywhere on the panel closes
// it again. Neither opening nor closing is a parameter change.

#include "gui/CControl.h"

namespace VSTGUI {

class CDefaultSplashScreenView;

class CSplashScreen : public CControl, public CControlListener {
 public:
  // The panel shows `image` in displayArea (frame coordinates) from
  // displayOffset inside the image.
  CSplashScreen(const CRect& size, CControlListener* listener, std::int32_t tag, CBitmap* image,
                const CRect& displayArea, const CPoint& displayOffset);
  ~CSplashScreen() override;

  void draw(CDrawContext* context) override;
  CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons) override;
  bool hitTest(const CPoint& where, std::int32_t buttons) override;
  bool isKindOf(const char* className) const override;
  CView* clone() const override;

  virtual void hideSplash();
  virtual void setDisplayArea(const CRect& rect) { displayArea = rect; }
  virtual const CRect& getDisplayArea() const { return displayArea; }

  // The panel reports its press here.
  void valueChanged(CControl* control) override;

  CDefaultSplashScreenView* getPanelView() const { return panelView; }

 protected:
  CSplashScreen(const CSplashScreen& other);

  CRect displayArea;
  CRect reservedArea;
  CPoint displayOffset;
  CDefaultSplashScreenView* panelView;  // owned
};

// The panel itself: the image over its bounds; a left press reports to the
// splash screen, which closes it.
class CDefaultSplashScreenView : public CControl {
 public:
  CDefaultSplashScreenView(const CRect& size, CControlListener* listener, CBitmap* image, const CPoint& offset);

  void draw(CDrawContext* context) override;
  CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons) override;
  bool isKindOf(const char* className) const override;
  CView* clone() const override { return new CDefaultSplashScreenView(*this); }

 protected:
  CDefaultSplashScreenView(const CDefaultSplashScreenView& other) = default;

  CPoint imageOffset;
};

}  // namespace VSTGUI
