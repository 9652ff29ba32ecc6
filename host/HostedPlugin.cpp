#include "host/HostedPlugin.h"

#include <algorithm>

namespace host {

namespace {
// Requests that arrive while the entry point runs cannot be matched through the
// record yet (the version request carries none; the constructor's requests
// carry a record whose user field we have not set).
thread_local HostedPlugin* instanceBeingCreated = nullptr;
}  // namespace

HostedPlugin::HostedPlugin(HostAnswers answers) : answers_(std::move(answers)) {}

std::unique_ptr<HostedPlugin> HostedPlugin::create(const PluginLibrary& library, HostAnswers answers,
                                                   std::string& error) {
  std::unique_ptr<HostedPlugin> plugin(new HostedPlugin(std::move(answers)));
  instanceBeingCreated = plugin.get();
  AEffect* effect = library.entry()(&HostedPlugin::callback);
  instanceBeingCreated = nullptr;
  if (effect == nullptr) {
    error = library.path() + ": the plug-in's entry point returned no instance";
    return nullptr;
  }
  if (effect->magic != kEffectMagic) {
    error = library.path() + ": the plug-in returned a record without the VST magic";
    return nullptr;
  }
  effect->user = plugin.get();
  plugin->effect_ = effect;
  return plugin;
}

HostedPlugin::~HostedPlugin() { close(); }

VstIntPtr HostedPlugin::close() {
  if (effect_ == nullptr) return 0;
  VstIntPtr result = effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
  effect_ = nullptr;
  return result;
}

VstIntPtr HostedPlugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (effect_ == nullptr) return 0;
  if (opcode == effClose) return close();
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void HostedPlugin::setParameter(VstInt32 index, float value) {
  if (effect_ != nullptr) effect_->setParameter(effect_, index, value);
}

float HostedPlugin::getParameter(VstInt32 index) {
  return effect_ != nullptr ? effect_->getParameter(effect_, index) : 0.0f;
}

void HostedPlugin::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
  if (effect_ != nullptr) effect_->processReplacing(effect_, inputs, outputs, frames);
}

std::vector<HostRequest> HostedPlugin::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::size_t HostedPlugin::countRequests(VstInt32 opcode) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<std::size_t>(std::count_if(requests_.begin(), requests_.end(),
                                                [opcode](const HostRequest& r) { return r.opcode == opcode; }));
}

void HostedPlugin::clearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

VstIntPtr HostedPlugin::answer(const HostRequest& request, void* ptr) {
  if (answers_.recordRequests) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  if (answers_.custom) {
    if (std::optional<VstIntPtr> custom = answers_.custom(request, ptr)) return *custom;
  }
  switch (request.opcode) {
    case audioMasterVersion: return answers_.version;
    case audioMasterGetSampleRate: return answers_.sampleRate;
    case audioMasterGetBlockSize: return answers_.blockSize;
    default: return 0;
  }
}

VstIntPtr VST_CALLBACK HostedPlugin::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                              void* ptr, float opt) {
  HostedPlugin* self = instanceBeingCreated;
  if (self == nullptr && effect != nullptr) self = static_cast<HostedPlugin*>(effect->user);
  if (self == nullptr) {
    // A request we cannot attribute: answer like a minimal host.
    return opcode == audioMasterVersion ? 2400 : 0;
  }
  return self->answer(HostRequest{effect, opcode, index, value, opt}, ptr);
}

}  // namespace host
