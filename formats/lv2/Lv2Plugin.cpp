#include "formats/lv2/Lv2Plugin.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <iterator>
#include <new>

using namespace Lv2Ports;

namespace {

// About two frames of a host's display at 25 per second.
constexpr double kMeterHoldSeconds = 0.08;

}  // namespace

Lv2Plugin::Lv2Plugin(double sampleRate)
    : instance(*this),
      holdLength(static_cast<std::uint32_t>(std::clamp(sampleRate, 1.0, 1e7) * kMeterHoldSeconds)) {
  std::fill(std::begin(applied), std::end(applied), std::numeric_limits<float>::quiet_NaN());
  instance.setSampleRate(static_cast<float>(sampleRate));
  instance.setParameter(QuelmarParameters::kFaderLink, 0.0f);
  heldFor = holdLength;  // the first run starts the hold
}

void Lv2Plugin::connect(std::uint32_t port, void* data) {
  if (port < kCount) ports[port] = static_cast<float*>(data);
}

void Lv2Plugin::applyControls() {
  for (std::int32_t i = 0; i < QuelmarParameters::kParameterCount; ++i) {
    const float* port = ports[kFirstParameter + std::uint32_t(i)];
    if (port == nullptr) continue;
    const float value = *port;
    // Unchanged values are not set again: the detection switch would ask
    // for its latency to be read again each time, to no end.
    if (value == applied[i] || (std::isnan(value) && std::isnan(applied[i]))) continue;
    applied[i] = value;
    if (i == QuelmarParameters::kFaderLink) continue;  // the editor's; see the header
    instance.setParameter(i, QuelmarParameters::normalisedOf(i, value));
  }
}

void Lv2Plugin::run(std::uint32_t frames) {
  applyControls();
  if (ports[kInLeft] && ports[kInRight] && ports[kOutLeft] && ports[kOutRight]) {
    float* in[2] = {ports[kInLeft], ports[kInRight]};
    float* out[2] = {ports[kOutLeft], ports[kOutRight]};
    // In pieces the instance's frame count holds; the result does not
    // depend on where a block is cut.
    constexpr std::uint32_t kPiece = 1u << 20;
    for (std::uint32_t done = 0; done < frames;) {
      const std::uint32_t n = std::min(kPiece, frames - done);
      float* inPiece[2] = {in[0] + done, in[1] + done};
      float* outPiece[2] = {out[0] + done, out[1] + done};
      instance.process(inPiece, outPiece, static_cast<std::int32_t>(n));
      done += n;
    }
  }
  if (ports[kLatency]) *ports[kLatency] = static_cast<float>(instance.latency());
  publishMeters(frames);
}

void Lv2Plugin::publishMeters(std::uint32_t frames) {
  QuelmarMeters::Reading now{};
  if (!QuelmarMeters::take(instance.record(), now)) return;
  if (heldFor >= holdLength) {
    held = now;
    heldFor = 0;
  } else {
    for (int c = 0; c < 2; ++c) held.inputPeakDb[c] = std::max(held.inputPeakDb[c], now.inputPeakDb[c]);
    held.reductionDb = std::max(held.reductionDb, now.reductionDb);
  }
  heldFor += frames;
  if (ports[kInputPeakLeft]) *ports[kInputPeakLeft] = held.inputPeakDb[0];
  if (ports[kInputPeakRight]) *ports[kInputPeakRight] = held.inputPeakDb[1];
  if (ports[kGainReduction]) *ports[kGainReduction] = held.reductionDb;
}

const LV2_Descriptor Lv2Plugin::descriptor = {
    QUELMAR_LV2_URI,
    [](const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const*) -> LV2_Handle {
      if (!std::isfinite(rate) || rate <= 0.0) return nullptr;
      auto* plugin = new (std::nothrow) Lv2Plugin(rate);
      if (plugin != nullptr && !plugin->instance.isValid()) {
        delete plugin;
        plugin = nullptr;
      }
      return plugin;
    },
    [](LV2_Handle h, std::uint32_t port, void* data) { static_cast<Lv2Plugin*>(h)->connect(port, data); },
    [](LV2_Handle h) { static_cast<Lv2Plugin*>(h)->instance.setActive(true); },
    [](LV2_Handle h, std::uint32_t frames) { static_cast<Lv2Plugin*>(h)->run(frames); },
    [](LV2_Handle h) { static_cast<Lv2Plugin*>(h)->instance.setActive(false); },
    [](LV2_Handle h) { delete static_cast<Lv2Plugin*>(h); },
    [](const char*) -> const void* { return nullptr; },
};

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
  return index == 0 ? &Lv2Plugin::descriptor : nullptr;
}
