// --target-lufs: the threshold search, on its own and through the binary.

#include "RenderTestSupport.h"

#include "host/render/TargetSearch.h"

namespace rendertest {
namespace {

using render::SearchOutcome;
using render::searchThreshold;

// A limiter's loudness curve: one LU per dB while the drive is gentle, then
// ever less as the ceiling takes over.
double limitedLoudness(int tenths, double inputLufs, double ceilingDb) {
  const double drive = ceilingDb - tenths * 0.1;
  const double unlimited = inputLufs + drive;
  const double knee = ceilingDb - 9.0;
  return unlimited < knee ? unlimited : knee + 6.0 * std::log1p((unlimited - knee) / 6.0);
}

TEST(ThresholdSearch, LandsWithinHalfAStepInFewPasses) {
  for (double target : {-20.5, -16.0, -14.0, -11.0, -9.5}) {
    std::set<int> asked;
    const SearchOutcome outcome = searchThreshold(target, -20.0, -10, [&](int tenths) {
      EXPECT_TRUE(asked.insert(tenths).second) << "threshold " << tenths << " rendered twice";
      return limitedLoudness(tenths, -20.0, -1.0);
    });
    EXPECT_EQ(outcome.reach, SearchOutcome::Reach::Reached) << target;
    EXPECT_NEAR(outcome.lufs, target, 0.05) << target;
    EXPECT_LE(outcome.passes, 6) << target;
    EXPECT_EQ(outcome.passes, static_cast<int>(asked.size()));
  }
}

TEST(ThresholdSearch, PicksTheNearerNeighbourWhenNoStepLandsCloseEnough) {
  // Steps of 0.3 LU: the best is the nearest one, not just any on the right side.
  const auto steep = [](int tenths) { return -20.0 - tenths * 0.3; };
  const SearchOutcome outcome = searchThreshold(-11.1, -20.0, 0, steep);
  EXPECT_EQ(outcome.thresholdTenths, -30);  // -11.0 beats -11.3
  EXPECT_DOUBLE_EQ(outcome.lufs, -11.0);
}

TEST(ThresholdSearch, OutOfReachEndsAtTheNearestEndOfTheRange) {
  const auto curve = [](int tenths) { return limitedLoudness(tenths, -30.0, -1.0); };
  const SearchOutcome tooQuiet = searchThreshold(-2.0, -30.0, -10, curve);
  EXPECT_EQ(tooQuiet.reach, SearchOutcome::Reach::TooQuiet);
  EXPECT_EQ(tooQuiet.thresholdTenths, -300);
  EXPECT_LE(tooQuiet.passes, 3);

  const SearchOutcome tooLoud = searchThreshold(-40.0, -30.0, -10, curve);
  EXPECT_EQ(tooLoud.reach, SearchOutcome::Reach::TooLoud);
  EXPECT_EQ(tooLoud.thresholdTenths, 0);
}

TEST(ThresholdSearch, SilentInputDoesNotBreakTheSearch) {
  const SearchOutcome outcome =
      searchThreshold(-14.0, -HUGE_VAL, 0, [](int) { return -HUGE_VAL; });
  EXPECT_EQ(outcome.reach, SearchOutcome::Reach::TooQuiet);
}

// On the bundled example, the search lands within 0.1 LU, and rendering at the
// threshold it reports gives exactly the loudness it found.
TEST(TargetRender, LandsOnTheExampleAndItsThresholdReproducesTheResult) {
  TempDir dir;
  const Ran run = render({QUELMAR_EXAMPLE_PATH, "out.wav", "--target-lufs", "-14", "--ceiling", "-1", "--isp", "--json"},
                         dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const double lufs = jsonNumber(run.out, "after", "integrated_lufs").value_or(NAN);
  EXPECT_NEAR(lufs, -14.0, 0.1);
  EXPECT_NE(run.out.find("\"result\": \"reached\""), std::string::npos) << run.out;
  EXPECT_LE(jsonNumber(run.out, "target", "passes").value_or(99), 6);
  EXPECT_LE(jsonNumber(run.out, "after", "true_peak_dbtp").value_or(0), -0.9);

  char threshold[16];
  std::snprintf(threshold, sizeof threshold, "%.1f", jsonNumber(run.out, "target", "threshold_db").value_or(0));
  const Ran again = render({QUELMAR_EXAMPLE_PATH, "again.wav", "--threshold", threshold, "--ceiling", "-1", "--isp", "--json"},
                           dir.path());
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_EQ(jsonNumber(again.out, "after", "integrated_lufs"), jsonNumber(run.out, "after", "integrated_lufs"));
  EXPECT_EQ(readSound(dir / "again.wav").samples, readSound(dir / "out.wav").samples);
}

TEST(TargetRender, UnreachableTargetSaysSoAndRendersTheClosest) {
  TempDir dir;
  const Ran run = render({QUELMAR_EXAMPLE_PATH, "out.wav", "--target-lufs", "-3", "--ceiling", "-12"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("out of reach"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("threshold -30.0 dB"), std::string::npos) << run.out;
  EXPECT_TRUE(std::filesystem::exists(dir / "out.wav"));
}

}  // namespace
}  // namespace rendertest
