// Draws the five panel and control images of the editor and writes them as
// PNG files. Positions follow the views the editor places on the panel: the
// meter bars, the faders' travel, the read-outs, the switches and the about
// hot spot over the logo.
//
//   quelmar_artwork <output folder>

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kPanelWidth = 340;
constexpr int kPanelHeight = 215;

struct Rgb {
  double r, g, b;
};
Rgb hex(unsigned v) { return {((v >> 16) & 0xFF) / 255.0, ((v >> 8) & 0xFF) / 255.0, (v & 0xFF) / 255.0}; }

// The palette: a dark graphite panel, recessed black wells, pale grey print and
// the amber of the meter bars for emphasis.
const Rgb kPanelTop = hex(0x24272b);
const Rgb kPanelBottom = hex(0x181a1d);
const Rgb kWell = hex(0x0b0c0d);
const Rgb kWellEdgeDark = hex(0x050506);
const Rgb kWellEdgeLight = hex(0x3a3e44);
const Rgb kPrint = hex(0xb9bec5);
const Rgb kPrintDim = hex(0x7d838b);
const Rgb kTick = hex(0x8a9098);
const Rgb kAmber = hex(0xde8602);

void setColor(cairo_t* cr, const Rgb& c, double alpha = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

void fillRect(cairo_t* cr, double x, double y, double w, double h, const Rgb& c, double alpha = 1.0) {
  setColor(cr, c, alpha);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

// A one-pixel line on pixel centres.
void hline(cairo_t* cr, int x0, int x1, int y, const Rgb& c, double alpha = 1.0) {
  fillRect(cr, x0, y, x1 - x0 + 1, 1, c, alpha);
}
void vline(cairo_t* cr, int x, int y0, int y1, const Rgb& c, double alpha = 1.0) {
  fillRect(cr, x, y0, 1, y1 - y0 + 1, c, alpha);
}

enum class Align { left, centre, right };

struct TextStyle {
  double size = 7.0;
  bool bold = true;
  double tracking = 0.6;  // extra pixels between letters
  Rgb color = kPrint;
  double alpha = 1.0;
};

// The text split into its UTF-8 characters, each a string of its own.
std::vector<std::string> characters(const std::string& s) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t n = 1;
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0xF0)
      n = 4;
    else if (c >= 0xE0)
      n = 3;
    else if (c >= 0xC0)
      n = 2;
    out.push_back(s.substr(i, n));
    i += n;
  }
  return out;
}

double textWidth(cairo_t* cr, const std::string& s, const TextStyle& st) {
  cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                         st.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, st.size);
  double w = 0;
  const auto chars = characters(s);
  for (std::size_t i = 0; i < chars.size(); ++i) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, chars[i].c_str(), &e);
    w += e.x_advance + (i + 1 < chars.size() ? st.tracking : 0);
  }
  return w;
}

// Draws text with its baseline at y, letter by letter so that capitals can be
// spaced out.
void text(cairo_t* cr, const std::string& s, double x, double baseline, Align align, const TextStyle& st) {
  const double w = textWidth(cr, s, st);
  if (align == Align::centre) x -= w / 2;
  if (align == Align::right) x -= w;
  setColor(cr, st.color, st.alpha);
  if (st.tracking == 0.0) {
    cairo_move_to(cr, std::round(x), baseline);
    cairo_show_text(cr, s.c_str());
    return;
  }
  for (const std::string& one : characters(s)) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, one.c_str(), &e);
    // Whole pixels for every letter, or hinted capitals space unevenly.
    cairo_move_to(cr, std::round(x), baseline);
    cairo_show_text(cr, one.c_str());
    x += e.x_advance + st.tracking;
  }
}

void setCrispText(cairo_t* cr) {
  cairo_font_options_t* o = cairo_font_options_create();
  cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_ON);
  cairo_set_font_options(cr, o);
  cairo_font_options_destroy(o);
}

void panelBackground(cairo_t* cr) {
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, kPanelHeight);
  cairo_pattern_add_color_stop_rgb(g, 0, kPanelTop.r, kPanelTop.g, kPanelTop.b);
  cairo_pattern_add_color_stop_rgb(g, 1, kPanelBottom.r, kPanelBottom.g, kPanelBottom.b);
  cairo_set_source(cr, g);
  cairo_paint(cr);
  cairo_pattern_destroy(g);
  // A faint brushed texture: alternating rows a shade apart.
  for (int y = 0; y < kPanelHeight; y += 2) fillRect(cr, 0, y, kPanelWidth, 1, hex(0xffffff), 0.012);
  // Bevel of the whole faceplate.
  hline(cr, 0, kPanelWidth - 1, 0, hex(0x454a51));
  vline(cr, 0, 0, kPanelHeight - 1, hex(0x3a3e44));
  hline(cr, 0, kPanelWidth - 1, kPanelHeight - 1, hex(0x0c0d0f));
  vline(cr, kPanelWidth - 1, 0, kPanelHeight - 1, hex(0x0c0d0f));
}

// A recessed well whose inside is exactly the rectangle (x0, y0)..(x1, y1),
// inclusive, with a dark rim around it and a light lower-right lip.
void well(cairo_t* cr, int x0, int y0, int x1, int y1) {
  fillRect(cr, x0, y0, x1 - x0 + 1, y1 - y0 + 1, kWell);
  hline(cr, x0 - 1, x1 + 1, y0 - 1, kWellEdgeDark);
  vline(cr, x0 - 1, y0 - 1, y1 + 1, kWellEdgeDark);
  hline(cr, x0 - 1, x1 + 1, y1 + 1, kWellEdgeLight);
  vline(cr, x1 + 1, y0 - 1, y1 + 1, kWellEdgeLight);
}

// Level meter geometry: the bar of a level L dB (-30..0) ends at the pixel
// column 35 + 22 * (L + 30) / 3, the meter's 7.35 pixels per dB.
int meterColumn(int db) {
  const float tenths = float((db + 30) * 10);
  return 33 + int(tenths * 0.735f + 2.0f);
}

// The reduction bar of R dB ends on the row the meter's piecewise mapping
// gives; the printed marks land 15 pixels apart.
int reductionRow(float db) {
  const float r = db * 10.0f;
  float g;
  if (r < 20.0f)
    g = r * 1.55f + 1.8f;
  else if (r < 60.0f)
    g = (r - 20.0f) * 0.75f + 32.5f;
  else if (r < 180.0f)
    g = (r - 60.0f) * 0.5f + 62.5f;
  else
    g = (r - 180.0f) * 0.25f + 122.5f;
  int c = int(g);
  if (c < 2) c = 1;
  if (c > 152) c = 152;
  return c <= 1 ? 30 : c + 28;
}

const int kScaleDb[] = {-30, -27, -24, -21, -18, -15, -12, -9, -6, -3, 0};
bool labelled(int db) { return db == -30 || db == -24 || db == -18 || db == -12 || db == -6 || db == -3 || db == 0; }

// A horizontal level meter with both channels; bars cover x 35..255 and the
// given rows.
void levelMeter(cairo_t* cr, int top, const char* title, bool ticksBelow) {
  well(cr, 35, top, 255, top + 14);
  // The gap row between the two bars, and a faint grid on the 3 dB steps.
  hline(cr, 35, 255, top + 7, hex(0x16181b));
  for (int db : kScaleDb) vline(cr, meterColumn(db), top, top + 14, hex(0x1c1f23));

  TextStyle channel{7.0, true, 0.0, kPrintDim};
  text(cr, "L", 31, top + 6, Align::right, channel);
  text(cr, "R", 31, top + 14, Align::right, channel);

  // The title sits on the side away from the scale.
  TextStyle titleStyle{7.0, true, 1.0, kPrint};
  text(cr, title, 35, ticksBelow ? top - 5 : top + 25, Align::left, titleStyle);

  for (int db : kScaleDb) {
    const int x = meterColumn(db);
    const int len = labelled(db) ? 3 : 2;
    const Rgb& c = db >= -3 ? kAmber : kTick;
    if (ticksBelow)
      vline(cr, x, top + 16, top + 15 + len, c);
    else
      vline(cr, x, top - 1 - len, top - 2, c);
  }
}

// The numbers shared by a meter and the fader next to it: both span -30..0 dB
// over the same columns.
void scaleNumbers(cairo_t* cr, int baseline) {
  TextStyle numbers{7.0, false, 0.0, kPrintDim};
  for (int db : kScaleDb) {
    if (!labelled(db)) continue;
    std::string s = db == 0 ? "0" : std::to_string(db);
    if (db < 0) s = "\xE2\x80\x93" + s.substr(1);  // en dash reads better than a hyphen
    text(cr, s, meterColumn(db) + 0.5, baseline, Align::centre, numbers);
  }
}

// The groove a fader's handle runs in. The handle (19 x 18) has its left edge
// at 26..246, so its centre line covers 35..255 like the meter.
void faderTrack(cairo_t* cr, int controlTop, bool ticksAbove) {
  const int centre = controlTop + 8;  // rows centre and centre + 1 are the middle of the handle
  well(cr, 33, centre - 1, 257, centre + 2);
  hline(cr, 34, 256, centre, hex(0x000000));
  for (int db : kScaleDb) {
    const int x = meterColumn(db);
    const int len = labelled(db) ? 3 : 2;
    if (ticksAbove)
      vline(cr, x, controlTop - 1 - len, controlTop - 2, kTick);
    else
      vline(cr, x, controlTop + 19, controlTop + 18 + len, kTick);
  }
}

void readoutWell(cairo_t* cr, int left, int top, int right, int bottom, const char* caption) {
  well(cr, left - 1, top - 1, right, bottom);
  TextStyle unit{7.0, true, 0.0, kPrintDim};
  text(cr, "dB", right + 4, top + 9, Align::left, unit);
  TextStyle cap{7.0, true, 1.0, kPrint};
  text(cr, caption, (left + right) / 2.0, bottom + 10, Align::centre, cap);
}

void switchBezel(cairo_t* cr, int left, int top, int right, int bottom, const char* caption) {
  well(cr, left, top, right - 1, bottom - 1);
  TextStyle cap{7.0, true, 1.0, kPrint};
  text(cr, caption, (left + right) / 2.0, bottom + 8, Align::centre, cap);
}

void reductionMeter(cairo_t* cr) {
  // The bar covers x 301..310 and grows down from y 30 to at most y 180.
  well(cr, 301, 30, 310, 180);
  TextStyle numbers{7.0, false, 0.0, kPrintDim};
  const float marks[] = {0, 1, 2, 4, 6, 9, 12, 15, 18, 24, 30};
  for (float db : marks) {
    const int y = reductionRow(db);
    hline(cr, 301, 310, y, hex(0x1c1f23));
    hline(cr, 312, 313, y, kTick);
    // Right-aligned well clear of the tick, so no mark reads as a minus sign.
    text(cr, std::to_string(int(db)), 334, y + 3, Align::right, numbers);
  }
  TextStyle title{7.0, true, 1.0, kPrint};
  text(cr, "GR", 306, 24, Align::centre, title);
  TextStyle unit{7.0, true, 0.0, kPrintDim};
  text(cr, "dB", 306, 193, Align::centre, unit);
}

void logo(cairo_t* cr) {
  // The about hot spot covers 130,185 to 210,205.
  TextStyle mark{11.0, true, 3.0, hex(0xe6e8eb)};
  text(cr, "QUELMAR", 170, 198, Align::centre, mark);
  hline(cr, 141, 199, 201, kAmber);
}

cairo_surface_t* drawPanel() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPanelWidth, kPanelHeight);
  cairo_t* cr = cairo_create(s);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  setCrispText(cr);
  panelBackground(cr);

  // Input meter: bars on rows 29..35 and 37..43.
  levelMeter(cr, 29, "INPUT LEVEL", true);
  scaleNumbers(cr, 56);
  faderTrack(cr, 71, true);

  readoutWell(cr, 70, 100, 98, 112, "THRESHOLD");
  switchBezel(cr, 122, 98, 154, 114, "LINK");
  switchBezel(cr, 159, 98, 186, 114, "ISP");
  readoutWell(cr, 220, 100, 248, 112, "OUTPUT");

  faderTrack(cr, 128, false);
  scaleNumbers(cr, 159);
  // Output meter: bars on rows 167..173 and 175..181.
  levelMeter(cr, 167, "OUTPUT LEVEL", false);

  reductionMeter(cr);
  logo(cr);

  cairo_destroy(cr);
  return s;
}

cairo_surface_t* drawAbout() {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kPanelWidth, kPanelHeight);
  cairo_t* cr = cairo_create(s);
  setCrispText(cr);
  panelBackground(cr);
  well(cr, 20, 20, 319, 194);
  cairo_pattern_t* g = cairo_pattern_create_radial(170, 70, 10, 170, 70, 200);
  cairo_pattern_add_color_stop_rgba(g, 0, kAmber.r, kAmber.g, kAmber.b, 0.10);
  cairo_pattern_add_color_stop_rgba(g, 1, kAmber.r, kAmber.g, kAmber.b, 0.0);
  cairo_set_source(cr, g);
  cairo_rectangle(cr, 20, 20, 300, 175);
  cairo_fill(cr);
  cairo_pattern_destroy(g);

  TextStyle name{26.0, true, 5.0, hex(0xeef0f2)};
  text(cr, "QUELMAR", 170, 72, Align::centre, name);
  hline(cr, 110, 229, 82, kAmber);
  TextStyle kind{8.0, true, 2.2, kAmber};
  text(cr, "LOUDNESS MAXIMIZER", 170, 97, Align::centre, kind);

  TextStyle body{8.0, false, 0.0, kPrint};
  text(cr, "Stereo look-ahead brickwall limiter", 170, 122, Align::centre, body);
  text(cr, "with inter-sample peak detection", 170, 134, Align::centre, body);

  TextStyle version{8.0, true, 0.0, hex(0xe6e8eb)};
  text(cr, "Version 1.4.4", 170, 158, Align::centre, version);
  TextStyle vendor{8.0, false, 0.0, kPrint};
  text(cr, "Orvel Stamik", 170, 171, Align::centre, vendor);

  TextStyle hint{6.0, true, 1.0, kPrintDim};
  text(cr, "CLICK TO CLOSE", 170, 208, Align::centre, hint);
  cairo_destroy(cr);
  return s;
}

cairo_surface_t* newRgba(int w, int h) {
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  return s;
}

void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

// The fader cap: 19 x 18, a machined grey cap with grip lines and an amber
// index line on its centre column (x 9), which reads the scale.
cairo_surface_t* drawHandle() {
  cairo_surface_t* s = newRgba(19, 18);
  cairo_t* cr = cairo_create(s);
  // Soft drop shadow.
  roundedRect(cr, 1.5, 1.5, 17, 16.5, 2.5);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_fill(cr);
  roundedRect(cr, 0.5, 0.5, 17.5, 16.5, 2.5);
  cairo_pattern_t* g = cairo_pattern_create_linear(0, 0, 0, 18);
  cairo_pattern_add_color_stop_rgb(g, 0.0, 0.78, 0.80, 0.83);
  cairo_pattern_add_color_stop_rgb(g, 0.45, 0.55, 0.57, 0.60);
  cairo_pattern_add_color_stop_rgb(g, 1.0, 0.33, 0.35, 0.38);
  cairo_set_source(cr, g);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(g);
  cairo_set_source_rgba(cr, 0.08, 0.09, 0.10, 1);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  for (int x : {4, 6, 12, 14}) {
    fillRect(cr, x, 4, 1, 10, hex(0x2a2d31), 0.55);
    fillRect(cr, x + 1, 4, 1, 10, hex(0xffffff), 0.25);
  }
  fillRect(cr, 9, 2, 1, 14, kAmber);
  cairo_destroy(cr);
  return s;
}

// A switch image: two states of w x 14 stacked, off above and on below. Each
// is a small key with an indicator; the lit one glows amber.
cairo_surface_t* drawSwitch(int w) {
  cairo_surface_t* s = newRgba(w, 28);
  cairo_t* cr = cairo_create(s);
  for (int state = 0; state < 2; ++state) {
    const double top = state * 14;
    roundedRect(cr, 0.5, top + 0.5, w - 1, 13, 2);
    cairo_pattern_t* g = cairo_pattern_create_linear(0, top, 0, top + 14);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.27, 0.29, 0.32);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.15, 0.16, 0.18);
    cairo_set_source(cr, g);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(g);
    cairo_set_source_rgb(cr, 0.04, 0.04, 0.05);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    // Indicator bar across the middle of the key.
    const double lx = 5, lw = w - 10, ly = top + 5.5, lh = 3;
    roundedRect(cr, lx, ly, lw, lh, 1.2);
    if (state == 1) {
      cairo_set_source_rgb(cr, 1.0, 0.66, 0.16);
      cairo_fill(cr);
      cairo_pattern_t* glow = cairo_pattern_create_radial(w / 2.0, top + 7, 1, w / 2.0, top + 7, w / 2.0);
      cairo_pattern_add_color_stop_rgba(glow, 0, kAmber.r, kAmber.g, kAmber.b, 0.35);
      cairo_pattern_add_color_stop_rgba(glow, 1, kAmber.r, kAmber.g, kAmber.b, 0.0);
      cairo_set_source(cr, glow);
      roundedRect(cr, 1, top + 1, w - 2, 12, 2);
      cairo_fill(cr);
      cairo_pattern_destroy(glow);
    } else {
      cairo_set_source_rgb(cr, 0.22, 0.15, 0.07);
      cairo_fill(cr);
    }
  }
  cairo_destroy(cr);
  return s;
}

bool save(cairo_surface_t* s, const std::string& folder, const char* name) {
  const std::string path = folder + "/" + name;
  const bool ok = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(s);
  if (!ok) std::fprintf(stderr, "quelmar_artwork: cannot write %s\n", path.c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  bool ok = save(drawPanel(), folder, "bmp00128.png");
  ok = save(drawAbout(), folder, "bmp00129.png") && ok;
  ok = save(drawHandle(), folder, "bmp00130.png") && ok;
  ok = save(drawSwitch(30), folder, "bmp00131.png") && ok;
  ok = save(drawSwitch(25), folder, "bmp00132.png") && ok;
  return ok ? 0 : 1;
}
