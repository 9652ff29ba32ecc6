#include "CDrawContext.h"

#include "CFontDesc.h"
#include "CFrame.h"
#include "platform/PlatformWindow.h"

namespace VSTGUI {

CDrawContext::CDrawContext(CFrame* frame_, platform::DeviceHandle device_,
                           platform::WindowHandle window_)
    : device(device_), window(window_), frame(frame_) {
  clipRect = frame ? frame->getBounds() : CRect(0, 0, 1000, 1000);
  if (!device && window) {
    device = platform::acquireWindowDevice(window);
    ownsDevice = device != nullptr;
  }
  if (window) screenOffset = platform::windowScreenPosition(window);
  if (device) adoptGraphics(platform::createGraphics(device));

  setFrameColor(kWhiteCColor);
  setLineStyle(kLineSolid);
  setLineWidth(1);
  setFillColor(kBlackCColor);
  setFontColor(kWhiteCColor);
  setFont(kNormalFont);
  setDrawMode(kCopyMode);
}

CDrawContext::~CDrawContext() {
  if (font) font->release();
  graphics.reset();
  if (ownsDevice) platform::releaseWindowDevice(window, device);
}

void CDrawContext::adoptGraphics(std::unique_ptr<platform::Graphics> target) {
  graphics = std::move(target);
  if (!graphics) return;
  graphics->setPenColor(frameColor.toARGB());
  graphics->setPenWidth(float(lineWidth > 0 ? lineWidth : 1));
  graphics->setPenDashStyle(lineStyle == kLineOnOffDash ? platform::DashStyle::dash
                                                        : platform::DashStyle::solid);
  graphics->setFillColor(fillColor.toARGB());
  graphics->setTextColor(fontColor.toARGB());
  graphics->setSmoothing(drawMode != kCopyMode && drawMode != -1);
  graphics->setClip(clipRect.left, clipRect.top, clipRect.width(), clipRect.height());
}

void CDrawContext::storeClip(const CRect& clip) {
  clipRect = clip;
  if (graphics) graphics->setClip(clip.left, clip.top, clip.width(), clip.height());
}

void CDrawContext::moveTo(const CPoint& point) {
  penLocation = CPoint(point.x + offset.x, point.y + offset.y);
}

void CDrawContext::lineTo(const CPoint& point) {
  const CPoint to(point.x + offset.x, point.y + offset.y);
  if (graphics) graphics->drawLine(penLocation.x, penLocation.y, to.x, to.y);
  penLocation = to;
}

void CDrawContext::drawRectangle(const CRect& rect, std::int32_t style) {
  if (!graphics) return;
  CRect r = rect;
  r.offset(offset);
  r.normalize();
  if (style == kDrawFilled || style == kDrawFilledAndStroked)
    graphics->fillRect(r.left, r.top, r.width(), r.height());
  // One pixel narrower and lower than the fill, so that a one-pixel pen rings
  // exactly the pixels the fill covers.
  if ((style == kDrawStroked || style == kDrawFilledAndStroked) && r.width() > 0 && r.height() > 0)
    graphics->strokeRect(r.left, r.top, r.width() - 1, r.height() - 1);
}

void CDrawContext::setFrameColor(const CColor& color) {
  if (color == frameColor) return;
  frameColor = color;
  if (graphics) graphics->setPenColor(color.toARGB());
}

void CDrawContext::setFillColor(const CColor& color) {
  if (color == fillColor) return;
  fillColor = color;
  if (graphics) graphics->setFillColor(color.toARGB());
}

void CDrawContext::setFontColor(const CColor& color) {
  fontColor = color;
  if (graphics) graphics->setTextColor(color.toARGB());
}

void CDrawContext::setLineWidth(std::int32_t width) {
  if (width == lineWidth) return;
  lineWidth = width;
  if (graphics) graphics->setPenWidth(float(width));
}

void CDrawContext::setLineStyle(std::int32_t style) {
  if (style == lineStyle) return;
  lineStyle = style;
  if (graphics)
    graphics->setPenDashStyle(style == kLineOnOffDash ? platform::DashStyle::dash
                                                      : platform::DashStyle::solid);
}

void CDrawContext::setDrawMode(std::int32_t mode) {
  if (mode == drawMode) return;
  drawMode = mode;
  if (graphics) graphics->setSmoothing(mode != kCopyMode);
}

void CDrawContext::setClipRect(const CRect& rect) {
  CRect clip = rect;
  clip.offset(offset);
  if (clip == clipRect) return;
  storeClip(clip);
}

CRect& CDrawContext::getClipRect(CRect& out) const {
  out = clipRect;
  out.offset(-offset.x, -offset.y);
  return out;
}

void CDrawContext::setFont(CFontDesc* newFont, std::int32_t fontSize, std::int32_t style) {
  if (!newFont) return;
  // Hold the new font before letting the old one go: they may be the same
  // object, and the context may hold its only reference.
  newFont->retain();
  if (font) font->release();
  if ((fontSize <= 0 || fontSize == newFont->getSize()) &&
      (style == -1 || style == newFont->getStyle())) {
    font = newFont;
    return;
  }
  font = new CFontDesc(newFont->getName(), fontSize > 0 ? fontSize : newFont->getSize(),
                       style != -1 ? style : newFont->getStyle());
  newFont->release();
}

std::int32_t CDrawContext::getStringWidth(const char* utf8) const {
  if (!font || !utf8 || !graphics) return -1;
  platform::Font* pf = font->getPlatformFont();
  if (!pf) return -1;
  return std::int32_t(graphics->measureString(utf8, *pf));
}

void CDrawContext::drawString(const char* utf8, const CRect& rect, std::int32_t alignment,
                              bool antialias) {
  if (!utf8) return;
  const CCoord fontSize = font ? font->getSize() : 0;
  // The reference line sits where a line of the font's size, centred in the
  // rectangle, has its bottom.
  const CCoord y = fontSize / 2 - rect.height() / 2 + rect.bottom - 1;
  CCoord x = rect.left;
  if (alignment != kLeftText) {
    const std::int32_t w = getStringWidth(utf8);
    if (alignment == kRightText)
      x = rect.right - w;
    else
      x = CCoord(float(rect.width()) * 0.5f + float(rect.left) - float(w) * 0.5f);
  }
  CRect saved;
  getClipRect(saved);
  CRect clip = rect;
  clip.bound(saved);
  setClipRect(clip);
  drawStringAt(utf8, x, y, antialias);
  setClipRect(saved);
}

void CDrawContext::drawStringAt(const char* utf8, CCoord x, CCoord y, bool antialias) {
  if (!utf8 || !font || !graphics) return;
  platform::Font* pf = font->getPlatformFont();
  if (!pf) return;
  graphics->setTextHint(antialias ? platform::TextHint::antialiasGridFit
                                  : platform::TextHint::systemDefault);
  // The line box ends one pixel below the reference line.
  const float top = float(y + offset.y) + 1.0f - pf->lineHeight();
  graphics->drawString(utf8, *pf, float(x + offset.x), top);
}

}  // namespace VSTGUI
