#pragma once
// A two-state switch drawn from an image with both states stacked: "off" in
// the upper half, "on" in the lower. Each left press flips it and reports the
// new state as a complete edit before the button is released.

#include <cstdint>

#include "gui/CControl.h"

namespace VSTGUI {

enum COnOffButtonStyle : std::int32_t {
  kPreListenerUpdate = 0,   // redraw (through idle processing) first, then notify
  kPostListenerUpdate = 1,  // notify first, then redraw
};

class COnOffButton : public CControl {
 public:
  COnOffButton(const CRect& size, CControlListener* listener, std::int32_t tag, CBitmap* image,
               std::int32_t updateStyle = kPreListenerUpdate);

  void draw(CDrawContext* context) override;
  CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons) override;
  bool isKindOf(const char* className) const override;
  CView* clone() const override { return new COnOffButton(*this); }

  virtual std::int32_t getStyle() const { return updateStyle; }
  virtual void setStyle(std::int32_t style) { updateStyle = style; }

 protected:
  COnOffButton(const COnOffButton& other) = default;

  std::int32_t updateStyle;
};

}  // namespace VSTGUI
