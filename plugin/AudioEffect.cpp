#include "plugin/AudioEffect.h"

#include "plugin/AEffEditor.h"

#include <atomic>
#include <cstring>

namespace {
AudioEffect* instanceOf(AEffect* e) { return e != nullptr ? static_cast<AudioEffect*>(e->object) : nullptr; }
}  // namespace

AudioEffect::AudioEffect(audioMasterCallback callback, VstInt32 programs, VstInt32 parameters)
    : hostCallback(callback), programCount(programs), parameterCount(parameters) {
  std::memset(&effectRecord, 0, sizeof(effectRecord));
  effectRecord.dispatcher = &dispatchEntry;
  effectRecord.process = &processEntry;
  effectRecord.setParameter = &setParameterEntry;
  effectRecord.getParameter = &getParameterEntry;
  effectRecord.processReplacing = &processReplacingEntry;
  effectRecord.processDoubleReplacing = &processDoubleReplacingEntry;
  effectRecord.numPrograms = programs;
  effectRecord.numParams = parameters;
  effectRecord.numInputs = 1;
  effectRecord.numOutputs = 2;
  effectRecord.ioRatio = 1.0f;
  effectRecord.object = this;
  effectRecord.version = 1;
  effectRecord.flags = effFlagsCanReplacing;
  effectRecord.magic = kEffectMagic;
}

AudioEffect::~AudioEffect() { delete editor; }

void AudioEffect::setEditor(AEffEditor* newEditor) {
  editor = newEditor;
  setFlag(effFlagsHasEditor, newEditor != nullptr);
}

void AudioEffect::setFlag(VstInt32 flag, bool state) {
  if (state) {
    effectRecord.flags |= flag;
  } else {
    effectRecord.flags &= ~flag;
  }
}

void AudioEffect::setInitialDelay(VstInt32 delay) {
  // The host may read the record on another thread than the one that sets a
  // parameter; the word is written whole.
  std::atomic_ref<VstInt32>(effectRecord.initialDelay).store(delay, std::memory_order_relaxed);
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (hostCallback == nullptr) return 0;
  return hostCallback(&effectRecord, opcode, index, value, ptr, opt);
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
  setParameter(index, value);
  callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion() {
  const VstIntPtr version = callHost(audioMasterVersion);
  return version != 0 ? static_cast<VstInt32>(version) : 1;
}

void AudioEffect::masterIdle() { callHost(audioMasterIdle); }

bool AudioEffect::isInputConnected(VstInt32 input) {
  return hostCallback == nullptr || callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
  return hostCallback == nullptr || callHost(audioMasterPinConnected, output, 1) == 0;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effOpen: open(); return 0;
    case effClose: close(); return 0;
    case effSetProgram:
      if (value < 1) setProgram(static_cast<VstInt32>(value));
      return 0;
    case effGetProgram: return getProgram();
    // A host that passes no buffer for a text gets nothing written and 0.
    case effSetProgramName:
      if (ptr != nullptr) setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      if (ptr != nullptr) getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
      if (ptr != nullptr) getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamDisplay:
      if (ptr != nullptr) getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case effGetParamName:
      if (ptr != nullptr) getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case effSetSampleRate: setSampleRate(opt); return 0;
    case effSetBlockSize: setBlockSize(static_cast<VstInt32>(value)); return 0;
    case effMainsChanged:
      if (value == 0) {
        suspend();
      } else {
        resume();
      }
      return 0;
    case effEditGetRect:
      if (editor == nullptr || ptr == nullptr) return 0;
      return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen:
      if (editor == nullptr) return 0;
      return editor->open(ptr) ? 1 : 0;
    case effEditClose:
      if (editor != nullptr) editor->close();
      return 0;
    case effEditIdle:
      if (editor != nullptr) editor->idle();
      return 0;
    case effIdentify: return fourCharCode('N', 'v', 'E', 'f');
    case effGetChunk:
      if (ptr == nullptr) return 0;
      return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk: return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default: return 0;
  }
}

VstIntPtr VST_CALLBACK AudioEffect::dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                                  void* ptr, float opt) {
  AudioEffect* effect = instanceOf(e);
  if (effect == nullptr) return 0;
  // Nothing may unwind into the host.
  try {
    if (opcode == effClose) {
      effect->dispatcher(opcode, index, value, ptr, opt);
      delete effect;
      return 1;
    }
    return effect->dispatcher(opcode, index, value, ptr, opt);
  } catch (...) {
    return 0;
  }
}

void VST_CALLBACK AudioEffect::processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
  if (AudioEffect* effect = instanceOf(e)) effect->process(inputs, outputs, sampleFrames);
}

void VST_CALLBACK AudioEffect::processReplacingEntry(AEffect* e, float** inputs, float** outputs,
                                                     VstInt32 sampleFrames) {
  if (AudioEffect* effect = instanceOf(e)) effect->processReplacing(inputs, outputs, sampleFrames);
}

void VST_CALLBACK AudioEffect::processDoubleReplacingEntry(AEffect* e, double** inputs, double** outputs,
                                                           VstInt32 sampleFrames) {
  if (AudioEffect* effect = instanceOf(e)) effect->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void VST_CALLBACK AudioEffect::setParameterEntry(AEffect* e, VstInt32 index, float value) {
  AudioEffect* effect = instanceOf(e);
  if (effect == nullptr) return;
  try {
    effect->setParameter(index, value);
  } catch (...) {
  }
}

float VST_CALLBACK AudioEffect::getParameterEntry(AEffect* e, VstInt32 index) {
  AudioEffect* effect = instanceOf(e);
  return effect != nullptr ? effect->getParameter(index) : 0.0f;
}
