// Small VST 2.4 effects for the renderer's tests, one source built into
// several plug-ins by compile definitions, so --plugin can be tested without
// depending on any third-party effect's behaviour:
//   TEST_EFFECT_DELAY       frames of pure delay (unity gain)
//   TEST_EFFECT_LATE        report the latency only from the first process
//                           call on, with an I/O-changed request, as some
//                           effects do
//   TEST_EFFECT_GAIN        linear gain
//   TEST_EFFECT_CHANNELS    inputs and outputs
//   TEST_EFFECT_NAN_AT      frame at which the output turns to NaN (-1: never)
//   TEST_EFFECT_NO_INSTANCE the entry point refuses to make an instance

#include "plugin/AEffect.h"

#include <cmath>
#include <cstring>
#include <vector>

#ifndef TEST_EFFECT_DELAY
#define TEST_EFFECT_DELAY 0
#endif
#ifndef TEST_EFFECT_LATE
#define TEST_EFFECT_LATE 0
#endif
#ifndef TEST_EFFECT_GAIN
#define TEST_EFFECT_GAIN 1.0f
#endif
#ifndef TEST_EFFECT_CHANNELS
#define TEST_EFFECT_CHANNELS 2
#endif
#ifndef TEST_EFFECT_NAN_AT
#define TEST_EFFECT_NAN_AT -1
#endif
#ifndef TEST_EFFECT_NO_INSTANCE
#define TEST_EFFECT_NO_INSTANCE 0
#endif

namespace {

constexpr VstInt32 kIoChanged = 13;

struct TestEffect {
  AEffect record{};
  audioMasterCallback host = nullptr;
  std::vector<float> ring[2];
  std::size_t position = 0;
  long long frames = 0;
  bool latencyReported = false;
};

TestEffect* self(AEffect* effect) { return static_cast<TestEffect*>(effect->object); }

void reset(TestEffect& fx) {
  for (std::vector<float>& ring : fx.ring) ring.assign(TEST_EFFECT_DELAY, 0.0f);
  fx.position = 0;
  fx.frames = 0;
}

VstIntPtr VST_CALLBACK dispatcher(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr value, void* ptr, float) {
  TestEffect* fx = self(effect);
  switch (opcode) {
    case effClose: delete fx; return 1;
    case effMainsChanged:
      if (value != 0) reset(*fx);
      return 0;
    case effGetProductString: std::strcpy(static_cast<char*>(ptr), "Render Test Effect"); return 1;
    default: return 0;
  }
}

void VST_CALLBACK processReplacing(AEffect* effect, float** inputs, float** outputs, VstInt32 count) {
  TestEffect* fx = self(effect);
  if (TEST_EFFECT_LATE && !fx->latencyReported) {
    fx->latencyReported = true;
    effect->initialDelay = TEST_EFFECT_DELAY;
    fx->host(effect, kIoChanged, 0, 0, nullptr, 0.0f);
  }
  for (VstInt32 n = 0; n < count; ++n, ++fx->frames) {
    for (int c = 0; c < TEST_EFFECT_CHANNELS; ++c) {
      float sample = inputs[c][n];
      if (TEST_EFFECT_DELAY > 0) {
        std::vector<float>& ring = fx->ring[c];
        const float out = ring[fx->position];
        ring[fx->position] = sample;
        sample = out;
      }
      outputs[c][n] = fx->frames >= TEST_EFFECT_NAN_AT && TEST_EFFECT_NAN_AT >= 0 ? NAN : sample * TEST_EFFECT_GAIN;
    }
    if (TEST_EFFECT_DELAY > 0 && ++fx->position == static_cast<std::size_t>(TEST_EFFECT_DELAY)) fx->position = 0;
  }
}

void VST_CALLBACK processNothing(AEffect*, float**, float**, VstInt32) {}
void VST_CALLBACK setParameter(AEffect*, VstInt32, float) {}
float VST_CALLBACK getParameter(AEffect*, VstInt32) { return 0.0f; }

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback host) {
  if (host(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0 || TEST_EFFECT_NO_INSTANCE) return nullptr;
  TestEffect* fx = new TestEffect;
  fx->host = host;
  AEffect& r = fx->record;
  r.magic = kEffectMagic;
  r.dispatcher = dispatcher;
  r.process = processNothing;
  r.setParameter = setParameter;
  r.getParameter = getParameter;
  r.numPrograms = 1;
  r.numInputs = TEST_EFFECT_CHANNELS;
  r.numOutputs = TEST_EFFECT_CHANNELS;
  r.flags = effFlagsCanReplacing;
  r.initialDelay = TEST_EFFECT_LATE ? 0 : TEST_EFFECT_DELAY;
  r.ioRatio = 1.0f;
  r.object = fx;
  r.uniqueID = fourCharCode('Q', 'r', 't', 'e');
  r.version = 1;
  r.processReplacing = processReplacing;
  reset(*fx);
  return &r;
}
