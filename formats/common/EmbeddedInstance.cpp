#include "formats/common/EmbeddedInstance.h"

// The entry point the library's VST build exports; in a format's library it
// is linked in unexported.
extern "C" AEffect* VST_CALLBACK VSTPluginMain(audioMasterCallback hostCallback);

EmbeddedInstance::EmbeddedInstance(Listener& owner) : listener(owner) {
  effect = VSTPluginMain(&EmbeddedInstance::hostCallback);
  // The record's user field is the host's; ours finds this object through it.
  if (effect != nullptr) effect->user = this;
}

EmbeddedInstance::~EmbeddedInstance() {
  if (effect != nullptr) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
}

VstIntPtr EmbeddedInstance::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) const {
  return effect != nullptr ? effect->dispatcher(effect, opcode, index, value, ptr, opt) : 0;
}

VstIntPtr VST_CALLBACK EmbeddedInstance::hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr,
                                                      void*, float) {
  // While the entry point runs, the record is not ours yet: the instance only
  // asks for the version then, and for a sample rate, which the format gives
  // later (0 leaves the instance's default until then).
  auto* self = effect != nullptr ? static_cast<EmbeddedInstance*>(effect->user) : nullptr;
  if (opcode == audioMasterVersion) return 2400;
  if (self == nullptr) return 0;
  switch (opcode) {
    case audioMasterAutomate: self->listener.parameterAutomated(index); break;
    case audioMasterBeginEdit: self->listener.editBegun(index); break;
    case audioMasterEndEdit: self->listener.editEnded(index); break;
    case audioMasterIOChanged: self->listener.latencyMayHaveChanged(); break;
    default: break;  // the display of a host-drawn list, idle: nothing to do here
  }
  return 0;
}

void EmbeddedInstance::setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }

void EmbeddedInstance::setBlockSize(std::int32_t frames) { dispatch(effSetBlockSize, 0, frames); }

void EmbeddedInstance::setActive(bool on) { dispatch(effMainsChanged, 0, on ? 1 : 0); }

void EmbeddedInstance::setParameter(std::int32_t index, float normalised) {
  if (effect != nullptr) effect->setParameter(effect, index, normalised);
}

float EmbeddedInstance::getParameter(std::int32_t index) const {
  return effect != nullptr ? effect->getParameter(effect, index) : 0.0f;
}

std::uint32_t EmbeddedInstance::latency() const {
  return effect != nullptr && effect->initialDelay > 0 ? static_cast<std::uint32_t>(effect->initialDelay) : 0;
}

bool EmbeddedInstance::hasEditor() const { return effect != nullptr && (effect->flags & effFlagsHasEditor) != 0; }

bool EmbeddedInstance::editorSize(std::uint32_t& width, std::uint32_t& height) const {
  ERect* rect = nullptr;
  if (!hasEditor() || dispatch(effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr) return false;
  if (rect->right <= rect->left || rect->bottom <= rect->top) return false;
  width = static_cast<std::uint32_t>(rect->right - rect->left);
  height = static_cast<std::uint32_t>(rect->bottom - rect->top);
  return true;
}

bool EmbeddedInstance::openEditor(void* parentWindow) {
  return hasEditor() && parentWindow != nullptr && dispatch(effEditOpen, 0, 0, parentWindow) != 0;
}

void EmbeddedInstance::closeEditor() { dispatch(effEditClose); }

void EmbeddedInstance::idleEditor() { dispatch(effEditIdle); }
