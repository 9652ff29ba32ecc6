#pragma once
// Base of everything host-facing: owns the record the host holds, answers every
// request of the basic vocabulary with a default, and wraps the host callback.
// Plug-ins override the virtual operations they need; their order is the
// design's slot order.

#include "plugin/AEffect.h"

class AEffEditor;

class AudioEffect {
 public:
  AudioEffect(audioMasterCallback hostCallback, VstInt32 programCount, VstInt32 parameterCount);
  virtual ~AudioEffect();
  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}
  virtual void setSampleRate(float rate) { sampleRate = rate; }
  virtual void setBlockSize(VstInt32 size) { blockSize = size; }
  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
  virtual void processDoubleReplacing(double** /*inputs*/, double** /*outputs*/, VstInt32 /*sampleFrames*/) {}
  virtual void setParameter(VstInt32 /*index*/, float /*value*/) {}
  virtual float getParameter(VstInt32 /*index*/) { return 0.0f; }
  virtual void setParameterAutomated(VstInt32 index, float value);
  virtual VstInt32 getProgram() { return currentProgram; }
  virtual void setProgram(VstInt32 program) {
    if (program < programCount) currentProgram = program;
  }
  virtual void setProgramName(char* /*name*/) {}
  virtual void getProgramName(char* name) { *name = 0; }
  virtual void getParameterLabel(VstInt32 /*index*/, char* label) { *label = 0; }
  virtual void getParameterDisplay(VstInt32 /*index*/, char* text) { *text = 0; }
  virtual void getParameterName(VstInt32 /*index*/, char* text) { *text = 0; }
  virtual VstInt32 getChunk(void** /*data*/, bool /*isPreset*/) { return 0; }
  virtual VstInt32 setChunk(void* /*data*/, VstInt32 /*byteSize*/, bool /*isPreset*/) { return 0; }
  virtual void setUniqueID(VstInt32 id) { effectRecord.uniqueID = id; }
  virtual void setNumInputs(VstInt32 inputs) { effectRecord.numInputs = inputs; }
  virtual void setNumOutputs(VstInt32 outputs) { effectRecord.numOutputs = outputs; }
  virtual void canProcessReplacing(bool state) { setFlag(effFlagsCanReplacing, state); }
  virtual void canDoubleReplacing(bool state) { setFlag(effFlagsCanDoubleReplacing, state); }
  virtual void programsAreChunks(bool state) { setFlag(effFlagsProgramChunks, state); }
  virtual void setInitialDelay(VstInt32 delay);
  virtual AEffEditor* getEditor() { return editor; }
  virtual AEffect* getAeffect() { return &effectRecord; }
  virtual float getSampleRate() { return sampleRate; }
  virtual VstInt32 getBlockSize() { return blockSize; }
  virtual VstInt32 getMasterVersion();
  virtual void masterIdle();
  virtual void process(float** /*inputs*/, float** /*outputs*/, VstInt32 /*sampleFrames*/) {}
  virtual float getVu() { return 0.0f; }
  virtual void hasVu(bool state) { setFlag(effFlagsHasVu, state); }
  virtual void hasClip(bool state) { setFlag(effFlagsHasClip, state); }
  virtual void canMono(bool state) { setFlag(effFlagsCanMono, state); }
  virtual void setRealtimeQualities(VstInt32 qualities) { effectRecord.realQualities = qualities; }
  virtual void setOfflineQualities(VstInt32 qualities) { effectRecord.offQualities = qualities; }
  virtual bool isInputConnected(VstInt32 input);
  virtual bool isOutputConnected(VstInt32 output);

  // Attaching an editor is what the host's editor flag announces.
  void setEditor(AEffEditor* newEditor);

 protected:
  // One request to the host; skipped (answer 0) without a callback.
  VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  void setFlag(VstInt32 flag, bool state);

  audioMasterCallback hostCallback;
  AEffEditor* editor = nullptr;  // owned
  float sampleRate = 44100.0f;
  VstInt32 blockSize = 1024;
  VstInt32 programCount;
  VstInt32 parameterCount;
  VstInt32 currentProgram = 0;
  AEffect effectRecord;

 private:
  static VstIntPtr VST_CALLBACK dispatchEntry(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt);
  static void VST_CALLBACK processEntry(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
  static void VST_CALLBACK processReplacingEntry(AEffect* e, float** inputs, float** outputs,
                                                 VstInt32 sampleFrames);
  static void VST_CALLBACK processDoubleReplacingEntry(AEffect* e, double** inputs, double** outputs,
                                                       VstInt32 sampleFrames);
  static void VST_CALLBACK setParameterEntry(AEffect* e, VstInt32 index, float value);
  static float VST_CALLBACK getParameterEntry(AEffect* e, VstInt32 index);
};
