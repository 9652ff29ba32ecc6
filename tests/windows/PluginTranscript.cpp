// Drives a plug-in file through a fixed session and writes everything it
// answers: the record, every dispatcher answer and text, parameter texts, and
// the raw output of long audio runs. Built for Linux and for Windows; the two
// transcripts of the same session must be byte for byte the same.
//
//   quelmar-transcript PLUGIN TEXT_OUT AUDIO_OUT
//
// The input signals use only basic arithmetic (no library maths), so both
// systems feed the plug-in exactly the same samples.

#include "host/HostedPlugin.h"
#include "host/PluginLibrary.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

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

std::string printable(const char* text, std::size_t capacity) {
  std::string out;
  for (std::size_t i = 0; i < capacity && text[i]; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c < 127 && c != '\\') {
      out += char(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

void recordFields(std::FILE* out, const AEffect* e) {
  std::fprintf(out, "record magic=%08x programs=%d params=%d inputs=%d outputs=%d flags=%08x delay=%d "
                    "real=%d off=%d ioRatio=%a uniqueID=%08x version=%d resvd=%" PRIdPTR ",%" PRIdPTR " user=%d\n",
               unsigned(e->magic), e->numPrograms, e->numParams, e->numInputs, e->numOutputs, unsigned(e->flags),
               e->initialDelay, e->realQualities, e->offQualities, double(e->ioRatio), unsigned(e->uniqueID),
               e->version, e->resvd1, e->resvd2, e->user != nullptr);
  std::fprintf(out, "entries dispatcher=%d process=%d set=%d get=%d replacing=%d double=%d\n", e->dispatcher != nullptr,
               e->process != nullptr, e->setParameter != nullptr, e->getParameter != nullptr,
               e->processReplacing != nullptr, e->processDoubleReplacing != nullptr);
  unsigned char future[56];
  std::memcpy(future, e->future, sizeof future);
  int nonzero = 0;
  for (unsigned char b : future) nonzero += b != 0;
  std::fprintf(out, "future nonzero=%d\n", nonzero);
}

void parameterTexts(std::FILE* out, host::HostedPlugin& p) {
  for (int i = 0; i < 4; ++i) {
    char name[64] = {}, label[64] = {}, display[64] = {};
    p.dispatch(effGetParamName, i, 0, name);
    p.dispatch(effGetParamLabel, i, 0, label);
    p.dispatch(effGetParamDisplay, i, 0, display);
    std::fprintf(out, "param %d value=%a name=\"%s\" label=\"%s\" display=\"%s\"\n", i, double(p.getParameter(i)),
                 printable(name, 64).c_str(), printable(label, 64).c_str(), printable(display, 64).c_str());
  }
}

// Every request a host may send with plain arguments, and what it answers.
// The editor requests that need a window, and close, are left to others.
void dispatcherAnswers(std::FILE* out, host::HostedPlugin& p) {
  for (int opcode = 0; opcode < 80; ++opcode) {
    if (opcode == effClose || opcode == effEditOpen || opcode == effEditClose || opcode == effEditIdle ||
        opcode == effEditGetRect || opcode == effGetChunk || opcode == effSetChunk || opcode == effProcessEvents ||
        opcode == effSetSpeakerArrangement || opcode == effGetSpeakerArrangement || opcode == effSetSampleRate ||
        opcode == effSetBlockSize || opcode == effMainsChanged || opcode == effSetProgramName ||
        opcode == effSetProgram || opcode == effCanDo || opcode == effVendorSpecific ||
        opcode == effString2Parameter || opcode == effEditKeyDown || opcode == effEditKeyUp ||
        opcode == effShellGetNextPlugin)
      continue;
    for (int index = 0; index < 5; index += 4) {
      alignas(16) char buffer[512] = {};
      const VstIntPtr answer = p.dispatch(opcode, index, 0, buffer, 0.0f);
      std::fprintf(out, "dispatch %d/%d -> %" PRIdPTR " \"%s\"\n", opcode, index, answer,
                   printable(buffer, sizeof buffer).c_str());
    }
  }
  ERect* rect = nullptr;
  const VstIntPtr got = p.dispatch(effEditGetRect, 0, 0, &rect);
  if (rect)
    std::fprintf(out, "editrect -> %" PRIdPTR " %d %d %d %d\n", got, rect->top, rect->left, rect->bottom, rect->right);
  else
    std::fprintf(out, "editrect -> %" PRIdPTR " none\n", got);
  for (const char* can : {"plugAsChannelInsert", "plugAsSend", "receiveVstEvents", "bypass", "1in1out", "2in2out",
                          "sendVstMidiEvent", "nonsense"}) {
    char copy[64] = {};
    std::snprintf(copy, sizeof copy, "%s", can);
    std::fprintf(out, "cando %s -> %" PRIdPTR "\n", can, p.dispatch(effCanDo, 0, 0, copy));
  }
  for (const char* text : {"-12.5", "0", "-40", "abc", ""}) {
    char copy[64] = {};
    std::snprintf(copy, sizeof copy, "%s", text);
    for (int i = 0; i < 4; ++i)
      std::fprintf(out, "string2param %d \"%s\" -> %" PRIdPTR " value=%a\n", i, text,
                   p.dispatch(effString2Parameter, i, 0, copy), double(p.getParameter(i)));
  }
  char program[64] = "Renamed program name that is too long for the field";
  p.dispatch(effSetProgramName, 0, 0, program);
  char back[64] = {};
  p.dispatch(effGetProgramName, 0, 0, back);
  std::fprintf(out, "program name \"%s\"\n", printable(back, 64).c_str());
}

struct Session {
  float rate;
  bool isp;
  int signal;
};

std::size_t runAudio(std::FILE* text, std::FILE* audio, host::HostedPlugin& p, const Session& s) {
  static constexpr int blockSizes[] = {1, 7, 64, 4096};
  std::size_t samples = 0;
  p.dispatch(effSetSampleRate, 0, 0, nullptr, s.rate);
  p.setParameter(3, s.isp ? 1.0f : 0.0f);
  p.setParameter(0, 0.7f);
  p.setParameter(1, 0.95f);
  p.setParameter(2, 0.0f);
  p.dispatch(effMainsChanged, 0, 1);
  std::fprintf(text, "session rate=%a isp=%d signal=%d delay=%d\n", double(s.rate), int(s.isp), s.signal,
               p.effect()->initialDelay);
  const std::size_t frames = std::size_t(s.rate) * 3 / 2;
  Signal in = makeSignal(s.signal, frames, s.rate);
  std::vector<float> outL(frames), outR(frames);
  std::size_t done = 0;
  int block = 0;
  while (done < frames) {
    const std::size_t n = std::min<std::size_t>(blockSizes[block % 4], frames - done);
    // Parameter changes between blocks: threshold and ceiling move, the link
    // comes and goes.
    if (block % 37 == 36) p.setParameter(0, float(block % 11) / 10.0f);
    if (block % 53 == 52) p.setParameter(1, float(block % 7) / 6.0f);
    if (block % 101 == 100) p.setParameter(2, (block / 101) % 2 ? 1.0f : 0.0f);
    float* inputs[2] = {in.left.data() + done, in.right.data() + done};
    float* outputs[2] = {outL.data() + done, outR.data() + done};
    p.processReplacing(inputs, outputs, VstInt32(n));
    done += n;
    ++block;
  }
  std::fwrite(outL.data(), sizeof(float), frames, audio);
  std::fwrite(outR.data(), sizeof(float), frames, audio);
  samples += 2 * frames;
  parameterTexts(text, p);
  return samples;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s PLUGIN TEXT_OUT AUDIO_OUT\n", argv[0]);
    return 2;
  }
  std::string error;
  // Kept mapped as hosts keep their plug-ins: memory the library's globals
  // still point to is then no leak to a leak checker.
  auto library = host::PluginLibrary::open(argv[1], error, true);
  if (!library) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::FILE* text = std::fopen(argv[2], "wb");
  std::FILE* audio = std::fopen(argv[3], "wb");
  if (!text || !audio) {
    std::fprintf(stderr, "cannot write the transcript files\n");
    return 1;
  }

  std::size_t samples = 0;
  for (VstIntPtr hostRate : {VstIntPtr(44100), VstIntPtr(48000), VstIntPtr(0)}) {
    host::HostAnswers answers;
    answers.sampleRate = hostRate;
    auto plugin = host::HostedPlugin::create(*library, answers, error);
    if (!plugin) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    std::fprintf(text, "instance host rate %d\n", int(hostRate));
    recordFields(text, plugin->effect());
    parameterTexts(text, *plugin);
    dispatcherAnswers(text, *plugin);
    // Every parameter over its range, with its text.
    for (int i = 0; i < 4; ++i) {
      for (int step = 0; step <= 40; ++step) {
        plugin->setParameter(i, float(step) / 40.0f);
        char display[64] = {};
        plugin->dispatch(effGetParamDisplay, i, 0, display);
        std::fprintf(text, "sweep %d %d -> %a \"%s\" delay=%d\n", i, step, double(plugin->getParameter(i)),
                     printable(display, 64).c_str(), plugin->effect()->initialDelay);
      }
    }
    for (const auto& request : plugin->requests())
      std::fprintf(text, "request %d %d %" PRIdPTR " %a\n", request.opcode, request.index, request.value,
                   double(request.opt));
    if (hostRate == 44100) {
      for (float rate : {44100.0f, 48000.0f, 96000.0f})
        for (bool isp : {false, true})
          for (int signal = 0; signal < 5; ++signal) samples += runAudio(text, audio, *plugin, {rate, isp, signal});
    }
    std::fprintf(text, "close -> %" PRIdPTR "\n", plugin->close());
  }
  std::fclose(text);
  std::fclose(audio);
  std::printf("%zu samples\n", samples);
  return 0;
}
