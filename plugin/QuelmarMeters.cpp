#include "plugin/QuelmarMeters.h"

#include <algorithm>
#include <cmath>

#include "plugin/Quelmar.h"

namespace QuelmarMeters {

namespace {

Quelmar* instanceOf(AEffect* record) {
  if (record == nullptr || record->magic != kEffectMagic || record->uniqueID != fourCharCode('Q', 'l', 'M', 'r'))
    return nullptr;
  return dynamic_cast<Quelmar*>(static_cast<AudioEffect*>(record->object));
}

float decibels(float magnitude) {
  return 20.0f * std::log10(std::max(magnitude, Quelmar::kMeterFloor));
}

}  // namespace

bool take(AEffect* record, Reading& reading) {
  Quelmar* q = instanceOf(record);
  if (q == nullptr) return false;
  LimiterEngine::MeterLevel* peaks = q->inputPeaks();
  for (int c = 0; c < 2; ++c) {
    const float peak = peaks[c];
    // A peak that lands between this read and the reset is lost, as for the editor.
    peaks[c] = Quelmar::kMeterFloor;
    reading.inputPeakDb[c] = std::isfinite(peak) ? decibels(peak) : 0.0f;
  }
  const float envelope = q->envelopeMeter() / LimiterEngine::kFullScale;
  const float reduction = decibels(envelope) - QuelmarParameters::decibelsOf(q->getThresholdTenths());
  reading.reductionDb = std::isfinite(reduction) ? std::max(reduction, 0.0f) : 0.0f;
  return true;
}

bool show(AEffect* record, const Reading& reading) {
  Quelmar* q = instanceOf(record);
  if (q == nullptr) return false;
  LimiterEngine::MeterLevel* peaks = q->inputPeaks();
  for (int c = 0; c < 2; ++c) {
    const float dB = reading.inputPeakDb[c];
    if (!std::isfinite(dB)) continue;
    const float peak = std::pow(10.0f, std::min(dB, 60.0f) / 20.0f);
    if (peak > peaks[c]) peaks[c] = peak;
  }
  if (std::isfinite(reading.reductionDb)) {
    const float dB = QuelmarParameters::decibelsOf(q->getThresholdTenths()) + std::clamp(reading.reductionDb, 0.0f, 60.0f);
    q->envelopeMeter() = LimiterEngine::kFullScale * std::pow(10.0f, dB / 20.0f);
  }
  // No engine runs here to count the hold-off down: the editor may take now.
  q->meterHoldoffCounter() = 0;
  return true;
}

}  // namespace QuelmarMeters
