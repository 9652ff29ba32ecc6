#include "GuiTestSupport.h"

#include <cstring>

#include "gui/CBitmap.h"
#include "gui/CViewContainer.h"

using namespace guitest;

TEST(Geometry, HitAndOverlapTestsIncludeRightAndBottomEdges) {
  const CRect r(10, 20, 30, 40);
  EXPECT_TRUE(r.pointInside(CPoint(30, 40)));
  EXPECT_TRUE(r.pointInside(CPoint(10, 20)));
  EXPECT_FALSE(r.pointInside(CPoint(31, 40)));
  EXPECT_FALSE(r.pointInside(CPoint(30, 41)));
  EXPECT_TRUE(r.rectOverlap(CRect(30, 40, 50, 50)));
  EXPECT_FALSE(r.rectOverlap(CRect(31, 0, 50, 50)));
}

TEST(Geometry, BoundingNeverGivesNegativeExtents) {
  CRect r(0, 0, 10, 10);
  r.bound(CRect(20, 30, 40, 50));
  EXPECT_EQ(r, CRect(20, 30, 20, 30));
  EXPECT_EQ(r.width(), 0);
  CRect s(0, 0, 100, 100);
  s.bound(CRect(10, -5, 50, 60));
  EXPECT_EQ(s, CRect(10, 0, 50, 60));
}

TEST(Geometry, ColourPackingAndPlatformConversion) {
  const CColor c{222, 134, 2, 255};
  EXPECT_EQ(c.pack(), 0xFF0286DEu);
  EXPECT_EQ(CColor::fromPacked(0x82FFFFFFu), (CColor{255, 255, 255, 130}));
  EXPECT_EQ(c.toARGB(), 0xFFDE8602u);
}

TEST(View, PlainViewAnswersNothingToEvents) {
  CView v(CRect(0, 0, 10, 10));
  CPoint p(5, 5);
  EXPECT_EQ(v.mouseDown(p, kLButton), kMouseEventNotImplemented);
  EXPECT_EQ(v.mouseUp(p, kLButton), kMouseEventNotImplemented);
  EXPECT_EQ(v.mouseMoved(p, kLButton), kMouseEventNotImplemented);
  EXPECT_EQ(v.mouseEntered(p, 0), kMouseEventNotImplemented);
  EXPECT_EQ(v.mouseExited(p, 0), kMouseEventNotImplemented);
  EXPECT_EQ(v.keyDown(CKeyCode{}), -1);
  EXPECT_EQ(v.keyUp(CKeyCode{}), -1);
  EXPECT_FALSE(v.mouseWheel(p, 1.0f, 0));
  EXPECT_FALSE(v.mouseWheelOnAxis(p, 0, 1.0f, 0));
  EXPECT_FALSE(v.dragDrop(nullptr, p));
  EXPECT_EQ(v.getEditor(), nullptr);
  EXPECT_EQ(v.getVisibleBounds(), CRect(0, 0, 0, 0));
}

TEST(View, HitTestUsesTheMouseAreaWithInclusiveEdges) {
  CView v(CRect(10, 10, 20, 20));
  EXPECT_TRUE(v.hitTest(CPoint(20, 20), kLButton));
  v.setMouseArea(CRect(0, 0, 5, 5));
  EXPECT_FALSE(v.hitTest(CPoint(20, 20), kLButton));
  EXPECT_TRUE(v.hitTest(CPoint(5, 5), kLButton));
  // Bounds changes leave the mouse area alone.
  v.setBounds(CRect(100, 100, 110, 110));
  EXPECT_EQ(v.getMouseArea(), CRect(0, 0, 5, 5));
}

TEST(View, AttributesReplaceInPlaceAndCopyWithTheView) {
  CView v(CRect(0, 0, 1, 1));
  const char longer[] = "abcdefgh";
  const char shorter[] = "xy";
  EXPECT_TRUE(v.setAttribute(7, sizeof(longer), longer));
  EXPECT_TRUE(v.setAttribute(7, sizeof(shorter), shorter));
  EXPECT_TRUE(v.setAttribute(9, 0, nullptr));
  EXPECT_FALSE(v.setAttribute(10, 4, nullptr));

  std::uint32_t size = 0;
  ASSERT_TRUE(v.getAttributeSize(7, size));
  EXPECT_EQ(size, sizeof(shorter));
  char buffer[16] = {};
  ASSERT_TRUE(v.getAttribute(7, sizeof(buffer), buffer, size));
  EXPECT_STREQ(buffer, "xy");
  EXPECT_FALSE(v.getAttribute(7, 1, buffer, size));  // too small a buffer

  CView* copy = v.clone();
  std::memset(buffer, 0, sizeof(buffer));
  ASSERT_TRUE(copy->getAttribute(7, sizeof(buffer), buffer, size));
  EXPECT_STREQ(buffer, "xy");
  EXPECT_FALSE(copy->getAttributeSize(10, size));
  copy->release();
}

TEST(View, CloneCopiesStateButStartsDetachedAndShareTheBackground) {
  auto* bitmap = new CBitmap(4, 4);
  auto* frame = new CFrame(CRect(0, 0, 50, 50), nullptr, nullptr);
  auto* v = new CView(CRect(1, 2, 3, 4));
  v->setBackground(bitmap);
  v->setTransparent(true);
  v->setAcceptsFocus(true);
  v->setResizeFlags(kResizeFollowRight);
  v->setMouseEnabled(false);
  frame->addView(v);
  EXPECT_EQ(bitmap->getNbReference(), 2);

  CView* copy = v->clone();
  EXPECT_EQ(bitmap->getNbReference(), 3);
  EXPECT_EQ(copy->getBounds(), CRect(1, 2, 3, 4));
  EXPECT_TRUE(copy->isTransparent());
  EXPECT_TRUE(copy->acceptsFocus());
  EXPECT_FALSE(copy->getMouseEnabled());
  EXPECT_EQ(copy->getResizeFlags(), std::uint32_t(kResizeFollowRight));
  EXPECT_FALSE(copy->isAttached());
  EXPECT_EQ(copy->getFrame(), nullptr);
  EXPECT_FALSE(copy->isDirty());
  EXPECT_EQ(copy->getNbReference(), 1);
  copy->release();
  frame->release();
  EXPECT_EQ(bitmap->getNbReference(), 1);
  bitmap->release();
}

TEST(View, SettingTheSameBackgroundAgainKeepsItAlive) {
  auto* bitmap = new CBitmap(2, 2);
  CView v(CRect(0, 0, 2, 2));
  v.setBackground(bitmap);
  bitmap->release();  // the view holds the only reference now
  v.setBackground(v.getBackground());
  ASSERT_EQ(v.getBackground(), bitmap);
  EXPECT_EQ(bitmap->getNbReference(), 1);
  EXPECT_EQ(bitmap->getWidth(), 2);
}

TEST(View, InvalidationNeedsAnAttachedVisibleView) {
  RecordingFrame frame;
  CView loose(CRect(0, 0, 5, 5));
  loose.invalid();
  EXPECT_TRUE(frame.invalidated.empty());

  auto* v = new CView(CRect(3, 4, 10, 12));
  frame.addView(v);  // adding invalidates
  ASSERT_EQ(frame.invalidated.size(), 1u);
  EXPECT_EQ(frame.invalidated[0], CRect(3, 4, 10, 12));
  v->setVisible(false);
  v->invalid();
  EXPECT_EQ(frame.invalidated.size(), 1u);
}

TEST(View, KindTestsFollowTheClassChain) {
  CView v{CRect()};
  CViewContainer c{CRect()};
  RecordingFrame f;
  EXPECT_TRUE(v.isKindOf("CView"));
  EXPECT_FALSE(v.isKindOf("CViewContainer"));
  EXPECT_FALSE(v.isKindOf(nullptr));
  EXPECT_TRUE(c.isKindOf("CViewContainer"));
  EXPECT_TRUE(f.isKindOf("CFrame") && f.isKindOf("CViewContainer") && f.isKindOf("CView"));
  EXPECT_EQ(c.notify(nullptr, kMsgCheckIfViewContainer), 1);
  // Messages are matched by address, not by text.
  std::string sameText = "kMsgCheckIfViewContainer";
  EXPECT_EQ(c.notify(nullptr, sameText.c_str()), 0);
  EXPECT_EQ(v.notify(nullptr, kMsgCheckIfViewContainer), 0);
}
