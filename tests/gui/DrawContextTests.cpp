#include "GuiTestSupport.h"

#include <cstring>
#include <string>

#include "gui/CFontDesc.h"

using namespace guitest;

namespace {

// Stands in for the platform target so text placement and clip traffic can
// be read exactly; every text measures 40 pixels.
class RecordingGraphics : public platform::Graphics {
 public:
  struct Text {
    std::string text;
    float x, top;
  };
  std::vector<Text>* texts;
  std::vector<CRect>* clips;
  RecordingGraphics(std::vector<Text>* t, std::vector<CRect>* c) : texts(t), clips(c) {}
  void setPenColor(std::uint32_t) override {}
  void setPenWidth(float) override {}
  void setPenDashStyle(platform::DashStyle) override {}
  void setFillColor(std::uint32_t) override {}
  void setTextColor(std::uint32_t) override {}
  void setSmoothing(bool) override {}
  void setTextHint(platform::TextHint) override {}
  void setClip(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override {
    clips->push_back(CRect(x, y, x + w, y + h));
  }
  void fillRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
  void strokeRect(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
  void drawLine(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}
  float measureString(const char*, const platform::Font&) override { return 40.0f; }
  void drawString(const char* t, const platform::Font&, float x, float top) override {
    texts->push_back({t, x, top});
  }
  void drawImage(const platform::Image&, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                 std::int32_t, std::int32_t, std::uint8_t) override {}
};

class RecordingContext : public CDrawContext {
 public:
  std::vector<RecordingGraphics::Text> texts;
  std::vector<CRect> clips;
  RecordingContext() : CDrawContext(nullptr, nullptr, nullptr) {
    adoptGraphics(std::make_unique<RecordingGraphics>(&texts, &clips));
    clips.clear();
  }
};

// Pixels of a row that carry ink, as a string of '#' and '.'.
std::string row(const COffscreenContext& c, CCoord y, CCoord x0, CCoord x1) {
  std::string s;
  for (CCoord x = x0; x <= x1; ++x) s += isTransparent(pixel(c, x, y)) ? '.' : '#';
  return s;
}

}  // namespace

TEST(DrawContext, FilledAndStrokedRectangleOutlinesExactlyTheFilledPixels) {
  COffscreenContext c(nullptr, 30, 30);
  c.setFillColor(CColor{0, 0, 255, 255});
  c.setFrameColor(CColor{255, 0, 0, 255});
  c.drawRectangle(CRect(10, 10, 20, 15), kDrawFilledAndStroked);
  const CColor red{255, 0, 0, 255}, blue{0, 0, 255, 255};
  for (CCoord x = 10; x < 20; ++x) {
    EXPECT_EQ(pixel(c, x, 10), red) << x;
    EXPECT_EQ(pixel(c, x, 14), red) << x;
  }
  for (CCoord y = 10; y < 15; ++y) {
    EXPECT_EQ(pixel(c, 10, y), red) << y;
    EXPECT_EQ(pixel(c, 19, y), red) << y;
  }
  EXPECT_EQ(pixel(c, 11, 11), blue);
  EXPECT_EQ(pixel(c, 18, 13), blue);
  EXPECT_TRUE(isTransparent(pixel(c, 20, 12)));
  EXPECT_TRUE(isTransparent(pixel(c, 15, 15)));
  EXPECT_TRUE(isTransparent(pixel(c, 9, 12)));
  EXPECT_TRUE(isTransparent(pixel(c, 15, 9)));
}

TEST(DrawContext, RectanglesWithSwappedCornersAndOffsetsDrawTheSame) {
  COffscreenContext a(nullptr, 30, 30), b(nullptr, 30, 30);
  a.drawRectangle(CRect(5, 6, 15, 16), kDrawFilledAndStroked);
  b.setOffset(CPoint(2, 3));
  b.drawRectangle(CRect(13, 13, 3, 3), kDrawFilledAndStroked);
  for (CCoord y = 0; y < 30; ++y)
    for (CCoord x = 0; x < 30; ++x) ASSERT_EQ(pixel(a, x, y), pixel(b, x, y)) << x << "," << y;
}

TEST(DrawContext, CopyModeDrawsHardEdgesAndBothLineEnds) {
  COffscreenContext c(nullptr, 20, 20);
  c.setFrameColor(kWhiteCColor);
  c.moveTo(CPoint(2, 5));
  c.lineTo(CPoint(12, 5));
  EXPECT_EQ(row(c, 5, 0, 14), "..###########..");
  EXPECT_EQ(row(c, 4, 0, 14), "...............");
  EXPECT_EQ(c.getPenLocation(), CPoint(12, 5));
  c.lineTo(CPoint(12, 8));
  for (CCoord y = 5; y <= 8; ++y) EXPECT_EQ(pixel(c, 12, y), kWhiteCColor);
  EXPECT_TRUE(isTransparent(pixel(c, 12, 9)));
  // Every touched pixel is either fully covered or untouched.
  for (CCoord y = 0; y < 20; ++y)
    for (CCoord x = 0; x < 20; ++x) {
      const auto a = pixel(c, x, y).alpha;
      ASSERT_TRUE(a == 0 || a == 255) << x << "," << y;
    }
}

TEST(DrawContext, ColoursReachThePixelsUnchangedAndBlendByAlpha) {
  COffscreenContext c(nullptr, 10, 10);
  c.setFillColor(CColor{222, 134, 2, 255});
  c.drawRectangle(CRect(0, 0, 5, 5), kDrawFilled);
  EXPECT_EQ(pixel(c, 2, 2), (CColor{222, 134, 2, 255}));
  // A fully transparent fill leaves what is underneath.
  c.setFillColor(CColor{30, 30, 30, 0});
  c.drawRectangle(CRect(0, 0, 5, 5), kDrawFilled);
  EXPECT_EQ(pixel(c, 2, 2), (CColor{222, 134, 2, 255}));
}

TEST(DrawContext, NewContextsStartWithTheDocumentedSettings) {
  COffscreenContext c(nullptr, 40, 30);
  EXPECT_EQ(c.getFont(), kNormalFont);
  CRect clip;
  EXPECT_EQ(c.getClipRect(clip), CRect(0, 0, 40, 30));
  CDrawContext windowless(nullptr, nullptr, nullptr);
  EXPECT_EQ(windowless.getClipRect(clip), CRect(0, 0, 1000, 1000));
  EXPECT_FALSE(windowless.hasGraphics());
  EXPECT_EQ(windowless.getStringWidth("x"), -1);
  windowless.drawRectangle(CRect(0, 0, 5, 5));  // accepted, draws nothing
  // The pen really is white from the start: a line drawn at once shows it.
  c.moveTo(CPoint(0, 0));
  c.lineTo(CPoint(3, 0));
  EXPECT_EQ(pixel(c, 1, 0), kWhiteCColor);
}

TEST(DrawContext, ClipIsReplacedStoredWithTheOffsetAndSkippedWhenUnchanged) {
  RecordingContext c;
  c.setOffset(CPoint(10, 20));
  c.setClipRect(CRect(0, 0, 5, 5));
  ASSERT_EQ(c.clips.size(), 1u);
  EXPECT_EQ(c.clips[0], CRect(10, 20, 15, 25));
  CRect out;
  EXPECT_EQ(c.getClipRect(out), CRect(0, 0, 5, 5));
  c.setClipRect(CRect(0, 0, 5, 5));
  EXPECT_EQ(c.clips.size(), 1u);
}

TEST(DrawContext, DrawStringPlacesTextByAlignmentAndReferenceLine) {
  RecordingContext c;
  c.setFont(kNormalFont);  // Arial 12
  const float lineHeight = kNormalFont->getPlatformFont()->lineHeight();
  const CRect r(0, 0, 100, 20);
  c.drawString("left", r, kLeftText);
  c.drawString("centre", r, kCenterText);
  c.drawString("right", r, kRightText);
  ASSERT_EQ(c.texts.size(), 3u);
  EXPECT_EQ(c.texts[0].x, 0.0f);
  EXPECT_EQ(c.texts[1].x, 30.0f);
  EXPECT_EQ(c.texts[2].x, 60.0f);
  // Reference line 12 / 2 - 20 / 2 + 20 - 1 = 15; the line box ends one pixel
  // below it.
  EXPECT_FLOAT_EQ(c.texts[1].top, 16.0f - lineHeight);

  c.texts.clear();
  c.setOffset(CPoint(5, 7));
  c.drawString("x", CRect(10, 10, 31, 25), kCenterText);
  // (21 * 0.5 + 10 - 40 * 0.5) truncates toward zero: 0, then the offset.
  ASSERT_EQ(c.texts.size(), 1u);
  EXPECT_EQ(c.texts[0].x, 5.0f);
  EXPECT_FLOAT_EQ(c.texts[0].top, float(6 - 7 + 25 - 1 + 7) + 1.0f - lineHeight);
  c.drawString(nullptr, CRect(0, 0, 10, 10));
  EXPECT_EQ(c.texts.size(), 1u);
}

TEST(DrawContext, DrawStringClipsToItsRectangleAndRestoresTheClip) {
  RecordingContext c;
  c.setClipRect(CRect(0, 0, 50, 50));
  c.clips.clear();
  c.drawString("t", CRect(40, 40, 80, 60));
  ASSERT_EQ(c.clips.size(), 2u);
  EXPECT_EQ(c.clips[0], CRect(40, 40, 50, 50));
  EXPECT_EQ(c.clips[1], CRect(0, 0, 50, 50));
}

TEST(DrawContext, TextOutsideTheClipIsNotDrawn) {
  COffscreenContext c(nullptr, 100, 40);
  c.setClipRect(CRect(0, 0, 100, 20));
  c.drawString("MMMM", CRect(0, 20, 100, 40), kLeftText);
  for (CCoord y = 0; y < 40; ++y)
    for (CCoord x = 0; x < 100; ++x) ASSERT_TRUE(isTransparent(pixel(c, x, y))) << x << "," << y;
  CRect clip;
  EXPECT_EQ(c.getClipRect(clip), CRect(0, 0, 100, 20));

  c.setClipRect(CRect(0, 0, 100, 40));
  c.drawString("MMMM", CRect(0, 20, 100, 40), kLeftText);
  int ink = 0;
  for (CCoord y = 20; y < 40; ++y)
    for (CCoord x = 0; x < 100; ++x) ink += !isTransparent(pixel(c, x, y));
  EXPECT_GT(ink, 20);
}

TEST(DrawContext, InvalidUtf8DrawsNothingAndLeavesTheContextWorking) {
  COffscreenContext c(nullptr, 60, 20);
  const char bad[] = {'A', char(0xC3), char(0x28), 0};
  c.drawString(bad, CRect(0, 0, 60, 20), kLeftText);
  for (CCoord x = 0; x < 60; ++x)
    for (CCoord y = 0; y < 20; ++y) ASSERT_TRUE(isTransparent(pixel(c, x, y)));
  EXPECT_EQ(c.getStringWidth(bad), 0);
  c.drawRectangle(CRect(0, 0, 2, 2), kDrawFilled);
  EXPECT_EQ(pixel(c, 1, 1), kBlackCColor);
  EXPECT_GT(c.getStringWidth("W\xC3\xA9"), 0);
}

TEST(Fonts, ArialResolvesToAMetricCompatibleFace) {
  platform::Font* font = kNormalFont->getPlatformFont();
  ASSERT_NE(font, nullptr);
  EXPECT_STREQ(font->resolvedFamily(), "Liberation Sans");
  // Arial's line spacing is 2355 units of its 2048-unit em.
  EXPECT_NEAR(font->lineHeight(), 12.0f * 2355 / 2048, 0.01f);
  EXPECT_NEAR(font->ascent(), 12.0f * 1854 / 2048, 0.01f);

  COffscreenContext c(nullptr, 10, 10);
  c.setFont(kSystemFont);
  // Arial advances: digits 1139, '-' 682, '.' 569, 'W' 1933 units per 2048.
  EXPECT_EQ(c.getStringWidth("-15.0"), 27);           // 4668 / 2048 * 12 = 27.35
  EXPECT_EQ(c.getStringWidth("0000000000"), 66);      // 66.74
  c.setFont(kNormalFontVeryBig);
  EXPECT_EQ(c.getStringWidth("WWW"), 50);             // 5799 / 2048 * 18 = 50.97
  EXPECT_EQ(c.getStringWidth(""), 0);
  EXPECT_EQ(c.getStringWidth(nullptr), -1);
}

TEST(Fonts, SetFontSharesAMatchingFontAndMakesAPrivateOneOtherwise) {
  CFontDesc* shared = new CFontDesc("Arial", 12);
  {
    COffscreenContext c(nullptr, 10, 10);
    c.setFont(shared, 0, -1);
    EXPECT_EQ(c.getFont(), shared);
    EXPECT_EQ(shared->getNbReference(), 2);
    c.setFont(shared, 12, 0);
    EXPECT_EQ(c.getFont(), shared);
    EXPECT_EQ(shared->getNbReference(), 2);

    c.setFont(shared, 14);
    CFontDesc* own = c.getFont();
    EXPECT_NE(own, shared);
    EXPECT_STREQ(own->getName(), "Arial");
    EXPECT_EQ(own->getSize(), 14);
    EXPECT_EQ(own->getNbReference(), 1);
    EXPECT_EQ(shared->getNbReference(), 1);

    // The context may hold the only reference to the font it is given back.
    c.setFont(c.getFont());
    EXPECT_EQ(c.getFont(), own);
    EXPECT_EQ(own->getSize(), 14);
    c.setFont(own, 0, kBoldFace);
    EXPECT_EQ(c.getFont()->getStyle(), std::int32_t(kBoldFace));
    EXPECT_EQ(c.getFont()->getSize(), 14);
    c.setFont(nullptr);
    EXPECT_NE(c.getFont(), nullptr);
  }
  EXPECT_EQ(shared->getNbReference(), 1);
  shared->release();
}

TEST(Fonts, PlatformFontsAreMadeOnceAndRemadeAfterARename) {
  CFontDesc f("Arial", 11, kItalicFace | kBoldFace);
  EXPECT_FALSE(f.hasPlatformFont());
  platform::Font* first = f.getPlatformFont();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(f.getPlatformFont(), first);
  f.setName("Arial");
  EXPECT_TRUE(f.hasPlatformFont());
  f.setName("Liberation Mono");
  EXPECT_FALSE(f.hasPlatformFont());
  EXPECT_STREQ(f.getPlatformFont()->resolvedFamily(), "Liberation Mono");

  // No family, or one too long to name, gives the generic sans-serif.
  f.setName(nullptr);
  EXPECT_EQ(f.getName(), nullptr);
  EXPECT_NE(f.getPlatformFont(), nullptr);
  const std::string longName(CFontDesc::kMaxFamilyNameLength + 1, 'x');
  CFontDesc tooLong(longName.c_str(), 12);
  EXPECT_NE(tooLong.getPlatformFont(), nullptr);
}
