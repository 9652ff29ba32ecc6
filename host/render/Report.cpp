#include "host/render/Report.h"

#include <cmath>
#include <cstdio>

namespace render {

namespace {

std::string fixed(double value, int decimals = 1) {
  if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
  if (std::isnan(value)) return "nan";
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  // "-0.0" says nothing a reader can use.
  if (std::string(text).find_first_not_of("-0.") == std::string::npos && text[0] == '-') return text + 1;
  return text;
}

std::string decibelsOfTenths(int tenths) { return fixed(tenths * 0.1); }

std::string duration(std::int64_t frames, int rate) {
  const double seconds = rate > 0 ? static_cast<double>(frames) / rate : 0.0;
  const int minutes = static_cast<int>(seconds / 60.0);
  char text[32];
  std::snprintf(text, sizeof text, "%d:%04.1f", minutes, seconds - minutes * 60.0);
  return text;
}

std::string settings(const Report& report) {
  if (!report.quelmarControls) return "its own settings";
  const Controls& c = report.controls;
  return "threshold " + decibelsOfTenths(c.thresholdTenths.value_or(0)) + " dB, ceiling " +
         decibelsOfTenths(c.ceilingTenths.value_or(0)) + " dB, link " + (c.link ? "on" : "off") + ", ISP " +
         (c.isp ? "on" : "off");
}

std::string searchLine(const Report& report) {
  const SearchOutcome& search = *report.search;
  const std::string target = fixed(*report.targetLufs) + " LUFS";
  const std::string passes = std::to_string(search.passes) + (search.passes == 1 ? " pass" : " passes");
  switch (search.reach) {
    case SearchOutcome::Reach::Reached:
      return "target " + target + ": threshold " + decibelsOfTenths(search.thresholdTenths) + " dB, found in " +
             passes;
    case SearchOutcome::Reach::TooQuiet:
      return "target " + target + " is out of reach under this ceiling: even the -30.0 dB threshold gives " +
             fixed(search.lufs) + " LUFS, rendered at that (" + passes + ")";
    case SearchOutcome::Reach::TooLoud:
      return "target " + target + " is below the input's loudness: even the 0.0 dB threshold gives " +
             fixed(search.lufs) + " LUFS, rendered at that (" + passes + ")";
  }
  return {};
}

std::string row(const char* name, double before, double after) {
  char text[128];
  std::snprintf(text, sizeof text, "  %-22s %8s %8s\n", name, fixed(before).c_str(), fixed(after).c_str());
  return text;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// JSON has no infinity: silence has no loudness and reads null.
std::string jsonNumber(double value, int decimals = 2) {
  if (!std::isfinite(value)) return "null";
  return fixed(value, decimals);
}

std::string jsonFigures(const LoudnessFigures& f) {
  return "{\"integrated_lufs\": " + jsonNumber(f.integratedLufs) + ", \"loudness_range_lu\": " +
         jsonNumber(f.rangeLu) + ", \"true_peak_dbtp\": " + jsonNumber(f.truePeakDbtp) +
         ", \"sample_peak_dbfs\": " + jsonNumber(f.samplePeakDbfs) + "}";
}


}  // namespace

std::string formatTable(const Report& report) {
  std::string text;
  text += report.input + " -> " + report.output + "\n";
  text += "  " + std::to_string(report.sampleRate) + " Hz " + (report.channels == 1 ? "mono" : "stereo") + ", " +
          duration(report.inputFrames, report.sampleRate) + ", written as " + report.outputFormat +
          (report.dither == "TPDF" ? " with TPDF dither" : report.dither == "none" ? ", rounded without dither" : "") +
          "\n";
  text += "  " + (report.effectName.empty() ? report.effectPath : report.effectName) + ": " + settings(report) + "\n";
  text += "  latency " + std::to_string(report.latency) + " samples, " +
          (report.keepLatency ? "kept (output " + std::to_string(report.outputFrames - report.inputFrames) +
                                    " frames longer)"
                              : std::string("compensated")) +
          "\n";
  if (report.search) text += "  " + searchLine(report) + "\n";
  text += "\n";
  char header[128];
  std::snprintf(header, sizeof header, "  %-22s %8s %8s\n", "", "input", "output");
  text += header;
  text += row("integrated (LUFS)", report.before.integratedLufs, report.after.integratedLufs);
  text += row("loudness range (LU)", report.before.rangeLu, report.after.rangeLu);
  text += row("true peak (dBTP)", report.before.truePeakDbtp, report.after.truePeakDbtp);
  text += row("sample peak (dBFS)", report.before.samplePeakDbfs, report.after.samplePeakDbfs);
  char reduction[128];
  std::snprintf(reduction, sizeof reduction, "  %-22s %17s\n", "largest gain reduction",
                (fixed(report.largestReductionDb) + " dB").c_str());
  text += reduction;
  if (report.clippedSamples > 0) {
    text += "  note: " + std::to_string(report.clippedSamples) +
            " samples beyond full scale were clipped to fit the integer format (--bits float keeps them)\n";
  }
  if (report.seconds > 0.0) {
    const double audio = report.sampleRate > 0 ? static_cast<double>(report.inputFrames) / report.sampleRate : 0.0;
    text += "  done in " + fixed(report.seconds) + " s (" + fixed(audio / report.seconds, 0) + "x real time)\n";
  }
  return text;
}

std::string formatJson(const Report& report) {
  std::string text = "{\n";
  text += "  \"input\": " + jsonString(report.input) + ",\n";
  text += "  \"output\": " + jsonString(report.output) + ",\n";
  text += "  \"output_format\": " + jsonString(report.outputFormat) + ",\n";
  text += "  \"dither\": " + jsonString(report.dither == "TPDF" ? "tpdf" : "none") + ",\n";
  text += "  \"plugin\": " + jsonString(report.effectPath) + ",\n";
  text += "  \"plugin_name\": " + jsonString(report.effectName) + ",\n";
  text += "  \"sample_rate\": " + std::to_string(report.sampleRate) + ",\n";
  text += "  \"channels\": " + std::to_string(report.channels) + ",\n";
  text += "  \"input_frames\": " + std::to_string(report.inputFrames) + ",\n";
  text += "  \"output_frames\": " + std::to_string(report.outputFrames) + ",\n";
  text += "  \"latency_samples\": " + std::to_string(report.latency) + ",\n";
  text += std::string("  \"latency_compensated\": ") + (report.keepLatency ? "false" : "true") + ",\n";
  if (report.quelmarControls) {
    const Controls& c = report.controls;
    text += "  \"threshold_db\": " + fixed(c.thresholdTenths.value_or(0) * 0.1) + ",\n";
    text += "  \"ceiling_db\": " + fixed(c.ceilingTenths.value_or(0) * 0.1) + ",\n";
    text += std::string("  \"link\": ") + (c.link ? "true" : "false") + ",\n";
    text += std::string("  \"isp\": ") + (c.isp ? "true" : "false") + ",\n";
  }
  if (report.search) {
    const SearchOutcome& s = *report.search;
    const char* reach = s.reach == SearchOutcome::Reach::Reached    ? "reached"
                        : s.reach == SearchOutcome::Reach::TooQuiet ? "too_quiet"
                                                                    : "too_loud";
    text += "  \"target\": {\"lufs\": " + jsonNumber(*report.targetLufs) + ", \"result\": \"" + reach +
            "\", \"threshold_db\": " + fixed(s.thresholdTenths * 0.1) + ", \"passes\": " + std::to_string(s.passes) +
            "},\n";
  }
  text += "  \"before\": " + jsonFigures(report.before) + ",\n";
  text += "  \"after\": " + jsonFigures(report.after) + ",\n";
  text += "  \"largest_gain_reduction_db\": " + jsonNumber(report.largestReductionDb) + ",\n";
  text += "  \"clipped_samples\": " + std::to_string(report.clippedSamples) + ",\n";
  text += "  \"seconds\": " + jsonNumber(report.seconds, 3) + "\n";
  text += "}\n";
  return text;
}

}  // namespace render
