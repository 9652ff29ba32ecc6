#pragma once
// A fader: a handle image moving along a straight track inside the control's
// rectangle. It jumps to a click, follows the mouse (ten times finer while
// Shift is held), restores its default on Control+click, and takes the wheel
// and the arrow keys. Every user change is bracketed by begin and end edit,
// so the host records one automation gesture per drag.

#include <cstdint>

#include "gui/CControl.h"

namespace VSTGUI {

enum CSliderStyle : std::int32_t {
  kHorizontal = 1 << 0,
  kVertical = 0,
  kLeft = 1 << 3,    // minimum at the left
  kRight = 1 << 4,   // minimum at the right
  kTop = 1 << 5,     // minimum at the top
  kBottom = 1 << 6,  // minimum at the bottom
};

class CSlider : public CControl {
 public:
  // minPos and maxPos are the frame coordinates the handle's leading edge
  // travels between.
  CSlider(const CRect& size, CControlListener* listener, std::int32_t tag, std::int32_t minPos,
          std::int32_t maxPos, CBitmap* handle, CBitmap* background, const CPoint& trackOffset = CPoint(0, 0),
          std::int32_t style = kLeft | kHorizontal);
  ~CSlider() override;

  void draw(CDrawContext* context) override;
  CMouseEventResult mouseDown(CPoint& where, std::int32_t buttons) override;
  CMouseEventResult mouseUp(CPoint& where, std::int32_t buttons) override;
  CMouseEventResult mouseMoved(CPoint& where, std::int32_t buttons) override;
  bool mouseWheel(const CPoint& where, float distance, std::int32_t buttons) override;
  std::int32_t keyDown(const CKeyCode& key) override;
  void setBounds(const CRect& rect, bool invalidate = true) override;
  bool isKindOf(const char* className) const override;
  CView* clone() const override;

  virtual void setTransparentHandle(bool state) { transparentHandle = state; }
  virtual void setClickAnywhere(bool state) { clickAnywhere = state; }
  virtual bool getClickAnywhere() const { return clickAnywhere; }
  virtual void setHandleOffset(const CPoint& offset);
  virtual const CPoint& getHandleOffset() const { return handleOffset; }
  virtual void setTrackOffset(const CPoint& offset) { trackOffset = offset; }
  virtual const CPoint& getTrackOffset() const { return trackOffset; }
  virtual std::int32_t getStyle() const { return style; }
  virtual void setHandle(CBitmap* bitmap);
  virtual CBitmap* getHandle() const { return handle; }
  virtual void setFineDivisor(float divisor) { fineDivisor = divisor; }
  virtual float getFineDivisor() const { return fineDivisor; }

 protected:
  CSlider(const CSlider& other);

  bool isHorizontal() const { return (style & kHorizontal) != 0; }
  // The value as a position from the track's start, 0 .. 1.
  float normalisedPosition() const;
  // The fine mode's "not measured yet" marker.
  float fineBaseUnset() const { return vmin - 1.0f; }
  float relativeValue() const { return (value - vmin) / (vmax - vmin); }
  void reportAsEdit();

  CPoint trackOffset;
  CPoint handleOffset;
  CBitmap* handle = nullptr;
  std::int32_t style;
  std::int32_t handleWidth = 1;
  std::int32_t handleHeight = 1;
  std::int32_t handleRange = 0;
  std::int32_t handleMinPos = 0;
  std::int32_t handleMaxPos = 0;
  std::int32_t travelStart = 0;
  std::int32_t controlWidth = 0;
  std::int32_t controlHeight = 0;
  float fineDivisor = 10.0f;
  bool transparentHandle = true;
  bool clickAnywhere = true;

  // Bookkeeping of the press under way; not copied.
  std::int32_t grabOffset = 0;  // pointer coordinate minus this is the handle's travel
  float fineBase = 0.0f;        // value the fine mode measures from
  std::int32_t lastButtons = 0;
};

class CHorizontalSlider : public CSlider {
 public:
  CHorizontalSlider(const CRect& size, CControlListener* listener, std::int32_t tag, std::int32_t minPos,
                    std::int32_t maxPos, CBitmap* handle, CBitmap* background,
                    const CPoint& trackOffset = CPoint(0, 0), std::int32_t style = kLeft)
      : CSlider(size, listener, tag, minPos, maxPos, handle, background, trackOffset, style | kHorizontal) {}

  bool isKindOf(const char* className) const override;
  CView* clone() const override { return new CHorizontalSlider(*this); }

 protected:
  CHorizontalSlider(const CHorizontalSlider& other) = default;
};

}  // namespace VSTGUI
