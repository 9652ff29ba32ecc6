#pragma once

#include <cstdint>

namespace VSTGUI {

class CFrame;

// All the framework knows of an editor: the frame it owns while its window is
// open, and the few services the views need from the plug-in side.
class VSTGUIEditorInterface {
 public:
  // Lets the host and the window catch up from inside a long mouse gesture.
  virtual void idleProcessing() = 0;
  virtual std::int32_t getKnobMode() const = 0;
  // The begin and end of a parameter edit, by parameter index.
  virtual void beginEdit(std::int32_t index) = 0;
  virtual void endEdit(std::int32_t index) = 0;
  virtual ~VSTGUIEditorInterface() = default;

  CFrame* getFrame() const { return frame; }

 protected:
  // Null while the editor is closed; owned by the editor while open.
  CFrame* frame = nullptr;
};

}  // namespace VSTGUI
