#pragma once
// Just enough of the WAV format for feeding audio through the plug-in: PCM of
// 16, 24 or 32 bits and 32-bit float, mono or more channels (the first two are
// taken; mono feeds both inputs).

#include <string>
#include <vector>

struct StereoAudio {
  float sampleRate = 0.0f;
  std::vector<float> left, right;
};

// Fills audio, or answers false with a one-line reason in error.
bool readWav(const std::string& path, StereoAudio& audio, std::string& error);
