// The engine alone, without the host boundary: what the per-sample work costs.

#include "engine/LimiterEngine.h"
#include "support/TestSignals.h"

#include <benchmark/benchmark.h>

namespace {

void engineBlocks(benchmark::State& state) {
  const bool isp = state.range(0) != 0;
  const int block = static_cast<int>(state.range(1));
  LimiterEngine engine;
  engine.setThreshold(-10.0f);
  engine.setOutput(-0.3f);
  engine.setIspEnabled(isp);
  engine.setSampleRate(44100.0f);
  engine.reset();
  static const testsignals::Stereo in = testsignals::program(441000, 99);
  testsignals::Stereo out(static_cast<std::size_t>(block));
  LimiterEngine::MeterLevel peak[2];
  LimiterEngine::MeterLevel envelope;
  LimiterEngine::MeterCounter holdoff;
  float* outputs[2] = {out.left.data(), out.right.data()};
  std::size_t at = 0;
  for (auto _ : state) {
    if (at + static_cast<std::size_t>(block) > in.frames()) at = 0;
    const float* inputs[2] = {in.left.data() + at, in.right.data() + at};
    engine.process(inputs, outputs, peak, &envelope, &holdoff, block);
    benchmark::DoNotOptimize(out.left.data());
    at += static_cast<std::size_t>(block);
  }
  const double frames = static_cast<double>(state.iterations()) * block;
  state.counters["ns/frame"] = benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(engineBlocks)->ArgsProduct({{0, 1}, {64, 4096}});
BENCHMARK_MAIN();
