#include "editor/QuelmarEditor.h"

#include "editor/CDraw.h"
#include "editor/COnOffButton.h"
#include "editor/CParamDisplay.h"
#include "editor/CSlider.h"
#include "editor/CSplashScreen.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/CVSTGUITimer.h"
#include "plugin/Quelmar.h"
#include "plugin/QuelmarParameters.h"

using namespace VSTGUI;

namespace {

// Where the panel's moving parts stand, in frame pixels.
constexpr CRect kMeterRect(0, 0, 340, 215);
constexpr CRect kThresholdSliderRect(26, 71, 268, 88);
constexpr CRect kOutputSliderRect(26, 128, 268, 145);
constexpr CRect kThresholdDisplayRect(70, 100, 98, 112);
constexpr CRect kOutputDisplayRect(220, 100, 248, 112);
constexpr CPoint kFaderLinkOrigin(123, 99);
constexpr CPoint kIspOrigin(160, 99);
constexpr CRect kAboutHotSpot(130, 185, 210, 205);
constexpr std::int32_t kAboutTag = 10;
// The handle's leading edge travels from x 26 (value 0) to 246 (value 1).
constexpr std::int32_t kSliderMinPos = 26;
constexpr std::int32_t kSliderMaxPos = 246;

constexpr std::uint32_t kReadoutFontColor = 0x82FFFFFF;   // white at alpha 130
constexpr std::uint32_t kReadoutPlainColor = 0x001E1E1E;  // fully transparent

// A switch stands at its fixed corner with the size of one of the two states
// stacked in its image.
CRect switchRect(const CPoint& origin, const CBitmap* image) {
  CRect r(origin.x, origin.y, origin.x + image->getWidth(), origin.y + image->getHeight() / 2);
  return r.normalize();
}

float switchValue(float parameter) { return QuelmarParameters::switchIsOn(parameter) ? 1.0f : 0.0f; }

CParamDisplay* makeReadout(const CRect& r, float value) {
  auto* display = new CParamDisplay(r);
  display->setFontColor(CColor::fromPacked(kReadoutFontColor));
  display->setBackgroundColor(CColor::fromPacked(kReadoutPlainColor));
  display->setFrameColor(CColor::fromPacked(kReadoutPlainColor));
  display->setShadowColor(CColor::fromPacked(kReadoutPlainColor));
  display->setAntialias(true);
  display->setTextConverter(&formatTenths);
  display->setValue(value);
  return display;
}

}  // namespace

void formatTenths(float value, char* text) {
  QuelmarParameters::formatTenths(QuelmarParameters::tenthsOf(value), text, CParamDisplay::kTextBufferSize);
}

EditorHooks createQuelmarEditor(Quelmar& effect) {
  // Only this factory makes the instance's editor, so the instance's editor
  // pointer is known to be a QuelmarEditor.
  return {new QuelmarEditor(&effect), [](AEffEditor* editor, VstInt32 index, float value) {
            static_cast<QuelmarEditor*>(editor)->parameterChanged(index, value);
          }};
}

QuelmarEditor::QuelmarEditor(Quelmar* effect) : AEffGUIEditor(effect), quelmar(effect) {
  // The panel image alone decides the editor's size.
  auto* background = new CBitmap("bmp00128.png");
  rect.top = 0;
  rect.left = 0;
  rect.bottom = static_cast<std::int16_t>(background->getHeight());
  rect.right = static_cast<std::int16_t>(background->getWidth());
  background->release();
  timer = new CVSTGUITimer(this, kRefreshInterval);
}

QuelmarEditor::~QuelmarEditor() {
  // A host may drop the instance without closing the window first; the views
  // must not outlive the editor they report to.
  if (frame) {
    timer->stop();
    CFrame* f = frame;
    frame = nullptr;
    f->release();
  }
  if (timer) {
    timer->release();
    timer = nullptr;
  }
}

bool QuelmarEditor::open(void* parentWindow) {
  // A second open without a close would leave the first frame behind.
  if (frame) close();
  windowThread.store(std::this_thread::get_id());
  pendingParameters.store(0);
  quelmar->setEditorIsOpen(true);

  auto* background = new CBitmap("bmp00128.png");
  auto* about = new CBitmap("bmp00129.png");
  auto* handle = new CBitmap("bmp00130.png");
  auto* linkImage = new CBitmap("bmp00131.png");
  auto* ispImage = new CBitmap("bmp00132.png");

  rect.top = 0;
  rect.left = 0;
  rect.bottom = static_cast<std::int16_t>(background->getHeight());
  rect.right = static_cast<std::int16_t>(background->getWidth());

  auto* newFrame = new CFrame(CRect(0, 0, background->getWidth(), background->getHeight()), parentWindow, this);
  newFrame->setBackground(background);

  meter = new CDraw(kMeterRect);
  newFrame->addView(meter);

  auto makeSlider = [&](const CRect& r, VstInt32 index) {
    auto* slider =
        new CHorizontalSlider(r, this, index, kSliderMinPos, kSliderMaxPos, handle, nullptr, CPoint(0, 0), kLeft);
    slider->setValue(quelmar->getParameter(index));
    // Control+click goes back to 0.0 dB.
    slider->setDefaultValue(1.0f);
    slider->setTransparent(true);
    newFrame->addView(slider);
    return slider;
  };
  thresholdSlider = makeSlider(kThresholdSliderRect, Quelmar::kThreshold);
  outputSlider = makeSlider(kOutputSliderRect, Quelmar::kOutput);

  thresholdDisplay = makeReadout(kThresholdDisplayRect, quelmar->getParameter(Quelmar::kThreshold));
  newFrame->addView(thresholdDisplay);
  outputDisplay = makeReadout(kOutputDisplayRect, quelmar->getParameter(Quelmar::kOutput));
  newFrame->addView(outputDisplay);

  auto makeSwitch = [&](const CPoint& origin, CBitmap* image, VstInt32 index) {
    auto* button = new COnOffButton(switchRect(origin, image), this, index, image, kPreListenerUpdate);
    button->setStyle(kPreListenerUpdate);
    button->setValue(switchValue(quelmar->getParameter(index)));
    button->setTransparent(true);
    newFrame->addView(button);
    return button;
  };
  faderLinkButton = makeSwitch(kFaderLinkOrigin, linkImage, Quelmar::kFaderLink);
  ispButton = makeSwitch(kIspOrigin, ispImage, Quelmar::kIspDetection);

  splashScreen = new CSplashScreen(kAboutHotSpot, this, kAboutTag, about,
                                   CRect(0, 0, about->getWidth(), about->getHeight()), CPoint(0, 0));
  newFrame->addView(splashScreen);

  // The views hold their own references from here on.
  for (CBitmap* image : {background, handle, linkImage, ispImage, about}) image->release();

  meter->thresholdTenths = quelmar->getThresholdTenths();
  meter->outputTenths = quelmar->getOutputTenths();

  // Only now do idle, parameter changes and the timer reach the views.
  frame = newFrame;
  timer->start();
  return true;
}

void QuelmarEditor::close() {
  if (timer) timer->stop();
  if (frame) {
    // Cleared first: destroying the views must not find a frame to report to.
    CFrame* f = frame;
    frame = nullptr;
    f->release();
  }
  meter = nullptr;
  splashScreen = nullptr;
  thresholdSlider = nullptr;
  outputSlider = nullptr;
  thresholdDisplay = nullptr;
  outputDisplay = nullptr;
  faderLinkButton = nullptr;
  ispButton = nullptr;
  quelmar->setEditorIsOpen(false);
}

void QuelmarEditor::valueChanged(CControl* control) {
  const std::int32_t tag = control->getTag();
  // The about hot spot and anything else without a parameter.
  if (static_cast<std::uint32_t>(tag) > Quelmar::kIspDetection) return;
  quelmar->setParameterAutomated(tag, control->getValue());
  // Redrawn at the next idle even if the instance set it back to the same value.
  control->setDirty(true);
}

void QuelmarEditor::parameterChanged(VstInt32 index, float) {
  if (static_cast<std::uint32_t>(index) > Quelmar::kIspDetection) return;
  if (std::this_thread::get_id() != windowThread.load()) {
    pendingParameters.fetch_or(1u << index);
    return;
  }
  showParameter(index);
}

void QuelmarEditor::showParameter(VstInt32 index) {
  if (!frame) return;
  // setValue only stores; the frame's next idle redraws what changed.
  switch (index) {
    case Quelmar::kThreshold:
      meter->thresholdTenths = quelmar->getThresholdTenths();
      if (thresholdSlider) thresholdSlider->setValue(quelmar->getParameter(index));
      if (thresholdDisplay) thresholdDisplay->setValue(quelmar->getParameter(index));
      break;
    case Quelmar::kOutput:
      meter->outputTenths = quelmar->getOutputTenths();
      if (outputSlider) outputSlider->setValue(quelmar->getParameter(index));
      if (outputDisplay) outputDisplay->setValue(quelmar->getParameter(index));
      break;
    case Quelmar::kFaderLink:
      if (faderLinkButton) faderLinkButton->setValue(switchValue(quelmar->getParameter(index)));
      break;
    case Quelmar::kIspDetection:
      if (ispButton) ispButton->setValue(switchValue(quelmar->getParameter(index)));
      break;
    default: break;
  }
}

void QuelmarEditor::showPendingParameters() {
  std::uint32_t pending = pendingParameters.exchange(0);
  for (VstInt32 index = 0; pending != 0; ++index, pending >>= 1)
    if (pending & 1u) showParameter(index);
}

void QuelmarEditor::idle() {
  showPendingParameters();
  LimiterEngine::MeterCounter& holdoff = quelmar->meterHoldoffCounter();
  if (frame && meter && holdoff.load() < kMeterHoldoffLimit) {
    LimiterEngine::MeterLevel* peaks = quelmar->inputPeaks();
    meter->inputPeak[0] = peaks[0];
    meter->inputPeak[1] = peaks[1];
    meter->envelopeLevel = quelmar->envelopeMeter();
    // A peak that lands between the read and this reset is lost to the
    // display only.
    peaks[0] = Quelmar::kMeterFloor;
    peaks[1] = Quelmar::kMeterFloor;
    holdoff = static_cast<std::uint16_t>(holdoff.load() + kMeterHoldoffStep);
    meter->hasNewValues = true;
    meter->setDirty(true);
  }
  AEffGUIEditor::idle();
}

std::int32_t QuelmarEditor::notify(CBaseObject*, const char* message) {
  if (message != kMsgTimerFired) return 0;
  if (frame) idle();
  return 1;
}
