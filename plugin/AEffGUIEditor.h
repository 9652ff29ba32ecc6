#pragma once
// The editor bridge: turns the host's editor requests into operations on the
// GUI framework's frame, and gives the framework its way back to the host
// (idle processing from inside long mouse gestures, the begin and end of an
// edit, the knob mode).

#include <cstdint>

#include "gui/VSTGUIEditorInterface.h"
#include "plugin/AEffEditor.h"

class AEffGUIEditor : public AEffEditor, public VSTGUI::VSTGUIEditorInterface {
 public:
  explicit AEffGUIEditor(AudioEffect* effect);
  ~AEffGUIEditor() override;

  bool getRect(ERect** rect) override;
  void idle() override;
  bool onKeyDown(VstKeyCode& key) override;
  bool onKeyUp(VstKeyCode& key) override;
  bool setKnobMode(VstInt32 mode) override;
  // Called by the effect after every parameter change, window open or not.
  virtual void parameterChanged(VstInt32 /*index*/, float /*value*/) {}
  // Draws an area of the open editor (null: all of it) on its window.
  virtual void draw(ERect* area);

  void idleProcessing() override;
  std::int32_t getKnobMode() const override;
  void beginEdit(std::int32_t index) override;
  void endEdit(std::int32_t index) override;

  // How idle processing paces itself, in milliseconds: a pass is due this
  // long after the previous one...
  static constexpr std::uint32_t kIdleInterval = 100;
  // ...an early call waits this long first...
  static constexpr std::uint32_t kEarlyCallSleep = 4;
  // ...and then runs anyway when it is at most this close to being due.
  static constexpr std::uint32_t kIdleTolerance = 50;

 protected:
  ERect rect{};
  std::uint32_t lastIdleTicks;  // earliest tick count of the next full idle pass
  bool inIdleProcessing = false;

 private:
  // One setting for the whole process, as hosts set it for all editors.
  static std::int32_t knobMode;
};
