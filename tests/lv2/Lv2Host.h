#pragma once
// The built quelmar.lv2 as LV2 hosts load it: found by lilv in the build's
// bundle folder, instantiated through its descriptor, its ports connected.

#include <lilv/lilv.h>

#include <string>
#include <vector>

namespace lv2test {

inline constexpr const char* kPluginUri = "https://orvelstamik.com/plugins/quelmar";

// One world for the process, over the build's bundle and the system's
// schemas (which give the plug-in's class its meaning).
inline LilvWorld* world() {
  static LilvWorld* w = [] {
    LilvWorld* made = lilv_world_new();
    LilvNode* path = lilv_new_string(made, QUELMAR_LV2_PATH ":/usr/lib/lv2");
    lilv_world_set_option(made, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(made);
    return made;
  }();
  return w;
}

inline const LilvPlugin* quelmar() {
  static const LilvPlugin* p = [] {
    LilvNode* uri = lilv_new_uri(world(), kPluginUri);
    const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world()), uri);
    lilv_node_free(uri);
    return found;
  }();
  return p;
}

// An instance with every port connected: audio to buffers of the block's
// size, controls to the values here.
class Lv2Instance {
 public:
  static constexpr int kPorts = 12;

  explicit Lv2Instance(double rate, std::uint32_t maxFrames = 8192)
      : inL(maxFrames), inR(maxFrames), outL(maxFrames), outR(maxFrames) {
    if (quelmar() == nullptr) return;
    instance = lilv_plugin_instantiate(quelmar(), rate, nullptr);
    if (instance == nullptr) return;
    float* audio[4] = {inL.data(), inR.data(), outL.data(), outR.data()};
    for (std::uint32_t i = 0; i < 4; ++i) lilv_instance_connect_port(instance, i, audio[i]);
    for (std::uint32_t i = 4; i < kPorts; ++i) lilv_instance_connect_port(instance, i, &control[i]);
    lilv_instance_activate(instance);
  }
  ~Lv2Instance() {
    if (instance == nullptr) return;
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
  }
  Lv2Instance(const Lv2Instance&) = delete;
  Lv2Instance& operator=(const Lv2Instance&) = delete;

  explicit operator bool() const { return instance != nullptr; }
  void reactivate() {
    lilv_instance_deactivate(instance);
    lilv_instance_activate(instance);
  }
  // Runs frames samples from the input vectors at, into the outputs at.
  void run(const float* left, const float* right, float* outLeft, float* outRight, std::uint32_t frames) {
    std::copy(left, left + frames, inL.begin());
    std::copy(right, right + frames, inR.begin());
    lilv_instance_run(instance, frames);
    std::copy(outL.begin(), outL.begin() + frames, outLeft);
    std::copy(outR.begin(), outR.begin() + frames, outRight);
  }

  float control[kPorts] = {0, 0, 0, 0, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, -1.0f, -1.0f, -1.0f};
  LilvInstance* instance = nullptr;

 private:
  std::vector<float> inL, inR, outL, outR;
};

}  // namespace lv2test
