#pragma once
// A picture of a render over the song's time, for the engineer who would
// rather see what the limiter did than read four numbers: the short-term
// loudness going in and coming out, the output's true peak against the
// ceiling, and the gain reduction. Drawn from the final pass's own meters.

#include "host/render/Report.h"
#include "host/render/SoundFiles.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace render {

// One value per step of curveStepFrames(), as the meters kept them.
struct RenderCurves {
  int sampleRate = 0;
  std::size_t stepFrames = 0;
  std::vector<float> inputShortTermLufs;   // -inf for silence
  std::vector<float> outputShortTermLufs;
  std::vector<float> outputTruePeakDbtp;
  std::vector<float> reductionDb;  // 0 where nothing was reduced
};

constexpr int kPlotWidth = 1600;
constexpr int kPlotHeight = 600;

// The curves' colours as 0xRRGGBB, which the tests look for in the picture.
constexpr std::uint32_t kInputLoudnessColour = 0x8c9bb0;
constexpr std::uint32_t kOutputLoudnessColour = 0x1f5fbf;
constexpr std::uint32_t kTruePeakColour = 0xd62728;
constexpr std::uint32_t kCeilingColour = 0x6b0f0f;
constexpr std::uint32_t kReductionColour = 0xe8901c;

// Draws the picture as a kPlotWidth x kPlotHeight PNG into the file, which
// the caller then puts in place. Throws RenderError.
void drawPlot(PendingFile& file, const RenderCurves& curves, const Report& report);

}  // namespace render
