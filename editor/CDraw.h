#pragma once
// The meter: input and output level bars for both channels and the vertical
// gain-reduction bar, drawn over the panel from the values the editor hands
// over. The view measures nothing itself; the output bars are computed from
// the input peaks, the settings and the limiter's envelope, as the level the
// limiter lets through. Bars hold their peak and fall by a fixed step per
// redraw.

#include <cstdint>

#include "engine/LimiterEngine.h"
#include "gui/CColor.h"
#include "gui/CControl.h"
#include "plugin/Quelmar.h"

class CDraw : public VSTGUI::CControl {
 public:
  static constexpr float kLevelFloor = Quelmar::kMeterFloor;  // -60.2 dBFS: below it is silence
  static constexpr float kTenthsPerNeper = 86.858894f;        // 200 / ln 10: ln of a magnitude to tenths of a dB
  static constexpr float kLevelOffset = 300.0f;               // tenths: the scale's left end, -30 dB, maps to 0
  static constexpr float kEnvelopeScale = 1.0f / LimiterEngine::kFullScale;  // the engine's level scale to linear
  static constexpr float kPixelsPerTenth = 0.735f;
  static constexpr float kBarBase = 2.0f;
  static constexpr std::int16_t kLevelBarLimit = 222;
  static constexpr std::int16_t kLevelFall = 6;
  static constexpr std::int16_t kReductionLimit = 152;
  static constexpr std::int16_t kReductionFall = 10;
  static constexpr VSTGUI::CColor kLevelColor{222, 134, 2, 255};
  static constexpr VSTGUI::CColor kReductionColor{221, 88, 0, 255};

  enum Bar { kInputLeft, kInputRight, kOutputLeft, kOutputRight, kReduction, kBarCount };

  explicit CDraw(const VSTGUI::CRect& size);

  void draw(VSTGUI::CDrawContext* context) override;
  bool isKindOf(const char* className) const override;
  CView* clone() const override { return new CDraw(*this); }

  // The rectangle a bar covers for a held length, corners in order.
  static VSTGUI::CRect barRect(Bar bar, std::int16_t hold);
  // Level of a linear magnitude in tenths of a dB; silence below the floor.
  static float tenths(float magnitude);
  // Horizontal bar length for a level in tenths above -30 dB.
  static std::int16_t levelPixels(float levelTenths);
  // Reduction bar length for a gain reduction in tenths of a dB.
  static std::int16_t reductionPixels(float reductionTenths);

  // Written by the editor.
  float inputPeak[2] = {kLevelFloor, kLevelFloor};  // linear, 1.0 = 0 dBFS
  float envelopeLevel = 0.5f;                       // engine level scale
  float thresholdTenths = 0.0f;
  float outputTenths = 0.0f;
  bool hasNewValues = true;

  std::int16_t heldLength(Bar bar) const { return barHold[bar]; }

 protected:
  CDraw(const CDraw& other) = default;

 private:
  void drawBar(VSTGUI::CDrawContext* context, Bar bar, std::int16_t candidate, std::int16_t fall);

  std::int16_t barHold[kBarCount] = {};
};
