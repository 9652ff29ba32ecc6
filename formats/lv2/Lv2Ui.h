#pragma once
// The editor as an LV2 X11 UI. The UI may live apart from the plug-in (even
// in another process), so it holds an instance of its own that runs no audio:
// the host's port events set its parameters and hand the plug-in's meter
// outputs to its meters, and the editor's edits go back as port writes, with
// the host's touch notifications around them. The instance's own link rule
// moves the output with the threshold while Fader Link is on, and both moved
// ports are written; the plug-in applies ports as they stand.

#include <cstdint>

#include <lv2/ui/ui.h>

#include "formats/common/EmbeddedInstance.h"
#include "formats/lv2/Lv2Ports.h"
#include "plugin/QuelmarMeters.h"

class Lv2Ui final : private EmbeddedInstance::Listener {
 public:
  static const LV2UI_Descriptor descriptor;

 private:
  Lv2Ui(LV2UI_Write_Function write, LV2UI_Controller controller, void* parent, const LV2UI_Resize* resize,
        const LV2UI_Touch* touch);
  ~Lv2Ui();
  bool open(LV2UI_Widget* widget);
  void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer);
  void setFromHost(std::int32_t index, float plain);

  void parameterAutomated(std::int32_t index) override;
  void editBegun(std::int32_t index) override;
  void editEnded(std::int32_t index) override;
  void latencyMayHaveChanged() override {}

  EmbeddedInstance instance;
  LV2UI_Write_Function write;
  LV2UI_Controller controller;
  void* parent;
  const LV2UI_Resize* resize;
  const LV2UI_Touch* touch;
  bool applyingHostValue = false;  // a port event is being applied: nothing goes back
  QuelmarMeters::Reading meters{{-1000.0f, -1000.0f}, 0.0f};
};
