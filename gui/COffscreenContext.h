#pragma once

#include "CDrawContext.h"

namespace VSTGUI {

class CBitmap;

// A context drawing into a bitmap of its own, later copied into a window
// context. A new one is fully transparent; the background colour is kept for
// its owner.
class COffscreenContext : public CDrawContext {
 public:
  COffscreenContext(CFrame* frame, CCoord width, CCoord height, const CColor& background = kBlackCColor);
  ~COffscreenContext() override;

  // Draws the area of this context's bitmap at sourceOffset into destination
  // (coordinates of that context).
  void copyTo(CDrawContext* destination, const CRect& destinationRect, const CPoint& sourceOffset);

  CBitmap* getBitmap() const { return bitmap; }
  CCoord getWidth() const { return width; }
  CCoord getHeight() const { return height; }
  const CColor& getBackgroundColor() const { return backgroundColor; }

  // Straight colour of one pixel; false outside the bitmap.
  bool getPixel(CCoord x, CCoord y, CColor& out) const;

 private:
  CBitmap* bitmap;
  CCoord height;
  CCoord width;
  CColor backgroundColor;
};

}  // namespace VSTGUI
