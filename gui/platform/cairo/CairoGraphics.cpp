// Graphics, images and fonts on Cairo image surfaces, with fonts found by
// fontconfig and rendered through FreeType.

#include <cairo-ft.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "../Platform.h"
#include "../PlatformStream.h"

namespace VSTGUI::platform {

namespace {

// Cairo flags a context with an invalid string as failed for good, so text is
// checked before it gets there.
bool isValidUtf8(const char* s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    unsigned char c = *p++;
    int follow = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) continue;
    if ((c & 0xE0) == 0xC0) {
      follow = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      follow = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      follow = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    for (int i = 0; i < follow; ++i) {
      if ((*p & 0xC0) != 0x80) return false;
      cp = cp << 6 | (*p++ & 0x3F);
    }
    static constexpr std::uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < smallest[follow] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
  }
  return true;
}

void setSourceARGB(cairo_t* cr, std::uint32_t argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0);
}

// ---------------------------------------------------------------- images

class CairoImage final : public Image {
 public:
  explicit CairoImage(cairo_surface_t* s) : surface(s) {}
  ~CairoImage() override { cairo_surface_destroy(surface); }

  std::int32_t width() const override { return cairo_image_surface_get_width(surface); }
  std::int32_t height() const override { return cairo_image_surface_get_height(surface); }

  bool readPixel(std::int32_t x, std::int32_t y, std::uint32_t& argb) const override {
    if (x < 0 || y < 0 || x >= width() || y >= height()) return false;
    cairo_surface_flush(surface);
    const unsigned char* row = cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    std::uint32_t premultiplied;
    std::memcpy(&premultiplied, row + 4 * x, 4);
    if (cairo_image_surface_get_format(surface) == CAIRO_FORMAT_RGB24) {
      argb = premultiplied | 0xFF000000u;
      return true;
    }
    const std::uint32_t a = premultiplied >> 24;
    if (a == 0) {
      argb = 0;
      return true;
    }
    auto straight = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
    argb = a << 24 | straight((premultiplied >> 16) & 0xFF) << 16 | straight((premultiplied >> 8) & 0xFF) << 8 |
           straight(premultiplied & 0xFF);
    return true;
  }

  bool writePNG(const char* path) const override {
    cairo_surface_flush(surface);
    return cairo_surface_write_to_png(surface, path) == CAIRO_STATUS_SUCCESS;
  }

  cairo_surface_t* const surface;
};

// ---------------------------------------------------------------- fonts

class CairoFont final : public Font {
 public:
  CairoFont(cairo_font_face_t* f, float size_, bool underline_, std::string family_)
      : face(f), size(size_), underline(underline_), family(std::move(family_)) {
    cairo_matrix_t fontMatrix, identity;
    cairo_matrix_init_scale(&fontMatrix, size, size);
    cairo_matrix_init_identity(&identity);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &fontMatrix, &identity, options);
    cairo_font_extents_t extents{};
    cairo_scaled_font_extents(scaled, &extents);
    lineSpacing = float(extents.height);
    ascender = float(extents.ascent);
    cairo_scaled_font_destroy(scaled);
    cairo_font_options_destroy(options);
  }
  ~CairoFont() override { cairo_font_face_destroy(face); }

  float lineHeight() const override { return lineSpacing; }
  float ascent() const override { return ascender; }
  const char* resolvedFamily() const override { return family.c_str(); }

  cairo_font_face_t* const face;
  const float size;
  const bool underline;

 private:
  std::string family;
  float lineSpacing = 0;
  float ascender = 0;
};

// ---------------------------------------------------------------- graphics

class CairoGraphics final : public Graphics {
 public:
  explicit CairoGraphics(cairo_surface_t* target) : cr(cairo_create(target)) {
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    fontOptions = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(fontOptions, CAIRO_HINT_METRICS_OFF);
    setTextHint(TextHint::systemDefault);
  }
  ~CairoGraphics() override {
    cairo_font_options_destroy(fontOptions);
    cairo_destroy(cr);
  }

  void setPenColor(std::uint32_t argb) override { penColor = argb; }
  void setPenWidth(float width) override { penWidth = width; }
  void setPenDashStyle(DashStyle style) override { dash = style; }
  void setFillColor(std::uint32_t argb) override { fillColor = argb; }
  void setTextColor(std::uint32_t argb) override { textColor = argb; }
  void setSmoothing(bool on) override {
    cairo_set_antialias(cr, on ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  }
  void setTextHint(TextHint hint) override {
    if (hint == TextHint::antialiasGridFit) {
      cairo_font_options_set_antialias(fontOptions, CAIRO_ANTIALIAS_GRAY);
      cairo_font_options_set_hint_style(fontOptions, CAIRO_HINT_STYLE_SLIGHT);
    } else {
      cairo_font_options_set_antialias(fontOptions, CAIRO_ANTIALIAS_DEFAULT);
      cairo_font_options_set_hint_style(fontOptions, CAIRO_HINT_STYLE_DEFAULT);
    }
  }

  void setClip(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override {
    cairo_reset_clip(cr);
    cairo_rectangle(cr, x, y, std::max(w, 0), std::max(h, 0));
    cairo_clip(cr);
  }

  void fillRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override {
    if (w <= 0 || h <= 0) return;
    setSourceARGB(cr, fillColor);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
  }

  void strokeRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override {
    if (w < 0 || h < 0) return;
    preparePen();
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    const double inset = penInset();
    cairo_rectangle(cr, x + inset, y + inset, w, h);
    cairo_stroke(cr);
  }

  void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
    preparePen();
    // Square caps reach half a pen past each end, so both end pixels are set.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    const double inset = penInset();
    cairo_move_to(cr, x1 + inset, y1 + inset);
    cairo_line_to(cr, x2 + inset, y2 + inset);
    cairo_stroke(cr);
  }

  float measureString(const char* utf8, const Font& font) override {
    if (!utf8 || !isValidUtf8(utf8)) return 0.0f;
    selectFont(font);
    cairo_text_extents_t extents{};
    cairo_text_extents(cr, utf8, &extents);
    return float(extents.x_advance);
  }

  void drawString(const char* utf8, const Font& font, float x, float top) override {
    if (!utf8 || !*utf8 || !isValidUtf8(utf8)) return;
    const auto& f = static_cast<const CairoFont&>(font);
    selectFont(font);
    const double baseline = double(top) + f.ascent();
    setSourceARGB(cr, textColor);
    cairo_move_to(cr, x, baseline);
    cairo_show_text(cr, utf8);
    cairo_new_path(cr);
    if (f.underline) {
      cairo_text_extents_t extents{};
      cairo_text_extents(cr, utf8, &extents);
      const double thickness = std::max(1.0, std::floor(f.size / 14.0));
      cairo_rectangle(cr, x, std::round(baseline + f.size * 0.1), extents.x_advance, thickness);
      cairo_fill(cr);
    }
  }

  void drawImage(const Image& image, std::int32_t dstX, std::int32_t dstY, std::int32_t w,
                 std::int32_t h, std::int32_t srcX, std::int32_t srcY, std::uint8_t alpha) override {
    if (w <= 0 || h <= 0 || alpha == 0) return;
    cairo_surface_t* source = static_cast<const CairoImage&>(image).surface;
    cairo_save(cr);
    cairo_rectangle(cr, dstX, dstY, w, h);
    cairo_clip(cr);
    cairo_set_source_surface(cr, source, dstX - srcX, dstY - srcY);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    if (alpha == 255)
      cairo_paint(cr);
    else
      cairo_paint_with_alpha(cr, alpha / 255.0);
    cairo_restore(cr);
  }

 private:
  double penInset() const {
    // An odd pen width is centred on the pixel centres, an even one between.
    return (long(std::lround(penWidth)) % 2) ? 0.5 : 0.0;
  }
  void preparePen() {
    setSourceARGB(cr, penColor);
    cairo_set_line_width(cr, penWidth);
    if (dash == DashStyle::solid) {
      cairo_set_dash(cr, nullptr, 0, 0);
    } else {
      const double pattern[2] = {dash == DashStyle::dash ? 3.0 * penWidth : penWidth, penWidth};
      cairo_set_dash(cr, pattern, 2, 0);
    }
  }
  void selectFont(const Font& font) {
    const auto& f = static_cast<const CairoFont&>(font);
    cairo_set_font_face(cr, f.face);
    cairo_set_font_size(cr, f.size);
    cairo_set_font_options(cr, fontOptions);
  }

  cairo_t* const cr;
  cairo_font_options_t* fontOptions = nullptr;
  std::uint32_t penColor = 0xFF000000u;
  std::uint32_t fillColor = 0xFF000000u;
  std::uint32_t textColor = 0xFF000000u;
  float penWidth = 1.0f;
  DashStyle dash = DashStyle::solid;
};

cairo_status_t readFromStream(void* closure, unsigned char* data, unsigned int length) {
  std::uint32_t got = 0;
  auto* stream = static_cast<PlatformStream*>(closure);
  if (stream->read(data, length, &got) != kStreamOk || got != length) return CAIRO_STATUS_READ_ERROR;
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

bool startGraphics(std::uintptr_t& token) {
  // fontconfig reads its whole configuration when it starts, which is slow
  // and keeps a few allocations for good. It starts by itself with the first
  // font made, so an instance that never shows text (a host scanning plug-ins,
  // an editor that is never opened) does not pay for it.
  token = 1;
  return true;
}

// Cairo and fontconfig keep process-wide caches that other fonts in the
// process may still use; nothing is torn down here.
void shutdownGraphics(std::uintptr_t) {}

std::unique_ptr<Graphics> createGraphics(DeviceHandle device) {
  // On Linux a device is the Cairo surface a window paints on.
  auto* surface = static_cast<cairo_surface_t*>(device);
  if (!surface || cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return nullptr;
  return std::make_unique<CairoGraphics>(surface);
}

std::unique_ptr<Graphics> createGraphics(Image& image) {
  return std::make_unique<CairoGraphics>(static_cast<CairoImage&>(image).surface);
}

std::unique_ptr<Image> createImage(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return nullptr;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  return std::make_unique<CairoImage>(surface);
}

std::unique_ptr<Image> decodeImage(PlatformStream& stream) {
  stream.addRef();
  cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(readFromStream, &stream);
  stream.release();
  if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(decoded);
    return nullptr;
  }
  // Images without alpha decode as RGB24; everything is drawn and read as
  // 32-bit with alpha, so convert.
  if (cairo_image_surface_get_format(decoded) != CAIRO_FORMAT_ARGB32) {
    const int w = cairo_image_surface_get_width(decoded);
    const int h = cairo_image_surface_get_height(decoded);
    cairo_surface_t* converted = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(converted);
    cairo_set_source_surface(cr, decoded, 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(decoded);
    if (cairo_surface_status(converted) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(converted);
      return nullptr;
    }
    decoded = converted;
  }
  return std::make_unique<CairoImage>(decoded);
}

// Linux libraries carry no bitmap resources; every image is a data resource.
std::unique_ptr<Image> loadBitmapResource(std::int32_t) { return nullptr; }
std::unique_ptr<Image> loadBitmapResource(const char*) { return nullptr; }

std::unique_ptr<Font> createFont(const char* family, float pixelSize, FontStyle style) {
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return nullptr;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family ? family : "sans-serif"));
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixelSize);
  if (style == kFontBold) FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_BOLD);
  if (style == kFontItalic) FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ITALIC);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return nullptr;

  FcChar8* file = nullptr;
  int index = 0;
  FcChar8* resolved = nullptr;
  std::unique_ptr<Font> font;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    FcPatternGetString(match, FC_FAMILY, 0, &resolved);
    // Only the face itself goes to Cairo: rendering options of the local
    // fontconfig setup would make the pixels differ from machine to machine.
    FcPattern* facePattern = FcPatternCreate();
    FcPatternAddString(facePattern, FC_FILE, file);
    FcPatternAddInteger(facePattern, FC_INDEX, index);
    cairo_font_face_t* face = cairo_ft_font_face_create_for_pattern(facePattern);
    FcPatternDestroy(facePattern);
    if (cairo_font_face_status(face) == CAIRO_STATUS_SUCCESS)
      font = std::make_unique<CairoFont>(face, pixelSize, style == kFontUnderline,
                                         resolved ? reinterpret_cast<const char*>(resolved) : "");
    else
      cairo_font_face_destroy(face);
  }
  FcPatternDestroy(match);
  return font;
}

}  // namespace VSTGUI::platform
