#pragma once
// The extended vocabulary of the interface: requests 25 to 79 with their
// defaults, and the extended requests to the host that this system sends.

#include "plugin/AudioEffect.h"

class AudioEffectX : public AudioEffect {
 public:
  using AudioEffect::AudioEffect;

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) override;

  virtual bool canParameterBeAutomated(VstInt32 /*index*/) { return true; }
  virtual bool string2parameter(VstInt32 /*index*/, char* /*text*/) { return false; }
  virtual bool getParameterProperties(VstInt32 /*index*/, void* /*properties*/) { return false; }
  virtual bool beginEdit(VstInt32 index);
  virtual bool endEdit(VstInt32 index);
  virtual bool getProgramNameIndexed(VstInt32 /*category*/, VstInt32 /*index*/, char* /*text*/) { return false; }
  virtual bool beginSetProgram() { return false; }
  virtual bool endSetProgram() { return false; }
  virtual VstInt32 beginLoadBank(void* /*bank*/) { return 0; }
  virtual VstInt32 beginLoadProgram(void* /*program*/) { return 0; }
  virtual bool ioChanged();
  virtual double updateSampleRate();
  virtual VstInt32 updateBlockSize();
  virtual bool getInputProperties(VstInt32 /*index*/, void* /*properties*/) { return false; }
  virtual bool getOutputProperties(VstInt32 /*index*/, void* /*properties*/) { return false; }
  virtual bool setSpeakerArrangement(void* /*input*/, void* /*output*/) { return false; }
  virtual bool getSpeakerArrangement(void** input, void** output);
  virtual bool setBypass(bool /*onOff*/) { return false; }
  virtual bool setPanLaw(VstInt32 /*type*/, float /*value*/) { return false; }
  virtual bool setProcessPrecision(VstInt32 /*precision*/) { return false; }
  virtual VstInt32 getNumMidiInputChannels() { return 0; }
  virtual VstInt32 getNumMidiOutputChannels() { return 0; }
  virtual VstInt32 processEvents(void* /*events*/) { return 0; }
  virtual VstInt32 startProcess() { return 0; }
  virtual VstInt32 stopProcess() { return 0; }
  virtual bool processVariableIo(void* /*io*/) { return false; }
  virtual VstIntPtr setTotalSampleToProcess(VstIntPtr value) { return value; }
  virtual void isSynth(bool state) { setFlag(effFlagsIsSynth, state); }
  virtual void noTail(bool state) { setFlag(effFlagsNoSoundInStop, state); }
  virtual VstInt32 getGetTailSize() { return 0; }
  virtual bool getEffectName(char* /*name*/) { return false; }
  virtual bool getVendorString(char* /*text*/) { return false; }
  virtual bool getProductString(char* /*text*/) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstIntPtr vendorSpecific(VstInt32 /*a*/, VstIntPtr /*b*/, void* /*ptr*/, float /*f*/) { return 0; }
  virtual VstInt32 canDo(char* /*text*/) { return 0; }
  virtual VstInt32 getVstVersion() { return 2400; }
  virtual VstInt32 getPlugCategory() { return kPlugCategEffect; }
  virtual VstInt32 getMidiProgramName(VstInt32 /*channel*/, void* /*name*/) { return 0; }
  virtual VstInt32 getCurrentMidiProgram(VstInt32 /*channel*/, void* /*name*/) { return -1; }
  virtual VstInt32 getMidiProgramCategory(VstInt32 /*channel*/, void* /*category*/) { return 0; }
  virtual bool hasMidiProgramsChanged(VstInt32 /*channel*/) { return false; }
  virtual bool getMidiKeyName(VstInt32 /*channel*/, void* /*keyName*/) { return false; }
  virtual bool updateDisplay();
  virtual VstInt32 getNextShellPlugin(char* /*name*/) { return 0; }
  virtual VstInt32 offlineNotify(void* /*audioFile*/, VstInt32 /*count*/, bool /*start*/) { return 0; }
  virtual bool offlinePrepare(void* /*task*/, VstInt32 /*count*/) { return false; }
  virtual bool offlineRun(void* /*task*/, VstInt32 /*count*/) { return false; }
};
