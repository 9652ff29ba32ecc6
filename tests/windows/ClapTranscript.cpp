// Plays the transcript's audio sessions through Quelmar.clap with a CLAP host
// of our own and writes the raw output. Built for Linux and for Windows; the
// output must be byte for byte the VST 2.4 transcript's audio.
//
//   quelmar_clap_transcript PLUGIN.clap AUDIO_OUT

#include <cstdio>

#include "TranscriptSession.h"
#include "clap/ClapTestHost.h"
#include "plugin/QuelmarParameters.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PLUGIN.clap AUDIO_OUT\n", argv[0]);
    return 2;
  }
  claptest::ClapLibrary library(argv[1]);
  claptest::ClapTestHost host(library);
  std::FILE* audio = std::fopen(argv[2], "wb");
  if (!host.plugin || !audio) {
    std::fprintf(stderr, "%s: no plug-in, or the output cannot be written\n", argv[1]);
    return 1;
  }

  // The VST host sets normalised values; this one sends what the instance
  // shows for them, as a CLAP host does.
  struct Driver {
    claptest::ClapTestHost& host;
    void begin(const transcript::Session& s, const transcript::Settings& settings) {
      if (host.active) host.deactivate();
      for (const auto& [index, value] : settings) set(index, value);
      host.flush();
      host.activate(s.rate);
    }
    void set(int index, float value) { host.setParameter(clap_id(index), QuelmarParameters::plainOf(index, value)); }
    void process(float** in, float** out, int frames) {
      host.process(in[0], in[1], out[0], out[1], std::uint32_t(frames));
    }
  } driver{host};

  std::size_t samples = 0;
  for (float rate : {44100.0f, 48000.0f, 96000.0f})
    for (bool isp : {false, true})
      for (int signal = 0; signal < 5; ++signal)
        transcript::play(driver, {rate, isp, signal}, [&](const std::vector<float>& l, const std::vector<float>& r) {
          std::fwrite(l.data(), sizeof(float), l.size(), audio);
          std::fwrite(r.data(), sizeof(float), r.size(), audio);
          samples += l.size() + r.size();
        });
  if (std::fclose(audio) != 0) return 1;
  std::printf("%zu samples\n", samples);
  return 0;
}
