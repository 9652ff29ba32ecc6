#pragma once
// The plug-in's editor: a fixed 340 x 215 panel with the meter, two faders
// with their read-outs, two switches and the about hot spot. Parameter values
// live in the instance only; the editor re-reads them whenever the instance
// reports a change, and reports the user's changes to it.

#include <atomic>
#include <cstdint>
#include <thread>

#include "gui/CBaseObject.h"
#include "gui/CControlListener.h"
#include "plugin/AEffGUIEditor.h"

class CDraw;
class Quelmar;

namespace VSTGUI {
class CHorizontalSlider;
class COnOffButton;
class CParamDisplay;
class CSplashScreen;
class CVSTGUITimer;
}  // namespace VSTGUI

// A normalised gain value as the read-outs and the host show it: whole tenths
// of a decibel from -30.0 to 0.0, with the sign of a negative zero kept.
void formatTenths(float value, char* text);

class QuelmarEditor : public AEffGUIEditor, public VSTGUI::CControlListener, public VSTGUI::CBaseObject {
 public:
  static constexpr std::uint32_t kRefreshInterval = 35;  // ms between the timer's idle steps
  // The meter takes new values only while the engine's counter is below this;
  // each hand-over raises the counter by kMeterHoldoffStep, so the next one
  // waits for about nine look-ahead cycles of processed audio.
  static constexpr std::uint16_t kMeterHoldoffLimit = 20;
  static constexpr std::uint16_t kMeterHoldoffStep = 28;

  explicit QuelmarEditor(Quelmar* effect);
  ~QuelmarEditor() override;

  bool open(void* parentWindow) override;
  void close() override;
  void idle() override;
  void parameterChanged(VstInt32 index, float value) override;

  void valueChanged(VSTGUI::CControl* control) override;
  std::int32_t notify(VSTGUI::CBaseObject* sender, const char* message) override;

  // The views of the open editor; null while closed.
  CDraw* getMeter() const { return meter; }
  VSTGUI::CHorizontalSlider* getThresholdSlider() const { return thresholdSlider; }
  VSTGUI::CHorizontalSlider* getOutputSlider() const { return outputSlider; }
  VSTGUI::CParamDisplay* getThresholdDisplay() const { return thresholdDisplay; }
  VSTGUI::CParamDisplay* getOutputDisplay() const { return outputDisplay; }
  VSTGUI::COnOffButton* getFaderLinkButton() const { return faderLinkButton; }
  VSTGUI::COnOffButton* getIspButton() const { return ispButton; }
  VSTGUI::CSplashScreen* getSplashScreen() const { return splashScreen; }
  VSTGUI::CVSTGUITimer* getTimer() const { return timer; }

 private:
  // Moves the views of one parameter to the instance's current value.
  void showParameter(VstInt32 index);
  void showPendingParameters();

  Quelmar* quelmar;
  VSTGUI::CVSTGUITimer* timer = nullptr;
  CDraw* meter = nullptr;
  VSTGUI::CSplashScreen* splashScreen = nullptr;
  VSTGUI::CHorizontalSlider* thresholdSlider = nullptr;
  VSTGUI::CHorizontalSlider* outputSlider = nullptr;
  VSTGUI::CParamDisplay* thresholdDisplay = nullptr;
  VSTGUI::CParamDisplay* outputDisplay = nullptr;
  VSTGUI::COnOffButton* faderLinkButton = nullptr;
  VSTGUI::COnOffButton* ispButton = nullptr;

  // Hosts may automate from their audio or another thread, and the window may
  // close under such a call. A change reported on a thread other than the one
  // that opened the window therefore only sets its bit here, and the next idle
  // step on the window's thread shows it; views are touched on that thread
  // only.
  std::atomic<std::thread::id> windowThread{};
  std::atomic<std::uint32_t> pendingParameters{0};
};
