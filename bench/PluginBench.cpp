// Speed of the plug-in through the same host code a DAW-like host uses, in
// nanoseconds per stereo frame and times real time, beside a second, real
// VST 2.4 limiter run on the same audio in the same process, and the CLAP
// build through a CLAP host of our own at the same settings.

#include "clap/ClapTestHost.h"
#include "host/HostedPlugin.h"
#include "plugin/QuelmarParameters.h"
#include "support/TestSignals.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

const char* const kComparisonPlugin = "/usr/lib/vst/lsp-plugins/limiter-stereo.so";
constexpr int kLspOversampling = 14;           // its "ovs" parameter
constexpr float kLspFullTimesFour = 0.8f;      // "Full x4"

struct Loaded {
  std::unique_ptr<host::PluginLibrary> library;
  std::string error;
};

Loaded& library(const std::string& path) {
  static std::map<std::string, Loaded> loaded;
  Loaded& entry = loaded[path];
  if (!entry.library && entry.error.empty()) entry.library = host::PluginLibrary::open(path, entry.error);
  return entry;
}

// Ten seconds of program material: the same for every plug-in and setting.
const testsignals::Stereo& material(int rate) {
  static std::map<int, testsignals::Stereo> cache;
  auto it = cache.find(rate);
  if (it == cache.end()) it = cache.emplace(rate, testsignals::program(static_cast<std::size_t>(rate) * 10, 99)).first;
  return it->second;
}

void report(benchmark::State& state, int rate, int block);

void run(benchmark::State& state, const std::string& path, int rate, int block,
         const std::map<int, float>& parameters) {
  Loaded& lib = library(path);
  if (!lib.library) {
    state.SkipWithError(lib.error.c_str());
    return;
  }
  host::HostAnswers answers;
  answers.sampleRate = rate;
  answers.blockSize = block;
  std::string error;
  auto plugin = host::HostedPlugin::create(*lib.library, answers, error);
  if (!plugin) {
    state.SkipWithError(error.c_str());
    return;
  }
  plugin->dispatch(effOpen);
  plugin->dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
  plugin->dispatch(effSetBlockSize, 0, block);
  for (const auto& [index, value] : parameters) plugin->setParameter(index, value);
  plugin->dispatch(effMainsChanged, 0, 1);

  const testsignals::Stereo& in = material(rate);
  testsignals::Stereo out(static_cast<std::size_t>(block));
  float* outputs[2] = {out.left.data(), out.right.data()};
  const std::size_t blocks = in.frames() / static_cast<std::size_t>(block);
  std::size_t next = 0;
  for (auto _ : state) {
    const std::size_t at = next * static_cast<std::size_t>(block);
    float* inputs[2] = {const_cast<float*>(in.left.data() + at), const_cast<float*>(in.right.data() + at)};
    plugin->processReplacing(inputs, outputs, block);
    benchmark::DoNotOptimize(out.left.data());
    next = next + 1 == blocks ? 0 : next + 1;
  }
  plugin->dispatch(effMainsChanged, 0, 0);
  report(state, rate, block);
}

void report(benchmark::State& state, int rate, int block) {
  const double frames = static_cast<double>(state.iterations()) * block;
  state.SetItemsProcessed(static_cast<std::int64_t>(frames));
  state.counters["ns/frame"] = benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x_realtime"] = benchmark::Counter(frames / rate, benchmark::Counter::kIsRate);
}

// The same through Quelmar.clap: the parameters as a CLAP host sends them.
void runClap(benchmark::State& state, int rate, int block, const std::map<int, float>& parameters) {
  static claptest::ClapLibrary clap(QUELMAR_CLAP_PATH);
  claptest::ClapTestHost host(clap);
  if (!host.plugin) {
    state.SkipWithError("no CLAP plug-in");
    return;
  }
  for (const auto& [index, value] : parameters)
    host.setParameter(clap_id(index), QuelmarParameters::plainOf(index, value));
  host.flush();
  host.activate(rate, static_cast<std::uint32_t>(block));
  const testsignals::Stereo& in = material(rate);
  testsignals::Stereo out(static_cast<std::size_t>(block));
  const std::size_t blocks = in.frames() / static_cast<std::size_t>(block);
  std::size_t next = 0;
  for (auto _ : state) {
    const std::size_t at = next * static_cast<std::size_t>(block);
    host.process(in.left.data() + at, in.right.data() + at, out.left.data(), out.right.data(),
                 static_cast<std::uint32_t>(block));
    benchmark::DoNotOptimize(out.left.data());
    next = next + 1 == blocks ? 0 : next + 1;
  }
  report(state, rate, block);
}

// Threshold -10 dB, ceiling -0.3 dB: the limiter works on every loud passage.
std::map<int, float> quelmarSettings(bool isp) {
  return {{0, 2.0f / 3.0f}, {1, 0.99f}, {3, isp ? 1.0f : 0.0f}};
}

void registerAll() {
  for (int rate : {44100, 48000}) {
    for (int block : {64, 512, 4096}) {
      for (bool isp : {false, true}) {
        const std::string name = std::string("Quelmar/") + (isp ? "isp" : "plain") + "/" + std::to_string(rate) +
                                 "/" + std::to_string(block);
        benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& s) {
          run(s, QUELMAR_PLUGIN_PATH, rate, block, quelmarSettings(isp));
        });
        benchmark::RegisterBenchmark(("Clap" + name).c_str(), [=](benchmark::State& s) {
          runClap(s, rate, block, quelmarSettings(isp));
        });
        const std::string lsp = std::string("LSP/") + (isp ? "x4" : "default") + "/" + std::to_string(rate) + "/" +
                                std::to_string(block);
        std::map<int, float> lspSettings;
        if (isp) lspSettings[kLspOversampling] = kLspFullTimesFour;
        benchmark::RegisterBenchmark(lsp.c_str(), [=](benchmark::State& s) {
          run(s, kComparisonPlugin, rate, block, lspSettings);
        });
      }
    }
  }
}

// Keeps each run's ns/frame so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("ns/frame");
      if (!run.error_occurred && it != run.counters.end()) nsPerFrame[run.benchmark_name()] = it->second.value * 1e9;
    }
  }
  std::map<std::string, double> nsPerFrame;
};

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nQuelmar against the comparison limiter (its time / ours; above 1 means we are faster)\n");
  for (const auto& [name, ns] : reporter.nsPerFrame) {
    if (name.rfind("Quelmar/", 0) != 0) continue;
    const bool isp = name.find("/isp/") != std::string::npos;
    std::string other = name;
    other.replace(0, std::string("Quelmar/").size() + (isp ? 3 : 5), std::string("LSP/") + (isp ? "x4" : "default"));
    auto it = reporter.nsPerFrame.find(other);
    if (it == reporter.nsPerFrame.end()) continue;
    std::printf("  %-28s %7.2f ns/frame  vs %-26s %7.2f ns/frame  ratio %5.2f\n", name.c_str(), ns, other.c_str(),
                it->second, it->second / ns);
  }
  std::printf("\nThe CLAP build against the VST build (CLAP time / VST time; 1.02 is 2 %% more)\n");
  for (const auto& [name, ns] : reporter.nsPerFrame) {
    if (name.rfind("Quelmar/", 0) != 0) continue;
    auto it = reporter.nsPerFrame.find("Clap" + name);
    if (it == reporter.nsPerFrame.end()) continue;
    std::printf("  %-28s %7.2f ns/frame  CLAP %7.2f ns/frame  ratio %5.3f\n", name.c_str(), ns, it->second,
                it->second / ns);
  }
  benchmark::Shutdown();
  return 0;
}
