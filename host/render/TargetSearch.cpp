#include "host/render/TargetSearch.h"

#include "host/render/Options.h"

#include <algorithm>
#include <cmath>

namespace render {

namespace {

// Half of the loudness change one 0.1 dB step makes at most: a threshold this
// close cannot be beaten by a neighbour.
constexpr double kCloseEnough = 0.05;

}  // namespace

SearchOutcome searchThreshold(double targetLufs, double inputLufs, int ceilingTenths,
                              const std::function<double(int)>& loudnessAt) {
  std::map<int, double> measured;
  auto at = [&](int tenths) {
    auto found = measured.find(tenths);
    if (found != measured.end()) return found->second;
    const double lufs = loudnessAt(tenths);
    measured.emplace(tenths, lufs);
    return lufs;
  };
  auto finish = [&](int tenths, SearchOutcome::Reach reach) {
    SearchOutcome outcome;
    outcome.thresholdTenths = tenths;
    outcome.lufs = at(tenths);
    outcome.reach = reach;
    outcome.passes = static_cast<int>(measured.size());
    return outcome;
  };
  auto clampTenths = [](double tenths) {
    return static_cast<int>(std::clamp(std::lround(tenths), static_cast<long>(kMinTenths), static_cast<long>(kMaxTenths)));
  };

  // Unlimited, the output is the input raised by ceiling minus threshold.
  int guess = std::isfinite(inputLufs) ? clampTenths(inputLufs * 10.0 + ceilingTenths - targetLufs * 10.0) : kMinTenths;

  // loud: a threshold whose output reaches the target; quiet: one whose output
  // stays below it. The answer lies between them.
  int loud = kMinTenths - 1;
  int quiet = kMaxTenths + 1;
  auto place = [&](int tenths) {
    const double lufs = at(tenths);
    if (lufs >= targetLufs) {
      loud = std::max(loud, tenths);
    } else {
      quiet = std::min(quiet, tenths);
    }
    return std::fabs(lufs - targetLufs) <= kCloseEnough;
  };

  if (place(guess)) return finish(guess, SearchOutcome::Reach::Reached);
  // Bracket: limiting only takes loudness away, so from a guess that fell
  // short, step down by the shortfall (and a little more, as the limiter will
  // take some of the extra drive too); from one that overshot, step up.
  for (int attempt = 0; loud < kMinTenths || quiet > kMaxTenths; ++attempt) {
    const int from = loud >= kMinTenths ? loud : quiet;
    const double miss = at(from) - targetLufs;  // LU; negative when too quiet
    // Silence reads -inf; no step needs to be wider than the whole range.
    const double step = std::clamp(std::fabs(miss) * 10.0 * (1.5 + attempt), 1.0, 301.0);
    const int next = clampTenths(miss < 0 ? from - step : from + step);
    if (next == from) {
      // At the end of the range and still on the same side.
      return finish(from, miss < 0 ? SearchOutcome::Reach::TooQuiet : SearchOutcome::Reach::TooLoud);
    }
    if (place(next)) return finish(next, SearchOutcome::Reach::Reached);
  }

  // Close in: interpolate, but bisect when interpolation keeps landing on the
  // same side, which a curve bent by the limiter makes it do.
  int sameSide = 0;
  bool lastWasLoud = false;
  while (quiet - loud > 1) {
    const double loudLufs = at(loud);
    const double quietLufs = at(quiet);
    int next = (loud + quiet) / 2;
    if (sameSide < 2 && loudLufs > quietLufs) {
      const double fraction = (loudLufs - targetLufs) / (loudLufs - quietLufs);
      next = std::clamp(static_cast<int>(std::lround(loud + fraction * (quiet - loud))), loud + 1, quiet - 1);
    }
    const int loudBefore = loud;
    if (place(next)) return finish(next, SearchOutcome::Reach::Reached);
    const bool wasLoud = loud != loudBefore;
    sameSide = wasLoud == lastWasLoud ? sameSide + 1 : 0;
    lastWasLoud = wasLoud;
  }
  const int closer = std::fabs(at(loud) - targetLufs) <= std::fabs(at(quiet) - targetLufs) ? loud : quiet;
  return finish(closer, SearchOutcome::Reach::Reached);
}

}  // namespace render
