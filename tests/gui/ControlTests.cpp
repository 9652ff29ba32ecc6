#include "GuiTestSupport.h"

#include <cmath>

using namespace guitest;

namespace {

class RecordingListener : public CControlListener {
 public:
  std::vector<std::string>* log;
  std::int32_t modifierAnswer = 0;
  explicit RecordingListener(std::vector<std::string>* l) : log(l) {}
  void valueChanged(CControl* c) override { log->push_back("changed " + std::to_string(c->getValue())); }
  std::int32_t modifierClicked(CControl*, std::int32_t) override {
    log->push_back("modifier");
    return modifierAnswer;
  }
  void editBegan(CControl*) override { log->push_back("began"); }
  void editEnded(CControl*) override { log->push_back("ended"); }
};

// Logs editor calls into the same list as the listener, to check ordering.
class SharedLogEditor : public VSTGUIEditorInterface {
 public:
  std::vector<std::string>* log;
  explicit SharedLogEditor(std::vector<std::string>* l) : log(l) {}
  void idleProcessing() override {}
  std::int32_t getKnobMode() const override { return 0; }
  void beginEdit(std::int32_t i) override { log->push_back("host begin " + std::to_string(i)); }
  void endEdit(std::int32_t i) override { log->push_back("host end " + std::to_string(i)); }
};

class PressableControl : public TestControl {
 public:
  using TestControl::TestControl;
  int presses = 0;
  CMouseEventResult mouseDown(CPoint&, std::int32_t) override {
    ++presses;
    return kMouseEventHandled;
  }
};

}  // namespace

TEST(Control, ANewControlIsDirtyUntilDrawnOrMarkedClean) {
  TestControl c(CRect(0, 0, 10, 10));
  EXPECT_EQ(c.getValue(), 0.0f);
  EXPECT_EQ(c.getLastValue(), -1.0f);
  EXPECT_TRUE(c.isDirty());
  c.setDirty(false);
  EXPECT_FALSE(c.isDirty());
  c.setValue(0.25f);
  EXPECT_TRUE(c.isDirty());
}

TEST(Control, ForcedDirtyWorksEvenForAValueOfMinusOne) {
  TestControl c(CRect(0, 0, 10, 10));
  c.setValue(-1.0f);
  c.setDirty(false);
  EXPECT_FALSE(c.isDirty());
  c.setDirty(true);
  EXPECT_EQ(c.getLastValue(), 0.0f);
  EXPECT_TRUE(c.isDirty());
  c.setValue(std::nanf(""));
  c.setDirty(false);
  EXPECT_TRUE(c.isDirty());  // not-a-number never equals what was drawn
}

TEST(Control, InvalidateDirtyDrawsEachChangeOnce) {
  RecordingFrame frame;
  auto* c = new TestControl(CRect(5, 5, 15, 15));
  frame.addView(c);
  frame.invalid();
  frame.invalidated.clear();
  c->setValue(0.7f);
  frame.idle();
  EXPECT_EQ(frame.invalidated, std::vector<CRect>{CRect(5, 5, 15, 15)});
  EXPECT_EQ(c->getLastValue(), 0.7f);
  frame.idle();
  EXPECT_EQ(frame.invalidated.size(), 1u);
}

TEST(Control, ControlClickRestoresTheDefaultInsideAnEdit) {
  std::vector<std::string> log;
  SharedLogEditor editor(&log);
  RecordingFrame frame(CRect(0, 0, 100, 100), &editor);
  RecordingListener listener(&log);
  auto* c = new TestControl(CRect(0, 0, 10, 10), &listener, 2);
  frame.addView(c);
  c->setDefaultValue(1.0f);
  c->setValue(0.3f);
  c->setDirty(false);

  EXPECT_FALSE(c->resetOnModifierClick(kLButton | kControl | kShift));
  EXPECT_FALSE(c->resetOnModifierClick(kLButton | kControl | kDoubleClick));
  EXPECT_FALSE(c->resetOnModifierClick(kRButton | kControl));
  EXPECT_TRUE(log.empty());

  EXPECT_TRUE(c->resetOnModifierClick(kLButton | kControl));
  EXPECT_EQ(c->getValue(), 1.0f);
  EXPECT_EQ(log, (std::vector<std::string>{"began", "host begin 2", "changed 1.000000", "host end 2", "ended"}));
  EXPECT_EQ(frame.getFocusView(), c);

  // At the default already: the bracket without a change.
  c->setDirty(false);
  log.clear();
  EXPECT_TRUE(c->resetOnModifierClick(kLButton | kControl));
  EXPECT_EQ(log, (std::vector<std::string>{"began", "host begin 2", "host end 2", "ended"}));
}

TEST(Control, TheListenerMayTakeAPressWithModifiersAway) {
  RecordingFrame frame;
  std::vector<std::string> log;
  RecordingListener listener(&log);
  auto* c = new PressableControl(CRect(0, 0, 10, 10), &listener, 0);
  frame.addView(c);
  CPoint p(5, 5);
  EXPECT_EQ(frame.mouseDown(p, kLButton), kMouseEventHandled);  // no modifier: not asked
  EXPECT_EQ(frame.mouseDown(p, kLButton | kShift), kMouseEventHandled);
  EXPECT_EQ(c->presses, 2);
  listener.modifierAnswer = 1;
  EXPECT_EQ(frame.mouseDown(p, kRButton), kMouseEventHandled);
  EXPECT_EQ(frame.mouseDown(p, kLButton | kExtraModifier), kMouseEventHandled);
  EXPECT_EQ(c->presses, 2);
  EXPECT_EQ(frame.getMouseDownView(), nullptr);
  EXPECT_EQ(log, (std::vector<std::string>{"modifier", "modifier", "modifier"}));
}
