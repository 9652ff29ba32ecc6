#include "plugin/Quelmar.h"

#include <cmath>
#include <cstring>

using QuelmarParameters::decibelsOf;
using QuelmarParameters::isParameter;
using QuelmarParameters::switchIsOn;
using QuelmarParameters::tenthsOf;

Quelmar::Quelmar(audioMasterCallback hostCallback, EditorFactory makeEditor)
    : AudioEffectX(hostCallback, 1, kParameterCount) {
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
  if (makeEditor != nullptr) {
    const EditorHooks hooks = makeEditor(*this);
    setEditor(hooks.editor);
    editorParameterChanged = hooks.parameterChanged;
  }
}

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
        engine.setThreshold(decibelsOf(thresholdTenths));
        break;
      }
      case kOutput:
        outputValue = value;
        outputTenths = tenthsOf(value);
        engine.setOutput(decibelsOf(outputTenths));
        break;
      case kFaderLink: faderLink = switchIsOn(value); break;
      case kIspDetection: {
        const bool on = switchIsOn(value);
        ispDetection = on;
        engine.setIspEnabled(on);
        setInitialDelay(engine.latency());
        ioChanged();
        break;
      }
      default: break;
    }
  }
  // Every index, known or not: the editor re-reads what it shows.
  if (editor != nullptr && editorParameterChanged != nullptr) editorParameterChanged(editor, index, value);
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
  if (isParameter(index)) std::strcpy(label, QuelmarParameters::kLabels[index]);
}

void Quelmar::getParameterName(VstInt32 index, char* text) {
  if (isParameter(index)) std::strcpy(text, QuelmarParameters::kNames[index]);
}

void Quelmar::getParameterDisplay(VstInt32 index, char* text) {
  char buffer[64] = {};
  switch (index) {
    case kThreshold: QuelmarParameters::formatTenths(thresholdTenths, buffer, sizeof buffer); break;
    case kOutput: QuelmarParameters::formatTenths(outputTenths, buffer, sizeof buffer); break;
    case kFaderLink: std::strcpy(buffer, QuelmarParameters::kSwitchTexts[faderLink ? 1 : 0]); break;
    case kIspDetection: std::strcpy(buffer, QuelmarParameters::kSwitchTexts[ispDetection ? 1 : 0]); break;
    default: break;
  }
  // Hosts give display buffers of the interface's short length.
  buffer[8] = 0;
  std::strcpy(text, buffer);
}

// Derived from the project's version by the build: 1.4.4 is 1440.
VstInt32 Quelmar::getVendorVersion() { return QUELMAR_VENDOR_VERSION; }

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
