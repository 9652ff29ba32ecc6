#pragma once
// Quelmar as an LV2 plug-in: a small host of the instance inside the bundle's
// plug-in library. Control ports become set-parameter calls between runs,
// activation a resume; the latency and the meters come back out as control
// outputs. It owns no parameter, latency or meter rule of its own.
//
// Fader Link is the editor's in LV2: a plug-in cannot move its own input
// ports, so the instance here always runs unlinked and applies the
// threshold and output ports as they stand. The UI moves both ports together
// while the link is on, and a host shows what is applied.

#include <cstdint>

#include <lv2/core/lv2.h>

#include "formats/common/EmbeddedInstance.h"
#include "formats/lv2/Lv2Ports.h"
#include "plugin/QuelmarMeters.h"

class Lv2Plugin final : private EmbeddedInstance::Listener {
 public:
  static const LV2_Descriptor descriptor;

 private:
  explicit Lv2Plugin(double sampleRate);

  void connect(std::uint32_t port, void* data);
  void run(std::uint32_t frames);
  void applyControls();
  void publishMeters(std::uint32_t frames);

  // Nothing of the instance's host requests matters here: the instance has
  // no editor, and its latency is read after every run.
  void parameterAutomated(std::int32_t) override {}
  void editBegun(std::int32_t) override {}
  void editEnded(std::int32_t) override {}
  void latencyMayHaveChanged() override {}

  EmbeddedInstance instance;
  float* ports[Lv2Ports::kCount] = {};
  // What the instance was last set to from each control port.
  float applied[QuelmarParameters::kParameterCount];
  // The meters shown on the outputs hold their highest value for a while,
  // so that a host reading them now and then misses no peak.
  QuelmarMeters::Reading held{};
  std::uint32_t heldFor = 0;
  std::uint32_t holdLength;
};
