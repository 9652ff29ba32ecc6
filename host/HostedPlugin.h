#pragma once
// One plug-in instance driven the way a host drives it: created through the
// entry point with our callback, which answers a few questions and records
// every request the plug-in sends.

#include "host/PluginLibrary.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace host {

struct HostRequest {
  const AEffect* effect;  // record pointer the plug-in passed (null for the version request)
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  float opt;
};

struct HostAnswers {
  VstIntPtr version = 2400;
  VstIntPtr sampleRate = 44100;
  VstIntPtr blockSize = 1024;
  // Consulted first for every request; an empty answer falls back to the above
  // (and to 0 for everything else).
  std::function<std::optional<VstIntPtr>(const HostRequest&, void* ptr)> custom;
  // Off for long renders: an effect that asks for the transport on every
  // block would otherwise grow the record without bound.
  bool recordRequests = true;
};

class HostedPlugin {
 public:
  // Calls the library's entry point. Answers null, with one line in error, when
  // the plug-in returns no record or a record without the interface's magic.
  static std::unique_ptr<HostedPlugin> create(const PluginLibrary& library, HostAnswers answers,
                                              std::string& error);
  ~HostedPlugin();
  HostedPlugin(const HostedPlugin&) = delete;
  HostedPlugin& operator=(const HostedPlugin&) = delete;

  AEffect* effect() const { return effect_; }
  bool isOpen() const { return effect_ != nullptr; }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  void setParameter(VstInt32 index, float value);
  float getParameter(VstInt32 index);
  void processReplacing(float** inputs, float** outputs, VstInt32 frames);
  // effClose; the record is gone afterwards. Also done by the destructor.
  VstIntPtr close();

  std::vector<HostRequest> requests() const;
  std::size_t countRequests(VstInt32 opcode) const;
  void clearRequests();

 private:
  explicit HostedPlugin(HostAnswers answers);
  VstIntPtr answer(const HostRequest& request, void* ptr);
  static VstIntPtr VST_CALLBACK callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                         void* ptr, float opt);

  HostAnswers answers_;
  AEffect* effect_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<HostRequest> requests_;
};

}  // namespace host
