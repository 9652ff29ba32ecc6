#pragma once
// The effect instance: four parameters, one program, the limiter engine and
// the meter values the engine leaves for the editor.

#include "engine/LimiterEngine.h"
#include "engine/RelaxedAtomic.h"
#include "plugin/AudioEffectX.h"

#include <cstdint>

class Quelmar : public AudioEffectX {
 public:
  enum Parameter : VstInt32 { kThreshold = 0, kOutput = 1, kFaderLink = 2, kIspDetection = 3, kParameterCount = 4 };

  explicit Quelmar(audioMasterCallback hostCallback);
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
  VstInt32 getVendorVersion() override { return 1440; }

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
  // Whole tenths of a decibel for a normalised gain value: -300 .. 0 over 0 .. 1.
  static float tenthsOf(float value);

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
