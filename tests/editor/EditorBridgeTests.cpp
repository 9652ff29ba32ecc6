// The editor as the host's editor requests reach it: size, knob mode, keys
// and the pacing of idle processing.

#include "EditorTestSupport.h"

namespace editortest {
namespace {

using EditorBridge = EditorTest;

TEST_F(EditorBridge, AnnouncedAndSizedFromThePanelImageBeforeAnyOpen) {
  EXPECT_EQ(record->flags, 0x19);
  ERect* rect = nullptr;
  ASSERT_EQ(dispatch(effEditGetRect, 0, 0, &rect), 1);
  ASSERT_NE(rect, nullptr);
  CBitmap panel("bmp00128.png");
  EXPECT_EQ(rect->top, 0);
  EXPECT_EQ(rect->left, 0);
  EXPECT_EQ(rect->bottom, panel.getHeight());
  EXPECT_EQ(rect->right, panel.getWidth());
  EXPECT_EQ(rect->bottom, 215);
  EXPECT_EQ(rect->right, 340);
}

TEST_F(EditorBridge, KnobModeIsOneSettingForTheWholeProcess) {
  Quelmar second(&hostCallback, &createQuelmarEditor);
  EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 2), 1);
  EXPECT_EQ(static_cast<QuelmarEditor*>(second.getEditor())->getKnobMode(), 2);
  EXPECT_EQ(dispatch(effSetEditKnobMode, 0, 0), 1);
  EXPECT_EQ(static_cast<QuelmarEditor*>(second.getEditor())->getKnobMode(), 0);
}

TEST_F(EditorBridge, IdleProcessingRunsAtMostEveryHundredMillisecondsWithFiftyOfTolerance) {
  openEditor();
  const std::uint32_t first = clock.now;
  editor()->idleProcessing();  // due since construction
  EXPECT_EQ(countRequests(audioMasterIdle), 1u);
  EXPECT_TRUE(clock.sleeps.empty());

  clock.now = first + 30;  // 34 after the sleep is still more than 50 early
  editor()->idleProcessing();
  EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>{4});
  EXPECT_EQ(countRequests(audioMasterIdle), 1u);

  clock.now = first + 60;  // 64 after the sleep is within 50 of 100
  editor()->idleProcessing();
  EXPECT_EQ(countRequests(audioMasterIdle), 2u);

  // The next pass is due at first + 164, so from first + 110 on.
  clock.now = first + 109;
  editor()->idleProcessing();
  EXPECT_EQ(countRequests(audioMasterIdle), 2u);
  clock.now = first + 110;
  editor()->idleProcessing();
  EXPECT_EQ(countRequests(audioMasterIdle), 3u);
}

}  // namespace
}  // namespace editortest
