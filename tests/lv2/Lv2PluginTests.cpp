// quelmar.lv2 through lilv, as LV2 hosts load it: what the bundle declares,
// audio bit for bit the VST build's, the latency its output port reports, a
// fresh start on every activation, and the meters on the control outputs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Lv2Host.h"
#include "plugin/PluginFixture.h"
#include "plugin/QuelmarParameters.h"
#include "support/TestSignals.h"

namespace {

using namespace lv2test;
using QuelmarParameters::normalisedForTenths;
using testsignals::Stereo;

enum Port { kThreshold = 4, kOutput, kLink, kIsp, kLatency, kPeakLeft, kPeakRight, kReduction };

// Settings between runs, as tenths of a dB (the gains) or switch states.
struct Step {
  std::uint32_t frames;
  int thresholdTenths, outputTenths;
  bool isp, link, reactivate;
};

std::vector<Step> session(std::size_t frames) {
  std::vector<Step> steps;
  const std::uint32_t sizes[] = {1, 7, 64, 4096, 333};
  testsignals::Random rng(5);
  for (std::size_t done = 0, n = 0; done < frames; ++n) {
    const auto size = std::uint32_t(std::min<std::size_t>(sizes[n % 5], frames - done));
    steps.push_back({size, -rng.range(0, 150), -rng.range(0, 30), rng.range(0, 9) < 3, rng.range(0, 1) == 1,
                     n % 97 == 50});
    done += size;
  }
  return steps;
}

// The VST build with the same settings; the link stays off there, as the LV2
// plug-in applies its ports unlinked.
Stereo renderVst(const Stereo& in, float rate, const std::vector<Step>& steps) {
  auto p = makeRunningQuelmar(rate);
  Stereo out(in.frames());
  std::size_t at = 0;
  for (const Step& s : steps) {
    if (s.reactivate) {
      p->dispatch(effMainsChanged, 0, 0);
      p->dispatch(effMainsChanged, 0, 1);
    }
    p->setParameter(0, normalisedForTenths(s.thresholdTenths));
    p->setParameter(1, normalisedForTenths(s.outputTenths));
    p->setParameter(3, s.isp ? 1.0f : 0.0f);
    processThrough(*p, &in.left[at], &in.right[at], &out.left[at], &out.right[at], int(s.frames));
    at += s.frames;
  }
  return out;
}

Stereo renderLv2(const Stereo& in, double rate, const std::vector<Step>& steps) {
  Lv2Instance lv2(rate);
  EXPECT_TRUE(lv2);
  Stereo out(in.frames());
  std::size_t at = 0;
  for (const Step& s : steps) {
    if (s.reactivate) lv2.reactivate();
    lv2.control[kThreshold] = float(s.thresholdTenths) / 10.0f;
    lv2.control[kOutput] = float(s.outputTenths) / 10.0f;
    lv2.control[kIsp] = s.isp ? 1.0f : 0.0f;
    lv2.control[kLink] = s.link ? 1.0f : 0.0f;
    lv2.run(&in.left[at], &in.right[at], &out.left[at], &out.right[at], s.frames);
    at += s.frames;
  }
  return out;
}

TEST(Lv2, TheBundleDeclaresALimiterWithLatencyAndAnX11Ui) {
  const LilvPlugin* p = quelmar();
  ASSERT_TRUE(p) << "quelmar.lv2 not found in " QUELMAR_LV2_PATH;
  EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(p))),
               "http://lv2plug.in/ns/lv2core#LimiterPlugin");
  EXPECT_EQ(lilv_plugin_get_latency_port_index(p), std::uint32_t(kLatency));
  LilvNodes* required = lilv_plugin_get_required_features(p);
  EXPECT_EQ(lilv_nodes_size(required), 0u) << "a plain host must be able to run it";
  lilv_nodes_free(required);
  const char* names[] = {"Thresh", "Output", "Fader Link", "ISP Detection"};
  for (int i = 0; i < 4; ++i) {
    LilvNode* portName = lilv_port_get_name(p, lilv_plugin_get_port_by_index(p, std::uint32_t(kThreshold + i)));
    EXPECT_STREQ(lilv_node_as_string(portName), names[i]);
    lilv_node_free(portName);
  }
  LilvUIs* uis = lilv_plugin_get_uis(p);
  LilvNode* x11 = lilv_new_uri(world(), "http://lv2plug.in/ns/extensions/ui#X11UI");
  ASSERT_EQ(lilv_uis_size(uis), 1u);
  EXPECT_TRUE(lilv_ui_is_a(lilv_uis_get(uis, lilv_uis_begin(uis)), x11));
  lilv_node_free(x11);
  lilv_uis_free(uis);
}

// Partitions from 1 to 4096 frames, settings moving between runs, a new
// activation now and then, the link port flipping (the plug-in applies the
// ports as they stand): every sample the VST build's, at every rate.
TEST(Lv2, RendersBitForBitLikeTheVstBuild) {
  for (double rate : {22050.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
    SCOPED_TRACE(rate);
    const auto in = testsignals::program(std::size_t(rate), 21, 1.7f);
    const auto steps = session(in.frames());
    EXPECT_EQ(testsignals::firstDifferentFrame(renderLv2(in, rate, steps), renderVst(in, float(rate), steps)),
              in.frames());
  }
}

// A quiet impulse passes the limiter untouched, delayed by exactly the
// latency the output port reports; a new activation starts from a reset,
// so the same audio again gives the same samples.
TEST(Lv2, AnImpulseArrivesAtTheReportedLatencyAndReactivationResets) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    for (bool isp : {false, true}) {
      SCOPED_TRACE(testing::Message() << rate << (isp ? " ISP" : ""));
      Lv2Instance lv2(rate);
      lv2.control[kIsp] = isp ? 1.0f : 0.0f;
      std::vector<float> in(4096, 0.0f), outL(4096), outR(4096);
      in[100] = 0.25f;
      lv2.run(in.data(), in.data(), outL.data(), outR.data(), 4096);
      const auto expected = std::lround(rate * 0.00125) + (isp ? 6 : 0);
      EXPECT_EQ(lv2.control[kLatency], float(expected));
      const auto peak = std::max_element(outL.begin(), outL.end(), [](float a, float b) { return std::fabs(a) < std::fabs(b); });
      EXPECT_EQ(peak - outL.begin(), 100 + expected);

      const auto first = outL;
      lv2.reactivate();
      lv2.run(in.data(), in.data(), outL.data(), outR.data(), 4096);
      EXPECT_EQ(outL, first);
    }
  }
}

// The control outputs: the input's peaks (true peaks with detection on),
// held long enough for a host to see them, and the gain reduction, which
// falls back to nothing in silence.
TEST(Lv2, TheMeterOutputsFollowTheAudio) {
  Lv2Instance lv2(48000.0);
  lv2.control[kThreshold] = -12.0f;
  lv2.control[kIsp] = 1.0f;
  auto loud = testsignals::sine(2400, 48000.0, 1000.0, 0.5f);
  for (float& s : loud.right) s *= 0.25f;
  std::vector<float> outL(2400), outR(2400), silence(512, 0.0f);
  lv2.run(loud.left.data(), loud.right.data(), outL.data(), outR.data(), 2400);
  EXPECT_NEAR(lv2.control[kPeakLeft], -6.02f, 0.05f);
  EXPECT_NEAR(lv2.control[kPeakRight], -18.06f, 0.05f);
  EXPECT_NEAR(lv2.control[kReduction], 6.0f, 1.0f);
  lv2.run(silence.data(), silence.data(), outL.data(), outR.data(), 512);
  EXPECT_NEAR(lv2.control[kPeakLeft], -6.02f, 0.05f) << "a peak stays for a while";
  for (int i = 0; i < 100; ++i) lv2.run(silence.data(), silence.data(), outL.data(), outR.data(), 512);
  EXPECT_LT(lv2.control[kPeakLeft], -60.0f);
  EXPECT_LT(lv2.control[kReduction], 0.5f);
}

}  // namespace
