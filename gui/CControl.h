#pragma once

#include <cstdint>

#include "CControlListener.h"
#include "CView.h"

namespace VSTGUI {

// A view that carries a value in a range, reports the user's changes to a
// listener and brackets them with begin and end edit, which reach the host
// through the frame. Concrete controls provide draw and clone.
class CControl : public CView {
 public:
  CControl(const CRect& size, CControlListener* listener = nullptr, std::int32_t tag = 0,
           CBitmap* background = nullptr);
  ~CControl() override;

  void draw(CDrawContext* context) override = 0;
  CView* clone() const override = 0;
  // Dirty while the value differs from the value last drawn; a not-a-number
  // on either side counts as a difference.
  bool isDirty() const override;
  void setDirty(bool state = true) override;
  bool isKindOf(const char* className) const override;

  virtual void runIdleProcessing();
  virtual void setValue(float v);
  virtual float getValue() const;
  virtual void setMin(float v);
  virtual float getMin() const;
  virtual void setMax(float v);
  virtual float getMax() const;
  virtual void setLastValue(float v);
  virtual float getLastValue() const;
  virtual void setDefaultValue(float v);
  virtual float getDefaultValue() const;
  virtual void clampValue();
  // Control+left click restores the default value as a complete edit.
  virtual bool resetOnModifierClick(std::int32_t buttons);
  virtual void setTag(std::int32_t v);
  virtual std::int32_t getTag() const;
  virtual void beginEdit();
  virtual void endEdit();
  virtual CControlListener* getListener() const;
  virtual void setListener(CControlListener* l);
  virtual void setBackgroundOffset(const CPoint& offset);
  virtual void alignBackgroundOffset();
  virtual void setWheelStep(float step);
  virtual float getWheelStep() const;

  const CPoint& getBackgroundOffset() const { return backgroundOffset; }
  std::int32_t getDoubleClickTime() const { return doubleClickTime; }

 protected:
  CControl(const CControl& other);

  CControlListener* listener;
  std::int32_t tag;
  float lastValue = 1.0f;
  float defaultValue = 0.5f;
  float value = 0.0f;
  float vmin = 0.0f;
  float vmax = 1.0f;
  float wheelStep = 0.1f;
  std::uint32_t spareStamp = 0xFFFFFFFFu;
  std::int32_t doubleClickTime;
  CPoint backgroundOffset;
};

}  // namespace VSTGUI
