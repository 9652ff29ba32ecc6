#include "GuiTestSupport.h"

#include "gui/CMouseObserver.h"

using namespace guitest;

namespace {

struct FocusProbe : ProbeView {
  using ProbeView::ProbeView;
  bool accepts() const { return acceptsFocus(); }
};

struct NotifyRecorder : CViewContainer {
  std::vector<const char*> messages;
  using CViewContainer::CViewContainer;
  std::int32_t notify(CBaseObject* sender, const char* message) override {
    if (message == kMsgNewFocusView || message == kMsgOldFocusView) messages.push_back(message);
    return CViewContainer::notify(sender, message);
  }
};

struct ObserverLog : IMouseObserver {
  std::vector<std::string> log;
  void onMouseEntered(CView*, CFrame*) override { log.push_back("entered"); }
  void onMouseExited(CView*, CFrame*) override { log.push_back("exited"); }
  void onMouseMoved(CFrame*, const CPoint&) override { log.push_back("moved"); }
  void onMouseDown(CFrame*, const CPoint&) override { log.push_back("down"); }
};

CKeyCode tab(bool shift = false) { return CKeyCode{0, kVirtualKeyTab, std::uint8_t(shift ? kModifierShift : 0)}; }

}  // namespace

TEST(Frame, MouseDownThatNoViewTakesAnswersNotHandled) {
  RecordingFrame frame;
  std::vector<std::string> log;
  auto* probe = new ProbeView(CRect(10, 10, 20, 20), &log, "p");
  frame.addView(probe);
  CPoint p(50, 50);
  EXPECT_EQ(frame.mouseDown(p, kLButton), kMouseEventNotHandled);
  EXPECT_EQ(frame.getMouseDownView(), nullptr);
  p = CPoint(15, 15);
  EXPECT_EQ(frame.mouseDown(p, kLButton | kDoubleClick), kMouseEventHandled);
  EXPECT_EQ(frame.getMouseDownView(), probe);
  p = CPoint(40, 40);
  EXPECT_EQ(frame.mouseMoved(p, kLButton), kMouseEventHandled);
  EXPECT_EQ(probe->lastPoint, CPoint(40, 40));
  EXPECT_EQ(frame.mouseUp(p, 0), kMouseEventHandled);
  EXPECT_EQ(frame.getMouseDownView(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"p down", "p moved", "p up"}));
}

TEST(Frame, MovesEnterAndLeaveViewsWithLocalPoints) {
  RecordingFrame frame;
  ObserverLog observer;
  frame.setMouseObserver(&observer);
  std::vector<std::string> log;
  auto* group = new CViewContainer(CRect(100, 100, 200, 200));
  auto* inner = new ProbeView(CRect(10, 10, 50, 50), &log, "inner");
  auto* outer = new ProbeView(CRect(0, 0, 50, 50), &log, "outer");
  group->addView(inner);
  frame.addView(group);
  frame.addView(outer);

  CPoint p(5, 5);
  EXPECT_EQ(frame.mouseMoved(p, 0), kMouseEventHandled);
  EXPECT_TRUE(frame.isMouseTracking());
  p = CPoint(6, 6);
  frame.mouseMoved(p, 0);
  p = CPoint(120, 130);
  frame.mouseMoved(p, 0);
  EXPECT_EQ(inner->lastPoint, CPoint(20, 30));
  EXPECT_EQ(frame.getMouseOverView(), inner);
  p = CPoint(300, 10);
  EXPECT_EQ(frame.mouseMoved(p, 0), kMouseEventHandled);
  EXPECT_EQ(frame.mouseMoved(p, 0), kMouseEventNotHandled);
  EXPECT_EQ(log, (std::vector<std::string>{"outer entered", "outer moved", "outer exited", "inner entered",
                                           "inner exited"}));
  EXPECT_EQ(observer.log, (std::vector<std::string>{"moved", "entered", "moved", "moved", "exited", "entered",
                                                    "moved", "exited", "moved"}));

  p = CPoint(120, 130);
  frame.mouseMoved(p, 0);
  log.clear();
  frame.mouseExited(p, 0);
  EXPECT_EQ(log, std::vector<std::string>{"inner exited"});
  EXPECT_EQ(frame.getMouseOverView(), nullptr);
  EXPECT_FALSE(frame.isMouseTracking());
  frame.setMouseObserver(nullptr);
}

TEST(Frame, MouseDownTakesTheFocusAndTheHoverAway) {
  RecordingFrame frame;
  std::vector<std::string> log;
  auto* v = new ProbeView(CRect(0, 0, 50, 50), &log, "v");
  v->setAcceptsFocus(true);
  frame.addView(v);
  frame.setFocusView(v);
  CPoint p(10, 10);
  frame.mouseMoved(p, 0);
  log.clear();
  v->downResult = kMouseEventNotHandled;
  frame.mouseDown(p, kLButton);
  EXPECT_EQ(frame.getFocusView(), nullptr);
  EXPECT_EQ(frame.getMouseOverView(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"v lose", "v exited", "v down"}));
}

TEST(Frame, OnlyOneModalViewAtATimeAndItTakesMiceAndKeysFirst) {
  RecordingFrame frame;
  std::vector<std::string> log;
  auto* below = new ProbeView(CRect(0, 0, 340, 215), &log, "below");
  frame.addView(below);
  auto* first = new ProbeView(CRect(0, 0, 100, 100), &log, "modal");
  auto* second = new ProbeView(CRect(0, 0, 100, 100), &log, "second");
  ASSERT_TRUE(frame.setModalView(first));
  EXPECT_FALSE(frame.setModalView(second));
  EXPECT_EQ(frame.getModalView(), first);

  CPoint p(200, 200);
  EXPECT_EQ(frame.mouseDown(p, kLButton), kMouseEventNotHandled);  // outside the modal view
  p = CPoint(50, 50);
  EXPECT_EQ(frame.mouseDown(p, kLButton), kMouseEventHandled);
  EXPECT_EQ(frame.getMouseDownView(), first);
  frame.mouseUp(p, 0);
  first->keyResult = 1;
  EXPECT_EQ(frame.keyDown(CKeyCode{'a', 0, 0}), 1);
  EXPECT_TRUE(frame.mouseWheel(CPoint(300, 200), 1.0f, 0));
  EXPECT_EQ(log, (std::vector<std::string>{"modal down", "modal up", "modal key", "modal wheel"}));

  ASSERT_TRUE(frame.setModalView(nullptr));
  EXPECT_EQ(first->getNbReference(), 1);  // removed without release
  EXPECT_FALSE(first->isAttached());
  EXPECT_TRUE(frame.setModalView(second));
  EXPECT_TRUE(frame.setModalView(nullptr));
  EXPECT_FALSE(frame.setModalView(below));  // attached views cannot be modal
  EXPECT_EQ(frame.getModalView(), nullptr);

  first->release();
  second->release();
}

TEST(Frame, WheelGoesNowhereDuringAPress) {
  RecordingFrame frame;
  auto* v = new ProbeView(CRect(0, 0, 50, 50));
  frame.addView(v);
  EXPECT_TRUE(frame.mouseWheel(CPoint(10, 10), -1.0f, 0));
  EXPECT_EQ(v->lastDistance, -1.0f);
  CPoint p(10, 10);
  frame.mouseDown(p, kLButton);
  EXPECT_FALSE(frame.mouseWheel(CPoint(10, 10), 1.0f, 0));
  frame.mouseUp(p, 0);
  EXPECT_FALSE(frame.mouseWheel(CPoint(100, 100), 1.0f, 0));
}

TEST(Frame, TabWalksTheFocusableViewsAndFallsOffTheEnd) {
  RecordingFrame frame;
  std::vector<std::string> log;
  ProbeView* v[3];
  for (int i = 0; i < 3; ++i) {
    const char* names[3] = {"v0", "v1", "v2"};
    v[i] = new ProbeView(CRect(i * 10, 0, i * 10 + 10, 10), &log, names[i]);
    frame.addView(v[i]);
  }
  v[0]->setAcceptsFocus(true);
  v[2]->setAcceptsFocus(true);

  EXPECT_EQ(frame.keyDown(tab()), 1);
  EXPECT_EQ(frame.getFocusView(), v[0]);
  EXPECT_EQ(frame.keyDown(tab()), 1);
  EXPECT_EQ(frame.getFocusView(), v[2]);
  EXPECT_EQ(frame.keyDown(tab()), -1);
  EXPECT_EQ(frame.getFocusView(), nullptr);
  EXPECT_EQ(frame.keyDown(tab(true)), 1);
  EXPECT_EQ(frame.getFocusView(), v[2]);
  EXPECT_EQ(frame.keyDown(tab(true)), 1);
  EXPECT_EQ(frame.getFocusView(), v[0]);

  // The focus view sees keys before anything else.
  v[0]->keyResult = 7;
  EXPECT_EQ(frame.keyDown(tab()), 7);
  EXPECT_EQ(frame.getFocusView(), v[0]);
  EXPECT_EQ(frame.keyUp(tab()), -1);
  EXPECT_EQ(frame.keyDown(CKeyCode{'x', 0, 0}), 7);
  v[0]->keyResult = -1;
  EXPECT_EQ(frame.keyDown(CKeyCode{'x', 0, 0}), -1);
}

TEST(Frame, TabLeavesANestedContainerForTheNextView) {
  RecordingFrame frame;
  auto* group = new NotifyRecorder(CRect(0, 0, 100, 100));
  auto* a = new ProbeView(CRect(0, 0, 10, 10));
  auto* b = new ProbeView(CRect(10, 0, 20, 10));
  auto* after = new ProbeView(CRect(200, 0, 210, 10));
  for (auto* v : {a, b, after}) v->setAcceptsFocus(true);
  group->addView(a);
  group->addView(b);
  frame.addView(group);
  frame.addView(after);

  frame.keyDown(tab());
  EXPECT_EQ(frame.getFocusView(), a);
  frame.keyDown(tab());
  EXPECT_EQ(frame.getFocusView(), b);
  frame.keyDown(tab());
  EXPECT_EQ(frame.getFocusView(), after);
  frame.keyDown(tab(true));
  EXPECT_EQ(frame.getFocusView(), b);
  EXPECT_EQ(group->messages,
            (std::vector<const char*>{kMsgNewFocusView, kMsgNewFocusView, kMsgOldFocusView, kMsgOldFocusView,
                                      kMsgNewFocusView}));
  EXPECT_TRUE(b->isDirty());
}

TEST(Frame, RemovingAViewForgetsItAsFocusHoverOrModalView) {
  RecordingFrame frame;
  auto* group = new CViewContainer(CRect(0, 0, 100, 100));
  auto* inner = new ProbeView(CRect(0, 0, 50, 50));
  inner->setAcceptsFocus(true);
  group->addView(inner);
  frame.addView(group);
  frame.setFocusView(inner);
  CPoint p(10, 10);
  frame.mouseMoved(p, 0);
  ASSERT_EQ(frame.getMouseOverView(), inner);
  frame.removeView(group);  // takes the nested views with it
  EXPECT_EQ(frame.getFocusView(), nullptr);
  EXPECT_EQ(frame.getMouseOverView(), nullptr);
  EXPECT_EQ(frame.keyDown(CKeyCode{'a', 0, 0}), -1);
  frame.mouseMoved(p, 0);

  auto* modal = new ProbeView(CRect(0, 0, 10, 10));
  frame.setModalView(modal);
  frame.removeView(modal, false);
  EXPECT_EQ(frame.getModalView(), nullptr);
  modal->release();
}

TEST(Frame, ForwardsIdleEditsAndKnobModeToTheEditor) {
  FakeEditor editor;
  editor.mode = 2;
  RecordingFrame frame(CRect(0, 0, 100, 100), &editor);
  auto* control = new TestControl(CRect(0, 0, 10, 10), nullptr, 3);
  frame.addView(control);
  EXPECT_EQ(control->getEditor(), &editor);
  EXPECT_EQ(frame.knobMode(), 2);
  frame.editorIdle();
  control->beginEdit();
  control->endEdit();
  control->runIdleProcessing();
  EXPECT_EQ(editor.calls, (std::vector<std::string>{"idle", "begin 3", "end 3", "idle"}));
  EXPECT_EQ(frame.getFocusView(), control);

  RecordingFrame lonely;
  EXPECT_EQ(lonely.knobMode(), 0);
  lonely.editorIdle();
  lonely.beginEdit(1);
}

TEST(Frame, IdleInvalidatesOnlyWhileOpen) {
  RecordingFrame frame;
  frame.invalidated.clear();
  EXPECT_TRUE(frame.idle());  // a new frame is dirty: all of it
  EXPECT_EQ(frame.invalidated, std::vector<CRect>{CRect(0, 0, 340, 215)});
  frame.setOpen(false);
  frame.invalidated.clear();
  EXPECT_FALSE(frame.idle());
  EXPECT_TRUE(frame.invalidated.empty());
}

TEST(Frame, MarkDirtyInMarksTheOverlappingChildren) {
  RecordingFrame frame;
  auto* a = new CView(CRect(0, 0, 10, 10));
  auto* b = new CView(CRect(20, 20, 30, 30));
  frame.addView(a);
  frame.addView(b);
  frame.markDirtyIn(CRect(10, 10, 15, 15));
  EXPECT_TRUE(a->isDirty());
  EXPECT_FALSE(b->isDirty());
}

TEST(Frame, WithoutAWindowItHasNoWindowServices) {
  RecordingFrame frame;
  EXPECT_EQ(frame.getPlatformWindow(), nullptr);
  EXPECT_EQ(frame.getBackBuffer(), nullptr);
  EXPECT_TRUE(frame.setDropActive(false));
  EXPECT_FALSE(frame.setDropActive(true));
  EXPECT_FALSE(frame.isDropActive());
  CCoord x = 0, y = 0;
  EXPECT_FALSE(frame.setPosition(1, 1));
  EXPECT_FALSE(frame.getPosition(x, y));
  CRect r;
  EXPECT_FALSE(frame.getSize(r));
  EXPECT_FALSE(frame.getSize(nullptr));
  CPoint where(9, 9);
  EXPECT_TRUE(frame.getMouseLocation(where));
  EXPECT_EQ(frame.getMouseButtons(), 0);
  frame.setCursor(kCursorHand);
  frame.setCursor(42);
  EXPECT_EQ(frame.clone(), nullptr);
  CDrawContext* context = frame.createDrawContext();
  EXPECT_FALSE(context->hasGraphics());
  context->release();
}

TEST(Frame, SetSizeRefusesTheCurrentSizeAndAClosedFrame) {
  RecordingFrame frame(CRect(0, 0, 100, 80));
  auto* child = new CView(CRect(0, 0, 100, 80));
  child->setResizeFlags(kResizeKeepLeft | kResizeFollowRight);
  frame.addView(child);
  EXPECT_FALSE(frame.setSize(100, 80));
  EXPECT_TRUE(frame.setSize(120, 90));
  EXPECT_EQ(frame.getBounds(), CRect(0, 0, 120, 90));
  EXPECT_EQ(child->getBounds(), CRect(0, 0, 120, 80));
  frame.setOpen(false);
  EXPECT_FALSE(frame.setSize(200, 200));
  EXPECT_EQ(frame.getBounds(), CRect(0, 0, 120, 90));
}

TEST(Frame, TicksComeFromTheInjectedClock) {
  FakeClock clock;
  ScopedClock scoped(&clock);
  clock.now = 123456;
  RecordingFrame frame;
  EXPECT_EQ(frame.ticks(), 123456u);
  platform::sleep(4);
  EXPECT_EQ(frame.ticks(), 123460u);
  EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>{4});
}
