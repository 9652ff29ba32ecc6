#pragma once
// The threshold that lands a render at a target integrated loudness.

#include <functional>
#include <map>

namespace render {

struct SearchOutcome {
  enum class Reach { Reached, TooQuiet, TooLoud };
  int thresholdTenths = 0;
  double lufs = 0.0;  // integrated loudness of the output at that threshold
  Reach reach = Reach::Reached;
  int passes = 0;  // renders the search needed, not counting the final one
};

// loudnessAt renders at a threshold (tenths of a dB, -300..0) and measures
// the output's integrated loudness; it is called at most once per threshold.
// Lower thresholds drive harder and so are louder (or equal). The search
// starts at the threshold that would reach the target if nothing were
// limited, brackets the target and closes in by interpolation with a bisection
// fallback, stopping at the first threshold within half a step of the target
// or at two neighbours around it.
SearchOutcome searchThreshold(double targetLufs, double inputLufs, int ceilingTenths,
                              const std::function<double(int)>& loudnessAt);

}  // namespace render
