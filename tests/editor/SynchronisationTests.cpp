// The editor and the instance in step: host automation into the views, the
// views' changes into the host, the fader link, and the meter hand-over.

#include <thread>

#include "EditorTestSupport.h"

namespace editortest {
namespace {

using Synchronisation = EditorTest;

TEST_F(Synchronisation, HostAutomationMovesTheViewsAndSendsNothingBack) {
  openEditor();
  setParameter(Quelmar::kThreshold, 0.5f);
  setParameter(Quelmar::kIspDetection, 1.0f);
  EXPECT_EQ(editor()->getThresholdSlider()->getValue(), 0.5f);
  EXPECT_EQ(editor()->getThresholdDisplay()->getValue(), 0.5f);
  EXPECT_EQ(editor()->getMeter()->thresholdTenths, -150.0f);
  EXPECT_EQ(editor()->getIspButton()->getValue(), 1.0f);
  EXPECT_TRUE(editor()->getThresholdDisplay()->isDirty());
  EXPECT_TRUE(editRequests().empty());
  EXPECT_EQ(countRequests(audioMasterUpdateDisplay), 0u);
  editor()->idle();
  EXPECT_FALSE(editor()->getThresholdDisplay()->isDirty());  // handed to the window for repainting
}

TEST_F(Synchronisation, AutomationWhileClosedShowsAtTheNextOpenInAFreshSetOfViews) {
  openEditor();
  dispatch(effEditClose);
  EXPECT_EQ(frame(), nullptr);
  EXPECT_EQ(editor()->getThresholdSlider(), nullptr);
  setParameter(Quelmar::kThreshold, 0.25f);
  setParameter(Quelmar::kOutput, 0.0f);
  setParameter(Quelmar::kFaderLink, 1.0f);
  openEditor();
  EXPECT_EQ(frame()->viewCount(), 8);
  EXPECT_EQ(editor()->getThresholdSlider()->getValue(), 0.25f);
  EXPECT_EQ(editor()->getThresholdDisplay()->getValue(), 0.25f);
  EXPECT_EQ(editor()->getOutputSlider()->getValue(), 0.0f);
  EXPECT_EQ(editor()->getFaderLinkButton()->getValue(), 1.0f);
  EXPECT_EQ(editor()->getIspButton()->getValue(), 0.0f);
  EXPECT_EQ(editor()->getMeter()->thresholdTenths, -225.0f);
  EXPECT_EQ(editor()->getMeter()->outputTenths, -300.0f);
  // Both faders share one handle image, each holding its own reference.
  EXPECT_EQ(editor()->getThresholdSlider()->getHandle()->getNbReference(), 2);
}

TEST_F(Synchronisation, TheLinkedOutputStopsAtZeroAndHoldsTheThresholdFaderBack) {
  setParameter(Quelmar::kOutput, 0.05f);
  setParameter(Quelmar::kFaderLink, 1.0f);
  openEditor();
  press(254, 80);  // on the grab point of the handle at 1.0
  clearRequests();
  move(232, 80);  // 0.1 down
  EXPECT_FLOAT_EQ(getParameter(Quelmar::kThreshold), 0.95f);
  EXPECT_EQ(getParameter(Quelmar::kOutput), 0.0f);
  EXPECT_FLOAT_EQ(editor()->getThresholdSlider()->getValue(), 0.95f);
  EXPECT_EQ(editor()->getOutputSlider()->getValue(), 0.0f);
  EXPECT_EQ(editor()->getOutputDisplay()->getValue(), 0.0f);
  // The moved output first, then the threshold as the fader asked for it.
  EXPECT_EQ(editRequests(), (std::vector<Request>{automate(1, 0.0f), automate(0, 0.9f)}));
  EXPECT_EQ(countRequests(audioMasterUpdateDisplay), 0u);
  release(232, 80);

  // Moving the output never moves the threshold.
  press(100, 137);
  EXPECT_FLOAT_EQ(getParameter(Quelmar::kThreshold), 0.95f);
}

TEST_F(Synchronisation, TheMeterTakesValuesOnlyWhileTheEngineHasCountedItsHoldoffDown) {
  openEditor();
  auto& holdoff = instance->meterHoldoffCounter();
  LimiterEngine::MeterLevel* peaks = instance->inputPeaks();
  CDraw* meter = editor()->getMeter();
  meter->hasNewValues = false;

  holdoff = 19;
  peaks[0] = 0.5f;
  peaks[1] = 0.25f;
  instance->envelopeMeter() = 8.0f;
  dispatch(effEditIdle);
  EXPECT_EQ(meter->inputPeak[0], 0.5f);
  EXPECT_EQ(meter->inputPeak[1], 0.25f);
  EXPECT_EQ(meter->envelopeLevel, 8.0f);
  EXPECT_TRUE(meter->hasNewValues);
  EXPECT_EQ(peaks[0], Quelmar::kMeterFloor);
  EXPECT_EQ(peaks[1], Quelmar::kMeterFloor);
  EXPECT_EQ(instance->envelopeMeter(), 8.0f);
  EXPECT_EQ(holdoff, 47);

  // With audio stopped nothing counts the holdoff down again.
  peaks[0] = 0.7f;
  holdoff = 20;
  dispatch(effEditIdle);
  EXPECT_EQ(meter->inputPeak[0], 0.5f);
  EXPECT_EQ(holdoff, 20);

  // Processing counts it down once per look-ahead cycle.
  std::vector<float> left(4096, 0.3f), right(4096, 0.3f), outLeft(4096), outRight(4096);
  float* in[2] = {left.data(), right.data()};
  float* out[2] = {outLeft.data(), outRight.data()};
  record->processReplacing(record, in, out, 4096);
  EXPECT_LT(holdoff, 20);
  dispatch(effEditIdle);
  EXPECT_EQ(meter->inputPeak[0], 0.7f);

  // Closed, the instance's peaks keep rising for the next open.
  dispatch(effEditClose);
  holdoff = 0;
  peaks[0] = 0.6f;
  dispatch(effEditIdle);
  EXPECT_EQ(holdoff, 0);
  EXPECT_EQ(peaks[0], 0.6f);
}

TEST_F(Synchronisation, TheTimerIdlesTheOpenEditorEveryThirtyFiveMilliseconds) {
  openEditor();
  auto& holdoff = instance->meterHoldoffCounter();
  holdoff = 0;
  platform::pumpTimers(clock.now + 34);
  EXPECT_EQ(holdoff, 0);
  platform::pumpTimers(clock.now + 35);
  EXPECT_EQ(holdoff, 28);
  const char sameText[] = "timer fired";
  EXPECT_EQ(editor()->notify(nullptr, sameText), 0) << "messages are compared by address";

  dispatch(effEditClose);
  EXPECT_FALSE(editor()->getTimer()->isRunning());
  holdoff = 0;
  platform::pumpTimers(clock.now + 1000);
  EXPECT_EQ(holdoff, 0);
}

TEST_F(Synchronisation, AutomationFromAnotherThreadReachesTheViewsAtTheNextIdle) {
  openEditor();
  std::thread automation([this] { setParameter(Quelmar::kOutput, 0.5f); });
  automation.join();
  EXPECT_EQ(getParameter(Quelmar::kOutput), 0.5f);
  EXPECT_EQ(editor()->getOutputSlider()->getValue(), 1.0f);
  dispatch(effEditIdle);
  EXPECT_EQ(editor()->getOutputSlider()->getValue(), 0.5f);
  EXPECT_EQ(editor()->getMeter()->outputTenths, -150.0f);

  // A change reported while closed is not replayed into the next window.
  dispatch(effEditClose);
  std::thread late([this] { setParameter(Quelmar::kOutput, 0.25f); });
  late.join();
  openEditor();
  EXPECT_EQ(editor()->getOutputSlider()->getValue(), 0.25f);
}

TEST_F(Synchronisation, ClosingTheInstanceWithTheWindowOpenTakesTheWindowWithIt) {
  openEditor();
  dispatch(effClose);  // the leak checker sees anything left behind
  std::uint32_t due = 0;
  EXPECT_FALSE(platform::nextTimerDue(due)) << "no timer may outlive its editor";
}

}  // namespace
}  // namespace editortest
