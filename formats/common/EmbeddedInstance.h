#pragma once
// The instance as a format adapter holds it: made through the library's own
// entry point and driven only through its binary record, exactly as a host
// drives the VST 2.4 build, so every parameter, latency and meter rule stays
// the instance's. What the instance asks of its host (automation, the edit
// brackets of its editor, a new latency) reaches the adapter through Listener.

#include <cstdint>

#include "plugin/AEffect.h"

class EmbeddedInstance {
 public:
  // Called on the thread that caused the request: automation on the thread
  // that set the parameter (the audio thread for a linked output moved by an
  // event), the edit brackets on the editor's thread. Never while the
  // instance is being made.
  class Listener {
   public:
    virtual void parameterAutomated(std::int32_t index) = 0;
    virtual void editBegun(std::int32_t index) = 0;
    virtual void editEnded(std::int32_t index) = 0;
    // The record's delay may differ now (the detection switch was set).
    virtual void latencyMayHaveChanged() = 0;

   protected:
    ~Listener() = default;
  };

  explicit EmbeddedInstance(Listener& listener);
  ~EmbeddedInstance();
  EmbeddedInstance(const EmbeddedInstance&) = delete;
  EmbeddedInstance& operator=(const EmbeddedInstance&) = delete;

  // False when the entry point made no instance; nothing else then works.
  bool isValid() const { return effect != nullptr; }
  // The record, for what reaches the instance through it (its meters).
  AEffect* record() const { return effect; }

  // Configuration, while no audio runs.
  void setSampleRate(float rate);
  void setBlockSize(std::int32_t frames);
  // Switching on starts the engine from a reset, as a host's resume does.
  void setActive(bool on);

  // Replacing process of frames samples; outputs may be the inputs. Inline:
  // it runs for every piece of every block.
  void process(float* const* inputs, float* const* outputs, std::int32_t frames) {
    if (effect == nullptr || frames <= 0) return;
    effect->processReplacing(effect, const_cast<float**>(inputs), const_cast<float**>(outputs), frames);
  }

  void setParameter(std::int32_t index, float normalised);
  float getParameter(std::int32_t index) const;
  std::uint32_t latency() const;

  // The editor: its size, its window inside the host's, and the idle step
  // that runs its events, timers and paints where no system loop does.
  bool hasEditor() const;
  bool editorSize(std::uint32_t& width, std::uint32_t& height) const;
  bool openEditor(void* parentWindow);
  void closeEditor();
  void idleEditor();

 private:
  static VstIntPtr VST_CALLBACK hostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr, float opt);
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) const;

  Listener& listener;
  AEffect* effect = nullptr;
};
