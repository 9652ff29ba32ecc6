#include "COffscreenContext.h"

#include "CBitmap.h"

namespace VSTGUI {

COffscreenContext::COffscreenContext(CFrame* frame, CCoord width_, CCoord height_,
                                     const CColor& background)
    : CDrawContext(frame, nullptr, nullptr),
      bitmap(new CBitmap(width_, height_)),
      height(height_),
      width(width_),
      backgroundColor(background) {
  CRect clip(0, 0, width, height);
  clip.normalize();
  storeClip(clip);
  if (platform::Image* image = bitmap->getPlatformImage()) adoptGraphics(platform::createGraphics(*image));
}

COffscreenContext::~COffscreenContext() {
  // The graphics object draws into the bitmap's pixels: it goes first.
  adoptGraphics(nullptr);
  bitmap->release();
}

void COffscreenContext::copyTo(CDrawContext* destination, const CRect& destinationRect,
                               const CPoint& sourceOffset) {
  if (destination) bitmap->draw(destination, destinationRect, sourceOffset);
}

bool COffscreenContext::getPixel(CCoord x, CCoord y, CColor& out) const {
  return bitmap->getPixel(x, y, out);
}

}  // namespace VSTGUI
