#pragma once
// Stereo look-ahead brickwall limiter with one linked gain, optional
// inter-sample peak detection and program-dependent release.
//
// Levels are sample magnitudes times 32 ("level scale"): 32.0 is full scale and
// 1.0 is -30.1 dBFS. The output is sample * outputGain / envelope, delayed by
// the look-ahead length N (N + 6 with inter-sample detection on).
//
// Threads: the setters may run on a parameter thread while process() runs on
// the audio thread; the words they share are relaxed atomics and take effect
// from the next sample that reads them. setSampleRate() and reset() replace the
// buffers and must not run during process().

#include "engine/RelaxedAtomic.h"

#include <cstdint>
#include <vector>

class LimiterEngine {
 public:
  // Which level an early target search compares the previous level against.
  enum class SearchReference : std::uint8_t { searchLevel, envelope, targetCandidate };

  // Full scale in the level scale: a sample magnitude of 1.0.
  static constexpr float kFullScale = 32.0f;

  // Everything process() alone writes between samples. Levels are in the level
  // scale; ages and lengths in samples unless named as cycles (N samples).
  struct State {
    float cycleFloor = -1.0f;       // 0.36 x cyclePeak, candidate for a raised floor
    std::uint16_t searchAge = 0;    // samples since the last target search
    std::uint16_t shortHoldAge = 0; // samples since the short hold restarted; 0 only before the first sample
    std::uint16_t longHoldAge = 0;
    std::uint8_t cyclePeakAge = 0;  // cycles since cyclePeak restarted
    float searchLevel = 32.0f;      // previous sample's level, taken at each target search
    float shortHold = 32.0f;        // peak hold of the level over shortHoldLength
    float longHold = 32.0f;         // peak hold over longHoldLength
    float sustainTarget = 32.0f;    // what slowLevel follows
    float envelopeTarget = 32.0f;   // what envelope attacks or releases toward
    float peakMemory = 1.0f;        // slowly decaying memory of cyclePeak
    float cyclePeak = 1.0f;         // largest shortHold over up to cyclePeakSpan cycles
    float attackNear = 32.0f;       // 0.9949874 x the goal of the last attack
    float attackPeak = 32.0f;       // ceiling for the envelope's slow creep
    float targetCandidate = 32.0f;  // next envelope target found by the search
    float programPeak = 1.0f;       // held program level that re-arms the slow gate
    SearchReference searchReference = SearchReference::searchLevel;
    float previousLevel = 32.0f;    // level of the previous sample
    double attackStep = 1.0 / 65536.0; // current linear attack step per sample
    float attackGoal = -1.0f;       // target the step was computed for; -1 = none
    float quietLevel = -1.0f;       // 0.01023293 x the goal of the last attack (-39.8 dB)
    float quietGate = -1.0f;        // quietLevel while the quiet gate is armed, else -1
    float gateLevel = 1.2928032f;   // level of the slow gate
    float slowGate = 1.2928032f;    // gateLevel while the slow gate is armed, else -1
    float envelope = 32.0f;         // the gain envelope
    float slowLevel = 32.0f;        // slow follower of sustainTarget
    float slowAverage = 32.0f;      // per-cycle average of sustainTarget
    std::uint8_t settleCount = 0;   // 0, or cycles (1..20) since the envelope settled
    std::uint8_t quietCountdown = 0;// cycles the quiet gate stays armed
    std::uint8_t gateCountdown = 0; // cycles the slow gate stays armed
    std::int32_t gateHold = 0;      // samples left of the slow gate's hold
    std::uint16_t floorHold = 0;    // cycles before a raised floor may decay further
    std::uint16_t programPeakHold = 0; // cycles before programPeak may decay
    std::uint16_t ringPos = 0;      // position in the look-ahead rings, 0..N-1
    std::uint8_t ispWritePos = 0;   // newest sample in the inter-sample histories, 0..11
    std::uint8_t ispReadPos = 0;    // the sample six places older
    bool floorPending = false;      // a raised floor's shadow still has to be refreshed
    bool programPeakArmed = false;  // programPeak may drop to the next cycle peak
    bool attacking = false;         // the envelope rose since it last settled
  };

  // The configuration and shared settings, copied out for inspection.
  struct Settings {
    float thresholdLevel, floorLevel, floorShadow, sustainBase, floorRest, sampleRate, outputGain;
    std::uint16_t lookahead, lookaheadLast, shortHoldLength, longHoldLength;
    std::uint8_t cyclePeakSpan;
    double attackFraction, releaseCoef, slowRiseCoef, slowFallCoef;
    bool ispEnabled;
  };

  using MeterLevel = RelaxedAtomic<float>;
  using MeterCounter = RelaxedAtomic<std::uint16_t>;

  LimiterEngine();

  void setThreshold(float dB);
  void setOutput(float dB);
  void setSampleRate(float hz);
  void reset();
  void setIspEnabled(bool on);
  std::uint16_t latency() const;

  // In-place processing is allowed (outputs may be the inputs). inputPeak points
  // to two meters (left, right) that are only ever raised here.
  void process(const float* const* inputs, float* const* outputs, MeterLevel* inputPeak,
               MeterLevel* envelopeLevel, MeterCounter* meterHoldoff, std::int32_t sampleFrames);

  // For tests and diagnostics: the state as the next processed sample sees it.
  State state() const;
  Settings settings() const;
  const std::vector<float>& levelRing() const { return levelRing_; }
  const std::vector<float>& slowLevelRing() const { return slowLevelRing_; }
  const std::vector<float>& delayLeft() const { return delayLeft_; }
  const std::vector<float>& delayRight() const { return delayRight_; }
  const float* ispHistoryLeft() const { return ispHistoryLeft_; }
  const float* ispHistoryRight() const { return ispHistoryRight_; }

 private:
  void sizeBuffers();
  void clearIspHistories();
  void detectInterSamplePeaks(State& s, const float* inL, const float* inR, int n, float* peakL, float* peakR,
                              float* sampleL, float* sampleR);
  // Every level tracker to one level: after a reset, or a threshold set before
  // the first processed sample.
  static void primeTrackers(State& s, float level);
  void adaptCycle(State& s, MeterLevel* envelopeLevel, MeterCounter* meterHoldoff);

  // Settings the parameter thread writes while audio runs. floorLevel,
  // floorShadow and sustainBase are also adapted by the audio thread.
  RelaxedAtomic<float> thresholdLevel_{32.0f}; // threshold in the level scale
  RelaxedAtomic<float> floorLevel_{32.0f};     // adaptive lower bound of the envelope target, >= threshold
  RelaxedAtomic<float> floorShadow_{14.58001f};// floorLevel x 0.4556 (-6.83 dB)
  RelaxedAtomic<float> sustainBase_{14.58001f};// lower bound of sustainTarget
  RelaxedAtomic<float> floorRest_{30.5f};      // where a raised floor decays to: threshold x 0.953125
  RelaxedAtomic<float> outputGain_{31.906254f};// output setting in the level scale
  RelaxedAtomic<bool> ispEnabled_{false};

  // Before the first processed sample a threshold change moves every level
  // tracker too. The trackers belong to the audio thread, so the change is
  // handed over and applied at the start of the next block.
  RelaxedAtomic<float> primeLevel_{32.0f};
  std::atomic<bool> primePending_{false};
  std::atomic<bool> processedSinceReset_{false};
  // Switching detection on clears the histories; the audio thread does it
  // before it next reads them.
  std::atomic<bool> ispClearPending_{false};

  // Derived from the sample rate; written only while audio does not run.
  float sampleRate_ = 0.0f;         // clamped rate in Hz
  std::uint16_t lookahead_ = 0;     // N, look-ahead length in samples
  std::uint16_t lookaheadLast_ = 0; // N - 2: the ring wraps after this position
  std::uint16_t shortHoldLength_ = 0;
  std::uint16_t longHoldLength_ = 0;
  std::uint8_t cyclePeakSpan_ = 200; // cycles after which cyclePeak restarts
  double attackFraction_ = 0.0;     // 1/(N+1): share of the distance per attack step
  double releaseCoef_ = 1.0;        // per-sample release factor of the envelope
  double slowRiseCoef_ = 1.0;
  double slowFallCoef_ = 1.0;

  State state_;

  std::vector<float> slowLevelRing_; // slowLevel of the last N samples, by ring position
  std::vector<float> levelRing_;     // detector level of the last N samples
  std::vector<float> delayLeft_;     // the look-ahead delay line
  std::vector<float> delayRight_;
  float ispHistoryLeft_[12] = {};    // last 12 input samples for the inter-sample estimate
  float ispHistoryRight_[12] = {};
};
