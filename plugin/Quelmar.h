#pragma once
// The effect instance: four parameters, one program, the limiter engine and
// the meter values the engine leaves for the editor.

#include "engine/LimiterEngine.h"
#include "engine/RelaxedAtomic.h"
#include "plugin/AudioEffectX.h"
#include "plugin/QuelmarParameters.h"

#include <cstdint>

class Quelmar;

// The editor is plugged in by the library's own target, so the instance and
// the host protocol build without any GUI. A factory makes the editor for an
// instance (attached to it) and says how the editor hears of parameter
// changes; a build without an editor answers with neither.
struct EditorHooks {
  AEffEditor* editor = nullptr;
  void (*parameterChanged)(AEffEditor* editor, VstInt32 index, float value) = nullptr;
};
using EditorFactory = EditorHooks (*)(Quelmar& effect);

// The factory of the editor the library is linked with (editor/), or of none.
EditorHooks createQuelmarEditor(Quelmar& effect);

class Quelmar : public AudioEffectX {
 public:
  using enum QuelmarParameters::Index;

  explicit Quelmar(audioMasterCallback hostCallback, EditorFactory makeEditor = nullptr);
  ~Quelmar() override = default;

  void resume() override;
  void setSampleRate(float rate) override;
  void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
  void setParameter(VstInt32 index, float value) override;
  float getParameter(VstInt32 index) override;
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;
  void getParameterLabel(VstInt32 index, char* label) override;
  void getParameterDisplay(VstInt32 index, char* text) override;
  void getParameterName(VstInt32 index, char* text) override;
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  VstInt32 getVendorVersion() override;

  // What the editor reads and resets (user-interface thread).
  LimiterEngine::MeterLevel* inputPeaks() { return inputPeak; }
  LimiterEngine::MeterLevel& envelopeMeter() { return envelopeLevel; }
  LimiterEngine::MeterCounter& meterHoldoffCounter() { return meterHoldoff; }
  float getThresholdTenths() const { return thresholdTenths; }
  float getOutputTenths() const { return outputTenths; }
  void setEditorIsOpen(bool open) { editorIsOpen = open; }
  const LimiterEngine& limiter() const { return engine; }

  static constexpr float kMeterFloor = 0.0009765625f;  // 2^-10: the meters' silence

 private:
  void (*editorParameterChanged)(AEffEditor*, VstInt32, float) = nullptr;
  LimiterEngine::MeterLevel inputPeak[2] = {kMeterFloor, kMeterFloor};
  LimiterEngine::MeterLevel envelopeLevel{1.0f};
  RelaxedAtomic<float> thresholdTenths{0.0f};
  RelaxedAtomic<float> outputTenths{0.0f};
  LimiterEngine::MeterCounter meterHoldoff{0};
  RelaxedAtomic<bool> editorIsOpen{false};
  LimiterEngine engine;
  RelaxedAtomic<float> thresholdValue{1.0f};
  RelaxedAtomic<float> outputValue{1.0f};
  RelaxedAtomic<bool> faderLink{false};
  RelaxedAtomic<bool> ispDetection{false};
  char programName[25] = {};
};
