// Writes the bundled example: a short stereo groove (drums, bass, chords)
// made from nothing but arithmetic, so it carries no one else's rights. The
// drums peak well above the body of the mix, the way an unmastered mix does,
// so a limiter has real work on it.
//
//   quelmar-examplegen OUTPUT.ogg

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;
constexpr double kBeat = 0.5;  // 120 BPM
constexpr int kBars = 7;
constexpr double kTail = 1.5;  // the last chord rings out

// Its own generator, so the file is the same on every machine.
class Noise {
 public:
  float next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<float>(state_) / 2147483648.0f - 1.0f;
  }

 private:
  std::uint32_t state_ = 0x2545F491u;
};

struct Mix {
  std::vector<float> left;
  std::vector<float> right;
  void add(std::size_t at, float sample, float pan) {  // pan -1 left .. +1 right
    if (at >= left.size()) return;
    left[at] += sample * std::sqrt(0.5f * (1.0f - pan));
    right[at] += sample * std::sqrt(0.5f * (1.0f + pan));
  }
};

double noteHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

std::size_t at(double seconds) { return static_cast<std::size_t>(seconds * kRate); }

void kick(Mix& mix, double when, float level) {
  double phase = 0.0;
  for (std::size_t n = 0; n < at(0.45); ++n) {
    const double t = static_cast<double>(n) / kRate;
    phase += 2.0 * kPi * (48.0 + 110.0 * std::exp(-t / 0.035)) / kRate;
    const double body = std::sin(phase) * std::exp(-t / 0.22);
    const double click = t < 0.004 ? (1.0 - t / 0.004) * 0.6 : 0.0;
    mix.add(at(when) + n, level * static_cast<float>(body + click), 0.0f);
  }
}

void snare(Mix& mix, Noise& noise, double when, float level) {
  float previous = 0.0f;
  for (std::size_t n = 0; n < at(0.3); ++n) {
    const double t = static_cast<double>(n) / kRate;
    const float white = noise.next();
    const float bright = white - previous;  // first difference: a cheap high-pass
    previous = white;
    const double tone = std::sin(2.0 * kPi * 185.0 * t) * std::exp(-t / 0.06);
    const double rattle = bright * 0.5 * std::exp(-t / 0.09);
    mix.add(at(when) + n, level * static_cast<float>(0.8 * tone + rattle), -0.1f);
  }
}

void hat(Mix& mix, Noise& noise, double when, float level, double decay) {
  float previous = 0.0f;
  for (std::size_t n = 0; n < at(decay * 6.0); ++n) {
    const double t = static_cast<double>(n) / kRate;
    const float white = noise.next();
    const float bright = white - previous;
    previous = white;
    mix.add(at(when) + n, level * bright * static_cast<float>(std::exp(-t / decay)), 0.35f);
  }
}

void bassNote(Mix& mix, double when, double length, int midi, float level) {
  const double hz = noteHz(midi);
  for (std::size_t n = 0; n < at(length); ++n) {
    const double t = static_cast<double>(n) / kRate;
    const double envelope = std::min(1.0, t / 0.005) * std::exp(-t / 0.4) * std::min(1.0, (length - t) / 0.01);
    const double p = 2.0 * kPi * hz * t;
    const double tone = std::sin(p) + 0.35 * std::sin(2.0 * p) + 0.12 * std::sin(3.0 * p);
    mix.add(at(when) + n, level * static_cast<float>(envelope * tone), 0.0f);
  }
}

void chord(Mix& mix, double when, double length, const std::array<int, 4>& notes, float level) {
  for (std::size_t v = 0; v < notes.size(); ++v) {
    const double hz = noteHz(notes[v]) * (v % 2 == 0 ? 1.0015 : 0.9985);  // a little detune for width
    const float pan = v % 2 == 0 ? -0.3f : 0.3f;
    for (std::size_t n = 0; n < at(length); ++n) {
      const double t = static_cast<double>(n) / kRate;
      const double envelope = std::min(1.0, t / 0.08) * std::min(1.0, (length - t) / 0.3) * (0.8 + 0.2 * std::exp(-t));
      const double p = 2.0 * kPi * hz * t;
      // A soft triangle-like tone: odd harmonics falling off fast.
      const double tone = std::sin(p) - std::sin(3.0 * p) / 9.0 + std::sin(5.0 * p) / 25.0;
      mix.add(at(when) + n, level * static_cast<float>(envelope * tone), pan);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quelmar-examplegen OUTPUT.ogg\n");
    return 2;
  }
  const double bar = 4 * kBeat;
  const std::size_t frames = at(kBars * bar + kTail);
  Mix mix{std::vector<float>(frames), std::vector<float>(frames)};
  Noise noise;

  // Am, F, C, G: root of the bass and the chord voicing.
  const std::array<int, 4> roots = {33, 29, 36, 31};
  const std::array<std::array<int, 4>, 4> voicings = {{{57, 60, 64, 69}, {57, 60, 65, 69}, {55, 60, 64, 67}, {55, 59, 62, 67}}};

  for (int b = 0; b < kBars; ++b) {
    const double start = b * bar;
    const std::size_t harmony = static_cast<std::size_t>(b % 4);
    const bool fill = b == kBars - 1;
    chord(mix, start, bar, voicings[harmony], 0.05f);
    for (int eighth = 0; eighth < 8; ++eighth) {
      const double t = start + eighth * kBeat / 2;
      const int octave = eighth == 3 || eighth == 6 ? 12 : 0;
      bassNote(mix, t, kBeat / 2 * 0.9, roots[harmony] + octave, 0.16f);
      hat(mix, noise, t, eighth % 2 == 0 ? 0.07f : 0.045f, eighth == 7 && b % 2 == 1 ? 0.09f : 0.018f);
    }
    kick(mix, start, 0.9f);
    kick(mix, start + 2 * kBeat, 0.85f);
    if (b % 2 == 1) kick(mix, start + 3.5 * kBeat, 0.6f);
    snare(mix, noise, start + kBeat, 0.55f);
    snare(mix, noise, start + 3 * kBeat, 0.6f);
    if (fill) {
      for (int s = 0; s < 4; ++s) snare(mix, noise, start + 3 * kBeat + s * kBeat / 4, 0.35f + 0.1f * s);
    }
  }
  // The closing hit: everything at once, the loudest moment of the piece.
  const double end = kBars * bar;
  kick(mix, end, 1.0f);
  snare(mix, noise, end, 0.5f);
  chord(mix, end, kTail, voicings[0], 0.06f);
  bassNote(mix, end, kTail * 0.8, roots[0], 0.18f);

  float peak = 0.0f;
  for (std::size_t n = 0; n < frames; ++n) peak = std::max({peak, std::fabs(mix.left[n]), std::fabs(mix.right[n])});
  const float scale = 0.966f / peak;  // peaks at -0.3 dBFS, as a mix handed to mastering might
  std::vector<float> interleaved(frames * 2);
  for (std::size_t n = 0; n < frames; ++n) {
    interleaved[2 * n] = mix.left[n] * scale;
    interleaved[2 * n + 1] = mix.right[n] * scale;
  }

  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  SNDFILE* file = sf_open(argv[1], SFM_WRITE, &info);
  if (file == nullptr) {
    std::fprintf(stderr, "quelmar-examplegen: %s: %s\n", argv[1], sf_strerror(nullptr));
    return 1;
  }
  // Vorbis at a middling quality keeps the file small enough to commit (a
  // lossless file of the same music is five times the size); for a demo of
  // loudness, what the decoder gives back is as good an input as any.
  double quality = 0.5;
  sf_command(file, SFC_SET_VBR_ENCODING_QUALITY, &quality, sizeof quality);
  const sf_count_t wrote = sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
  if (wrote != static_cast<sf_count_t>(frames) || sf_close(file) != 0) {
    std::fprintf(stderr, "quelmar-examplegen: %s: cannot write\n", argv[1]);
    return 1;
  }
  return 0;
}
