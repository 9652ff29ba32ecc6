// Renders the editor's panel as the framework draws it: the background image
// in a frame, the fader handles and switches from their images at sample
// positions, the read-outs' text and sample meter bars, all into an offscreen
// context written as a PNG. For judging the artwork without a host.
//
//   quelmar_panel_preview <panel.png> [about.png] [--scale N]

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFontDesc.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"

using namespace VSTGUI;

namespace {

// An image at a fixed source offset, as the faders and switches draw theirs.
class ImageView : public CView {
 public:
  ImageView(const CRect& r, CBitmap* image, CPoint source) : CView(r), source(source) { setBackground(image); }
  void draw(CDrawContext* context) override {
    if (background) background->drawTransparent(context, size, source);
    setDirty(false);
  }

 private:
  CPoint source;
};

class TextView : public CView {
 public:
  TextView(const CRect& r, const char* t) : CView(r), text(t) {}
  void draw(CDrawContext* context) override {
    context->setFont(kSystemFont);
    context->setFontColor(CColor{255, 255, 255, 130});
    context->drawString(text.c_str(), size, kCenterText, true);
    setDirty(false);
  }

 private:
  std::string text;
};

// Bars at fixed lengths, in the meter's colours and rectangles.
class BarsView : public CView {
 public:
  BarsView() : CView(CRect(0, 0, 340, 215)) {}
  void draw(CDrawContext* context) override {
    context->setFillColor(CColor{222, 134, 2, 255});
    const int inLeft = 200, inRight = 191, outLeft = 218, outRight = 214, reduction = 58;
    context->drawRectangle(CRect(35, 29, inLeft + 34, 36), kDrawFilled);
    context->drawRectangle(CRect(35, 37, inRight + 34, 44), kDrawFilled);
    context->drawRectangle(CRect(35, 167, outLeft + 34, 174), kDrawFilled);
    context->drawRectangle(CRect(35, 175, outRight + 34, 182), kDrawFilled);
    context->setFillColor(CColor{221, 88, 0, 255});
    context->drawRectangle(CRect(301, 30, 311, reduction + 29), kDrawFilled);
    setDirty(false);
  }
};

bool writeScaled(COffscreenContext& source, const char* path, int scale) {
  if (scale <= 1) return source.getBitmap()->writePNG(path);
  COffscreenContext big(nullptr, source.getWidth() * scale, source.getHeight() * scale);
  for (CCoord y = 0; y < source.getHeight(); ++y) {
    for (CCoord x = 0; x < source.getWidth(); ++x) {
      CColor c;
      source.getPixel(x, y, c);
      big.setFillColor(c);
      big.drawRectangle(CRect(x * scale, y * scale, (x + 1) * scale, (y + 1) * scale), kDrawFilled);
    }
  }
  return big.getBitmap()->writePNG(path);
}

bool renderPanel(const char* path, int scale) {
  CBitmap* panel = new CBitmap("bmp00128.png");
  CBitmap* handle = new CBitmap("bmp00130.png");
  CBitmap* link = new CBitmap("bmp00131.png");
  CBitmap* isp = new CBitmap("bmp00132.png");
  if (!panel->isLoaded() || !handle->isLoaded() || !link->isLoaded() || !isp->isLoaded()) {
    std::fprintf(stderr, "quelmar_panel_preview: images missing\n");
    return false;
  }
  auto* frame = new CFrame(CRect(0, 0, panel->getWidth(), panel->getHeight()), nullptr, nullptr);
  frame->setBackground(panel);
  frame->addView(new BarsView());
  // Threshold at -6.0 dB (value 0.8), output at -0.3 dB (value 0.99).
  const CCoord thresholdLeft = 26 + CCoord(220 * 0.8f), outputLeft = 26 + CCoord(220 * 0.99f);
  frame->addView(new ImageView(CRect(thresholdLeft, 71, thresholdLeft + 19, 89), handle, CPoint(0, 0)));
  frame->addView(new ImageView(CRect(outputLeft, 128, outputLeft + 19, 146), handle, CPoint(0, 0)));
  frame->addView(new TextView(CRect(70, 100, 98, 112), "-6.0"));
  frame->addView(new TextView(CRect(220, 100, 248, 112), "-0.3"));
  frame->addView(new ImageView(CRect(123, 99, 153, 113), link, CPoint(0, 0)));
  frame->addView(new ImageView(CRect(160, 99, 185, 113), isp, CPoint(0, 14)));

  COffscreenContext out(frame, panel->getWidth(), panel->getHeight());
  frame->drawRect(&out, frame->getBounds());
  const bool ok = writeScaled(out, path, scale);
  frame->release();
  for (CBitmap* b : {panel, handle, link, isp}) b->release();
  return ok;
}

bool renderAbout(const char* path, int scale) {
  CBitmap about("bmp00129.png");
  if (!about.isLoaded()) return false;
  COffscreenContext out(nullptr, about.getWidth(), about.getHeight());
  about.draw(&out, CRect(0, 0, about.getWidth(), about.getHeight()));
  return writeScaled(out, path, scale);
}

}  // namespace

int main(int argc, char** argv) {
  const char* paths[2] = {nullptr, nullptr};
  int count = 0, scale = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--scale") == 0 && i + 1 < argc)
      scale = std::atoi(argv[++i]);
    else if (count < 2)
      paths[count++] = argv[i];
  }
  if (!paths[0]) {
    std::fprintf(stderr, "usage: %s <panel.png> [about.png] [--scale N]\n", argv[0]);
    return 2;
  }
  bool ok = renderPanel(paths[0], scale);
  if (paths[1]) ok = renderAbout(paths[1], scale) && ok;
  return ok ? 0 : 1;
}
