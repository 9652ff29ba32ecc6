#include "editor/CParamDisplay.h"

#include <cstdio>
#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFontDesc.h"

namespace VSTGUI {

CParamDisplay::CParamDisplay(const CRect& size_) : CControl(size_, nullptr, 0, nullptr), font(kSystemFont) {
  font->retain();
}

CParamDisplay::CParamDisplay(const CParamDisplay& other)
    : CControl(other),
      textConverter(other.textConverter),
      textConverterWithData(other.textConverterWithData),
      spareCallback(other.spareCallback),
      converterData(other.converterData),
      alignment(other.alignment),
      style(other.style),
      font(other.font),
      fontColor(other.fontColor),
      backgroundColor(other.backgroundColor),
      frameColor(other.frameColor),
      shadowColor(other.shadowColor),
      spareFlag(other.spareFlag),
      antialias(other.antialias) {
  if (font) font->retain();
}

CParamDisplay::~CParamDisplay() {
  if (font) font->release();
}

CView* CParamDisplay::clone() const { return new CParamDisplay(*this); }

bool CParamDisplay::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CParamDisplay") == 0 || CControl::isKindOf(className));
}

void CParamDisplay::setFont(CFontDesc* newFont) {
  setDirty(true);
  if (newFont) newFont->retain();
  if (font) font->release();
  font = newFont;
}

void CParamDisplay::changeColor(CColor& stored, const CColor& color) {
  if (!(stored == color)) setDirty(true);
  stored = color;
}

void CParamDisplay::setFontColor(const CColor& color) { changeColor(fontColor, color); }
void CParamDisplay::setBackgroundColor(const CColor& color) { changeColor(backgroundColor, color); }
void CParamDisplay::setFrameColor(const CColor& color) { changeColor(frameColor, color); }
void CParamDisplay::setShadowColor(const CColor& color) { changeColor(shadowColor, color); }

void CParamDisplay::setAlignment(std::int32_t newAlignment) {
  if (alignment != newAlignment) setDirty(true);
  alignment = newAlignment;
}

void CParamDisplay::setTextConverterWithData(CParamDisplayConverterWithData converter, void* data) {
  textConverterWithData = converter;
  converterData = data;
}

void CParamDisplay::setStyle(std::int32_t newStyle) {
  if (style == newStyle) return;
  style = newStyle;
  setDirty(true);
}

void CParamDisplay::draw(CDrawContext* context) {
  char text[kTextBufferSize] = {};
  if (textConverterWithData)
    textConverterWithData(value, text, converterData);
  else if (textConverter)
    textConverter(value, text);
  else
    std::snprintf(text, sizeof text, "%2.2f", static_cast<double>(value));
  // A converter that forgot its terminator must not run the drawing off the
  // buffer.
  text[kTextBufferSize - 1] = 0;
  drawText(context, text, nullptr);
}

void CParamDisplay::drawText(CDrawContext* context, const char* text, CBitmap* backgroundImage) {
  setDirty(false);
  if (style & kNoDrawStyle) return;

  CBitmap* image = backgroundImage ? backgroundImage : background;
  if (image) {
    if (transparent)
      image->drawTransparent(context, size, backgroundOffset);
    else
      image->draw(context, size, backgroundOffset);
  } else if (!transparent) {
    context->setFillColor(backgroundColor);
    context->drawRectangle(size, kDrawFilled);
    if (!(style & (k3DIn | k3DOut | kNoFrame))) {
      context->setLineWidth(1);
      context->setFrameColor(frameColor);
      context->drawRectangle(size, kDrawStroked);
    }
  }

  if (style & (k3DIn | k3DOut)) {
    // Sunken: dark upper-left edges; raised: the other way round.
    const bool sunken = (style & k3DIn) != 0;
    context->setLineWidth(1);
    context->setFrameColor(sunken ? backgroundColor : frameColor);
    context->moveTo(CPoint(size.left, size.bottom));
    context->lineTo(CPoint(size.left, size.top + 1));
    context->lineTo(CPoint(size.right - 1, size.top + 1));
    context->setFrameColor(sunken ? frameColor : backgroundColor);
    context->moveTo(CPoint(size.right - 1, size.top + 1));
    context->lineTo(CPoint(size.right - 1, size.bottom));
    context->lineTo(CPoint(size.left, size.bottom));
  }

  if ((style & kNoTextStyle) || !text || !*text) return;

  CRect saved;
  context->getClipRect(saved);
  CRect clip = size;
  clip.bound(saved);
  context->setClipRect(clip);
  context->setFont(font, 0, -1);
  if (style & kShadowText) {
    CRect shadow = size;
    shadow.offset(1, 1);
    context->setFontColor(shadowColor);
    context->drawString(text, shadow, alignment, antialias);
  }
  context->setFontColor(fontColor);
  context->drawString(text, size, alignment, antialias);
  context->setClipRect(saved);
}

}  // namespace VSTGUI
