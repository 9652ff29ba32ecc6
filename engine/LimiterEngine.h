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

  // What the gain computer changes at every sample. process() works on a copy
  // of it, taken and stored back as one value, so that the compiler can keep
  // it in registers. Levels are in the level scale; ages in samples. The ages
  // and positions are full words because they are counted every sample; none
  // passes 65535 (N + 1 or a hold length + 1 at most).
  struct SampleState {
    float envelope = kFullScale;         // the gain envelope
    float envelopeTarget = kFullScale;   // what the envelope attacks or releases toward
    float targetCandidate = kFullScale;  // next envelope target found by the search
    float previousLevel = kFullScale;    // level of the previous sample
    float searchLevel = kFullScale;      // previous sample's level, taken at each target search
    float shortHold = kFullScale;        // peak hold of the level over shortHoldLength
    float longHold = kFullScale;         // peak hold over longHoldLength
    float sustainTarget = kFullScale;    // what slowLevel follows
    float slowLevel = kFullScale;        // slow follower of sustainTarget
    float slowGate = 1.2928032f;         // gateLevel while the slow gate is armed, else -1
    float attackGoal = -1.0f;            // target the step was computed for; -1 = none
    float attackPeak = kFullScale;       // ceiling for the envelope's slow creep
    float attackNear = kFullScale;       // 0.9949874 x the goal of the last attack
    float quietGate = -1.0f;             // quietLevel while the quiet gate is armed, else -1
    float quietLevel = -1.0f;            // 0.01023293 x the goal of the last attack (-39.8 dB)
    double attackStep = 1.0 / 65536.0;   // current linear attack step per sample
    SearchReference searchReference = SearchReference::searchLevel;
    std::uint32_t settleCount = 0;   // 0, or cycles (1..20) since the envelope settled
    bool attacking = false;          // the envelope rose since it last settled
    std::uint32_t searchAge = 0;     // samples since the last target search
    std::uint32_t shortHoldAge = 0;  // samples since the short hold restarted; 0 only before the first sample
    std::uint32_t longHoldAge = 0;
    std::uint32_t ringPos = 0;  // position in the look-ahead rings, 0..N-1
    std::int32_t gateHold = 0;  // samples left of the slow gate's hold
  };

  // Everything process() alone writes between samples: the per-sample part
  // above and what the cycle adaptation keeps. Counts are in look-ahead
  // cycles (N samples).
  struct State : SampleState {
    float cycleFloor = -1.0f;           // 0.36 x cyclePeak, candidate for a raised floor
    float peakMemory = 1.0f;            // slowly decaying memory of cyclePeak
    float cyclePeak = 1.0f;             // largest shortHold over up to cyclePeakSpan cycles
    float programPeak = 1.0f;           // held program level that re-arms the slow gate
    float gateLevel = 1.2928032f;       // level of the slow gate; starts at full scale x 0.0404001
    float slowAverage = kFullScale;     // per-cycle average of sustainTarget
    std::uint8_t cyclePeakAge = 0;      // cycles since cyclePeak restarted
    std::uint8_t quietCountdown = 0;    // cycles the quiet gate stays armed
    std::uint8_t gateCountdown = 0;     // cycles the slow gate stays armed
    std::uint16_t floorHold = 0;        // cycles before a raised floor may decay further
    std::uint16_t programPeakHold = 0;  // cycles before programPeak may decay
    std::uint8_t ispWritePos = 0;       // newest sample in the inter-sample histories, 0..11
    std::uint8_t ispReadPos = 0;        // the sample six places older
    bool floorPending = false;          // a raised floor's shadow still has to be refreshed
    bool programPeakArmed = false;      // programPeak may drop to the next cycle peak
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
  void process(const float* const* inputs, float* const* outputs, MeterLevel* inputPeak, MeterLevel* envelopeLevel,
               MeterCounter* meterHoldoff, std::int32_t sampleFrames);

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
  struct Chunk;  // one chunk's working buffers, see process()
  struct Meters {
    MeterLevel* envelopeLevel;
    MeterCounter* meterHoldoff;
  };

  void sizeBuffers();
  void clearIspHistories();
  // Every level tracker to one level: after a reset, or a threshold set before
  // the first processed sample.
  static void primeTrackers(State& s, float level);

  // The stages of process(), in the order each sample passes them. Each reads
  // the settings and changes only the state it is handed.
  void detectInterSamplePeaks(State& s, const float* inL, const float* inR, int n, float* peakL, float* peakR,
                              float* sampleL, float* sampleR);
  template <bool kCleanChunk>
  void computeGains(State& s, Chunk& chunk, int n, const Meters& meters);
  // Level of a sample whose peaks may be absurd or not finite; such a sample
  // is silenced, restarts the envelope and shows full scale on its meter.
  float detectLevel(SampleState& h, Chunk& chunk, int i) const;
  bool searchDue(SampleState& h, unsigned N) const;
  void searchTarget(SampleState& h, float level, float leaving, const float& leavingSlowLevel) const;
  void updatePeakHolds(SampleState& h, float level) const;
  void updateEnvelope(SampleState& h, float leaving, const float* levelRing, unsigned p, unsigned N) const;
  void updateSlowLevel(SampleState& h, float level) const;

  // The cycle adaptation, once every N samples when the ring wraps, and its
  // steps in order.
  void adaptCycle(State& s, const Meters& meters);
  void updateGates(State& s, float hold, float slow) const;
  void trackCyclePeak(State& s, float hold, float slow) const;
  void raiseFloor(State& s, float slow, float sustain, float gate);
  void decayFloor(State& s, float hold, float sustain, float threshold);
  void adaptSustainBase(float slow, float sustain, float peakMemory);
  void recoverFromOverload(State& s, float slow, float threshold);
  static void publishMeters(const State& s, const Meters& meters);

  // Settings the parameter thread writes while audio runs. floorLevel,
  // floorShadow and sustainBase are also adapted by the audio thread.
  RelaxedAtomic<float> thresholdLevel_{kFullScale};  // threshold in the level scale
  RelaxedAtomic<float> floorLevel_{kFullScale};      // adaptive lower bound of the envelope target, >= threshold
  RelaxedAtomic<float> floorShadow_{14.58001f};      // floorLevel x 0.4556 (-6.83 dB)
  RelaxedAtomic<float> sustainBase_{14.58001f};      // lower bound of sustainTarget
  RelaxedAtomic<float> floorRest_{30.5f};            // where a raised floor decays to: threshold x 0.953125
  RelaxedAtomic<float> outputGain_{31.906254f};      // output setting in the level scale
  RelaxedAtomic<bool> ispEnabled_{false};

  // Before the first processed sample a threshold change moves every level
  // tracker too. The trackers belong to the audio thread, so the change is
  // handed over and applied at the start of the next block.
  RelaxedAtomic<float> primeLevel_{kFullScale};
  std::atomic<bool> primePending_{false};
  std::atomic<bool> processedSinceReset_{false};
  // Switching detection on clears the histories; the audio thread does it
  // before it next reads them.
  std::atomic<bool> ispClearPending_{false};

  // Derived from the sample rate; written only while audio does not run.
  float sampleRate_ = 0.0f;          // clamped rate in Hz
  std::uint16_t lookahead_ = 0;      // N, look-ahead length in samples
  std::uint16_t lookaheadLast_ = 0;  // N - 2: the ring wraps after this position
  std::uint16_t shortHoldLength_ = 0;
  std::uint16_t longHoldLength_ = 0;
  std::uint8_t cyclePeakSpan_ = 200;  // cycles after which cyclePeak restarts
  double attackFraction_ = 0.0;       // 1/(N+1): share of the distance per attack step
  double releaseCoef_ = 1.0;          // per-sample release factor of the envelope
  double slowRiseCoef_ = 1.0;
  double slowFallCoef_ = 1.0;

  State state_;

  std::vector<float> slowLevelRing_;  // slowLevel of the last N samples, by ring position
  std::vector<float> levelRing_;      // detector level of the last N samples
  std::vector<float> delayLeft_;      // the look-ahead delay line
  std::vector<float> delayRight_;
  float ispHistoryLeft_[12] = {};  // last 12 input samples for the inter-sample estimate
  float ispHistoryRight_[12] = {};
};
