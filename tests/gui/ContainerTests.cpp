#include "GuiTestSupport.h"

#include "gui/CDragContainer.h"
#include "gui/CViewContainer.h"

using namespace guitest;

namespace {

std::vector<CView*> forward(const CViewContainer& c) {
  std::vector<CView*> out;
  for (std::int32_t i = 0; c.viewAt(i); ++i) out.push_back(c.viewAt(i));
  return out;
}

// Backward traversal as the hit search walks: top-most first.
std::vector<CView*> backward(CViewContainer& c, CCoord x, CCoord y) {
  std::vector<CView*> out;
  std::vector<CView*> hidden;
  while (CView* v = c.viewAtPoint(CPoint(x, y))) {
    out.push_back(v);
    v->setVisible(false);
    hidden.push_back(v);
  }
  for (CView* v : hidden) v->setVisible(true);
  return out;
}

struct DestructionFlag : CView {
  bool* destroyed;
  DestructionFlag(bool* flag) : CView(CRect(0, 0, 10, 10)), destroyed(flag) {}
  ~DestructionFlag() override { *destroyed = true; }
};

class FakeDrag : public CDragContainer {
 public:
  const char* firstItem(std::int32_t&, std::int32_t&) override { return nullptr; }
  const char* nextItem(std::int32_t&, std::int32_t&) override { return nullptr; }
  std::int32_t itemType(std::int32_t) override { return kNoItem; }
  std::int32_t itemCount() override { return 0; }
};

struct DragProbe : CView {
  std::vector<std::string>* log;
  std::string name;
  DragProbe(const CRect& r, std::vector<std::string>* l, std::string n) : CView(r), log(l), name(std::move(n)) {}
  void dragEnter(CDragContainer*, const CPoint&) override { log->push_back(name + " enter"); }
  void dragLeave(CDragContainer*, const CPoint&) override { log->push_back(name + " leave"); }
  void dragMove(CDragContainer*, const CPoint&) override { log->push_back(name + " move"); }
  bool dragDrop(CDragContainer*, const CPoint&) override {
    log->push_back(name + " drop");
    return true;
  }
};

}  // namespace

TEST(Container, EmptyContainerAnswersNothing) {
  RecordingFrame frame;
  auto* c = new CViewContainer(CRect(0, 0, 50, 50));
  frame.addView(c);
  CPoint p(10, 10);
  EXPECT_EQ(c->mouseDown(p, kLButton), kMouseEventNotHandled);
  EXPECT_EQ(c->mouseUp(p, kLButton), kMouseEventNotHandled);
  EXPECT_EQ(c->mouseMoved(p, kLButton), kMouseEventNotHandled);
  EXPECT_EQ(c->viewAtPoint(p), nullptr);
  EXPECT_EQ(c->keyDown(CKeyCode{}), -1);
  EXPECT_TRUE(c->invalidateDirty());
  EXPECT_FALSE(c->mouseWheel(p, 1.0f, 0));
  EXPECT_EQ(c->viewCount(), 0);
  EXPECT_EQ(c->viewAt(0), nullptr);
}

TEST(Container, TheLastAddedOfOverlappingChildrenIsHitFirst) {
  RecordingFrame frame;
  std::vector<std::string> log;
  auto* below = new ProbeView(CRect(0, 0, 40, 40), &log, "below");
  auto* above = new ProbeView(CRect(20, 20, 60, 60), &log, "above");
  frame.addView(below);
  frame.addView(above);
  EXPECT_EQ(frame.viewAtPoint(CPoint(30, 30)), above);
  EXPECT_EQ(frame.viewAtPoint(CPoint(10, 10)), below);
  CPoint p(30, 30);
  frame.CViewContainer::mouseDown(p, kLButton);
  EXPECT_EQ(log, std::vector<std::string>{"above down"});
  // Edges of the mouse area count as inside.
  EXPECT_EQ(frame.viewAtPoint(CPoint(60, 60)), above);
  EXPECT_EQ(frame.viewAtPoint(CPoint(61, 60)), nullptr);
}

TEST(Container, InsertionKeepsBothTraversalDirectionsConsistent) {
  RecordingFrame frame;
  auto* a = new CView(CRect(0, 0, 10, 10));
  auto* b = new CView(CRect(0, 0, 10, 10));
  auto* c = new CView(CRect(0, 0, 10, 10));
  auto* inserted = new CView(CRect(0, 0, 10, 10));
  frame.addView(a);
  frame.addView(b);
  frame.addView(c);
  ASSERT_TRUE(frame.addView(inserted, b));
  const std::vector<CView*> order{a, inserted, b, c};
  EXPECT_EQ(forward(frame), order);
  EXPECT_EQ(backward(frame, 5, 5), (std::vector<CView*>{c, b, inserted, a}));

  // Removing the middle ones keeps the links right in both directions too.
  frame.removeView(inserted);
  frame.removeView(b);
  EXPECT_EQ(forward(frame), (std::vector<CView*>{a, c}));
  EXPECT_EQ(backward(frame, 5, 5), (std::vector<CView*>{c, a}));

  // Before the first child, and before a view that is no child: in front of
  // the last one.
  auto* first = new CView(CRect(0, 0, 10, 10));
  auto* stray = new CView(CRect(0, 0, 10, 10));
  frame.addView(first, a);
  frame.addView(stray, static_cast<CView*>(&frame));
  EXPECT_EQ(forward(frame), (std::vector<CView*>{first, a, stray, c}));
  EXPECT_EQ(backward(frame, 5, 5), (std::vector<CView*>{c, stray, a, first}));
}

TEST(Container, AddRefusesNullAndAttachedViews) {
  RecordingFrame frame;
  auto* v = new CView(CRect(0, 0, 5, 5));
  EXPECT_FALSE(frame.addView(nullptr));
  EXPECT_TRUE(frame.addView(v));
  EXPECT_FALSE(frame.addView(v));
  EXPECT_FALSE(frame.addView(v, nullptr));
  CView notAChild{CRect()};
  EXPECT_FALSE(frame.removeView(&notAChild, false));
  EXPECT_FALSE(frame.removeView(nullptr));
  EXPECT_EQ(frame.viewCount(), 1);
}

TEST(Container, RemovingWithReleaseDestroysTheCallersViewAndWithoutKeepsIt) {
  RecordingFrame frame;
  bool destroyed = false;
  auto* v = new DestructionFlag(&destroyed);
  frame.addView(v);
  EXPECT_EQ(v->getNbReference(), 2);
  EXPECT_TRUE(frame.removeView(v, false));
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(v->getNbReference(), 1);
  EXPECT_FALSE(v->isAttached());
  EXPECT_EQ(v->getParentView(), nullptr);

  EXPECT_TRUE(frame.addView(v));
  EXPECT_TRUE(v->isAttached());
  EXPECT_TRUE(frame.removeView(v, true));
  EXPECT_TRUE(destroyed);
}

TEST(Container, DestroyingAContainerDestroysItsChildren) {
  bool destroyed = false;
  auto* c = new CViewContainer(CRect(0, 0, 10, 10));
  c->addView(new DestructionFlag(&destroyed));
  c->release();
  EXPECT_TRUE(destroyed);
}

TEST(Container, AttachingAContainerAttachesItsSubtree) {
  RecordingFrame frame;
  auto* outer = new CViewContainer(CRect(10, 10, 100, 100));
  auto* inner = new CViewContainer(CRect(5, 5, 50, 50));
  auto* leaf = new CView(CRect(1, 1, 2, 2));
  inner->addView(leaf);
  outer->addView(inner);
  EXPECT_FALSE(leaf->isAttached());
  frame.addView(outer);
  EXPECT_TRUE(leaf->isAttached());
  EXPECT_EQ(leaf->getFrame(), &frame);
  EXPECT_EQ(leaf->getParentView(), inner);
  EXPECT_EQ(inner->getParentView(), outer);

  CPoint p(20, 20);
  leaf->toLocal(p);
  EXPECT_EQ(p, CPoint(5, 5));
  leaf->toFrame(p);
  EXPECT_EQ(p, CPoint(20, 20));
  EXPECT_EQ(frame.viewAtPoint(CPoint(16, 16), true), leaf);
  EXPECT_EQ(frame.viewAtPoint(CPoint(16, 16), false), outer);
  EXPECT_EQ(frame.containerAtPoint(CPoint(16, 16), true), inner);

  frame.removeView(outer, false);
  EXPECT_FALSE(leaf->isAttached());
  EXPECT_EQ(leaf->getFrame(), nullptr);
  outer->release();
}

TEST(Container, ColumnLayoutSpreadsAWidthChangeOverTheChildren) {
  CViewContainer c(CRect(0, 0, 90, 20));
  c.setResizeFlags(kResizeColumns);
  CView* v[3];
  for (int i = 0; i < 3; ++i) {
    v[i] = new CView(CRect(i * 30, 0, i * 30 + 30, 20));
    c.addView(v[i]);
  }
  c.setBounds(CRect(0, 0, 100, 20));
  EXPECT_EQ(v[0]->getBounds(), CRect(0, 0, 33, 20));
  EXPECT_EQ(v[1]->getBounds(), CRect(33, 0, 66, 20));
  EXPECT_EQ(v[2]->getBounds(), CRect(66, 0, 99, 20));
  EXPECT_EQ(v[2]->getMouseArea(), CRect(66, 0, 99, 20));
  EXPECT_TRUE(v[2]->isDirty());
}

TEST(Container, EdgeFlagsMoveOrStretchChildren) {
  CViewContainer c(CRect(0, 0, 100, 100));
  auto* stretch = new CView(CRect(10, 10, 20, 20));
  stretch->setResizeFlags(kResizeKeepLeft | kResizeFollowRight | kResizeKeepTop | kResizeFollowBottom);
  auto* follow = new CView(CRect(10, 10, 20, 20));
  follow->setResizeFlags(kResizeFollowRight | kResizeFollowBottom);
  auto* fixed = new CView(CRect(10, 10, 20, 20));
  c.addView(stretch);
  c.addView(follow);
  c.addView(fixed);
  c.setBounds(CRect(0, 0, 110, 95));
  EXPECT_EQ(stretch->getBounds(), CRect(10, 10, 30, 15));
  EXPECT_EQ(follow->getBounds(), CRect(20, 5, 30, 15));
  EXPECT_EQ(fixed->getBounds(), CRect(10, 10, 20, 20));
}

TEST(Container, SettingTheSameBoundsChangesNothing) {
  CViewContainer c(CRect(0, 0, 50, 50));
  c.invalid();
  c.setDirty(false);
  c.setBounds(CRect(0, 0, 50, 50));
  EXPECT_FALSE(c.isDirty());
  c.setBounds(CRect(0, 0, 60, 50));
  EXPECT_TRUE(c.isDirty());
}

TEST(Container, DirtyChildrenCountOnlyInsideTheContainer) {
  CViewContainer c(CRect(0, 0, 50, 50));
  c.setDirty(false);
  auto* inside = new CView(CRect(10, 10, 20, 20));
  auto* outside = new CView(CRect(60, 60, 70, 70));
  c.addView(inside);
  c.addView(outside);
  outside->setDirty(true);
  EXPECT_FALSE(c.isDirty());
  inside->setDirty(true);
  EXPECT_TRUE(c.isDirty());
}

TEST(Container, InvalidateDirtyTurnsDirtyViewsIntoRepaints) {
  RecordingFrame frame;
  auto* group = new CViewContainer(CRect(100, 100, 200, 200));
  auto* nested = new CView(CRect(10, 10, 20, 20));
  auto* plain = new CView(CRect(5, 5, 15, 15));
  auto* hidden = new CView(CRect(30, 30, 40, 40));
  group->addView(nested);
  frame.addView(group);
  frame.addView(plain);
  frame.addView(hidden);
  frame.setDirty(false);
  group->setDirty(false);
  frame.invalidated.clear();

  plain->setDirty(true);
  nested->setDirty(true);
  hidden->setDirty(true);
  hidden->setVisible(false);
  EXPECT_TRUE(frame.idle());
  EXPECT_EQ(frame.invalidated, (std::vector<CRect>{CRect(110, 110, 120, 120), CRect(5, 5, 15, 15)}));
  EXPECT_FALSE(plain->isDirty());
  EXPECT_FALSE(nested->isDirty());

  // A dirty container repaints as a whole and stays dirty until drawn.
  frame.invalidated.clear();
  group->setDirty(true);
  frame.idle();
  EXPECT_EQ(frame.invalidated, std::vector<CRect>{CRect(100, 100, 200, 200)});

  // Invalidation through a container is clipped to it.
  frame.invalidated.clear();
  group->invalidRect(CRect(90, 90, 150, 150));
  EXPECT_EQ(frame.invalidated, std::vector<CRect>{CRect(190, 190, 200, 200)});
  group->invalidRect(CRect(200, 0, 300, 50));
  EXPECT_EQ(frame.invalidated.size(), 1u);
}

TEST(Container, VisibleRectIsClippedByEveryAncestor) {
  RecordingFrame frame(CRect(0, 0, 100, 100));
  auto* outer = new CViewContainer(CRect(50, 50, 150, 150));
  auto* v = new CView(CRect(40, 40, 80, 80));
  outer->addView(v);
  frame.addView(outer);
  EXPECT_EQ(v->getVisibleBounds(), CRect(40, 40, 50, 50));
}

TEST(Container, MouseGoesToTheViewThatTookThePress) {
  RecordingFrame frame;
  std::vector<std::string> log;
  auto* group = new CViewContainer(CRect(100, 100, 200, 200));
  auto* probe = new ProbeView(CRect(10, 10, 30, 30), &log, "p");
  group->addView(probe);
  frame.addView(group);

  CPoint p(15, 15);
  EXPECT_EQ(group->mouseDown(p, kLButton), kMouseEventNotHandled);  // outside: 15 - 100 < 10
  p = CPoint(115, 115);
  EXPECT_EQ(group->mouseDown(p, kLButton), kMouseEventHandled);
  EXPECT_EQ(probe->lastPoint, CPoint(15, 15));
  p = CPoint(150, 150);
  EXPECT_EQ(group->mouseMoved(p, kLButton), kMouseEventHandled);
  EXPECT_EQ(probe->lastPoint, CPoint(50, 50));
  EXPECT_EQ(group->mouseUp(p, kLButton), kMouseEventHandled);
  EXPECT_EQ(group->mouseUp(p, kLButton), kMouseEventNotHandled);

  // A press that does not want the moves leaves no mouse-down view.
  probe->downResult = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
  p = CPoint(115, 115);
  EXPECT_EQ(group->mouseDown(p, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  EXPECT_EQ(group->mouseMoved(p, kLButton), kMouseEventNotHandled);

  // A move the view refuses ends the gesture.
  probe->downResult = kMouseEventHandled;
  probe->movedResult = kMouseEventNotHandled;
  group->mouseDown(p, kLButton);
  EXPECT_EQ(group->mouseMoved(p, kLButton), kMouseEventNotHandled);
  EXPECT_EQ(group->mouseUp(p, kLButton), kMouseEventNotHandled);
}

TEST(Container, RemovingThePressedViewEndsTheGestureSafely) {
  RecordingFrame frame;
  auto* probe = new ProbeView(CRect(0, 0, 30, 30));
  frame.addView(probe);
  CPoint p(5, 5);
  frame.CViewContainer::mouseDown(p, kLButton);
  frame.removeView(probe);
  EXPECT_EQ(frame.CViewContainer::mouseMoved(p, kLButton), kMouseEventNotHandled);
  EXPECT_EQ(frame.CViewContainer::mouseUp(p, kLButton), kMouseEventNotHandled);
}

TEST(Container, HiddenOrDisabledChildrenAreNotPressed) {
  RecordingFrame frame;
  std::vector<std::string> log;
  auto* below = new ProbeView(CRect(0, 0, 30, 30), &log, "below");
  auto* above = new ProbeView(CRect(0, 0, 30, 30), &log, "above");
  frame.addView(below);
  frame.addView(above);
  CPoint p(5, 5);
  above->setMouseEnabled(false);
  frame.CViewContainer::mouseDown(p, kLButton);
  above->setMouseEnabled(true);
  above->setVisible(false);
  frame.CViewContainer::mouseDown(p, kLButton);
  EXPECT_EQ(log, (std::vector<std::string>{"below down", "below down"}));
  EXPECT_FALSE(frame.hitTestChildren(CPoint(40, 40), kLButton));
  EXPECT_TRUE(frame.hitTestChildren(CPoint(5, 5), kLButton));
}

TEST(Container, KeysGoFromTheTopChildDownUntilOneTakesThem) {
  CViewContainer c(CRect(0, 0, 10, 10));
  std::vector<std::string> log;
  auto* a = new ProbeView(CRect(), &log, "a");
  auto* b = new ProbeView(CRect(), &log, "b");
  c.addView(a);
  c.addView(b);
  a->keyResult = 5;
  EXPECT_EQ(c.keyDown(CKeyCode{}), 5);
  EXPECT_EQ(log, (std::vector<std::string>{"b key", "a key"}));
  b->keyResult = 0;  // zero counts as handled
  EXPECT_EQ(c.keyDown(CKeyCode{}), 0);
}

TEST(Container, WheelGoesToTheChildUnderThePointerInItsCoordinates) {
  RecordingFrame frame;
  auto* group = new CViewContainer(CRect(100, 100, 200, 200));
  auto* probe = new ProbeView(CRect(10, 10, 30, 30));
  group->addView(probe);
  frame.addView(group);
  EXPECT_TRUE(group->mouseWheel(CPoint(120, 120), -1.0f, 0));
  EXPECT_EQ(probe->lastPoint, CPoint(20, 20));
  EXPECT_EQ(probe->lastDistance, -1.0f);
  EXPECT_FALSE(group->mouseWheel(CPoint(150, 150), 1.0f, 0));
}

TEST(Container, DragsEnterMoveLeaveAndDropOnTheChildUnderThePointer) {
  RecordingFrame frame;
  std::vector<std::string> log;
  frame.addView(new DragProbe(CRect(0, 0, 50, 50), &log, "a"));
  frame.addView(new DragProbe(CRect(60, 0, 100, 50), &log, "b"));
  FakeDrag drag;
  frame.dragEnter(&drag, CPoint(10, 10));
  frame.dragMove(&drag, CPoint(20, 10));
  frame.dragMove(&drag, CPoint(70, 10));
  EXPECT_TRUE(frame.dragDrop(&drag, CPoint(10, 10)));
  EXPECT_FALSE(frame.dragDrop(&drag, CPoint(55, 10)));
  frame.dragLeave(&drag, CPoint(0, 0));
  EXPECT_EQ(log, (std::vector<std::string>{"a enter", "a move", "a leave", "b enter", "b leave", "a drop",
                                           "a leave"}));
}
