#include "host/render/Effect.h"

#include "host/render/Errors.h"
#include "host/render/ParameterValues.h"

#include <cstring>
#include <mutex>

namespace render {

namespace {

using namespace QuelmarParameters;

std::string parameterName(host::HostedPlugin& plugin, VstInt32 index) {
  // The interface suggests 8 characters; plug-ins write more (ours writes
  // "ISP Detection"), so the buffer is generous.
  char name[256] = {};
  plugin.dispatch(effGetParamName, index, 0, name);
  name[sizeof name - 1] = '\0';
  return name;
}

// Hosts make, set up and close plug-in instances on one thread, and plug-ins
// may keep process-wide state that relies on it (ours shares its graphics
// set-up between instances). A batch's threads therefore take turns for all
// of that; only the audio runs on several threads at once. Recursive, as a
// failed load closes its checking instance while holding it.
std::recursive_mutex& setupTurn() {
  static std::recursive_mutex turn;
  return turn;
}

}  // namespace

Effect::Effect(std::unique_ptr<host::PluginLibrary> library, int sampleRate, int blockSize)
    : library_(std::move(library)), sampleRate_(sampleRate), blockSize_(blockSize) {}

Effect::~Effect() {
  const std::lock_guard<std::recursive_mutex> turn(setupTurn());
  spare_.reset();
}

std::unique_ptr<host::HostedPlugin> Effect::create() {
  host::HostAnswers answers;
  answers.sampleRate = sampleRate_;
  answers.blockSize = blockSize_;
  // Some effects ask for the transport on every block; a render of an hour
  // would otherwise keep millions of requests nobody reads.
  answers.recordRequests = false;
  std::string error;
  std::unique_ptr<host::HostedPlugin> plugin = host::HostedPlugin::create(*library_, answers, error);
  if (!plugin) throw RenderError(error);
  return plugin;
}

std::unique_ptr<Effect> Effect::load(const std::string& path, int sampleRate, int blockSize) {
  std::unique_lock<std::recursive_mutex> turn(setupTurn());
  std::string error;
  // Effects are free to start threads or register handlers in the libraries
  // they use; unmapping them before exit is a risk with nothing to gain.
  std::unique_ptr<host::PluginLibrary> library = host::PluginLibrary::open(path, error, true);
  if (!library) throw RenderError(error);
  std::unique_ptr<Effect> effect(new Effect(std::move(library), sampleRate, blockSize));
  std::unique_ptr<host::HostedPlugin> plugin = effect->create();
  const AEffect& record = *plugin->effect();
  if ((record.flags & effFlagsIsSynth) != 0) throw RenderError(path + ": is an instrument, not an effect");
  if (record.numInputs != 2 || record.numOutputs != 2) {
    throw RenderError(path + ": not a stereo effect (it has " + std::to_string(record.numInputs) + " inputs and " +
                      std::to_string(record.numOutputs) + " outputs; quelmar-render needs 2 and 2)");
  }
  if ((record.flags & effFlagsCanReplacing) == 0 || record.processReplacing == nullptr) {
    throw RenderError(path + ": the effect cannot process replacing, which quelmar-render needs");
  }
  for (VstInt32 opcode : {effGetProductString, effGetEffectName}) {
    char name[256] = {};
    if (plugin->dispatch(opcode, 0, 0, name) != 0 && name[0] != '\0') {
      name[sizeof name - 1] = '\0';
      effect->name_ = name;
      break;
    }
  }
  bool quelmarControls = record.numParams >= kParameterCount;
  for (VstInt32 index = 0; quelmarControls && index < kParameterCount; ++index) {
    quelmarControls = parameterName(*plugin, index) == kNames[index];
  }
  effect->quelmarControls_ = quelmarControls;
  effect->spare_ = std::move(plugin);
  return effect;
}

std::unique_ptr<EffectInstance> Effect::instantiate(const Controls& controls) {
  std::unique_ptr<host::HostedPlugin> plugin;
  {
    const std::lock_guard<std::recursive_mutex> turn(setupTurn());
    plugin = spare_ ? std::move(spare_) : create();
  }
  return std::make_unique<EffectInstance>(std::move(plugin), controls, quelmarControls_, sampleRate_, blockSize_);
}

EffectInstance::EffectInstance(std::unique_ptr<host::HostedPlugin> plugin, const Controls& controls,
                               bool quelmarControls, int sampleRate, int blockSize)
    : plugin_(std::move(plugin)) {
  const std::lock_guard<std::recursive_mutex> turn(setupTurn());
  plugin_->dispatch(effOpen);
  plugin_->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  plugin_->dispatch(effSetBlockSize, 0, blockSize);
  if (quelmarControls) {
    // With the link on, a threshold move drags the output along: set both with
    // the link off and switch it on last.
    plugin_->setParameter(kFaderLink, 0.0f);
    if (controls.thresholdTenths) plugin_->setParameter(kThreshold, normalisedForTenths(*controls.thresholdTenths));
    if (controls.ceilingTenths) plugin_->setParameter(kOutput, normalisedForTenths(*controls.ceilingTenths));
    plugin_->setParameter(kIspDetection, controls.isp ? 1.0f : 0.0f);
    if (controls.link) plugin_->setParameter(kFaderLink, 1.0f);
    applied_.thresholdTenths = tenthsOf(plugin_->getParameter(kThreshold));
    applied_.ceilingTenths = tenthsOf(plugin_->getParameter(kOutput));
    applied_.link = switchIsOn(plugin_->getParameter(kFaderLink));
    applied_.isp = switchIsOn(plugin_->getParameter(kIspDetection));
    nominalGainDb_ = 0.1 * (*applied_.ceilingTenths - *applied_.thresholdTenths);
  }
  plugin_->dispatch(effMainsChanged, 0, 1);
}

EffectInstance::~EffectInstance() {
  const std::lock_guard<std::recursive_mutex> turn(setupTurn());
  plugin_->dispatch(effMainsChanged, 0, 0);
  plugin_->close();
  plugin_.reset();
}

int EffectInstance::latency() const { return plugin_->effect()->initialDelay; }

void EffectInstance::process(float** inputs, float** outputs, int frames) {
  plugin_->processReplacing(inputs, outputs, frames);
}

void EffectInstance::restart() {
  const std::lock_guard<std::recursive_mutex> turn(setupTurn());
  plugin_->dispatch(effMainsChanged, 0, 0);
  plugin_->dispatch(effMainsChanged, 0, 1);
}

}  // namespace render
