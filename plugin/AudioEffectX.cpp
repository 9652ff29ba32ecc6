#include "plugin/AudioEffectX.h"

#include "plugin/AEffEditor.h"

bool AudioEffectX::beginEdit(VstInt32 index) { return callHost(audioMasterBeginEdit, index) != 0; }

bool AudioEffectX::endEdit(VstInt32 index) { return callHost(audioMasterEndEdit, index) != 0; }

bool AudioEffectX::ioChanged() { return callHost(audioMasterIOChanged) != 0; }

bool AudioEffectX::updateDisplay() { return callHost(audioMasterUpdateDisplay) != 0; }

double AudioEffectX::updateSampleRate() {
  const VstIntPtr rate = callHost(audioMasterGetSampleRate);
  if (rate > 0) sampleRate = static_cast<float>(rate);
  return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize() {
  const VstIntPtr size = callHost(audioMasterGetBlockSize);
  if (size > 0) blockSize = static_cast<VstInt32>(size);
  return blockSize;
}

bool AudioEffectX::getSpeakerArrangement(void** input, void** output) {
  // Either address may be missing; write only through the ones given.
  if (input != nullptr) *input = nullptr;
  if (output != nullptr) *output = nullptr;
  return false;
}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case effProcessEvents: return processEvents(ptr);
    case effCanBeAutomated: return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter: return ptr != nullptr && string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProgramNameIndexed:
      return ptr != nullptr && getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr))
                 ? 1
                 : 0;
    case effGetInputProperties: return getInputProperties(index, ptr) ? 1 : 0;
    case effGetOutputProperties: return getOutputProperties(index, ptr) ? 1 : 0;
    case effGetPlugCategory: return getPlugCategory();
    case effOfflineNotify: return offlineNotify(ptr, static_cast<VstInt32>(value), index != 0);
    case effOfflinePrepare: return offlinePrepare(ptr, static_cast<VstInt32>(value)) ? 1 : 0;
    case effOfflineRun: return offlineRun(ptr, static_cast<VstInt32>(value)) ? 1 : 0;
    case effProcessVarIo: return processVariableIo(ptr) ? 1 : 0;
    case effSetSpeakerArrangement:
      return setSpeakerArrangement(reinterpret_cast<void*>(value), ptr) ? 1 : 0;
    case effSetBypass: return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName: return ptr != nullptr && getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString: return ptr != nullptr && getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString: return ptr != nullptr && getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion: return getVendorVersion();
    case effVendorSpecific: return vendorSpecific(index, value, ptr, opt);
    case effCanDo: return ptr != nullptr ? canDo(static_cast<char*>(ptr)) : 0;
    case effGetTailSize: return getGetTailSize();
    case effGetParameterProperties: return getParameterProperties(index, ptr) ? 1 : 0;
    case effGetVstVersion: return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
      if (editor == nullptr) return 0;
      VstKeyCode key{};
      key.character = index;
      key.virt = static_cast<unsigned char>(value);
      key.modifier = static_cast<unsigned char>(static_cast<int>(opt));
      const bool handled = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
      return handled ? 1 : 0;
    }
    case effSetEditKnobMode:
      if (editor == nullptr) return 0;
      return editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetMidiProgramName: return getMidiProgramName(index, ptr);
    case effGetCurrentMidiProgram: return getCurrentMidiProgram(index, ptr);
    case effGetMidiProgramCategory: return getMidiProgramCategory(index, ptr);
    case effHasMidiProgramsChanged: return hasMidiProgramsChanged(index) ? 1 : 0;
    case effGetMidiKeyName: return getMidiKeyName(index, ptr) ? 1 : 0;
    case effBeginSetProgram: return beginSetProgram() ? 1 : 0;
    case effEndSetProgram: return endSetProgram() ? 1 : 0;
    case effGetSpeakerArrangement:
      return getSpeakerArrangement(reinterpret_cast<void**>(value), static_cast<void**>(ptr)) ? 1 : 0;
    case effShellGetNextPlugin: return ptr != nullptr ? getNextShellPlugin(static_cast<char*>(ptr)) : 0;
    case effStartProcess: return startProcess();
    case effStopProcess: return stopProcess();
    case effSetTotalSampleToProcess: return setTotalSampleToProcess(value);
    case effSetPanLaw: return setPanLaw(static_cast<VstInt32>(value), opt) ? 1 : 0;
    case effBeginLoadBank: return beginLoadBank(ptr);
    case effBeginLoadProgram: return beginLoadProgram(ptr);
    case effSetProcessPrecision: return setProcessPrecision(static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetNumMidiInputChannels: return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels: return getNumMidiOutputChannels();
    default: return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}
