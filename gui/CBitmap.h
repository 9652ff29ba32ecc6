#pragma once

#include <cstdint>
#include <memory>

#include "CBaseObject.h"
#include "CColor.h"
#include "CRect.h"
#include "CResourceDescription.h"

namespace VSTGUI {

class CDrawContext;

namespace platform {
class Image;
}

// An image loaded from the library's resources, or the pixel store of an
// offscreen context. Drawing copies an area of the image at its own size;
// transparency comes from the image's alpha channel.
class CBitmap : public CBaseObject {
 public:
  explicit CBitmap(const CResourceDescription& description);
  CBitmap(CCoord width, CCoord height);
  ~CBitmap() override;

  // rect is the destination in the context's coordinates and also the size of
  // the copied area; offset is that area's top-left inside the image.
  virtual void draw(CDrawContext* context, const CRect& rect, const CPoint& offset = CPoint(0, 0));
  virtual void drawTransparent(CDrawContext* context, const CRect& rect,
                               const CPoint& offset = CPoint(0, 0));
  virtual void drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset,
                              std::uint8_t alpha);
  virtual void unload();
  virtual bool loadFromResource(const CResourceDescription& description);
  // Images come only from the library's resources.
  virtual bool loadFromPath(const char* path);

  CCoord getWidth() const { return width; }
  CCoord getHeight() const { return height; }
  bool isLoaded() const { return image != nullptr; }
  const CResourceDescription& getResourceDescription() const { return resourceDescription; }
  platform::Image* getPlatformImage() const { return image.get(); }

  // Straight colour of one pixel; false outside the image or while empty.
  bool getPixel(CCoord x, CCoord y, CColor& out) const;
  bool writePNG(const char* path) const;

 private:
  CResourceDescription resourceDescription;
  CCoord width = 0;
  CCoord height = 0;
  std::unique_ptr<platform::Image> image;
};

}  // namespace VSTGUI
