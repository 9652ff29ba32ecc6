// Graphics, images and fonts on GDI+ (its flat interface), PNG decoding from
// the library's resources through an IStream.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "../Platform.h"
#include "../PlatformStream.h"
#include "Win32System.h"

namespace VSTGUI::platform {

namespace {

namespace gp = Gdiplus;
namespace gpx = Gdiplus::DllExports;

using win32::narrow;
using win32::widen;

// ---------------------------------------------------------------- images

class GdiPlusImage final : public Image {
 public:
  explicit GdiPlusImage(gp::GpBitmap* b) : bitmap(b) {}
  ~GdiPlusImage() override { gpx::GdipDisposeImage(bitmap); }

  std::int32_t width() const override {
    UINT w = 0;
    gpx::GdipGetImageWidth(bitmap, &w);
    return std::int32_t(w);
  }
  std::int32_t height() const override {
    UINT h = 0;
    gpx::GdipGetImageHeight(bitmap, &h);
    return std::int32_t(h);
  }

  bool readPixel(std::int32_t x, std::int32_t y, std::uint32_t& argb) const override {
    if (x < 0 || y < 0 || x >= width() || y >= height()) return false;
    gp::ARGB color = 0;
    if (gpx::GdipBitmapGetPixel(bitmap, x, y, &color) != gp::Ok) return false;
    argb = color;
    return true;
  }

  bool writePNG(const char* path) const override {
    static const CLSID pngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    const std::wstring file = widen(path);
    if (file.empty()) return false;
    return gpx::GdipSaveImageToFile(bitmap, file.c_str(), &pngEncoder, nullptr) == gp::Ok;
  }

  gp::GpBitmap* const bitmap;
};

// ---------------------------------------------------------------- fonts

class GdiPlusFont final : public Font {
 public:
  GdiPlusFont(gp::GpFont* f, gp::GpFontFamily* family, float size, int style) : font(f) {
    UINT16 em = 0, spacing = 0, cellAscent = 0;
    gpx::GdipGetEmHeight(family, style, &em);
    gpx::GdipGetLineSpacing(family, style, &spacing);
    gpx::GdipGetCellAscent(family, style, &cellAscent);
    // The line height at the device's resolution: fonts are in pixels, so
    // every resolution gives the same value.
    gp::REAL h = 0;
    if (gpx::GdipGetFontHeightGivenDPI(font, 96.0f, &h) == gp::Ok)
      lineSpacing = h;
    else if (em)
      lineSpacing = size * spacing / em;
    ascender = em ? size * cellAscent / em : size;
    WCHAR name[LF_FACESIZE] = {};
    if (gpx::GdipGetFamilyName(family, name, LANG_NEUTRAL) == gp::Ok) familyName = narrow(name);
  }
  ~GdiPlusFont() override { gpx::GdipDeleteFont(font); }

  float lineHeight() const override { return lineSpacing; }
  float ascent() const override { return ascender; }
  const char* resolvedFamily() const override { return familyName.c_str(); }

  gp::GpFont* const font;

 private:
  float lineSpacing = 0;
  float ascender = 0;
  std::string familyName;
};

// The font shipped inside the library, for systems that have neither the
// requested family nor a generic sans-serif one (a bare Wine prefix has no
// Arial and no "Microsoft Sans Serif"). Loaded on first need, dropped when
// the graphics library shuts down.
gp::GpFontCollection* fallbackCollection = nullptr;

gp::GpFontFamily* fallbackFamily() {
  if (!fallbackCollection) {
    ResourceData data;
    if (!findResource("FALLBACKSANS.TTF", data)) return nullptr;
    gp::GpFontCollection* collection = nullptr;
    if (gpx::GdipNewPrivateFontCollection(&collection) != gp::Ok) return nullptr;
    if (gpx::GdipPrivateAddMemoryFont(collection, data.bytes, INT(data.size)) != gp::Ok) {
      gpx::GdipDeletePrivateFontCollection(&collection);
      return nullptr;
    }
    fallbackCollection = collection;
  }
  gp::GpFontFamily* family = nullptr;
  INT found = 0;
  if (gpx::GdipGetFontCollectionFamilyList(fallbackCollection, 1, &family, &found) != gp::Ok || found != 1)
    return nullptr;
  // Families from the list belong to the collection; callers delete what
  // they get, so hand out a copy.
  gp::GpFontFamily* copy = nullptr;
  if (gpx::GdipCloneFontFamily(family, &copy) != gp::Ok) return nullptr;
  return copy;
}

std::unique_ptr<Font> fontOf(gp::GpFontFamily* family, float pixelSize, int style) {
  if (!family) return nullptr;
  gp::GpFont* font = nullptr;
  std::unique_ptr<Font> made;
  if (gpx::GdipCreateFont(family, pixelSize, style, gp::UnitPixel, &font) == gp::Ok && font)
    made = std::make_unique<GdiPlusFont>(font, family, pixelSize, style);
  gpx::GdipDeleteFontFamily(family);
  return made;
}

// ---------------------------------------------------------------- the stream

// The system's IStream in front of the framework's resource stream. The
// reference count is the resource stream's own: the decoder's references
// keep both alive, and the last release ends both.
class StreamAdapter final : public IStream {
 public:
  explicit StreamAdapter(PlatformStream& s) : stream(s) { stream.addRef(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) || IsEqualIID(iid, IID_IStream)) {
      AddRef();
      *object = static_cast<IStream*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    InterlockedIncrement(&adapterCount);
    return stream.addRef();
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&adapterCount);
    const ULONG count = stream.release();
    if (left == 0) delete this;
    return count;
  }
  HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* countRead) override {
    std::uint32_t got = 0;
    const HRESULT result = stream.read(buffer, count, countRead ? &got : nullptr);
    if (countRead && result == S_OK) *countRead = got;
    return result;
  }
  HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* countWritten) override {
    std::uint32_t written = 0;
    const HRESULT result = stream.write(buffer, count, countWritten ? &written : nullptr);
    if (countWritten && result == S_OK) *countWritten = written;
    return result;
  }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
    std::uint64_t position = 0;
    const HRESULT result = stream.seek(move.QuadPart, origin, newPosition ? &position : nullptr);
    if (newPosition && result == S_OK) newPosition->QuadPart = position;
    return result;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override { return stream.setSize(size.QuadPart); }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return kStreamNotImplemented;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return stream.commit(flags); }
  HRESULT STDMETHODCALLTYPE Revert() override { return stream.revert(); }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override {
    return stream.lockRegion(offset.QuadPart, count.QuadPart, type);
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER count, DWORD type) override {
    return stream.unlockRegion(offset.QuadPart, count.QuadPart, type);
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* statistics, DWORD flags) override {
    if (!statistics) return kStreamFalse;
    StreamStat own{};
    const HRESULT result = stream.stat(&own, flags);
    if (result == S_OK) {
      std::memset(statistics, 0, sizeof(*statistics));
      statistics->type = STGTY_STREAM;
      statistics->cbSize.QuadPart = own.size;
    }
    return result;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override {
    if (copy) *copy = nullptr;
    return kStreamNotImplemented;
  }

 private:
  ~StreamAdapter() = default;
  PlatformStream& stream;
  LONG adapterCount = 1;
};

// ---------------------------------------------------------------- graphics

class GdiPlusGraphics final : public Graphics {
 public:
  explicit GdiPlusGraphics(gp::GpGraphics* g) : graphics(g) {
    gpx::GdipCreatePen1(0xFF000000u, 1.0f, gp::UnitPixel, &pen);
    gpx::GdipCreateSolidFill(0xFF000000u, &fillBrush);
    gpx::GdipCreateSolidFill(0xFF000000u, &textBrush);
    gpx::GdipSetSmoothingMode(graphics, gp::SmoothingModeNone);
  }
  ~GdiPlusGraphics() override {
    if (textBrush) gpx::GdipDeleteBrush(textBrush);
    if (fillBrush) gpx::GdipDeleteBrush(fillBrush);
    if (pen) gpx::GdipDeletePen(pen);
    gpx::GdipDeleteGraphics(graphics);
  }

  void setPenColor(std::uint32_t argb) override {
    if (pen) gpx::GdipSetPenColor(pen, argb);
  }
  void setPenWidth(float width) override {
    if (pen) gpx::GdipSetPenWidth(pen, width);
  }
  void setPenDashStyle(DashStyle style) override {
    if (!pen) return;
    gpx::GdipSetPenDashStyle(pen, style == DashStyle::dash  ? gp::DashStyleDash
                                  : style == DashStyle::dot ? gp::DashStyleDot
                                                            : gp::DashStyleSolid);
  }
  void setFillColor(std::uint32_t argb) override {
    if (fillBrush) gpx::GdipSetSolidFillColor(fillBrush, argb);
  }
  void setTextColor(std::uint32_t argb) override {
    if (textBrush) gpx::GdipSetSolidFillColor(textBrush, argb);
  }
  void setSmoothing(bool on) override {
    gpx::GdipSetSmoothingMode(graphics, on ? gp::SmoothingModeAntiAlias : gp::SmoothingModeNone);
  }
  void setTextHint(TextHint hint) override {
    gpx::GdipSetTextRenderingHint(graphics, hint == TextHint::antialiasGridFit
                                                ? gp::TextRenderingHintClearTypeGridFit
                                                : gp::TextRenderingHintSystemDefault);
  }
  void setClip(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override {
    // A negative extent would be turned around by GDI+; it means "nothing".
    gpx::GdipSetClipRectI(graphics, x, y, std::max(w, 0), std::max(h, 0), gp::CombineModeReplace);
  }

  void fillRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override {
    if (fillBrush && w > 0 && h > 0) gpx::GdipFillRectangleI(graphics, fillBrush, x, y, w, h);
  }
  void strokeRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) override {
    if (pen && w >= 0 && h >= 0) gpx::GdipDrawRectangleI(graphics, pen, x, y, w, h);
  }
  void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) override {
    if (pen) gpx::GdipDrawLineI(graphics, pen, x1, y1, x2, y2);
  }

  float measureString(const char* utf8, const Font& font) override {
    const std::wstring text = widen(utf8);
    if (text.empty()) return 0.0f;
    const gp::RectF layout(0, 0, 0, 0);
    gp::RectF box(0, 0, 0, 0);
    if (gpx::GdipMeasureString(graphics, text.c_str(), INT(text.size()), static_cast<const GdiPlusFont&>(font).font,
                               &layout, nullptr, &box, nullptr, nullptr) != gp::Ok)
      return 0.0f;
    return box.Width;
  }

  void drawString(const char* utf8, const Font& font, float x, float top) override {
    const std::wstring text = widen(utf8);
    if (text.empty() || !textBrush) return;
    const gp::RectF layout(x, top, 0, 0);
    gpx::GdipDrawString(graphics, text.c_str(), INT(text.size()), static_cast<const GdiPlusFont&>(font).font,
                        &layout, nullptr, textBrush);
  }

  void drawImage(const Image& image, std::int32_t dstX, std::int32_t dstY, std::int32_t w, std::int32_t h,
                 std::int32_t srcX, std::int32_t srcY, std::uint8_t alpha) override {
    if (w <= 0 || h <= 0) return;
    gp::GpBitmap* source = static_cast<const GdiPlusImage&>(image).bitmap;
    if (alpha == 255) {
      gpx::GdipDrawImageRectRectI(graphics, source, dstX, dstY, w, h, srcX, srcY, w, h, gp::UnitPixel, nullptr,
                                  nullptr, nullptr);
      return;
    }
    // The part is first copied into a bitmap of its own, which is then drawn
    // whole with its alpha scaled by a colour matrix.
    gp::GpImageAttributes* attributes = nullptr;
    gp::GpBitmap* part = nullptr;
    gp::GpGraphics* partGraphics = nullptr;
    gp::ColorMatrix matrix{};
    for (int i = 0; i < 5; ++i) matrix.m[i][i] = 1.0f;
    matrix.m[3][3] = float(alpha) / 255.0f;
    if (gpx::GdipCreateImageAttributes(&attributes) == gp::Ok &&
        gpx::GdipSetImageAttributesColorMatrix(attributes, gp::ColorAdjustTypeDefault, TRUE, &matrix, nullptr,
                                               gp::ColorMatrixFlagsDefault) == gp::Ok &&
        gpx::GdipCreateBitmapFromScan0(w, h, 0, PixelFormat32bppARGB, nullptr, &part) == gp::Ok &&
        gpx::GdipGetImageGraphicsContext(part, &partGraphics) == gp::Ok) {
      gpx::GdipGraphicsClear(partGraphics, 0);
      gpx::GdipDrawImageRectRectI(partGraphics, source, 0, 0, w, h, srcX, srcY, w, h, gp::UnitPixel, nullptr,
                                  nullptr, nullptr);
      gpx::GdipDrawImageRectRectI(graphics, part, dstX, dstY, w, h, 0, 0, w, h, gp::UnitPixel, attributes,
                                  nullptr, nullptr);
    }
    if (partGraphics) gpx::GdipDeleteGraphics(partGraphics);
    if (part) gpx::GdipDisposeImage(part);
    if (attributes) gpx::GdipDisposeImageAttributes(attributes);
  }

 private:
  gp::GpGraphics* const graphics;
  gp::GpPen* pen = nullptr;
  gp::GpSolidFill* fillBrush = nullptr;
  gp::GpSolidFill* textBrush = nullptr;
};

std::unique_ptr<Graphics> wrap(gp::GpGraphics* graphics, bool onWindow) {
  if (!graphics) return nullptr;
  gpx::GdipSetInterpolationMode(graphics, gp::InterpolationModeLowQuality);
  gpx::GdipSetPageUnit(graphics, gp::UnitPixel);
  if (onWindow) gpx::GdipSetPixelOffsetMode(graphics, gp::PixelOffsetModeNone);
  return std::make_unique<GdiPlusGraphics>(graphics);
}

}  // namespace

bool startGraphics(std::uintptr_t& token) {
  gp::GdiplusStartupInput input;  // version 1, no debug callback, background thread and codecs on
  ULONG_PTR started = 0;
  if (gp::GdiplusStartup(&started, &input, nullptr) != gp::Ok) {
    token = 0;
    return false;
  }
  token = started;
  return true;
}

void shutdownGraphics(std::uintptr_t token) {
  if (fallbackCollection) gpx::GdipDeletePrivateFontCollection(&fallbackCollection);
  fallbackCollection = nullptr;
  if (token) gp::GdiplusShutdown(token);
}

std::unique_ptr<Graphics> createGraphics(DeviceHandle device) {
  if (!device) return nullptr;
  gp::GpGraphics* graphics = nullptr;
  if (gpx::GdipCreateFromHDC(static_cast<HDC>(device), &graphics) != gp::Ok) return nullptr;
  return wrap(graphics, true);
}

std::unique_ptr<Graphics> createGraphics(Image& image) {
  gp::GpGraphics* graphics = nullptr;
  if (gpx::GdipGetImageGraphicsContext(static_cast<GdiPlusImage&>(image).bitmap, &graphics) != gp::Ok)
    return nullptr;
  return wrap(graphics, false);
}

std::unique_ptr<Image> createImage(std::int32_t width, std::int32_t height) {
  if (width <= 0 || height <= 0) return nullptr;
  gp::GpBitmap* bitmap = nullptr;
  if (gpx::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap) != gp::Ok)
    return nullptr;
  // Not every GDI+ clears new pixel memory.
  gp::GpGraphics* graphics = nullptr;
  if (gpx::GdipGetImageGraphicsContext(bitmap, &graphics) == gp::Ok) {
    gpx::GdipGraphicsClear(graphics, 0);
    gpx::GdipDeleteGraphics(graphics);
  }
  return std::make_unique<GdiPlusImage>(bitmap);
}

std::unique_ptr<Image> decodeImage(PlatformStream& stream) {
  auto* adapter = new StreamAdapter(stream);
  gp::GpBitmap* bitmap = nullptr;
  const gp::GpStatus status = gpx::GdipCreateBitmapFromStreamICM(adapter, &bitmap);
  adapter->Release();
  if (status != gp::Ok || !bitmap) return nullptr;
  return std::make_unique<GdiPlusImage>(bitmap);
}

std::unique_ptr<Image> loadBitmapResource(std::int32_t id) {
  if (id <= 0 || id > 0xFFFF) return nullptr;
  gp::GpBitmap* bitmap = nullptr;
  if (gpx::GdipCreateBitmapFromResource(win32::thisModule(), MAKEINTRESOURCEW(id), &bitmap) != gp::Ok || !bitmap)
    return nullptr;
  return std::make_unique<GdiPlusImage>(bitmap);
}

std::unique_ptr<Image> loadBitmapResource(const char* name) {
  const std::wstring wide = widen(name);
  if (wide.empty()) return nullptr;
  gp::GpBitmap* bitmap = nullptr;
  if (gpx::GdipCreateBitmapFromResource(win32::thisModule(), wide.c_str(), &bitmap) != gp::Ok || !bitmap)
    return nullptr;
  return std::make_unique<GdiPlusImage>(bitmap);
}

std::unique_ptr<Font> createFont(const char* family, float pixelSize, FontStyle style) {
  if (family) {
    // The family name goes through the runtime's multibyte conversion, at
    // most 200 characters.
    wchar_t name[201] = {};
    if (std::mbstowcs(name, family, 200) == static_cast<std::size_t>(-1)) return nullptr;
    gp::GpFontFamily* found = nullptr;
    if (gpx::GdipCreateFontFamilyFromName(name, nullptr, &found) != gp::Ok) return nullptr;
    return fontOf(found, pixelSize, style);
  }
  gp::GpFontFamily* generic = nullptr;
  if (gpx::GdipGetGenericFontFamilySansSerif(&generic) == gp::Ok && generic) {
    if (auto font = fontOf(generic, pixelSize, style)) return font;
  }
  return fontOf(fallbackFamily(), pixelSize, style);
}

}  // namespace VSTGUI::platform
