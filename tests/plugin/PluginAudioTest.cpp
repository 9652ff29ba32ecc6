// Audio through the loaded plug-in: bit-exact against the reference model
// driven the way the instance drives its engine, aligned with the reported
// latency, and free of allocation.

#include "AllocationCounter.h"
#include "PluginFixture.h"
#include "ReferenceLimiter.h"
#include "plugin/QuelmarParameters.h"
#include "support/TestSignals.h"

using testsignals::bits;
using testsignals::Stereo;

namespace {

// The instance's mapping of a normalised gain value to the engine's decibels.
float decibelsOf(float value) { return QuelmarParameters::decibelsOf(QuelmarParameters::tenthsOf(value)); }

}  // namespace

TEST(PluginAudio, MatchesTheReferenceDrivenLikeTheInstance) {
  for (VstIntPtr rate : {44100, 48000, 96000}) {
    for (bool isp : {false, true}) {
      host::HostAnswers answers;
      answers.sampleRate = rate;
      auto plugin = makeQuelmar(answers);
      reference::ReferenceLimiter model;
      model.setThreshold(0.0f);
      model.setOutput(0.0f);
      model.setIspEnabled(false);
      model.setSampleRate(static_cast<float>(rate));

      const float threshold = 0.62f, output = 0.97f;
      plugin->setParameter(0, threshold);
      model.setThreshold(decibelsOf(threshold));
      plugin->setParameter(1, output);
      model.setOutput(decibelsOf(output));
      plugin->setParameter(3, isp ? 1.0f : 0.0f);
      model.setIspEnabled(isp);
      plugin->dispatch(effMainsChanged, 0, 1);
      model.reset();

      const Stereo in = testsignals::program(60000, static_cast<std::uint64_t>(rate) + isp);
      Stereo out(in.frames()), expected(in.frames());
      float peaks[2] = {0.0009765625f, 0.0009765625f}, envelope = 1.0f;
      std::uint16_t holdoff = 0;
      const int block = 512;
      for (std::size_t at = 0; at < in.frames(); at += block) {
        const int count = static_cast<int>(std::min<std::size_t>(block, in.frames() - at));
        processThrough(*plugin, in.left.data() + at, in.right.data() + at, out.left.data() + at, out.right.data() + at,
                       count);
        const float* inputs[2] = {in.left.data() + at, in.right.data() + at};
        float* outputs[2] = {expected.left.data() + at, expected.right.data() + at};
        model.process(inputs, outputs, peaks, &envelope, &holdoff, count);
        if (at == 20480) {  // automation in the middle of the material
          plugin->setParameter(0, 0.4f);
          model.setThreshold(decibelsOf(0.4f));
        }
      }
      for (std::size_t i = 0; i < in.frames(); ++i) {
        ASSERT_EQ(bits(out.left[i]), bits(expected.left[i])) << rate << " isp " << isp << " at " << i;
        ASSERT_EQ(bits(out.right[i]), bits(expected.right[i])) << rate << " isp " << isp << " at " << i;
      }
    }
  }
}

TEST(PluginAudio, InPlaceProcessingGivesTheSameResult) {
  auto a = makeQuelmar();
  auto b = makeQuelmar();
  a->setParameter(0, 0.5f);
  b->setParameter(0, 0.5f);
  const Stereo in = testsignals::program(10000, 8);
  Stereo out(in.frames()), inPlace = in;
  processThrough(*a, in.left.data(), in.right.data(), out.left.data(), out.right.data(), 10000);
  processThrough(*b, inPlace.left.data(), inPlace.right.data(), inPlace.left.data(), inPlace.right.data(), 10000);
  for (std::size_t i = 0; i < in.frames(); ++i) ASSERT_EQ(bits(out.left[i]), bits(inPlace.left[i])) << i;
}

TEST(PluginAudio, ImpulseComesBackAfterInitialDelay) {
  for (float isp : {0.0f, 1.0f}) {
    auto plugin = makeQuelmar();
    plugin->setParameter(3, isp);
    plugin->dispatch(effMainsChanged, 0, 1);
    Stereo in(256), out(256);
    in.left[0] = in.right[0] = 1.0f;
    processThrough(*plugin, in.left.data(), in.right.data(), out.left.data(), out.right.data(), 256);
    const int delay = plugin->effect()->initialDelay;
    for (int i = 0; i < 256; ++i) {
      if (i != delay) {
        ASSERT_EQ(out.left[i], 0.0f) << i;
      }
    }
    EXPECT_GT(out.left[delay], 0.99f);
    EXPECT_LE(out.left[delay], 0.9970706f);
  }
}

TEST(PluginAudio, ProcessingAllocatesNothing) {
  auto plugin = makeQuelmar();
  plugin->setParameter(3, 1.0f);
  plugin->dispatch(effMainsChanged, 0, 1);
  const Stereo in = testsignals::program(8192, 2);
  Stereo out(in.frames());
  const allocations::Counts before = allocations::onThisThread();
  for (int pass = 0; pass < 4; ++pass) {
    for (int at = 0; at < 8192; at += 1024) {
      processThrough(*plugin, in.left.data() + at, in.right.data() + at, out.left.data() + at, out.right.data() + at,
                     1024);
    }
    plugin->setParameter(0, 0.25f * static_cast<float>(pass));
    plugin->setParameter(1, 0.9f);
  }
  const allocations::Counts after = allocations::onThisThread();
  EXPECT_EQ(after.news, before.news);
  EXPECT_EQ(after.deletes, before.deletes);
}
