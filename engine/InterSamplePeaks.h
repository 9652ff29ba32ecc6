#pragma once
// Inter-sample peak detection over a run of input: each sample's magnitude and
// the magnitudes of four points interpolated between it and the next (five
// times oversampling), computed several samples at a time. Internal to the
// engine; included by each translation unit that builds a variant for an
// instruction set, hence the internal linkage.

#include <limits>

namespace {

// Row k weighs the sample k places older than the newest; the four columns
// estimate the signal 0.8, 0.6, 0.4 and 0.2 sample periods after the sample
// six places older. Each column sums to 1.
constexpr float kIspTaps[12][4] = {
    {-0.0220665932f, -0.0321273804f, -0.0291595459f, -0.0165920258f},
    {0.0420571566f, 0.0604727268f, 0.0530772209f, 0.0285004377f},
    {-0.0722943544f, -0.10719502f, -0.0968155861f, -0.0532443523f},
    {0.109519362f, 0.165168524f, 0.152565241f, 0.0861662626f},
    {-0.178005934f, -0.256623149f, -0.23108232f, -0.129134774f},
    {0.953251123f, 0.787033796f, 0.534685493f, 0.251843691f},
    {0.251843691f, 0.534685493f, 0.787033796f, 0.953251123f},
    {-0.129134774f, -0.23108232f, -0.256623149f, -0.178005934f},
    {0.0861662626f, 0.152565241f, 0.165168524f, 0.109519362f},
    {-0.0532443523f, -0.0968155861f, -0.10719502f, -0.0722943544f},
    {0.0285004377f, 0.0530772209f, 0.0604727268f, 0.0420571566f},
    {-0.0165920258f, -0.0291595459f, -0.0321273804f, -0.0220665932f},
};

template <int W>
struct Lanes {
  typedef float F __attribute__((vector_size(W * 4)));
  typedef int I __attribute__((vector_size(W * 4)));
  typedef float Unaligned __attribute__((vector_size(W * 4), aligned(4), may_alias));

  static F load(const float* p) { return *reinterpret_cast<const Unaligned*>(p); }
  static void store(float* p, F v) { *reinterpret_cast<Unaligned*>(p) = v; }
  static F magnitude(F v) { return reinterpret_cast<F>(reinterpret_cast<I>(v) & 0x7fffffff); }

  // The largest of the sample's own magnitude and the finite interpolated
  // magnitudes. A point that is not finite (an infinite or NaN sample is among
  // the taps) is left out, so only the offending sample itself is silenced; a
  // NaN sample stays NaN because no comparison with it succeeds.
  static F peak(const F* y, F own) {
    F best = F{} + 0.0f;
    for (int p = 0; p < 4; ++p) {
      const F m = magnitude(y[p]);
      const I finite = m <= std::numeric_limits<float>::max();
      const F kept = reinterpret_cast<F>(reinterpret_cast<I>(m) & finite);
      best = kept > best ? kept : best;
    }
    const F ownMagnitude = magnitude(own);
    return best > ownMagnitude ? best : ownMagnitude;
  }

  // line[j] is the input sample j - 11 places after the first output, so the
  // taps of output i read line[i + 11 - k]; every lane adds its twelve products
  // in the order k = 0..11, as a sample computed alone would. groups x W
  // outputs are written; the line must hold 11 + groups x W samples.
  static void run(const float* lineL, const float* lineR, int groups, float* peakL, float* peakR, float* delayedL,
                  float* delayedR) {
    for (int g = 0; g < groups; ++g, lineL += W, lineR += W) {
      F yL[4], yR[4];
      for (int p = 0; p < 4; ++p) yL[p] = yR[p] = F{} + 0.0f;
#pragma GCC unroll 12
      for (int k = 0; k < 12; ++k) {
        const F xL = load(lineL + 11 - k);
        const F xR = load(lineR + 11 - k);
#pragma GCC unroll 4
        for (int p = 0; p < 4; ++p) {
          yL[p] = yL[p] + kIspTaps[k][p] * xL;
          yR[p] = yR[p] + kIspTaps[k][p] * xR;
        }
      }
      const F ownL = load(lineL + 5);  // six places older than the newest: what enters the delay line
      const F ownR = load(lineR + 5);
      store(peakL + g * W, peak(yL, ownL));
      store(peakR + g * W, peak(yR, ownR));
      store(delayedL + g * W, ownL);
      store(delayedR + g * W, ownR);
    }
  }
};

}  // namespace

// The eight-lane variant, built for processors with AVX2 and chosen at run time.
void interSamplePeaksAvx2(const float* lineL, const float* lineR, int groups, float* peakL, float* peakR,
                          float* delayedL, float* delayedR);
bool haveAvx2();
