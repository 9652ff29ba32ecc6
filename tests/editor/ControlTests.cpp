// The switches, the read-outs and the about panel of the open editor.

#include <cstring>

#include "EditorTestSupport.h"

namespace editortest {
namespace {

using Controls = EditorTest;

// Whether the switch shows the half of its image that starts at row y.
bool showsHalf(COnOffButton* button, CCoord y) {
  COffscreenContext drawn(nullptr, 340, 215), expected(nullptr, 340, 215);
  button->draw(&drawn);
  button->getBackground()->drawTransparent(&expected, button->getBounds(), CPoint(0, y));
  return samePixels(drawn, expected, CRect(0, 0, 340, 215));
}

bool anyPixelDrawn(const COffscreenContext& c, const CRect& r) {
  for (CCoord y = r.top; y < r.bottom; ++y)
    for (CCoord x = r.left; x < r.right; ++x)
      if (pixel(c, x, y).alpha != 0) return true;
  return false;
}

TEST_F(Controls, ASwitchClickIsOneCompleteEditBeforeTheRelease) {
  openEditor();
  COnOffButton* link = editor()->getFaderLinkButton();
  EXPECT_TRUE(showsHalf(link, 0));
  EXPECT_EQ(press(130, 105), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
  EXPECT_EQ(frame()->getMouseDownView(), nullptr);  // the release reaches nobody
  EXPECT_EQ(getParameter(Quelmar::kFaderLink), 1.0f);
  EXPECT_EQ(editRequests(), (std::vector<Request>{begin(2), automate(2, 1.0f), end(2)}));
  EXPECT_EQ(link->getValue(), 1.0f);
  EXPECT_TRUE(showsHalf(link, 14));

  clearRequests();
  press(170, 105);
  EXPECT_EQ(getParameter(Quelmar::kIspDetection), 1.0f);
  EXPECT_EQ(editRequests(), (std::vector<Request>{begin(3), automate(3, 1.0f), end(3)}));
  press(170, 105);
  EXPECT_EQ(getParameter(Quelmar::kIspDetection), 0.0f);
}

TEST_F(Controls, ARightClickOnASwitchChangesNothing) {
  openEditor();
  EXPECT_EQ(press(130, 105, kRButton), kMouseEventNotHandled);
  EXPECT_EQ(getParameter(Quelmar::kFaderLink), 0.0f);
  EXPECT_EQ(editor()->getFaderLinkButton()->getValue(), 0.0f);
  EXPECT_TRUE(requests.empty());
}

TEST_F(Controls, ASwitchBetweenOffAndOnDrawsOnButTogglesAsOff) {
  openEditor();
  COnOffButton* link = editor()->getFaderLinkButton();
  link->setValue(0.7f);
  EXPECT_TRUE(showsHalf(link, 14));
  press(130, 105);
  EXPECT_EQ(link->getValue(), 1.0f);
  EXPECT_EQ(editRequests(), (std::vector<Request>{begin(2), automate(2, 1.0f), end(2)}));
}

TEST(TenthsFormatter, ShowsWholeTenthsOfADecibelWithTheSignOfNegativeZero) {
  char text[CParamDisplay::kTextBufferSize];
  const std::pair<float, const char*> cases[] = {
      {0.5f, "-15.0"}, {0.9999f, "-0.0"}, {1.0f, "0.0"}, {0.0f, "-30.0"}, {0.8f, "-6.0"}};
  for (const auto& [value, expected] : cases) {
    formatTenths(value, text);
    EXPECT_STREQ(text, expected) << value;
  }
}

TEST_F(Controls, ReadoutsDrawTheirTextOverATransparentBox) {
  setParameter(Quelmar::kThreshold, 0.5f);
  openEditor();
  CParamDisplay* readout = editor()->getThresholdDisplay();

  // The same read-out with the text given literally.
  CParamDisplay literal(readout->getBounds());
  literal.setFontColor(readout->getFontColor());
  literal.setBackgroundColor(readout->getBackgroundColor());
  literal.setFrameColor(readout->getFrameColor());
  literal.setTextConverter([](float, char* text) { std::strcpy(text, "-15.0"); });

  COffscreenContext drawn(nullptr, 340, 215), expected(nullptr, 340, 215);
  readout->draw(&drawn);
  literal.draw(&expected);
  EXPECT_TRUE(anyPixelDrawn(drawn, readout->getBounds()));
  EXPECT_TRUE(samePixels(drawn, expected, CRect(0, 0, 340, 215)));
  // Nothing but the text: the box itself is fully transparent.
  EXPECT_EQ(pixel(drawn, 70, 100).alpha, 0);
  EXPECT_FALSE(anyPixelDrawn(drawn, CRect(0, 0, 340, 99)));
}

TEST(Readout, WithoutAConverterShowsTwoDecimals) {
  CParamDisplay plain(CRect(0, 0, 60, 16)), literal(CRect(0, 0, 60, 16));
  plain.setValue(0.25f);
  literal.setTextConverter([](float, char* text) { std::strcpy(text, "0.25"); });
  COffscreenContext a(nullptr, 60, 16), b(nullptr, 60, 16);
  plain.draw(&a);
  literal.draw(&b);
  EXPECT_TRUE(anyPixelDrawn(a, CRect(0, 0, 60, 16)));
  EXPECT_TRUE(samePixels(a, b, CRect(0, 0, 60, 16)));
}

TEST_F(Controls, TheAboutPanelOpensOnTheLogoClosesOnAnyClickAndTellsTheHostNothing) {
  openEditor();
  CSplashScreen* hotSpot = editor()->getSplashScreen();
  CView* panel = hotSpot->getPanelView();

  press(130, 185);  // the hot spot's corner belongs to it
  ASSERT_EQ(frame()->getModalView(), panel);
  COffscreenContext screen(frame(), 340, 215), about(nullptr, 340, 215);
  paint(screen);
  CBitmap aboutImage("bmp00129.png");
  aboutImage.draw(&about, CRect(0, 0, 340, 215));
  EXPECT_TRUE(samePixels(screen, about, CRect(0, 0, 340, 215)));

  CView* another = new CView(CRect(0, 0, 10, 10));
  EXPECT_FALSE(frame()->setModalView(another));
  another->release();

  press(300, 10, kRButton);  // only a left click closes it
  EXPECT_EQ(frame()->getModalView(), panel);
  press(300, 10);
  EXPECT_EQ(frame()->getModalView(), nullptr);
  EXPECT_EQ(hotSpot->getValue(), 0.0f);

  press(210, 205);
  EXPECT_EQ(frame()->getModalView(), panel);
  press(5, 5);
  press(211, 205);
  press(170, 195, kRButton);
  EXPECT_EQ(frame()->getModalView(), nullptr);

  EXPECT_TRUE(requests.empty());
  for (VstInt32 i = 0; i < 4; ++i) EXPECT_EQ(getParameter(i), i < 2 ? 1.0f : 0.0f);
}

}  // namespace
}  // namespace editortest
