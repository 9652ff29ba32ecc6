#pragma once
// The effect the renderer plays through, hosted through the VST 2.4 interface
// the way a DAW hosts it.

#include "host/HostedPlugin.h"
#include "host/render/Options.h"

#include <memory>
#include <string>

namespace render {

class EffectInstance;

class Effect {
 public:
  // Loads the library and checks, on a first instance, that it is an effect
  // with two inputs and two outputs that can process replacing. Throws
  // RenderError naming the file and the cause.
  static std::unique_ptr<Effect> load(const std::string& path, int sampleRate, int blockSize);
  ~Effect();

  const std::string& path() const { return library_->path(); }
  const std::string& name() const { return name_; }
  // True when parameters 0 to 3 are Quelmar's threshold, output, link and
  // inter-sample-peak switch, so the renderer's settings mean what they say.
  bool hasQuelmarControls() const { return quelmarControls_; }
  int blockSize() const { return blockSize_; }
  int sampleRate() const { return sampleRate_; }

  // Each render pass gets a new instance: every pass starts from the same
  // state, so a search pass and the final render give the same samples.
  std::unique_ptr<EffectInstance> instantiate(const Controls& controls);

 private:
  Effect(std::unique_ptr<host::PluginLibrary> library, int sampleRate, int blockSize);
  std::unique_ptr<host::HostedPlugin> create();

  std::unique_ptr<host::PluginLibrary> library_;
  int sampleRate_;
  int blockSize_;
  std::string name_;
  bool quelmarControls_ = false;
  std::unique_ptr<host::HostedPlugin> spare_;  // the checked first instance, used by the first pass
};

class EffectInstance {
 public:
  EffectInstance(std::unique_ptr<host::HostedPlugin> plugin, const Controls& controls, bool quelmarControls,
                 int sampleRate, int blockSize);
  // Switches the effect off and closes it.
  ~EffectInstance();
  EffectInstance(const EffectInstance&) = delete;
  EffectInstance& operator=(const EffectInstance&) = delete;

  // The latency the effect reports now, in samples.
  int latency() const;
  void process(float** inputs, float** outputs, int frames);
  // Off and on again: for an effect that settled its latency only once it
  // saw audio, this clears what the first block left behind.
  void restart();
  // The gain the effect applies where it does not limit: output minus
  // threshold for Quelmar, unity for anything else.
  double nominalGainDb() const { return nominalGainDb_; }
  // The settings as the effect holds them after they were applied.
  const Controls& applied() const { return applied_; }

 private:
  std::unique_ptr<host::HostedPlugin> plugin_;
  double nominalGainDb_ = 0.0;
  Controls applied_;
};

}  // namespace render
