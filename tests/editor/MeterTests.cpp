// The meter's bars as drawn: lengths read back from the pixels of a frame
// that holds only the meter.

#include <cmath>

#include "EditorTestSupport.h"

namespace editortest {
namespace {

struct Lengths {
  int inLeft, inRight, outLeft, outRight, reduction;
};

class Meter : public ::testing::Test {
 protected:
  void SetUp() override { frame->addView(meter); }
  void TearDown() override { frame->release(); }

  // One redraw after a hand-over, as the editor's idle step and the next
  // paint make it. A bar's length is where its colour ends, minus its origin.
  Lengths redraw() {
    meter->hasNewValues = true;
    COffscreenContext screen(frame, 340, 215);
    frame->drawRect(&screen, frame->getBounds());
    auto along = [&](CCoord y) {
      CCoord x = 35;
      while (pixel(screen, x, y) == CDraw::kLevelColor) ++x;
      return x - 34;
    };
    CCoord y = 30;
    while (pixel(screen, 305, y) == CDraw::kReductionColor) ++y;
    return {along(32), along(40), along(170), along(178), y - 29};
  }

  CFrame* frame = new CFrame(CRect(0, 0, 340, 215), nullptr, nullptr);
  CDraw* meter = new CDraw(CRect(0, 0, 340, 215));
};

TEST_F(Meter, SilenceDrawsNoBars) {
  const Lengths l = redraw();
  EXPECT_EQ(l.inLeft, 1);
  EXPECT_EQ(l.inRight, 1);
  EXPECT_EQ(l.outLeft, 1);
  EXPECT_EQ(l.outRight, 1);
  EXPECT_EQ(l.reduction, 1);
}

TEST_F(Meter, FullScaleFillsTheInputBarAndHotterInputDoesNotOverrunIt) {
  meter->inputPeak[0] = 1.0f;
  meter->inputPeak[1] = 4.0f;
  const Lengths l = redraw();
  EXPECT_EQ(l.inLeft, 222);  // x 35 up to 256, exclusive
  EXPECT_EQ(l.inRight, 222);
}

TEST_F(Meter, PeaksHoldAndFallSixPixelsPerRedraw) {
  meter->inputPeak[0] = 1.0f;
  EXPECT_EQ(redraw().inLeft, 222);
  meter->inputPeak[0] = CDraw::kLevelFloor;
  EXPECT_EQ(redraw().inLeft, 216);
  EXPECT_EQ(redraw().inLeft, 210);
  for (int i = 0; i < 40; ++i) redraw();
  EXPECT_EQ(redraw().inLeft, 1);
}

TEST_F(Meter, BelowTheThresholdTheOutputIsTheInputMadeUpAndNothingIsReduced) {
  meter->thresholdTenths = -100.0f;
  meter->inputPeak[0] = 0.1f;  // -20 dBFS
  const Lengths l = redraw();
  EXPECT_EQ(l.outLeft, 149);  // 200 tenths above -30 dB: trunc(200 * 0.735 + 2)
  EXPECT_EQ(l.reduction, 1);
}

TEST_F(Meter, AnEnvelopeAboveTheThresholdIsTheReduction) {
  meter->thresholdTenths = -100.0f;
  meter->envelopeLevel = 32.0f * std::pow(10.0f, -0.35f);  // -7 dBFS in the engine's scale
  EXPECT_EQ(redraw().reduction, 40);                       // 3 dB: y 30 up to 69, exclusive
}

TEST_F(Meter, InputOverTheCeilingIsLimitedAndItsExcessCountsAsReduction) {
  meter->thresholdTenths = -100.0f;
  meter->inputPeak[0] = meter->inputPeak[1] = 2.0f;  // +6.02 dBFS
  const Lengths l = redraw();
  EXPECT_EQ(l.outLeft, 222);
  EXPECT_EQ(l.outRight, 222);
  EXPECT_EQ(l.reduction, 112);  // 160.2 tenths
}

TEST_F(Meter, ThirtyDecibelsOfReductionFillTheReductionBar) {
  meter->thresholdTenths = -300.0f;
  meter->inputPeak[0] = 1.0f;
  const Lengths l = redraw();
  EXPECT_EQ(l.reduction, 152);  // bottom edge 181
  meter->inputPeak[0] = 1e30f;
  meter->inputPeak[1] = INFINITY;
  EXPECT_EQ(redraw().reduction, 152);
  EXPECT_EQ(redraw().inRight, 222);
}

TEST_F(Meter, WithoutNewValuesAPaintShowsNoBars) {
  meter->inputPeak[0] = 1.0f;
  redraw();
  COffscreenContext screen(frame, 340, 215);
  frame->drawRect(&screen, frame->getBounds());
  EXPECT_FALSE(pixel(screen, 40, 32) == CDraw::kLevelColor);
}

}  // namespace
}  // namespace editortest
