// Shows the editor of a real instance the way a host would, without a window,
// and writes what the window would show as a PNG. With --audio the sound file
// (any format libsndfile reads) runs through the instance first, idled like a
// host idles an open editor (every 35 ms of audio), so the meter shows real
// bars with their peak hold.
//
//   quelmar-snapshot out.png [--threshold DB] [--ceiling DB] [--link] [--isp]
//                            [--audio FILE [--until SECONDS]]
//
// DB runs from -30 to 0; the defaults are 0 dB and both switches off.
// --until stops the audio there, to catch the meter at a chosen moment.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SoundFile.h"
#include "editor/CDraw.h"
#include "editor/QuelmarEditor.h"
#include "gui/CBitmap.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"
#include "plugin/Quelmar.h"

using namespace VSTGUI;

namespace {

VstIntPtr hostSampleRate = 44100;

VstIntPtr VST_CALLBACK host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetSampleRate: return hostSampleRate;
    default: return 0;
  }
}

struct Options {
  const char* output = nullptr;
  float threshold = 0.0f;
  float ceiling = 0.0f;
  bool link = false;
  bool isp = false;
  const char* audio = nullptr;
  double until = -1.0;
};

int usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s out.png [--threshold DB] [--ceiling DB] [--link] [--isp]\n"
               "       [--audio FILE [--until SECONDS]]\n"
               "       DB from -30 to 0\n",
               program);
  return 2;
}

bool parseDecibels(const char* text, float& out) {
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  if (end == text || *end != 0 || !std::isfinite(v) || v < -30.0f || v > 0.0f) return false;
  out = v;
  return true;
}

bool parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(a, "--threshold") == 0 && hasValue) {
      if (!parseDecibels(argv[++i], o.threshold)) return false;
    } else if (std::strcmp(a, "--ceiling") == 0 && hasValue) {
      if (!parseDecibels(argv[++i], o.ceiling)) return false;
    } else if (std::strcmp(a, "--audio") == 0 && hasValue) {
      o.audio = argv[++i];
    } else if (std::strcmp(a, "--until") == 0 && hasValue) {
      char* end = nullptr;
      o.until = std::strtod(argv[++i], &end);
      if (*end != 0 || !(o.until >= 0.0)) return false;
    } else if (std::strcmp(a, "--link") == 0) {
      o.link = true;
    } else if (std::strcmp(a, "--isp") == 0) {
      o.isp = true;
    } else if (a[0] != '-' && !o.output) {
      o.output = a;
    } else {
      return false;
    }
  }
  return o.output != nullptr;
}

float normalised(float decibels) { return (decibels + 30.0f) / 30.0f; }

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) return usage(argv[0]);

  StereoAudio audio;
  if (options.audio) {
    std::string error;
    if (!readSound(options.audio, audio, error)) {
      std::fprintf(stderr, "quelmar-snapshot: %s\n", error.c_str());
      return 1;
    }
    hostSampleRate = static_cast<VstIntPtr>(audio.sampleRate);
  }

  auto* effect = new Quelmar(&host, &createQuelmarEditor);
  AEffect* record = effect->getAeffect();
  auto dispatch = [record](VstInt32 opcode, VstIntPtr value = 0) {
    return record->dispatcher(record, opcode, 0, value, nullptr, 0.0f);
  };
  record->setParameter(record, Quelmar::kThreshold, normalised(options.threshold));
  record->setParameter(record, Quelmar::kOutput, normalised(options.ceiling));
  record->setParameter(record, Quelmar::kFaderLink, options.link ? 1.0f : 0.0f);
  record->setParameter(record, Quelmar::kIspDetection, options.isp ? 1.0f : 0.0f);
  dispatch(effMainsChanged, 1);

  // No host window: the frame is made without one and painted here instead,
  // whenever the meter takes new values (the whole editor is then repainted).
  dispatch(effEditOpen);
  auto* editor = static_cast<QuelmarEditor*>(effect->getEditor());
  CFrame* frame = editor->getFrame();
  const CRect bounds = frame->getBounds();
  COffscreenContext screen(frame, bounds.width(), bounds.height());
  auto paint = [&] { frame->drawRect(&screen, bounds); };
  paint();

  std::size_t frames = audio.left.size();
  if (options.until >= 0.0) frames = std::min(frames, static_cast<std::size_t>(options.until * audio.sampleRate));
  const std::size_t idleEvery =
      std::max<std::size_t>(1, static_cast<std::size_t>(audio.sampleRate * QuelmarEditor::kRefreshInterval / 1000));
  std::vector<float> outLeft(idleEvery), outRight(idleEvery);
  for (std::size_t at = 0; at < frames; at += idleEvery) {
    const auto n = static_cast<VstInt32>(std::min(idleEvery, frames - at));
    float* in[2] = {audio.left.data() + at, audio.right.data() + at};
    float* out[2] = {outLeft.data(), outRight.data()};
    record->processReplacing(record, in, out, n);
    dispatch(effEditIdle);
    if (editor->getMeter()->hasNewValues) paint();
  }
  if (frames == 0) {
    dispatch(effEditIdle);
    paint();
  }

  const bool written = screen.getBitmap()->writePNG(options.output);
  dispatch(effEditClose);
  dispatch(effClose);
  if (!written) {
    std::fprintf(stderr, "quelmar-snapshot: %s could not be written\n", options.output);
    return 1;
  }
  return 0;
}
