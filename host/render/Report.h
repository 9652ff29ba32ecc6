#pragma once
// What a render did and how loud it came out: a table for people, JSON for
// scripts.

#include "host/render/Loudness.h"
#include "host/render/Options.h"
#include "host/render/SoundFiles.h"
#include "host/render/TargetSearch.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace render {

struct Report {
  std::string input;
  std::string output;
  std::string outputFormat;
  std::string dither;  // "TPDF", "none", or empty where nothing is rounded (float, lossy)
  std::string effectPath;
  std::string effectName;
  bool quelmarControls = false;
  int sampleRate = 0;
  int channels = 0;
  std::int64_t inputFrames = 0;
  std::int64_t outputFrames = 0;
  int latency = 0;
  bool keepLatency = false;
  Controls controls;  // as applied
  LoudnessFigures before;
  LoudnessFigures after;
  double largestReductionDb = 0.0;
  std::int64_t clippedSamples = 0;
  std::optional<double> targetLufs;
  std::optional<SearchOutcome> search;
  std::optional<Shortfall> shortInput;  // rendered as far as it could be read (--allow-short)
  // What may spoil the delivered master: one line each, naming the output.
  std::vector<std::string> warnings;
  std::string plot;  // the picture drawn, if any
  double seconds = 0.0;  // wall time of the whole job
};

// The warnings a finished render deserves: an input broken off, a true peak
// over the ceiling, a lossy format without headroom for its encoder.
std::vector<std::string> deliveryWarnings(const Report& report, bool lossy);

std::string formatTable(const Report& report);
std::string formatJson(const Report& report);

// A batch: a row per file, failed ones with their error, and a total.
struct BatchEntry {
  std::string input;
  std::string output;
  std::optional<Report> report;  // empty when the file failed
  std::string error;
};

struct AlbumFigures {
  double targetLufs = 0.0;
  SearchOutcome search;
  double inputLufs = kSilence;   // all inputs as one programme
  double outputLufs = kSilence;  // all outputs as one programme
};

struct BatchReport {
  std::string outDir;
  int jobs = 1;
  std::vector<BatchEntry> entries;
  std::optional<AlbumFigures> album;
  double seconds = 0.0;
};

// A setting in tenths of a decibel as the reports write it: "-8.0".
std::string decibelsOfTenths(int tenths);
// A length as the reports write it: "3:07.5".
std::string durationText(std::int64_t frames, int sampleRate);

std::string formatBatchTable(const BatchReport& batch);
std::string formatBatchJson(const BatchReport& batch);

}  // namespace render
