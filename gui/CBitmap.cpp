#include "CBitmap.h"

#include "CDrawContext.h"
#include "GDIPlusGlobals.h"
#include "ResourceStream.h"
#include "platform/Platform.h"

namespace VSTGUI {

CBitmap::CBitmap(const CResourceDescription& description) {
  GDIPlusGlobals::acquire();
  loadFromResource(description);
}

CBitmap::CBitmap(CCoord width_, CCoord height_) : width(width_), height(height_) {
  GDIPlusGlobals::acquire();
  image = platform::createImage(width, height);
}

CBitmap::~CBitmap() {
  unload();
  GDIPlusGlobals::releaseShared();
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset) {
  drawAlphaBlend(context, rect, offset, 255);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset) {
  draw(context, rect, offset);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset,
                             std::uint8_t alpha) {
  if (!image || !context || !context->getGraphics()) return;
  const CPoint& shift = context->getOffset();
  context->getGraphics()->drawImage(*image, rect.left + shift.x, rect.top + shift.y, rect.width(),
                                    rect.height(), offset.x, offset.y, alpha);
}

void CBitmap::unload() {
  image.reset();
  width = height = 0;
}

bool CBitmap::loadFromResource(const CResourceDescription& description) {
  unload();
  resourceDescription = description;
  auto* stream = new ResourceStream();
  if (stream->open(description)) image = platform::decodeImage(*stream);
  stream->release();
  if (!image) {
    if (description.type == CResourceDescription::kIntegerType)
      image = platform::loadBitmapResource(description.u.id);
    else if (description.type == CResourceDescription::kStringType && description.u.name)
      image = platform::loadBitmapResource(description.u.name);
  }
  if (!image) return false;
  width = image->width();
  height = image->height();
  return true;
}

bool CBitmap::loadFromPath(const char*) {
  unload();
  return false;
}

bool CBitmap::getPixel(CCoord x, CCoord y, CColor& out) const {
  std::uint32_t argb = 0;
  if (!image || !image->readPixel(x, y, argb)) return false;
  out = CColor{std::uint8_t(argb >> 16), std::uint8_t(argb >> 8), std::uint8_t(argb),
               std::uint8_t(argb >> 24)};
  return true;
}

bool CBitmap::writePNG(const char* path) const { return image && path && image->writePNG(path); }

}  // namespace VSTGUI
