#include "plugin/Quelmar.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(QUELMAR_WITH_EDITOR)
#include "editor/QuelmarEditor.h"
#endif

namespace {

constexpr const char* kParameterNames[Quelmar::kParameterCount] = {"Thresh", "Output", "Fader Link",
                                                                   "ISP Detection"};
constexpr const char* kParameterLabels[Quelmar::kParameterCount] = {"dB", "dB", "", ""};

bool isParameter(VstInt32 index) { return index >= 0 && index < Quelmar::kParameterCount; }

}  // namespace

Quelmar::Quelmar(audioMasterCallback hostCallback) : AudioEffectX(hostCallback, 1, kParameterCount) {
  std::strcpy(programName, "Default");
  setNumInputs(2);
  canDoubleReplacing(false);
  canMono(true);
  setUniqueID(fourCharCode('Q', 'l', 'M', 'r'));

  engine.setThreshold(0.0f);
  engine.setOutput(0.0f);
  engine.setIspEnabled(false);
  updateSampleRate();
  engine.setSampleRate(sampleRate);
  isSynth(false);
  setInitialDelay(engine.latency());
#if defined(QUELMAR_WITH_EDITOR)
  setEditor(new QuelmarEditor(this));
#endif
}

float Quelmar::tenthsOf(float value) { return std::roundf(value * 300.0f - 300.0f); }

void Quelmar::resume() { engine.reset(); }

void Quelmar::setSampleRate(float rate) {
  // A NaN rate would never compare equal and would sit in the record's rate;
  // it means "no usable rate", like any rate below 10 Hz.
  if (std::isnan(rate)) rate = 44100.0f;
  if (rate == getSampleRate()) return;
  sampleRate = rate;
  engine.setSampleRate(rate);
  setInitialDelay(engine.latency());
}

void Quelmar::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  // Hosts have been seen to pass missing buffers while reconfiguring.
  if (inputs == nullptr || outputs == nullptr || inputs[0] == nullptr || inputs[1] == nullptr ||
      outputs[0] == nullptr || outputs[1] == nullptr) {
    return;
  }
  engine.process(inputs, outputs, inputPeak, &envelopeLevel, &meterHoldoff, sampleFrames);
}

void Quelmar::setParameter(VstInt32 index, float value) {
  // A non-finite value has no meaning for any parameter.
  if (std::isfinite(value)) {
    switch (index) {
      case kThreshold: {
        if (faderLink) {
          const float output = outputValue;
          float delta = value - thresholdValue;
          if (output + delta > 1.0f) {
            delta = 1.0f - output;
          } else if (output + delta < 0.0f) {
            delta = -output;
          }
          thresholdValue = thresholdValue + delta;
          outputValue = output + delta;
          setParameterAutomated(kOutput, outputValue);
          if (!editorIsOpen) updateDisplay();
        } else {
          thresholdValue = value;
        }
        thresholdTenths = tenthsOf(thresholdValue);
        engine.setThreshold(thresholdTenths * 0.1f);
        break;
      }
      case kOutput:
        outputValue = value;
        outputTenths = tenthsOf(value);
        engine.setOutput(outputTenths * 0.1f);
        break;
      case kFaderLink: faderLink = value > 0.5f; break;
      case kIspDetection: {
        const bool on = value > 0.5f;
        ispDetection = on;
        engine.setIspEnabled(on);
        setInitialDelay(engine.latency());
        ioChanged();
        break;
      }
      default: break;
    }
  }
#if defined(QUELMAR_WITH_EDITOR)
  // Every index, known or not: the editor re-reads what it shows.
  if (auto* panel = dynamic_cast<AEffGUIEditor*>(editor)) panel->parameterChanged(index, value);
#endif
}

float Quelmar::getParameter(VstInt32 index) {
  switch (index) {
    case kThreshold: return thresholdValue;
    case kOutput: return outputValue;
    case kFaderLink: return faderLink ? 1.0f : 0.0f;
    case kIspDetection: return ispDetection ? 1.0f : 0.0f;
    default: return 0.0f;
  }
}

void Quelmar::setProgramName(char* name) {
  std::strncpy(programName, name, 24);
  programName[24] = 0;
}

void Quelmar::getProgramName(char* name) {
  // programName is kept zero-padded, so this writes the padded 24 characters.
  std::memcpy(name, programName, 24);
  name[24] = 0;
}

void Quelmar::getParameterLabel(VstInt32 index, char* label) {
  if (isParameter(index)) std::strcpy(label, kParameterLabels[index]);
}

void Quelmar::getParameterName(VstInt32 index, char* text) {
  if (isParameter(index)) std::strcpy(text, kParameterNames[index]);
}

void Quelmar::getParameterDisplay(VstInt32 index, char* text) {
  char buffer[64] = {};
  switch (index) {
    case kThreshold: std::snprintf(buffer, sizeof buffer, "%.1f", static_cast<double>(thresholdTenths * 0.1f)); break;
    case kOutput: std::snprintf(buffer, sizeof buffer, "%.1f", static_cast<double>(outputTenths * 0.1f)); break;
    case kFaderLink: std::strcpy(buffer, faderLink ? "ON" : "OFF"); break;
    case kIspDetection: std::strcpy(buffer, ispDetection ? "ON" : "OFF"); break;
    default: break;
  }
  // Hosts give display buffers of the interface's short length.
  buffer[8] = 0;
  std::strcpy(text, buffer);
}

bool Quelmar::getEffectName(char* name) {
  std::strcpy(name, "QuelmarVostel");
  return true;
}

bool Quelmar::getVendorString(char* text) {
  std::strcpy(text, "Orvel Stamik");
  return true;
}

bool Quelmar::getProductString(char* text) {
  std::strcpy(text, "Quelmar");
  return true;
}
