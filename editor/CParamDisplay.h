#pragma once
// A read-out: the control's value as text, through a converter when one is
// set, over a plain or image background.

#include <cstdint>

#include "gui/CColor.h"
#include "gui/CControl.h"

namespace VSTGUI {

class CFontDesc;

// Style bits of a read-out's drawing.
enum CParamDisplayStyle : std::int32_t {
  kShadowText = 0x0004,
  k3DIn = 0x0080,
  k3DOut = 0x0100,
  kNoTextStyle = 0x0800,
  kNoDrawStyle = 0x1000,
  kNoFrame = 0x4000,
};

// A converter writes at most 255 characters and the terminator.
using CParamDisplayConverter = void (*)(float value, char* text);
using CParamDisplayConverterWithData = void (*)(float value, char* text, void* data);

class CParamDisplay : public CControl {
 public:
  static constexpr std::size_t kTextBufferSize = 256;

  explicit CParamDisplay(const CRect& size);
  ~CParamDisplay() override;

  void draw(CDrawContext* context) override;
  bool isKindOf(const char* className) const override;
  CView* clone() const override;

  virtual void setFont(CFontDesc* newFont);
  virtual void setFontColor(const CColor& color);
  virtual void setBackgroundColor(const CColor& color);
  virtual void setFrameColor(const CColor& color);
  virtual void setShadowColor(const CColor& color);
  virtual void setAntialias(bool state) { antialias = state; }
  virtual void setAlignment(std::int32_t newAlignment);
  virtual void setTextConverterWithData(CParamDisplayConverterWithData converter, void* data);
  virtual void setTextConverter(CParamDisplayConverter converter) { textConverter = converter; }
  virtual void setSpareCallback(void (*callback)()) { spareCallback = callback; }
  virtual void setStyle(std::int32_t newStyle);
  virtual void setSpareFlag(bool state) { spareFlag = state; }
  virtual void drawText(CDrawContext* context, const char* text, CBitmap* backgroundImage = nullptr);

  CFontDesc* getFont() const { return font; }
  const CColor& getFontColor() const { return fontColor; }
  const CColor& getBackgroundColor() const { return backgroundColor; }
  const CColor& getFrameColor() const { return frameColor; }
  const CColor& getShadowColor() const { return shadowColor; }
  std::int32_t getAlignment() const { return alignment; }
  std::int32_t getStyle() const { return style; }
  bool getAntialias() const { return antialias; }

 protected:
  CParamDisplay(const CParamDisplay& other);

  // Marks the read-out for redrawing when the colour changes, then stores it.
  void changeColor(CColor& stored, const CColor& color);

  CParamDisplayConverter textConverter = nullptr;
  CParamDisplayConverterWithData textConverterWithData = nullptr;
  void (*spareCallback)() = nullptr;
  void* converterData = nullptr;
  std::int32_t alignment = 1;
  std::int32_t style = 1;
  CFontDesc* font;
  CColor fontColor = kWhiteCColor;
  CColor backgroundColor = kBlackCColor;
  CColor frameColor = kBlackCColor;
  CColor shadowColor{255, 0, 0, 255};
  bool spareFlag = true;
  bool antialias = true;
};

}  // namespace VSTGUI
