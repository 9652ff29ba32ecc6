// The faders as the user works them, seen from the host: values, the order of
// the edit brackets, and where the handle is drawn.

#include "EditorTestSupport.h"

namespace editortest {
namespace {

class Slider : public EditorTest {
 protected:
  CSlider* fader() const { return editor()->getThresholdSlider(); }

  // Whether the fader draws its handle image with its left edge at x.
  static bool handleDrawnAt(CSlider* slider, CCoord x) {
    COffscreenContext drawn(nullptr, 340, 215), expected(nullptr, 340, 215);
    slider->draw(&drawn);
    const CRect& b = slider->getBounds();
    slider->getHandle()->drawTransparent(&expected, CRect(x, b.top, x + 19, b.top + 18));
    return samePixels(drawn, expected, CRect(0, 0, 340, 215));
  }
};

TEST_F(Slider, HandleStandsAtTheInstancesValueWhenOpened) {
  setParameter(Quelmar::kThreshold, 0.0f);
  openEditor();
  EXPECT_TRUE(handleDrawnAt(fader(), 26));
  EXPECT_TRUE(handleDrawnAt(editor()->getOutputSlider(), 246));
}

TEST_F(Slider, APressJumpsToThePointerAtOnceAsOneEditAndClampsAtTheEnds) {
  openEditor();
  EXPECT_EQ(press(134, 80), kMouseEventHandled);
  const float expected = (134 - 34) / 220.0f;  // grabbed 9 pixels into the handle
  EXPECT_FLOAT_EQ(getParameter(Quelmar::kThreshold), expected);
  EXPECT_EQ(editRequests(), (std::vector<Request>{begin(0), automate(0, expected)}));
  EXPECT_TRUE(handleDrawnAt(fader(), 26 + 100));
  release(134, 80);
  EXPECT_EQ(editRequests().back(), end(0));

  // Beyond the ends of the travel the value stays in range.
  press(134, 80);
  move(20, 80);
  EXPECT_EQ(getParameter(Quelmar::kThreshold), 0.0f);
  release(20, 80);
  press(260, 80);
  EXPECT_EQ(getParameter(Quelmar::kThreshold), 1.0f);
  release(260, 80);
}

TEST_F(Slider, ShiftMovesTenTimesFinerFromTheValueAtThePress) {
  setParameter(Quelmar::kThreshold, 0.5f);
  openEditor();
  // On the handle's grab point the pointer's own position equals the value.
  EXPECT_EQ(press(144, 80, kLButton | kShift), kMouseEventHandled);
  EXPECT_EQ(getParameter(Quelmar::kThreshold), 0.5f);
  EXPECT_EQ(editRequests(), std::vector<Request>{begin(0)});
  move(166, 80, kLButton | kShift);
  EXPECT_NEAR(getParameter(Quelmar::kThreshold), 0.51f, 1e-6);
  move(188, 80, kLButton | kShift);
  EXPECT_NEAR(getParameter(Quelmar::kThreshold), 0.52f, 1e-6);
  release(188, 80);
  EXPECT_EQ(editRequests().back(), end(0));

  // Far from the grab point the first move goes a tenth of the way there.
  setParameter(Quelmar::kThreshold, 0.5f);
  press(34, 80, kLButton | kShift);
  move(34, 80, kLButton | kShift);
  EXPECT_NEAR(getParameter(Quelmar::kThreshold), 0.45f, 1e-6);
  release(34, 80);
}

TEST_F(Slider, ControlClickRestoresZeroDecibelsInsideTheOuterEdit) {
  setParameter(Quelmar::kThreshold, 0.3f);
  openEditor();
  EXPECT_EQ(press(100, 80, kLButton | kControl), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  EXPECT_EQ(getParameter(Quelmar::kThreshold), 1.0f);
  EXPECT_EQ(editRequests(), (std::vector<Request>{begin(0), begin(0), automate(0, 1.0f), end(0), end(0)}));

  // Taking the keyboard focus marks the fader for redrawing, which the reset
  // reads as a change: a reset at the default still reports its value.
  editor()->idle();
  clearRequests();
  press(100, 80, kLButton | kControl);
  EXPECT_EQ(editRequests(), (std::vector<Request>{begin(0), begin(0), automate(0, 1.0f), end(0), end(0)}));

  // Anything more than left and Control is no reset.
  setParameter(Quelmar::kThreshold, 0.3f);
  press(100, 80, kLButton | kControl | kShift);
  release(100, 80);
  EXPECT_EQ(getParameter(Quelmar::kThreshold), 0.3f);
}

TEST_F(Slider, WheelStepsATenthOrWithShiftAHundredthAndStopsAtTheEnd) {
  setParameter(Quelmar::kThreshold, 0.5f);
  openEditor();
  EXPECT_TRUE(frame()->mouseWheel(CPoint(100, 80), 1.0f, 0));
  EXPECT_FLOAT_EQ(getParameter(Quelmar::kThreshold), 0.6f);
  EXPECT_EQ(editRequests(), (std::vector<Request>{begin(0), automate(0, 0.6f), end(0)}));
  frame()->mouseWheel(CPoint(100, 80), -1.0f, kShift);
  EXPECT_FLOAT_EQ(getParameter(Quelmar::kThreshold), 0.59f);

  setParameter(Quelmar::kThreshold, 0.95f);
  frame()->mouseWheel(CPoint(100, 80), 1.0f, 0);
  EXPECT_EQ(getParameter(Quelmar::kThreshold), 1.0f);
  editor()->idle();
  clearRequests();
  EXPECT_TRUE(frame()->mouseWheel(CPoint(100, 80), 1.0f, 0));
  EXPECT_TRUE(editRequests().empty());
}

TEST_F(Slider, ArrowKeysReachTheFaderLastPressed) {
  setParameter(Quelmar::kThreshold, 0.5f);
  openEditor();
  press(144, 80, kLButton | kShift);  // takes the focus without moving
  release(144, 80);
  clearRequests();
  EXPECT_EQ(dispatch(effEditKeyDown, 0, kVirtualKeyRight), 1);
  EXPECT_FLOAT_EQ(getParameter(Quelmar::kThreshold), 0.6f);
  EXPECT_EQ(editRequests(), (std::vector<Request>{begin(0), automate(0, 0.6f), end(0)}));
  EXPECT_EQ(dispatch(effEditKeyDown, 0, kVirtualKeyLeft, nullptr, 1.0f), 1);  // with Shift
  EXPECT_FLOAT_EQ(getParameter(Quelmar::kThreshold), 0.59f);
  EXPECT_EQ(dispatch(effEditKeyDown, 0, kVirtualKeyDown), 1);
  EXPECT_FLOAT_EQ(getParameter(Quelmar::kThreshold), 0.49f);
  EXPECT_EQ(dispatch(effEditKeyDown, 'a', 0), 0);
  EXPECT_EQ(getParameter(Quelmar::kOutput), 1.0f);
}

}  // namespace
}  // namespace editortest
