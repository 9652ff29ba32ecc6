#include "GuiTestSupport.h"

#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CFontDesc.h"
#include "gui/GDIPlusGlobals.h"
#include "gui/ResourceStream.h"

using namespace guitest;
using namespace VSTGUI::platform;

namespace {

ResourceStream* openStream(const char* name) {
  auto* s = new ResourceStream();
  if (!s->open(name)) {
    s->release();
    return nullptr;
  }
  return s;
}

}  // namespace

TEST(Resources, TheFiveImagesHaveTheirSizesAndPixelFormats) {
  struct Expect {
    const char* name;
    CCoord w, h;
    std::uint8_t colourType;  // PNG: 2 RGB, 6 RGB with alpha
  } images[] = {{"bmp00128.png", 340, 215, 2},
                {"bmp00129.png", 340, 215, 2},
                {"bmp00130.png", 19, 18, 6},
                {"bmp00131.png", 30, 28, 6},
                {"bmp00132.png", 25, 28, 6}};
  for (const Expect& e : images) {
    CBitmap b(e.name);
    EXPECT_TRUE(b.isLoaded()) << e.name;
    EXPECT_EQ(b.getWidth(), e.w) << e.name;
    EXPECT_EQ(b.getHeight(), e.h) << e.name;
    ResourceData data;
    ASSERT_TRUE(findResource(e.name, data));
    ASSERT_GT(data.size, 26u);
    EXPECT_EQ(std::memcmp(data.bytes, "\x89PNG\r\n\x1a\n", 8), 0);
    EXPECT_EQ(data.bytes[24], 8) << e.name;  // bits per channel
    EXPECT_EQ(data.bytes[25], e.colourType) << e.name;
  }
}

TEST(Resources, NamesMatchWithoutRegardToCase) {
  ResourceData lower, upper, mixed;
  EXPECT_TRUE(findResource("bmp00128.png", lower));
  EXPECT_TRUE(findResource("BMP00128.PNG", upper));
  EXPECT_TRUE(findResource("Bmp00128.Png", mixed));
  EXPECT_EQ(lower.bytes, upper.bytes);
  EXPECT_EQ(lower.bytes, mixed.bytes);
  ResourceData none;
  EXPECT_FALSE(findResource("bmp00128.pn", none));
  EXPECT_FALSE(findResource("bmp00128.png2", none));
  EXPECT_FALSE(findResource(128, none));
}

TEST(Resources, AMissingImageLeavesAnEmptyBitmapThatDrawsNothing) {
  CBitmap b("nothing.png");
  EXPECT_FALSE(b.isLoaded());
  EXPECT_EQ(b.getWidth(), 0);
  EXPECT_EQ(b.getHeight(), 0);
  EXPECT_FALSE(b.loadFromResource(CResourceDescription(4711)));
  EXPECT_FALSE(b.loadFromResource(CResourceDescription()));
  COffscreenContext c(nullptr, 10, 10);
  b.draw(&c, CRect(0, 0, 10, 10));
  EXPECT_TRUE(isTransparent(pixel(c, 5, 5)));
  // A good load after a bad one, and a file path, which is never supported.
  EXPECT_TRUE(b.loadFromResource("BMP00130.PNG"));
  EXPECT_EQ(b.getWidth(), 19);
  EXPECT_FALSE(b.loadFromPath("/tmp/x.png"));
  EXPECT_EQ(b.getWidth(), 0);
}

TEST(ResourceStream, ReadsAndSeeksWithTheStreamStatusCodes) {
  ResourceStream* s = openStream("bmp00130.png");
  ASSERT_NE(s, nullptr);
  const std::uint32_t size = s->getSize();
  ASSERT_GT(size, 20u);

  std::uint8_t buffer[16] = {};
  std::uint32_t got = 77;
  std::uint64_t position = 0;
  EXPECT_EQ(s->read(buffer, 8, &got), kStreamOk);
  EXPECT_EQ(got, 8u);
  EXPECT_EQ(std::memcmp(buffer, "\x89PNG\r\n\x1a\n", 8), 0);

  // Past the end nothing is read and the count is left alone.
  EXPECT_EQ(s->seek(size - 4, kSeekSet, &position), kStreamOk);
  EXPECT_EQ(position, size - 4);
  got = 77;
  EXPECT_EQ(s->read(buffer, 8, &got), kStreamFalse);
  EXPECT_EQ(got, 77u);
  EXPECT_EQ(s->getPosition(), size - 4);
  EXPECT_EQ(s->read(buffer, 4, nullptr), kStreamOk);
  EXPECT_EQ(s->getPosition(), size);
  EXPECT_EQ(s->read(buffer, 0, &got), kStreamOk);
  // A count that would wrap a 32-bit sum must not slip past the check.
  EXPECT_EQ(s->seek(10, kSeekSet, nullptr), kStreamOk);
  EXPECT_EQ(s->read(buffer, 0xFFFFFFFFu, &got), kStreamFalse);

  EXPECT_EQ(s->seek(size, kSeekSet, &position), kStreamFalse);
  EXPECT_EQ(s->seek(-1, kSeekSet, &position), kStreamFalse);
  EXPECT_EQ(s->seek(std::int64_t(1) << 32, kSeekSet, &position), kStreamFalse);
  EXPECT_EQ(s->seek(10, kSeekSet, &position), kStreamOk);
  EXPECT_EQ(s->seek(-4, kSeekCurrent, &position), kStreamOk);
  EXPECT_EQ(position, 6u);
  EXPECT_EQ(s->seek(-7, kSeekCurrent, &position), kStreamFalse);
  EXPECT_EQ(s->seek(size - 6, kSeekCurrent, &position), kStreamFalse);
  EXPECT_EQ(s->seek(0, kSeekEnd, &position), kStreamFalse);
  EXPECT_EQ(s->seek(0, 3, &position), kStreamInvalidFunction);
  EXPECT_EQ(s->getPosition(), 6u);
  EXPECT_EQ(s->revert(), kStreamOk);
  EXPECT_EQ(s->getPosition(), 0u);

  StreamStat stat;
  std::memset(&stat, 0xAB, sizeof(stat));
  EXPECT_EQ(s->stat(&stat, 0), kStreamOk);
  EXPECT_EQ(stat.size, size);
  EXPECT_EQ(stat.name, nullptr);
  EXPECT_EQ(stat.type, 0u);

  EXPECT_EQ(s->write(buffer, 1, &got), kStreamNotImplemented);
  s->release();
}

TEST(ResourceStream, InterfacesAndReferenceCounting) {
  ResourceStream* s = openStream("bmp00131.png");
  ASSERT_NE(s, nullptr);
  void* object = nullptr;
  for (const InterfaceId& iid : {kIidUnknown, kIidSequentialStream, kIidStream}) {
    EXPECT_EQ(s->queryInterface(iid, &object), kStreamOk);
    EXPECT_EQ(object, s);
  }
  const InterfaceId other{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EXPECT_EQ(s->queryInterface(other, &object), kStreamNoInterface);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(s->addRef(), 5u);
  for (std::uint32_t left = 4; left >= 1; --left) EXPECT_EQ(s->release(), left);
  EXPECT_EQ(s->release(), 0u);

  auto* missing = new ResourceStream();
  EXPECT_FALSE(missing->open("bmp.png"));
  EXPECT_FALSE(missing->open(CResourceDescription()));
  missing->release();
}

TEST(Bitmap, DrawsASourceAreaAtItsOwnSize) {
  CBitmap strip("bmp00131.png");
  ASSERT_TRUE(strip.isLoaded());
  COffscreenContext off(nullptr, 30, 14), on(nullptr, 30, 14);
  strip.drawTransparent(&off, CRect(0, 0, 30, 14), CPoint(0, 0));
  strip.drawTransparent(&on, CRect(0, 0, 30, 14), CPoint(0, 14));
  bool differs = false;
  for (CCoord y = 0; y < 14; ++y)
    for (CCoord x = 0; x < 30; ++x) {
      CColor expectOff, expectOn;
      strip.getPixel(x, y, expectOff);
      strip.getPixel(x, y + 14, expectOn);
      ASSERT_EQ(pixel(off, x, y), expectOff);
      ASSERT_EQ(pixel(on, x, y), expectOn);
      differs |= !(expectOff == expectOn);
    }
  EXPECT_TRUE(differs);

  // The context's offset moves the destination; nothing spills outside it.
  COffscreenContext shifted(nullptr, 40, 40);
  shifted.setOffset(CPoint(5, 6));
  strip.draw(&shifted, CRect(1, 1, 11, 5), CPoint(0, 14));
  CColor source;
  strip.getPixel(7, 16, source);
  EXPECT_EQ(pixel(shifted, 6 + 7, 7 + 2), source);
  EXPECT_TRUE(isTransparent(pixel(shifted, 16, 7)));
  EXPECT_TRUE(isTransparent(pixel(shifted, 8, 11)));
}

TEST(Bitmap, AlphaBlendKeepsTheColourAndScalesTheAlpha) {
  COffscreenContext source(nullptr, 4, 4);
  source.setFillColor(CColor{200, 100, 50, 255});
  source.drawRectangle(CRect(0, 0, 4, 4), kDrawFilled);
  source.setFillColor(CColor{10, 20, 240, 200});
  source.drawRectangle(CRect(2, 0, 4, 4), kDrawFilled);

  COffscreenContext full(nullptr, 4, 4), half(nullptr, 4, 4);
  source.getBitmap()->drawAlphaBlend(&full, CRect(0, 0, 4, 4), CPoint(0, 0), 255);
  source.getBitmap()->drawAlphaBlend(&half, CRect(0, 0, 4, 4), CPoint(0, 0), 128);
  for (CCoord x = 0; x < 4; ++x) {
    const CColor a = pixel(full, x, 1), b = pixel(half, x, 1);
    EXPECT_NEAR(b.alpha, a.alpha * 128 / 255.0, 1.0) << x;
    EXPECT_NEAR(b.red, a.red, 2) << x;
    EXPECT_NEAR(b.green, a.green, 2) << x;
    EXPECT_NEAR(b.blue, a.blue, 2) << x;
  }
  EXPECT_EQ(pixel(half, 0, 0).alpha, 128);
  EXPECT_EQ(pixel(full, 0, 0), (CColor{200, 100, 50, 255}));
}

TEST(Bitmap, TheGraphicsLibraryLivesWhileAFrameOrBitmapDoes) {
  ASSERT_EQ(GDIPlusGlobals::current(), nullptr);
  auto* frame = new CFrame(CRect(0, 0, 10, 10), nullptr, nullptr);
  auto* bitmap = new CBitmap("bmp00130.png");
  ASSERT_NE(GDIPlusGlobals::current(), nullptr);
  {
    COffscreenContext c(nullptr, 5, 5);
    c.setFont(kSymbolFont);
    c.getStringWidth("a");
  }
  EXPECT_TRUE(kSymbolFont->hasPlatformFont());
  bitmap->release();
  EXPECT_NE(GDIPlusGlobals::current(), nullptr);
  EXPECT_TRUE(kSymbolFont->hasPlatformFont());
  frame->release();
  EXPECT_EQ(GDIPlusGlobals::current(), nullptr);
  EXPECT_FALSE(kSymbolFont->hasPlatformFont());
  EXPECT_FALSE(kNormalFont->hasPlatformFont());

  // It starts again for the next user.
  CBitmap again(2, 2);
  EXPECT_NE(GDIPlusGlobals::current(), nullptr);
}
