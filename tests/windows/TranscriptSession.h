#pragma once
// The audio sessions of the transcripts: the input signals and the block and
// parameter schedule, played through any driver (the VST 2.4 record, the
// CLAP plug-in) so that all of them must give the same bits.
//
// The input signals use only basic arithmetic (no library maths), so every
// system feeds the plug-in exactly the same samples.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace transcript {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  float uniform() { return float(next() >> 40) / 16777216.0f; }
  float bipolar() { return uniform() * 2.0f - 1.0f; }

 private:
  std::uint64_t state;
};

// sin(2 pi t) for any t, from a polynomial: identical on every IEEE machine.
double turnSine(double t) {
  t -= double(std::int64_t(t));
  if (t < 0) t += 1.0;
  double sign = 1.0;
  if (t >= 0.5) {
    t -= 0.5;
    sign = -1.0;
  }
  if (t > 0.25) t = 0.5 - t;
  const double x = t * 6.283185307179586;
  const double x2 = x * x;
  const double s = x * (1 - x2 / 6 * (1 - x2 / 20 * (1 - x2 / 42 * (1 - x2 / 72 * (1 - x2 / 110 * (1 - x2 / 156))))));
  return sign * s;
}

struct Signal {
  std::vector<float> left, right;
};

// Signal kinds: 0 loud swept sine, 1 noise bursts with silences, 2 clicks
// and square waves well over full scale, 3 near-Nyquist tones (inter-sample
// peaks), 4 quiet material that rises suddenly.
Signal makeSignal(int kind, std::size_t frames, double rate) {
  Signal s{std::vector<float>(frames), std::vector<float>(frames)};
  Random rng(std::uint64_t(kind) * 7919 + 17);
  double phase = 0;
  for (std::size_t i = 0; i < frames; ++i) {
    const double t = double(i) / rate;
    float l = 0, r = 0;
    switch (kind) {
      case 0: {
        phase += (40.0 + 6000.0 * double(i) / double(frames)) / rate;
        l = float(1.4 * turnSine(phase));
        r = float(0.9 * turnSine(phase * 1.01 + 0.1));
        break;
      }
      case 1: {
        const bool on = (i / 3000) % 3 != 2;
        const float level = float(0.2 + 1.6 * ((i / 3000) % 5) / 4.0);
        l = on ? level * rng.bipolar() : 0.0f;
        r = on ? level * rng.bipolar() : 0.0f;
        break;
      }
      case 2: {
        l = (i % 1500) == 0 ? 3.0f : ((i / 200) % 2 ? 0.7f : -0.7f);
        r = (i % 2100) == 7 ? -2.5f : 0.5f * l;
        break;
      }
      case 3: {
        l = float(1.0 * turnSine(t * rate * 0.2437));
        r = float(0.99 * turnSine(t * rate * 0.4871 + 0.25));
        break;
      }
      default: {
        const double level = i < frames / 2 ? 0.01 : 1.8;
        l = float(level * turnSine(t * 220.0));
        r = float(level * rng.bipolar());
        break;
      }
    }
    s.left[i] = l;
    s.right[i] = r;
  }
  return s;
}

struct Session {
  float rate;
  bool isp;
  int signal;
};

// The settings a session starts from, in the order they are set.
using Settings = std::vector<std::pair<int, float>>;

// Plays one session: driver.begin(session, settings) configures and starts
// the plug-in, set(index, normalised) changes a parameter before the next
// block, process(inputs, outputs, frames) runs a block; done(left, right)
// receives the whole output.
template <class Driver, class Done>
void play(Driver& driver, const Session& s, Done done) {
  static constexpr int blockSizes[] = {1, 7, 64, 4096};
  driver.begin(s, Settings{{3, s.isp ? 1.0f : 0.0f}, {0, 0.7f}, {1, 0.95f}, {2, 0.0f}});
  const std::size_t frames = std::size_t(s.rate) * 3 / 2;
  Signal in = makeSignal(s.signal, frames, s.rate);
  std::vector<float> outL(frames), outR(frames);
  std::size_t at = 0;
  for (int block = 0; at < frames; ++block) {
    const std::size_t n = std::min<std::size_t>(std::size_t(blockSizes[block % 4]), frames - at);
    // Parameter changes between blocks: threshold and ceiling move, the link
    // comes and goes.
    if (block % 37 == 36) driver.set(0, float(block % 11) / 10.0f);
    if (block % 53 == 52) driver.set(1, float(block % 7) / 6.0f);
    if (block % 101 == 100) driver.set(2, (block / 101) % 2 ? 1.0f : 0.0f);
    float* inputs[2] = {in.left.data() + at, in.right.data() + at};
    float* outputs[2] = {outL.data() + at, outR.data() + at};
    driver.process(inputs, outputs, int(n));
    at += n;
  }
  done(outL, outR);
}

}  // namespace transcript
