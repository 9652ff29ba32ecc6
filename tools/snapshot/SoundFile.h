#pragma once
// The audio a snapshot runs through the instance: any file libsndfile reads,
// as two channels (mono feeds both inputs; beyond two, the first two count).

#include <string>
#include <vector>

struct StereoAudio {
  float sampleRate = 0.0f;
  std::vector<float> left, right;
};

// Fills audio, or answers false with a one-line reason in error.
bool readSound(const std::string& path, StereoAudio& audio, std::string& error);
