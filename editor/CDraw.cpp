#include "editor/CDraw.h"

#include <cmath>
#include <cstring>

#include "gui/CDrawContext.h"

using namespace VSTGUI;

namespace {

// Truncation toward zero into a 16-bit length. Out-of-range values (an
// infinite input peak reaches here) saturate instead of wrapping, so they draw
// as a full bar rather than as anything at all.
std::int16_t truncatedPixels(float f) {
  if (std::isnan(f)) return 0;
  if (f >= 32767.0f) return 32767;
  if (f <= -32768.0f) return -32768;
  return static_cast<std::int16_t>(static_cast<std::int32_t>(f));
}

}  // namespace

CDraw::CDraw(const CRect& size_) : CControl(size_, nullptr, 0, nullptr) {}

bool CDraw::isKindOf(const char* className) const {
  return className && (std::strcmp(className, "CDraw") == 0 || CControl::isKindOf(className));
}

float CDraw::tenths(float magnitude) {
  // Written so that a not-a-number also falls to the floor.
  if (!(magnitude > kLevelFloor)) magnitude = kLevelFloor;
  return kTenthsPerNeper * static_cast<float>(std::log(static_cast<double>(magnitude)));
}

std::int16_t CDraw::levelPixels(float levelTenths) {
  if (!(levelTenths >= 0.0f)) return 1;
  return truncatedPixels(levelTenths * kPixelsPerTenth + kBarBase);
}

std::int16_t CDraw::reductionPixels(float r) {
  // Pieces of 15.5, 7.5, 5 and 2.5 pixels per dB, the panel's printed scale.
  float g;
  if (r < 20.0f)
    g = r * 1.55f + 1.8f;
  else if (r < 60.0f)
    g = (r - 20.0f) * 0.75f + 32.5f;
  else if (r < 180.0f)
    g = (r - 60.0f) * 0.5f + 62.5f;
  else
    g = (r - 180.0f) * 0.25f + 122.5f;
  const std::int16_t c = truncatedPixels(g);
  if (c < 2) return 1;
  if (c > kReductionLimit) return kReductionLimit;
  return c;
}

CRect CDraw::barRect(Bar bar, std::int16_t hold) {
  CRect r;
  switch (bar) {
    case kInputLeft: r = CRect(35, 29, hold + 34, 36); break;
    case kInputRight: r = CRect(35, 37, hold + 34, 44); break;
    case kOutputLeft: r = CRect(35, 167, hold + 34, 174); break;
    case kOutputRight: r = CRect(35, 175, hold + 34, 182); break;
    default: r = CRect(301, 30, 311, hold + 29); break;
  }
  return r.normalize();
}

void CDraw::drawBar(CDrawContext* context, Bar bar, std::int16_t candidate, std::int16_t fall) {
  std::int16_t& hold = barHold[bar];
  if (candidate > hold) hold = candidate;
  context->drawRectangle(barRect(bar, hold), kDrawFilled);
  // A hold may fall below 1 between redraws; the next candidate is at least 1.
  hold = static_cast<std::int16_t>(hold - fall);
}

void CDraw::draw(CDrawContext* context) {
  // Without a hand-over the panel beneath shows no bars in the repainted area.
  if (!hasNewValues) return;
  const float ceiling = outputTenths + kLevelOffset;
  context->setFillColor(kLevelColor);
  hasNewValues = false;

  const float inLeft = tenths(inputPeak[0]) + kLevelOffset;
  const float inRight = tenths(inputPeak[1]) + kLevelOffset;
  const float envelopeTenths = tenths(envelopeLevel * kEnvelopeScale);

  // The level above which the limiter reduces gain: the threshold, or the
  // envelope once it has risen above it.
  float reference = envelopeTenths;
  if (!std::isnan(thresholdTenths) && thresholdTenths > envelopeTenths) reference = thresholdTenths;

  float outLeft = (inLeft - reference) + outputTenths;
  if (outLeft > ceiling) {
    outLeft = ceiling;
    reference = (inLeft - ceiling) + outputTenths;
  }
  float outRight = (inRight - reference) + outputTenths;
  if (outRight > ceiling) {
    outRight = ceiling;
    reference = (inRight - ceiling) + outputTenths;
    outLeft = (inLeft - reference) + outputTenths;
  }

  auto inputCandidate = [](float level) -> std::int16_t {
    if (!(level >= 0.0f)) return 1;
    const std::int16_t c = levelPixels(level);
    return c > kLevelBarLimit ? kLevelBarLimit : c;
  };
  drawBar(context, kInputLeft, inputCandidate(inLeft), kLevelFall);
  drawBar(context, kInputRight, inputCandidate(inRight), kLevelFall);
  // The output never exceeds the ceiling, so needs no limit of its own.
  drawBar(context, kOutputLeft, levelPixels(outLeft), kLevelFall);
  drawBar(context, kOutputRight, levelPixels(outRight), kLevelFall);

  context->setFillColor(kReductionColor);
  drawBar(context, kReduction, reductionPixels(reference - thresholdTenths), kReductionFall);
}
