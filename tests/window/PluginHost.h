#pragma once
// A small X11 host for the built Quelmar.so: it loads the library through
// host/, opens the editor in a top-level window of its own, idles it every
// 20 ms and processes audio between the idles, as Linux hosts do.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "WindowTestSupport.h"
#include "host/HostedPlugin.h"
#include "host/PluginLibrary.h"
#include "plugin/PluginFixture.h"

namespace windowtest {

constexpr int kEditorWidth = 340;
constexpr int kEditorHeight = 215;
constexpr int kIdleIntervalMs = 20;
constexpr int kSampleRate = 44100;

class PluginHost {
 public:
  PluginHost() {
    plugin = makeQuelmar();
    if (!plugin) return;
    plugin->dispatch(effSetSampleRate, 0, 0, nullptr, float(kSampleRate));
    plugin->dispatch(effMainsChanged, 0, 1);
  }

  host::HostedPlugin& operator*() { return *plugin; }
  host::HostedPlugin* operator->() { return plugin.get(); }
  explicit operator bool() const { return plugin != nullptr; }

  bool open(::Window parent) { return plugin->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)) == 1; }
  void close() { plugin->dispatch(effEditClose); }
  void idle() { plugin->dispatch(effEditIdle); }

  // One block of audio: a sine at the level (0 is silence).
  void process(int frames) {
    left.resize(std::size_t(frames));
    right.resize(std::size_t(frames));
    outLeft.resize(std::size_t(frames));
    outRight.resize(std::size_t(frames));
    for (int i = 0; i < frames; ++i, ++phase) {
      const float s = level * float(std::sin(2.0 * M_PI * 440.0 * double(phase) / kSampleRate));
      left[std::size_t(i)] = right[std::size_t(i)] = s;
    }
    float* in[2] = {left.data(), right.data()};
    float* out[2] = {outLeft.data(), outRight.data()};
    plugin->processReplacing(in, out, frames);
  }

  // The automation and edit brackets the host received, as (opcode, index, value).
  struct Edit {
    VstInt32 opcode;
    VstInt32 index;
    float value;
  };
  std::vector<Edit> edits() const {
    std::vector<Edit> out;
    for (const host::HostRequest& r : plugin->requests())
      if (r.opcode == audioMasterAutomate || r.opcode == audioMasterBeginEdit || r.opcode == audioMasterEndEdit)
        out.push_back({r.opcode, r.index, r.opcode == audioMasterAutomate ? r.opt : 0.0f});
    return out;
  }

  float level = 0.0f;

 private:
  std::unique_ptr<host::HostedPlugin> plugin;
  std::vector<float> left, right, outLeft, outRight;
  long phase = 0;
};

// Runs the hosts' loops for a while: audio for each 20 ms, then the idle.
inline void run(HostDisplay& display, std::vector<PluginHost*> hosts, int milliseconds) {
  for (int elapsed = 0; elapsed < milliseconds; elapsed += kIdleIntervalMs) {
    for (PluginHost* h : hosts) {
      h->process(kSampleRate * kIdleIntervalMs / 1000);
      h->idle();
    }
    display.drain();
    sleepMs(kIdleIntervalMs);
  }
}

// Points at a spot of the window, clicks there and lets the editors answer.
inline void clickAt(HostDisplay& display, std::vector<PluginHost*> hosts, ::Window w, int x, int y) {
  display.moveTo(w, x, y);
  run(display, hosts, 40);
  display.click();
  run(display, std::move(hosts), 100);
}

}  // namespace windowtest
