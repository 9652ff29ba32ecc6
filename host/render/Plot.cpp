#include "host/render/Plot.h"

#include "host/render/Errors.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <unistd.h>

namespace render {

namespace {

// The frame of the picture, in pixels.
constexpr double kLeft = 84.0;
constexpr double kRight = kPlotWidth - 84.0;
constexpr double kLevelsTop = 78.0;
constexpr double kLevelsBottom = 392.0;
constexpr double kReductionTop = 414.0;
constexpr double kReductionBottom = 534.0;

constexpr std::uint32_t kBackground = 0xffffff;
constexpr std::uint32_t kGrid = 0xe2e5ea;
constexpr std::uint32_t kInk = 0x2b2f36;

void colour(cairo_t* cr, std::uint32_t rgb) {
  cairo_set_source_rgb(cr, ((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0);
}

std::string number(double value, int decimals) {
  if (!std::isfinite(value)) return "-inf";
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return std::string(text) == "-0" || std::string(text) == "-0.0" ? std::string(text + 1) : text;
}

// "0:45", "3:30", "1:02:00".
std::string clock(int seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%d:%02d:%02d", seconds / 3600, seconds / 60 % 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%d:%02d", seconds / 60, seconds % 60);
  }
  return text;
}

enum class Align { Left, Centre, Right };

void text(cairo_t* cr, const std::string& words, double x, double y, Align align = Align::Left) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, words.c_str(), &extents);
  const double shift = align == Align::Left ? 0.0 : align == Align::Centre ? extents.x_advance / 2 : extents.x_advance;
  cairo_move_to(cr, x - shift, y);
  cairo_show_text(cr, words.c_str());
}

void verticalText(cairo_t* cr, const std::string& words, double x, double yCentre) {
  cairo_save(cr);
  cairo_translate(cr, x, yCentre);
  cairo_rotate(cr, -M_PI / 2);
  text(cr, words, 0.0, 0.0, Align::Centre);
  cairo_restore(cr);
}

// The steps of a curve gathered into at most one point per pixel column,
// each the largest finite value among its steps (NaN where none is).
struct Point {
  double seconds;
  double value;
};

std::vector<Point> columns(const std::vector<float>& curve, double stepSeconds) {
  const std::size_t width = static_cast<std::size_t>(kRight - kLeft);
  const std::size_t points = std::min(curve.size(), width);
  std::vector<Point> out;
  out.reserve(points);
  for (std::size_t p = 0; p < points; ++p) {
    const std::size_t from = p * curve.size() / points;
    const std::size_t to = (p + 1) * curve.size() / points;
    double largest = NAN;
    for (std::size_t i = from; i < to; ++i) {
      if (std::isfinite(curve[i]) && (std::isnan(largest) || curve[i] > largest)) largest = curve[i];
    }
    out.push_back(Point{0.5 * static_cast<double>(from + to) * stepSeconds, largest});
  }
  return out;
}

// A scale from values to pixel rows.
struct Scale {
  double low, high;      // values at the bottom and top
  double bottom, top;    // their rows
  double row(double value) const {
    const double clamped = std::clamp(value, low, high);
    return bottom - (clamped - low) / (high - low) * (bottom - top);
  }
};

// A curve as lines between its points, broken where it has no value.
void drawCurve(cairo_t* cr, const std::vector<Point>& points, const std::function<double(double)>& x,
               const Scale& scale, std::uint32_t rgb, double width) {
  colour(cr, rgb);
  cairo_set_line_width(cr, width);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  bool drawing = false;
  for (const Point& point : points) {
    if (std::isnan(point.value)) {
      drawing = false;
      continue;
    }
    const double px = x(point.seconds);
    const double py = scale.row(point.value);
    if (drawing) {
      cairo_line_to(cr, px, py);
    } else {
      cairo_move_to(cr, px, py);
      // A lone point still shows.
      cairo_line_to(cr, px + 0.5, py);
      drawing = true;
    }
  }
  cairo_stroke(cr);
}

// The largest value within half a second either side: peaks come and go
// with every beat, and what matters is where they meet the ceiling.
std::vector<float> heldPeaks(const std::vector<float>& curve, double stepSeconds) {
  const std::size_t reach = static_cast<std::size_t>(std::lround(0.5 / std::max(stepSeconds, 1e-3)));
  std::vector<float> held(curve.size(), -INFINITY);
  for (std::size_t i = 0; i < curve.size(); ++i) {
    const std::size_t to = std::min(curve.size(), i + reach + 1);
    for (std::size_t j = i > reach ? i - reach : 0; j < to; ++j) held[i] = std::max(held[i], curve[j]);
  }
  return held;
}

double largestFinite(const std::vector<float>& curve, double otherwise) {
  double largest = otherwise;
  for (float value : curve) {
    if (std::isfinite(value)) largest = std::max(largest, static_cast<double>(value));
  }
  return largest;
}

// The smallest of 1, 2, 5, 10, ... (or of the given list) that makes at most `count` divisions of `range`.
double niceStep(double range, double count, const std::vector<double>& steps) {
  for (double step : steps) {
    if (range / step <= count) return step;
  }
  return steps.back() * std::ceil(range / count / steps.back());
}

struct Writer {
  int descriptor;
  int error = 0;
};

cairo_status_t writePng(void* closure, const unsigned char* data, unsigned int length) {
  Writer& writer = *static_cast<Writer*>(closure);
  while (length > 0) {
    const ssize_t wrote = ::write(writer.descriptor, data, length);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      writer.error = wrote < 0 ? errno : EIO;
      return CAIRO_STATUS_WRITE_ERROR;
    }
    data += wrote;
    length -= static_cast<unsigned int>(wrote);
  }
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

void drawPlot(PendingFile& file, const RenderCurves& curves, const Report& report) {
  const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPlotWidth, kPlotHeight), cairo_surface_destroy);
  const std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()), cairo_destroy);
  cairo_t* cr = context.get();
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    throw RenderError(file.path() + ": cannot draw the plot: " + cairo_status_to_string(cairo_status(cr)));
  }
  colour(cr, kBackground);
  cairo_paint(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

  const double stepSeconds =
      curves.sampleRate > 0 ? static_cast<double>(curves.stepFrames) / curves.sampleRate : 0.1;
  const double seconds = std::max(
      1.0, report.sampleRate > 0 ? static_cast<double>(report.inputFrames) / report.sampleRate : 0.0);
  auto x = [&](double at) { return kLeft + std::clamp(at / seconds, 0.0, 1.0) * (kRight - kLeft); };

  // Levels: loudness (LUFS) and true peak (dBTP) share one decibel scale, so
  // the loudness sits where it is heard against the peaks and the ceiling.
  const bool ceilingKnown = report.quelmarControls;
  const double ceiling = report.controls.ceilingTenths.value_or(0) * 0.1;
  double high = std::max({0.0, largestFinite(curves.outputTruePeakDbtp, 0.0),
                          largestFinite(curves.inputShortTermLufs, 0.0)});
  high = std::ceil(high / 3.0) * 3.0 + 3.0;
  double quietest = 0.0;
  for (double lufs : {report.before.integratedLufs, report.after.integratedLufs}) {
    if (std::isfinite(lufs)) quietest = std::min(quietest, lufs);
  }
  const double low = std::clamp(std::floor((quietest - 18.0) / 6.0) * 6.0, -96.0, -24.0);
  const Scale levels{low, high, kLevelsBottom, kLevelsTop};
  // An output silenced under a sounding input is reduced without end: drawn
  // as deep as the scale goes.
  std::vector<float> reductionCurve = curves.reductionDb;
  for (float& value : reductionCurve) value = std::min(value, 96.0f);
  const double largestReduction = largestFinite(reductionCurve, 0.0);
  const double reductionStep = niceStep(std::max(largestReduction, 1.0), 4.0, {1, 2, 3, 6, 12, 24});
  const double reductionRange = std::max(reductionStep, std::ceil(largestReduction / reductionStep) * reductionStep);
  // Reduction grows downwards from the top line, as on a console meter.
  const Scale reduction{-reductionRange, 0.0, kReductionBottom, kReductionTop};

  // Grid and scales.
  cairo_set_font_size(cr, 13.0);
  cairo_set_line_width(cr, 1.0);
  const double levelStep = niceStep(high - low, 10.0, {3, 6, 12, 24});
  // A grid line across the plot at this row, its value on the left (and right).
  auto gridLine = [&](double row, double value, bool bothSides) {
    row = std::round(row) + 0.5;
    colour(cr, kGrid);
    cairo_move_to(cr, kLeft, row);
    cairo_line_to(cr, kRight, row);
    cairo_stroke(cr);
    colour(cr, kInk);
    text(cr, number(value, 0), kLeft - 8, row + 4, Align::Right);
    if (bothSides) text(cr, number(value, 0), kRight + 8, row + 4, Align::Left);
  };
  for (double value = std::ceil(low / levelStep) * levelStep; value <= high + 1e-9; value += levelStep) {
    gridLine(levels.row(value), value, true);
  }
  for (double value = 0.0; value <= reductionRange + 1e-9; value += reductionStep) {
    gridLine(reduction.row(-value), value, false);
  }
  const double timeStep =
      niceStep(seconds, 12.0, {1, 2, 5, 10, 15, 20, 30, 60, 120, 300, 600, 900, 1200, 1800, 3600});
  for (double at = 0.0; at <= seconds + 1e-9; at += timeStep) {
    const double column = std::round(x(at)) + 0.5;
    colour(cr, kGrid);
    for (const auto& [top, bottom] :
         {std::pair{kLevelsTop, kLevelsBottom}, std::pair{kReductionTop, kReductionBottom}}) {
      cairo_move_to(cr, column, top);
      cairo_line_to(cr, column, bottom);
    }
    cairo_stroke(cr);
    colour(cr, kInk);
    text(cr, clock(static_cast<int>(std::lround(at))), column, kReductionBottom + 18, Align::Centre);
  }
  colour(cr, kInk);
  text(cr, "time (minutes:seconds)", (kLeft + kRight) / 2, kReductionBottom + 42, Align::Centre);
  verticalText(cr, "short-term loudness (LUFS)", 30, (kLevelsTop + kLevelsBottom) / 2);
  verticalText(cr, "true peak (dBTP)", kPlotWidth - 22, (kLevelsTop + kLevelsBottom) / 2);
  verticalText(cr, "reduction (dB)", 30, (kReductionTop + kReductionBottom) / 2);

  // Gain reduction, filled down from its zero line.
  const std::vector<Point> cut = columns(reductionCurve, stepSeconds);
  colour(cr, kReductionColour);
  cairo_move_to(cr, kLeft, kReductionTop);
  for (const Point& point : cut) {
    cairo_line_to(cr, x(point.seconds), reduction.row(std::isnan(point.value) ? 0.0 : -point.value));
  }
  if (!cut.empty()) cairo_line_to(cr, x(cut.back().seconds), kReductionTop);
  cairo_close_path(cr);
  cairo_fill(cr);

  drawCurve(cr, columns(heldPeaks(curves.outputTruePeakDbtp, stepSeconds), stepSeconds), x, levels,
            kTruePeakColour, 1.5);
  // Over the peaks, which a limiter holds right at it.
  if (ceilingKnown) {
    colour(cr, kCeilingColour);
    cairo_set_line_width(cr, 1.5);
    const double dashes[] = {8.0, 5.0};
    cairo_set_dash(cr, dashes, 2, 0.0);
    cairo_move_to(cr, kLeft, levels.row(ceiling));
    cairo_line_to(cr, kRight, levels.row(ceiling));
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
  }
  drawCurve(cr, columns(curves.inputShortTermLufs, stepSeconds), x, levels, kInputLoudnessColour, 2.0);
  drawCurve(cr, columns(curves.outputShortTermLufs, stepSeconds), x, levels, kOutputLoudnessColour, 2.5);

  colour(cr, kInk);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, kLeft + 0.5, kLevelsTop + 0.5, kRight - kLeft - 1, kLevelsBottom - kLevelsTop - 1);
  cairo_rectangle(cr, kLeft + 0.5, kReductionTop + 0.5, kRight - kLeft - 1, kReductionBottom - kReductionTop - 1);
  cairo_stroke(cr);

  // The title and a legend carrying the whole-song figures.
  cairo_set_font_size(cr, 16.0);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  std::string title = inputName(report.input) + "  ->  " + outputName(report.output);
  if (report.quelmarControls) {
    title += "    threshold " + decibelsOfTenths(report.controls.thresholdTenths.value_or(0)) + " dB, ceiling " +
             decibelsOfTenths(report.controls.ceilingTenths.value_or(0)) + " dB, ISP " +
             (report.controls.isp ? "on" : "off");
  }
  text(cr, title, kLeft, 30);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 13.0);
  struct Entry {
    std::uint32_t rgb;
    std::string words;
    bool dashed = false;
  };
  std::vector<Entry> legend = {
      {kInputLoudnessColour, "input: integrated " + number(report.before.integratedLufs, 1) + " LUFS, range " +
                                 number(report.before.rangeLu, 1) + " LU"},
      {kOutputLoudnessColour, "output: integrated " + number(report.after.integratedLufs, 1) + " LUFS, range " +
                                  number(report.after.rangeLu, 1) + " LU"},
      {kTruePeakColour, "output true peak (held 0.5 s): max " + number(report.after.truePeakDbtp, 1) + " dBTP"},
  };
  if (ceilingKnown) legend.push_back({kCeilingColour, "ceiling " + number(ceiling, 1) + " dB", true});
  legend.push_back({kReductionColour, "gain reduction: largest " + number(report.largestReductionDb, 1) + " dB"});
  double at = kLeft;
  for (const Entry& entry : legend) {
    colour(cr, entry.rgb);
    cairo_set_line_width(cr, 3.0);
    if (entry.dashed) {
      const double dashes[] = {6.0, 3.0};
      cairo_set_dash(cr, dashes, 2, 0.0);
    }
    cairo_move_to(cr, at, 56);
    cairo_line_to(cr, at + 24, 56);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
    colour(cr, kInk);
    text(cr, entry.words, at + 30, 60);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, entry.words.c_str(), &extents);
    at += 30 + extents.x_advance + 28;
  }

  cairo_surface_flush(surface.get());
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    throw RenderError(file.path() + ": cannot draw the plot: " + cairo_status_to_string(cairo_status(cr)));
  }
  Writer writer{file.descriptor()};
  const cairo_status_t wrote = cairo_surface_write_to_png_stream(surface.get(), writePng, &writer);
  if (wrote != CAIRO_STATUS_SUCCESS) {
    throw RenderError(file.path() + ": cannot write: " +
                      (writer.error != 0 ? std::strerror(writer.error) : cairo_status_to_string(wrote)));
  }
}

}  // namespace render
