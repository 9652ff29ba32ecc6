// Drives a plug-in file through a fixed session and writes everything it
// answers: the record, every dispatcher answer and text, parameter texts, and
// the raw output of long audio runs. Built for Linux and for Windows; the two
// transcripts of the same session must be byte for byte the same.
//
//   quelmar-transcript PLUGIN TEXT_OUT AUDIO_OUT

#include "host/HostedPlugin.h"
#include "host/PluginLibrary.h"
#include "TranscriptSession.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

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

std::size_t runAudio(std::FILE* text, std::FILE* audio, host::HostedPlugin& p, const transcript::Session& s) {
  struct Driver {
    host::HostedPlugin& p;
    void begin(const transcript::Session& s, const transcript::Settings& settings) {
      p.dispatch(effSetSampleRate, 0, 0, nullptr, s.rate);
      for (const auto& [index, value] : settings) p.setParameter(index, value);
      p.dispatch(effMainsChanged, 0, 1);
    }
    void set(int index, float value) { p.setParameter(index, value); }
    void process(float** inputs, float** outputs, int frames) { p.processReplacing(inputs, outputs, frames); }
  } driver{p};
  std::size_t samples = 0;
  transcript::play(driver, s, [&](const std::vector<float>& outL, const std::vector<float>& outR) {
    std::fprintf(text, "session rate=%a isp=%d signal=%d delay=%d\n", double(s.rate), int(s.isp), s.signal,
                 p.effect()->initialDelay);
    std::fwrite(outL.data(), sizeof(float), outL.size(), audio);
    std::fwrite(outR.data(), sizeof(float), outR.size(), audio);
    samples += outL.size() + outR.size();
  });
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
          for (int signal = 0; signal < 5; ++signal)
            samples += runAudio(text, audio, *plugin, transcript::Session{rate, isp, signal});
    }
    std::fprintf(text, "close -> %" PRIdPTR "\n", plugin->close());
  }
  std::fclose(text);
  std::fclose(audio);
  std::printf("%zu samples\n", samples);
  return 0;
}
