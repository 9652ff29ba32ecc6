#pragma once
// Loads the built Quelmar.so once per test binary and creates instances through
// our own host, the way a DAW does. The library stays mapped until the process
// ends, as in most hosts: the graphics libraries its editor pulls in keep
// caches that only their own globals reach, which an unload would turn into
// leaks that are not ours.

#include "host/HostedPlugin.h"
#include "host/PluginLibrary.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

inline const host::PluginLibrary& quelmarLibrary() {
  static std::unique_ptr<host::PluginLibrary> library = [] {
    std::string error;
    auto opened = host::PluginLibrary::open(QUELMAR_PLUGIN_PATH, error, true);
    if (!opened) ADD_FAILURE() << error;
    return opened;
  }();
  return *library;
}

inline std::unique_ptr<host::HostedPlugin> makeQuelmar(host::HostAnswers answers = {}) {
  std::string error;
  auto plugin = host::HostedPlugin::create(quelmarLibrary(), std::move(answers), error);
  if (!plugin) ADD_FAILURE() << error;
  return plugin;
}

// Started as a host starts it: told the rate, then switched on.
inline std::unique_ptr<host::HostedPlugin> makeRunningQuelmar(float rate) {
  host::HostAnswers answers;
  answers.sampleRate = VstIntPtr(rate);
  auto plugin = makeQuelmar(answers);
  if (!plugin) return plugin;
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, rate);
  plugin->dispatch(effMainsChanged, 0, 1);
  return plugin;
}

inline std::string text(host::HostedPlugin& plugin, VstInt32 opcode, VstInt32 index = 0) {
  char buffer[256];
  std::fill(std::begin(buffer), std::end(buffer), '\x7f');
  plugin.dispatch(opcode, index, 0, buffer);
  buffer[255] = 0;
  return buffer;
}

inline std::vector<host::HostRequest> requestsWith(const host::HostedPlugin& plugin, VstInt32 opcode) {
  std::vector<host::HostRequest> matching;
  for (const host::HostRequest& r : plugin.requests()) {
    if (r.opcode == opcode) matching.push_back(r);
  }
  return matching;
}

// Processes stereo blocks through the record's processReplacing entry.
inline void processThrough(host::HostedPlugin& plugin, const float* left, const float* right, float* outLeft,
                           float* outRight, int frames) {
  float* inputs[2] = {const_cast<float*>(left), const_cast<float*>(right)};
  float* outputs[2] = {outLeft, outRight};
  plugin.processReplacing(inputs, outputs, frames);
}
