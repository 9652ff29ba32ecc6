// Built with -mavx2 (and without FMA): the same arithmetic as the four-lane
// variant, eight samples at a time.

#include "engine/InterSamplePeaks.h"

void interSamplePeaksAvx2(const float* lineL, const float* lineR, int groups, float* peakL, float* peakR,
                          float* delayedL, float* delayedR) {
  Lanes<8>::run(lineL, lineR, groups, peakL, peakR, delayedL, delayedR);
}
