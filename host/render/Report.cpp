#include "host/render/Report.h"

#include <algorithm>
#include <climits>
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

std::string settings(const Report& report, bool thresholdPerFile = false) {
  if (!report.quelmarControls) return "its own settings";
  const Controls& c = report.controls;
  const std::string threshold = thresholdPerFile && report.targetLufs
                                    ? "threshold per file for " + fixed(*report.targetLufs) + " LUFS"
                                    : "threshold " + decibelsOfTenths(c.thresholdTenths.value_or(0)) + " dB";
  return threshold + ", ceiling " +
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

std::string decibelsOfTenths(int tenths) { return fixed(tenths * 0.1); }

std::string durationText(std::int64_t frames, int sampleRate) {
  // Tenths counted whole, so 59.96 s reads 1:00.0 rather than 0:60.0.
  const std::int64_t tenths =
      sampleRate > 0 ? static_cast<std::int64_t>(std::llround(static_cast<double>(frames) * 10.0 / sampleRate)) : 0;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                static_cast<long long>(tenths / 10 % 60), static_cast<long long>(tenths % 10));
  return text;
}

std::vector<std::string> deliveryWarnings(const Report& report, bool lossy) {
  std::vector<std::string> warnings;
  if (report.shortInput) {
    warnings.push_back(inputName(report.input) + ": " + describeShortfall(*report.shortInput, report.sampleRate) +
                       "; rendered the part that could be read");
  }
  if (!report.quelmarControls) return warnings;
  const std::string output = outputName(report.output);
  const int ceiling = report.controls.ceilingTenths.value_or(0);
  // Compared as the table shows it, to the tenth.
  const double peak = report.after.truePeakDbtp;
  const int peakTenths = std::isfinite(peak) ? static_cast<int>(std::lround(peak * 10.0)) : INT_MIN;
  if (peakTenths > ceiling) {
    const std::string instead = decibelsOfTenths(std::max(kMinTenths, ceiling - (peakTenths - ceiling)));
    std::string line = output + ": true peak " + decibelsOfTenths(peakTenths) + " dBTP is over the " +
                       decibelsOfTenths(ceiling) + " dB ceiling: ";
    if (!report.controls.isp) {
      line += "ISP is off, so the limiter does not see the peaks between samples";
      if (lossy) line += ", and " + report.outputFormat + " encoding adds more";
      line += "; use --isp, or --ceiling " + instead;
    } else {
      line += "the limiter's inter-sample detection let it through; use --ceiling " + instead;
    }
    warnings.push_back(line);
  }
  // -1 dBTP is the usual headroom for an encoder's own overshoot; a master
  // whose peaks stay below it has that headroom whatever the ceiling.
  if (lossy && ceiling > -10 && peakTenths > -10) {
    warnings.push_back(output + ": " + report.outputFormat + " with a " + decibelsOfTenths(ceiling) +
                       " dB ceiling: lossy encoding adds peaks of its own, often 0.5 dB and more; use --ceiling "
                       "-1.0 or lower, with --isp");
  }
  return warnings;
}

std::string formatTable(const Report& report) {
  std::string text;
  text += inputName(report.input) + " -> " + outputName(report.output) + "\n";
  text += "  " + std::to_string(report.sampleRate) + " Hz " + (report.channels == 1 ? "mono" : "stereo") + ", " +
          durationText(report.inputFrames, report.sampleRate) + ", written as " + report.outputFormat +
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
  if (!report.plot.empty()) text += "  plot: " + report.plot + "\n";
  for (const std::string& warning : report.warnings) text += "  warning: " + warning + "\n";
  if (report.seconds > 0.0) {
    const double audio = report.sampleRate > 0 ? static_cast<double>(report.inputFrames) / report.sampleRate : 0.0;
    // An empty file has no speed to speak of.
    text += "  done in " + fixed(report.seconds) + " s (" +
            (report.inputFrames > 0 ? fixed(audio / report.seconds, 0) + "x real time" : std::string("—")) + ")\n";
  }
  return text;
}

namespace {

std::string albumLine(const BatchReport& batch, int files) {
  const AlbumFigures& album = *batch.album;
  SearchOutcome search = album.search;
  Report asOne;
  asOne.targetLufs = album.targetLufs;
  asOne.search = search;
  std::string line = searchLine(asOne);
  return line + " over " + std::to_string(files) + (files == 1 ? " file" : " files");
}

}  // namespace

std::string formatBatchTable(const BatchReport& batch) {
  const std::size_t count = batch.entries.size();
  std::size_t written = 0;
  std::size_t nameWidth = 5;
  const Report* first = nullptr;
  for (const BatchEntry& entry : batch.entries) {
    nameWidth = std::max(nameWidth, entry.input.size());
    if (entry.report) {
      ++written;
      if (first == nullptr) first = &*entry.report;
    }
  }
  std::string text = std::to_string(count) + (count == 1 ? " file" : " files") + " -> " + batch.outDir + "/ (" +
                     std::to_string(batch.jobs) + " at a time)";
  if (first != nullptr) {
    text += ", " + (first->effectName.empty() ? first->effectPath : first->effectName) + ": " +
            settings(*first, first->search.has_value());
  }
  text += "\n";
  if (batch.album) text += "  whole album: " + albumLine(batch, static_cast<int>(written)) + "\n";
  text += "\n";

  auto cells = [&](const std::string& name, const std::string& length, const std::string& threshold,
                   const std::string& in, const std::string& out, const std::string& range, const std::string& peak,
                   const std::string& reduction, const std::string& format) {
    char line[512];
    std::snprintf(line, sizeof line, "  %-*s %7s %7s %8s %8s %7s %8s %9s  %s", static_cast<int>(nameWidth),
                  name.c_str(), length.c_str(), threshold.c_str(), in.c_str(), out.c_str(), range.c_str(), peak.c_str(),
                  reduction.c_str(), format.c_str());
    std::string row = line;
    while (!row.empty() && row.back() == ' ') row.pop_back();
    return row + "\n";
  };
  text += cells("file", "length", "thresh", "in LUFS", "out LUFS", "out LU", "out dBTP", "reduction", "written as");
  double audioSeconds = 0.0;
  for (const BatchEntry& entry : batch.entries) {
    if (!entry.report) {
      text += "  " + entry.input + std::string(nameWidth - std::min(nameWidth, entry.input.size()), ' ') +
              " failed: " + entry.error + "\n";
      continue;
    }
    const Report& r = *entry.report;
    audioSeconds += r.sampleRate > 0 ? static_cast<double>(r.inputFrames) / r.sampleRate : 0.0;
    std::string format = r.outputFormat;
    if (r.dither == "TPDF") format += ", TPDF dither";
    if (r.clippedSamples > 0) format += ", " + std::to_string(r.clippedSamples) + " samples clipped";
    text += cells(entry.input, durationText(r.inputFrames, r.sampleRate),
                  r.quelmarControls ? decibelsOfTenths(r.controls.thresholdTenths.value_or(0)) : "-",
                  fixed(r.before.integratedLufs), fixed(r.after.integratedLufs), fixed(r.after.rangeLu),
                  fixed(r.after.truePeakDbtp), fixed(r.largestReductionDb) + " dB", format);
  }
  if (batch.album) {
    text += cells("album", "", "", fixed(batch.album->inputLufs), fixed(batch.album->outputLufs), "", "", "", "");
  }
  for (const BatchEntry& entry : batch.entries) {
    if (!entry.report) continue;
    for (const std::string& warning : entry.report->warnings) text += "  warning: " + warning + "\n";
  }
  text += "  total: " + std::to_string(written) + " of " + std::to_string(count) + " files written";
  if (written < count) text += ", " + std::to_string(count - written) + " failed";
  char timing[128];
  const int minutes = static_cast<int>(audioSeconds / 60.0);
  std::snprintf(timing, sizeof timing, ", %d:%04.1f of audio in %s s", minutes, audioSeconds - minutes * 60.0,
                fixed(batch.seconds).c_str());
  text += timing;
  if (batch.seconds > 0.0 && audioSeconds > 0.0) text += " (" + fixed(audioSeconds / batch.seconds, 0) + "x real time)";
  text += "\n";
  return text;
}

std::string formatBatchJson(const BatchReport& batch) {
  std::string text = "{\n  \"out_dir\": " + jsonString(batch.outDir) + ",\n  \"jobs\": " + std::to_string(batch.jobs) +
                     ",\n  \"files\": [\n";
  std::size_t written = 0;
  for (std::size_t i = 0; i < batch.entries.size(); ++i) {
    const BatchEntry& entry = batch.entries[i];
    std::string item;
    if (entry.report) {
      ++written;
      item = formatJson(*entry.report);
      while (!item.empty() && item.back() == '\n') item.pop_back();
    } else {
      item = "{\n  \"input\": " + jsonString(entry.input) + ",\n  \"output\": " + jsonString(entry.output) +
             ",\n  \"error\": " + jsonString(entry.error) + "\n}";
    }
    // Indented one level, as an element of the list.
    std::string indented = "    ";
    for (char c : item) {
      indented += c;
      if (c == '\n') indented += "    ";
    }
    text += indented + (i + 1 < batch.entries.size() ? ",\n" : "\n");
  }
  text += "  ],\n";
  if (batch.album) {
    const AlbumFigures& a = *batch.album;
    const char* reach = a.search.reach == SearchOutcome::Reach::Reached    ? "reached"
                        : a.search.reach == SearchOutcome::Reach::TooQuiet ? "too_quiet"
                                                                           : "too_loud";
    text += "  \"album\": {\"target_lufs\": " + jsonNumber(a.targetLufs) + ", \"result\": \"" + reach +
            "\", \"threshold_db\": " + fixed(a.search.thresholdTenths * 0.1) +
            ", \"passes\": " + std::to_string(a.search.passes) + ", \"input_integrated_lufs\": " +
            jsonNumber(a.inputLufs) + ", \"output_integrated_lufs\": " + jsonNumber(a.outputLufs) + "},\n";
  }
  text += "  \"total\": {\"files\": " + std::to_string(batch.entries.size()) + ", \"written\": " +
          std::to_string(written) + ", \"failed\": " + std::to_string(batch.entries.size() - written) +
          ", \"seconds\": " + jsonNumber(batch.seconds, 3) + "}\n}\n";
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
  if (report.shortInput) {
    const Shortfall& s = *report.shortInput;
    text += "  \"short_input\": {\"read_frames\": " + std::to_string(s.readFrames) + ", \"promised_frames\": " +
            (s.promisedFrames >= 0 ? std::to_string(s.promisedFrames) : std::string("null")) +
            ", \"cause\": " + jsonString(s.cause) + "},\n";
  } else {
    text += "  \"short_input\": null,\n";
  }
  text += "  \"warnings\": [";
  for (std::size_t i = 0; i < report.warnings.size(); ++i) text += (i > 0 ? ", " : "") + jsonString(report.warnings[i]);
  text += "],\n";
  text += "  \"plot\": " + (report.plot.empty() ? std::string("null") : jsonString(report.plot)) + ",\n";
  text += "  \"seconds\": " + jsonNumber(report.seconds, 3) + "\n";
  text += "}\n";
  return text;
}

}  // namespace render
