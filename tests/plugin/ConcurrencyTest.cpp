// Automation from one thread while another processes, and meter reading from a
// third: the words that cross threads must be race-free (run under
// ThreadSanitizer in CI) and the audio must stay sound.

#include "PluginFixture.h"
#include "plugin/Quelmar.h"
#include "support/TestSignals.h"

#include <atomic>
#include <cmath>
#include <thread>

namespace {

VstIntPtr VST_CALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

void automate(const std::atomic<bool>& running, const std::function<void(VstInt32, float)>& set,
              const std::function<void()>& read) {
  testsignals::Random rng(17);
  while (running.load()) {
    for (VstInt32 index = 0; index < 4; ++index) set(index, rng.uniform());
    read();
  }
}

}  // namespace

TEST(Concurrency, AutomationWhileProcessingThroughTheHost) {
  auto plugin = makeQuelmar();
  plugin->dispatch(effMainsChanged, 0, 1);
  const testsignals::Stereo in = testsignals::program(4096, 1, 2.0f);
  std::atomic<bool> running{true};
  std::atomic<bool> finite{true};

  std::thread audio([&] {
    testsignals::Stereo out(in.frames());
    for (int pass = 0; pass < 300; ++pass) {
      processThrough(*plugin, in.left.data(), in.right.data(), out.left.data(), out.right.data(), 4096);
      for (std::size_t i = 0; i < out.frames(); ++i) {
        if (!std::isfinite(out.left[i]) || std::fabs(out.left[i]) > 1.0f) finite = false;
      }
    }
    running = false;
  });
  automate(
      running, [&](VstInt32 index, float value) { plugin->setParameter(index, value); },
      [&] {
        for (VstInt32 index = 0; index < 4; ++index) {
          plugin->getParameter(index);
          text(*plugin, effGetParamDisplay, index);
        }
      });
  audio.join();
  EXPECT_TRUE(finite.load());
  EXPECT_GT(plugin->countRequests(audioMasterIOChanged), 0u);
}

TEST(Concurrency, MetersReadWhileProcessing) {
  Quelmar effect(&quietHost);
  effect.resume();
  const testsignals::Stereo in = testsignals::program(4096, 2);
  std::atomic<bool> running{true};
  std::thread audio([&] {
    testsignals::Stereo out(in.frames());
    float* inputs[2] = {const_cast<float*>(in.left.data()), const_cast<float*>(in.right.data())};
    float* outputs[2] = {out.left.data(), out.right.data()};
    for (int pass = 0; pass < 200; ++pass) effect.processReplacing(inputs, outputs, 4096);
    running = false;
  });
  float seen = 0.0f;
  while (running.load()) {
    // What the editor's idle step does with the meter members.
    if (effect.meterHoldoffCounter() < 20) {
      seen = std::max(seen, effect.inputPeaks()[0].load());
      effect.inputPeaks()[0] = Quelmar::kMeterFloor;
      effect.inputPeaks()[1] = Quelmar::kMeterFloor;
      effect.meterHoldoffCounter() = static_cast<std::uint16_t>(effect.meterHoldoffCounter() + 28);
    }
    seen = std::max(seen, effect.envelopeMeter().load() * 0.0f);
    effect.setParameter(0, 0.3f);
  }
  audio.join();
  EXPECT_GT(std::max(seen, effect.inputPeaks()[0].load()), Quelmar::kMeterFloor);
}
