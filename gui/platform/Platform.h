#pragma once

// The services the framework asks of the platform. Only gui/platform/ includes
// system headers; everything above it sees these declarations. Each platform
// (Cairo on Linux now, GDI+ and user32 on Windows later) provides one
// implementation of every function and class here.

#include <cstdint>
#include <memory>

#include "../CRect.h"

namespace VSTGUI::platform {

class PlatformStream;

// Opaque handles: a window, a native drawing device (the paint target of a
// window), a cursor. What they point to is the platform's business.
using WindowHandle = void*;
using DeviceHandle = void*;
using CursorHandle = void*;

// ---------------------------------------------------------------- graphics

// A 32-bit image with alpha: a decoded resource or the pixel store of an
// offscreen context.
class Image {
 public:
  virtual ~Image() = default;
  virtual std::int32_t width() const = 0;
  virtual std::int32_t height() const = 0;
  // Straight (not premultiplied) colour as 0xAARRGGBB; false outside the image.
  virtual bool readPixel(std::int32_t x, std::int32_t y, std::uint32_t& argb) const = 0;
  virtual bool writePNG(const char* path) const = 0;
};

class Font {
 public:
  virtual ~Font() = default;
  // Distance between two lines of text, in pixels.
  virtual float lineHeight() const = 0;
  // From the top of a line to its baseline, in pixels.
  virtual float ascent() const = 0;
  // The family the platform actually chose for the request.
  virtual const char* resolvedFamily() const = 0;
};

enum FontStyle : std::int32_t {
  kFontRegular = 0,
  kFontBold = 1,
  kFontItalic = 2,
  kFontUnderline = 4,
};

enum class TextHint { systemDefault, antialiasGridFit };

enum class DashStyle { solid, dash, dot };

// A drawing target with one pen, one fill brush and one text brush.
// Coordinates are integer pixels of the target; rectangles are x, y, width,
// height. Colours are 0xAARRGGBB with straight alpha, blended over the target.
class Graphics {
 public:
  virtual ~Graphics() = default;

  virtual void setPenColor(std::uint32_t argb) = 0;
  virtual void setPenWidth(float width) = 0;
  virtual void setPenDashStyle(DashStyle style) = 0;
  virtual void setFillColor(std::uint32_t argb) = 0;
  virtual void setTextColor(std::uint32_t argb) = 0;
  // Off gives the hard-edged rendering of copy mode: every pixel is either
  // covered or not.
  virtual void setSmoothing(bool on) = 0;
  virtual void setTextHint(TextHint hint) = 0;
  // Replaces the previous clip; a negative extent clips everything away.
  virtual void setClip(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) = 0;

  // Covers the pixels x .. x + w - 1, y .. y + h - 1.
  virtual void fillRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) = 0;
  // A one-pixel pen covers the pixels x .. x + w and y .. y + h on the edges,
  // so an outline of (w - 1, h - 1) rings exactly the pixels of fillRect(w, h).
  virtual void strokeRect(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h) = 0;
  // Both end points included.
  virtual void drawLine(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) = 0;

  // Width of UTF-8 text; text that is not valid UTF-8 measures as empty.
  virtual float measureString(const char* utf8, const Font& font) = 0;
  // Draws UTF-8 text whose line box has its top-left corner at (x, top): the
  // baseline lies at top + ascent. Invalid UTF-8 draws nothing.
  virtual void drawString(const char* utf8, const Font& font, float x, float top) = 0;

  // Copies the w x h area of the image at (srcX, srcY) to (dstX, dstY) without
  // scaling, blending by the image's alpha times alpha / 255.
  virtual void drawImage(const Image& image, std::int32_t dstX, std::int32_t dstY, std::int32_t w,
                         std::int32_t h, std::int32_t srcX, std::int32_t srcY, std::uint8_t alpha) = 0;
};

// Start and stop of the graphics library; the token is whatever the platform
// needs to hand back at shutdown.
bool startGraphics(std::uintptr_t& token);
void shutdownGraphics(std::uintptr_t token);

std::unique_ptr<Graphics> createGraphics(DeviceHandle device);
std::unique_ptr<Graphics> createGraphics(Image& image);

// A new image, fully transparent; null when it cannot be allocated.
std::unique_ptr<Image> createImage(std::int32_t width, std::int32_t height);
// Decodes a PNG read through the stream; null when the bytes are no image.
std::unique_ptr<Image> decodeImage(PlatformStream& stream);
// A bitmap resource of the library itself, by identifier or by name; null
// where the platform has no such resources.
std::unique_ptr<Image> loadBitmapResource(std::int32_t id);
std::unique_ptr<Image> loadBitmapResource(const char* name);

// A font of the family, or null when the family cannot be had; a null family
// asks for the generic sans-serif family. The size is the em size in pixels.
std::unique_ptr<Font> createFont(const char* family, float pixelSize, FontStyle style);

// ---------------------------------------------------------------- resources

struct ResourceData {
  const std::uint8_t* bytes = nullptr;
  std::uint32_t size = 0;
};

// The library's own data resources, by name without regard to case, or by
// integer identifier.
bool findResource(const char* name, ResourceData& out);
bool findResource(std::int32_t id, ResourceData& out);

// ---------------------------------------------------------------- time

// A millisecond clock; tests install their own to make throttles and timers
// deterministic.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint32_t ticks() = 0;
  virtual void sleep(std::uint32_t milliseconds) = 0;
};

// Milliseconds since an arbitrary start, wrapping at 2^32.
std::uint32_t tickCount();
void sleep(std::uint32_t milliseconds);
// Installs a clock (null restores the system's); answers the previous one.
Clock* setClock(Clock* clock);
// The system's own clock; each platform has one.
Clock& systemClock();

std::int32_t doubleClickTime();

// Timers fire on the user-interface thread with the identifier startTimer
// gave. startTimer answers 0 when it cannot make a timer.
using TimerCallback = void (*)(std::uint32_t id);
std::uint32_t startTimer(std::uint32_t intervalMs, TimerCallback callback);
void killTimer(std::uint32_t id);

// Where the platform has no timer messages of its own (Linux), the window's
// event handling calls pumpTimers with the current ticks: every timer that is
// due fires once. nextTimerDue tells when the next one will be.
void pumpTimers(std::uint32_t now);
bool nextTimerDue(std::uint32_t& due);

// ---------------------------------------------------------------- input

void cursorScreenPosition(CPoint& where);
// The mouse buttons and modifier keys held right now, as the button bit set,
// with the user's button swap already applied.
std::int32_t asyncMouseButtons();
CursorHandle currentCursor();
// Cursor types of CFrame::setCursor; null for a type the platform lacks.
CursorHandle systemCursor(std::int32_t type);
void setCursor(CursorHandle cursor);

// ---------------------------------------------------------------- system

// Systems whose compositor does not double-buffer windows want the frame to
// draw into a back buffer first.
bool wantsBackBuffer();

void oleInitialize();
void oleUninitialize();

}  // namespace VSTGUI::platform
