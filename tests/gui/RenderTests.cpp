#include "GuiTestSupport.h"

#include <functional>

#include "gui/CBitmap.h"

using namespace guitest;

namespace {

const CColor kBack{10, 20, 30, 255};
const CColor kRed{255, 0, 0, 255};
const CColor kGreen{0, 255, 0, 255};
const CColor kBlue{0, 0, 255, 255};
const CColor kYellow{255, 255, 0, 255};
const CColor kMagenta{255, 0, 255, 255};

// Draws far past its own bounds; the container's clip must hold it in.
struct OverdrawView : CView {
  using CView::CView;
  void draw(CDrawContext* context) override {
    context->setFillColor(kMagenta);
    CRect big = size;
    big.left -= 5;
    big.top -= 5;
    big.right += 10;
    big.bottom += 10;
    context->drawRectangle(big, kDrawFilled);
    setDirty(false);
  }
};

struct Scene {
  RecordingFrame frame{CRect(0, 0, 60, 40)};
  CViewContainer* group = new CViewContainer(CRect(30, 0, 60, 40));
  CViewContainer* see = new CViewContainer(CRect(0, 30, 20, 40));

  Scene() {
    frame.setBackgroundColor(kBack);
    frame.addView(new SolidView(CRect(0, 0, 20, 20), kRed));
    frame.addView(new SolidView(CRect(10, 10, 30, 30), kGreen));
    group->setBackgroundColor(kBlue);
    group->addView(new SolidView(CRect(-5, 5, 10, 15), kWhiteCColor));
    group->addView(new SolidView(CRect(20, 30, 40, 50), kYellow));
    frame.addView(group);
    see->setTransparent(true);
    see->setBackgroundColor(CColor{200, 0, 0, 255});
    frame.addView(see);
    frame.addView(new OverdrawView(CRect(20, 30, 25, 35)));
    auto* hidden = new SolidView(CRect(0, 0, 60, 40), kYellow);
    hidden->setVisible(false);
    frame.addView(hidden);
  }

  static CColor expected(CCoord x, CCoord y) {
    auto in = [x, y](CCoord l, CCoord t, CCoord r, CCoord b) { return x >= l && x < r && y >= t && y < b; };
    CColor c = kBack;
    if (in(0, 0, 20, 20)) c = kRed;
    if (in(10, 10, 30, 30)) c = kGreen;
    if (in(30, 0, 60, 40)) c = kBlue;
    if (in(30, 5, 40, 15)) c = kWhiteCColor;
    if (in(50, 30, 60, 40)) c = kYellow;
    if (in(20, 30, 25, 35)) c = kMagenta;
    return c;
  }
};

void expectPixels(const COffscreenContext& c, const std::function<CColor(CCoord, CCoord)>& want) {
  for (CCoord y = 0; y < c.getHeight(); ++y)
    for (CCoord x = 0; x < c.getWidth(); ++x) {
      const CColor got = pixel(c, x, y), w = want(x, y);
      ASSERT_EQ(got, w) << "at " << x << "," << y << ": got " << int(got.red) << "," << int(got.green) << ","
                        << int(got.blue) << "," << int(got.alpha);
    }
}

}  // namespace

TEST(Render, AViewTreeDrawsInOrderWithEveryChildClipped) {
  Scene scene;
  COffscreenContext out(&scene.frame, 60, 40);
  scene.frame.drawRect(&out, scene.frame.getBounds());
  expectPixels(out, Scene::expected);
  EXPECT_FALSE(scene.frame.isDirty());
  EXPECT_EQ(out.getOffset(), CPoint(0, 0));
  CRect clip;
  EXPECT_EQ(out.getClipRect(clip), CRect(0, 0, 60, 40));
}

TEST(Render, AnUpdateRectangleRedrawsOnlyItsPixels) {
  Scene scene;
  COffscreenContext out(&scene.frame, 60, 40);
  out.setClipRect(CRect(0, 0, 58, 40));
  scene.frame.drawRect(&out, CRect(25, 8, 45, 32));
  expectPixels(out, [](CCoord x, CCoord y) {
    return x >= 25 && x < 45 && y >= 8 && y < 32 ? Scene::expected(x, y) : CColor{0, 0, 0, 0};
  });
  CRect clip;
  EXPECT_EQ(out.getClipRect(clip), CRect(0, 0, 58, 40));
}

TEST(Render, ATransparentContainerPaintsOnlyASeeThroughColour) {
  Scene scene;
  scene.see->setBackgroundColor(CColor{200, 0, 0, 254});
  COffscreenContext out(&scene.frame, 60, 40);
  scene.frame.drawRect(&out, scene.frame.getBounds());
  const CColor c = pixel(out, 5, 35);
  EXPECT_NEAR(c.red, 200, 1);
  EXPECT_NEAR(c.green, 0, 1);
  EXPECT_EQ(c.alpha, 255);

  // Not transparent: even a fully transparent colour paints (invisibly).
  scene.see->setTransparent(false);
  scene.see->setBackgroundColor(CColor{200, 0, 0, 0});
  COffscreenContext again(&scene.frame, 60, 40);
  scene.frame.drawRect(&again, scene.frame.getBounds());
  expectPixels(again, Scene::expected);
}

TEST(Render, DrawingAContainerOffscreenGivesTheSamePixels) {
  Scene scene;
  scene.group->setDrawOffscreen(true);
  COffscreenContext out(&scene.frame, 60, 40);
  scene.frame.drawRect(&out, scene.frame.getBounds());
  ASSERT_NE(scene.group->getOffscreenContext(), nullptr);
  expectPixels(out, Scene::expected);
  scene.group->setDrawOffscreen(false);
  EXPECT_EQ(scene.group->getOffscreenContext(), nullptr);
}

TEST(Render, ThePanelImageAndAHandleOverItComeOutPixelForPixel) {
  auto* panel = new CBitmap("bmp00128.png");
  auto* handle = new CBitmap("bmp00130.png");
  ASSERT_TRUE(panel->isLoaded());
  ASSERT_TRUE(handle->isLoaded());
  RecordingFrame frame(CRect(0, 0, 340, 215));
  frame.setBackground(panel);
  auto* knob = new CView(CRect(26, 71, 45, 89));
  knob->setBackground(handle);
  knob->setTransparent(true);
  frame.addView(knob);
  panel->release();
  handle->release();

  COffscreenContext out(&frame, 340, 215);
  frame.draw(&out);
  int blended = 0;
  for (CCoord y = 0; y < 215; ++y)
    for (CCoord x = 0; x < 340; ++x) {
      CColor under, over;
      ASSERT_TRUE(panel->getPixel(x, y, under));
      const CColor got = pixel(out, x, y);
      const bool onHandle = x >= 26 && x < 45 && y >= 71 && y < 89;
      if (!onHandle) {
        ASSERT_EQ(got, under) << x << "," << y;
        continue;
      }
      handle->getPixel(x - 26, y - 71, over);
      if (over.alpha == 255) {
        ASSERT_EQ(got, over) << x << "," << y;
      } else if (over.alpha == 0) {
        ASSERT_EQ(got, under) << x << "," << y;
      }
      blended += over.alpha != 0 && over.alpha != 255;
      ASSERT_EQ(got.alpha, 255);
    }
  EXPECT_GT(blended, 0);  // the handle's soft edge really blends
}
