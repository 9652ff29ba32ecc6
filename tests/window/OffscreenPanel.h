#pragma once
// The same editor state drawn offscreen, in this process, for comparison with
// what the real window shows.

#include <cstdint>
#include <vector>

namespace windowtest {

struct PanelState {
  float threshold = 1.0f;  // normalised, 1.0 is 0 dB
  float output = 1.0f;
  float link = 0.0f;
  float isp = 0.0f;
};

// 0xRRGGBB pixels, row by row, of the editor after one idle without audio.
std::vector<std::uint32_t> offscreenPanel(const PanelState& state);

// Writes pixels of the given size as a PNG.
bool writePng(const std::vector<std::uint32_t>& pixels, int width, int height, const char* path);

}  // namespace windowtest
