// The four- and eight-lane interpolation kernels must agree bit for bit with
// each other and with one sample computed alone, including the treatment of
// non-finite samples; the engine picks one of them by processor.

#include "engine/InterSamplePeaks.h"
#include "support/TestSignals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// One output computed the plain way: twelve products added in tap order.
float plainPeak(const float* line, int i) {
  float peak = std::fabs(line[i + 5]);
  for (int p = 0; p < 4; ++p) {
    float y = 0.0f;
    for (int k = 0; k < 12; ++k) y += kIspTaps[k][p] * line[i + 11 - k];
    if (std::isfinite(y) && std::fabs(y) > peak) peak = std::fabs(y);
  }
  return peak;
}

}  // namespace

TEST(InterSamplePeaks, KernelsAgreeWithThePlainSum) {
  testsignals::Random rng(11);
  const int groups = 32;  // 256 outputs
  std::vector<float> lineL(11 + groups * 8), lineR(11 + groups * 8);
  for (std::size_t j = 0; j < lineL.size(); ++j) {
    lineL[j] = rng.bipolar() * (j % 50 == 0 ? 8.0f : 1.0f);
    lineR[j] = rng.bipolar() * 1e-30f;  // tiny values too
  }
  lineL[40] = std::numeric_limits<float>::infinity();
  lineL[90] = std::numeric_limits<float>::quiet_NaN();
  lineR[150] = -std::numeric_limits<float>::infinity();
  lineR[151] = 3e38f;

  std::vector<float> peakL4(256), peakR4(256), dL4(256), dR4(256);
  Lanes<4>::run(lineL.data(), lineR.data(), groups * 2, peakL4.data(), peakR4.data(), dL4.data(), dR4.data());
  for (int i = 0; i < 256; ++i) {
    const float left = plainPeak(lineL.data(), i), right = plainPeak(lineR.data(), i);
    ASSERT_EQ(testsignals::bits(peakL4[i]), testsignals::bits(left)) << i;
    ASSERT_EQ(testsignals::bits(peakR4[i]), testsignals::bits(right)) << i;
    ASSERT_EQ(testsignals::bits(dL4[i]), testsignals::bits(lineL[i + 5])) << i;
  }
  // A NaN sample is its own peak; its neighbours leave the NaN points out.
  EXPECT_TRUE(std::isnan(peakL4[85]));
  EXPECT_TRUE(std::isfinite(peakL4[84]) && std::isfinite(peakL4[86]));

  if (!haveAvx2()) GTEST_SKIP() << "no AVX2 on this processor";
  std::vector<float> peakL8(256), peakR8(256), dL8(256), dR8(256);
  interSamplePeaksAvx2(lineL.data(), lineR.data(), groups, peakL8.data(), peakR8.data(), dL8.data(), dR8.data());
  for (int i = 0; i < 256; ++i) {
    ASSERT_EQ(testsignals::bits(peakL8[i]), testsignals::bits(peakL4[i])) << i;
    ASSERT_EQ(testsignals::bits(peakR8[i]), testsignals::bits(peakR4[i])) << i;
    ASSERT_EQ(testsignals::bits(dR8[i]), testsignals::bits(dR4[i])) << i;
  }
}
