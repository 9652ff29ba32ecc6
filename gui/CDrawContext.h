#pragma once

#include <cstdint>
#include <memory>

#include "CBaseObject.h"
#include "CColor.h"
#include "CRect.h"
#include "platform/Platform.h"

namespace VSTGUI {

class CFontDesc;
class CFrame;

enum CDrawStyle : std::int32_t {
  kDrawStroked = 0,
  kDrawFilled = 1,
  kDrawFilledAndStroked = 2,
};

enum CHoriTxtAlign : std::int32_t {
  kLeftText = 0,
  kCenterText = 1,
  kRightText = 2,
};

enum CLineStyle : std::int32_t {
  kLineSolid = 0,
  kLineOnOffDash = 1,
};

enum CDrawMode : std::int32_t {
  kCopyMode = 0,
  kAntialias = 1,
};

// Draws into a window's device, or (as COffscreenContext) into a bitmap.
// Every coordinate passed in is shifted by the offset, which containers move
// while they draw their children.
class CDrawContext : public CBaseObject {
 public:
  CDrawContext(CFrame* frame, platform::DeviceHandle device, platform::WindowHandle window);
  ~CDrawContext() override;

  void moveTo(const CPoint& point);
  void lineTo(const CPoint& point);
  const CPoint& getPenLocation() const { return penLocation; }
  void drawRectangle(const CRect& rect, std::int32_t style = kDrawStroked);

  void setFrameColor(const CColor& color);
  const CColor& getFrameColor() const { return frameColor; }
  void setFillColor(const CColor& color);
  const CColor& getFillColor() const { return fillColor; }
  void setFontColor(const CColor& color);
  const CColor& getFontColor() const { return fontColor; }
  void setLineWidth(std::int32_t width);
  std::int32_t getLineWidth() const { return lineWidth; }
  void setLineStyle(std::int32_t style);
  std::int32_t getLineStyle() const { return lineStyle; }
  void setDrawMode(std::int32_t mode);
  std::int32_t getDrawMode() const { return drawMode; }

  void setClipRect(const CRect& rect);
  CRect& getClipRect(CRect& out) const;

  // A size of 0 or less keeps the font's own size, a style of -1 its own style.
  void setFont(CFontDesc* font, std::int32_t size = 0, std::int32_t style = -1);
  CFontDesc* getFont() const { return font; }
  // -1 when there is nothing to measure with.
  std::int32_t getStringWidth(const char* utf8) const;
  void drawString(const char* utf8, const CRect& rect, std::int32_t alignment = kCenterText,
                  bool antialias = true);

  const CPoint& getOffset() const { return offset; }
  void setOffset(const CPoint& point) { offset = point; }
  const CPoint& getScreenOffset() const { return screenOffset; }
  void setScreenOffset(const CPoint& point) { screenOffset = point; }
  CFrame* getFrame() const { return frame; }
  platform::WindowHandle getWindow() const { return window; }
  bool hasGraphics() const { return graphics != nullptr; }
  platform::Graphics* getGraphics() const { return graphics.get(); }

 protected:
  // Gives the context its drawing target after construction (offscreen
  // contexts get theirs once their bitmap exists) and brings the target's
  // pen, brushes and smoothing to the context's current settings.
  void adoptGraphics(std::unique_ptr<platform::Graphics> target);
  void storeClip(const CRect& clip);

 private:
  void drawStringAt(const char* utf8, CCoord x, CCoord y, bool antialias);

  CPoint screenOffset;
  CPoint offset;
  platform::DeviceHandle device = nullptr;
  bool ownsDevice = false;
  platform::WindowHandle window = nullptr;
  CFrame* frame = nullptr;
  CFontDesc* font = nullptr;
  // The stored settings start as the platform's fresh pen and brushes are
  // (black, width 1, solid, smoothing on), so that each default applied by
  // the constructor really reaches them.
  CColor fontColor = kBlackCColor;
  CPoint penLocation;
  std::int32_t lineWidth = -1;
  CColor frameColor = kBlackCColor;
  CColor fillColor = kBlackCColor;
  std::int32_t lineStyle = -1;
  std::int32_t drawMode = -1;
  CRect clipRect;
  std::unique_ptr<platform::Graphics> graphics;
};

}  // namespace VSTGUI
