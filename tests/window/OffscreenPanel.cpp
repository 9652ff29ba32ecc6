#include "OffscreenPanel.h"

#include "editor/QuelmarEditor.h"
#include "gui/CFrame.h"
#include "gui/COffscreenContext.h"
#include "gui/platform/Platform.h"
#include "plugin/Quelmar.h"

namespace windowtest {

using namespace VSTGUI;

namespace {
VstIntPtr VST_CALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  switch (opcode) {
    case audioMasterVersion: return 2400;
    case audioMasterGetSampleRate: return 44100;
    default: return 0;
  }
}
}  // namespace

std::vector<std::uint32_t> offscreenPanel(const PanelState& state) {
  auto* effect = new Quelmar(&quietHost, &createQuelmarEditor);
  AEffect* record = effect->getAeffect();
  record->setParameter(record, Quelmar::kThreshold, state.threshold);
  record->setParameter(record, Quelmar::kOutput, state.output);
  record->setParameter(record, Quelmar::kFaderLink, state.link);
  record->setParameter(record, Quelmar::kIspDetection, state.isp);
  record->dispatcher(record, effMainsChanged, 0, 1, nullptr, 0.0f);
  record->dispatcher(record, effEditOpen, 0, 0, nullptr, 0.0f);
  record->dispatcher(record, effEditIdle, 0, 0, nullptr, 0.0f);
  CFrame* frame = static_cast<QuelmarEditor*>(effect->getEditor())->getFrame();
  const CRect bounds = frame->getBounds();
  std::vector<std::uint32_t> pixels;
  {
    COffscreenContext screen(frame, bounds.width(), bounds.height());
    frame->drawRect(&screen, bounds);
    for (CCoord y = 0; y < bounds.height(); ++y) {
      for (CCoord x = 0; x < bounds.width(); ++x) {
        CColor c;
        screen.getPixel(x, y, c);
        pixels.push_back(std::uint32_t(c.red) << 16 | std::uint32_t(c.green) << 8 | c.blue);
      }
    }
  }
  record->dispatcher(record, effEditClose, 0, 0, nullptr, 0.0f);
  record->dispatcher(record, effClose, 0, 0, nullptr, 0.0f);
  return pixels;
}

bool writePng(const std::vector<std::uint32_t>& pixels, int width, int height, const char* path) {
  auto image = platform::createImage(width, height);
  if (!image || pixels.size() != std::size_t(width) * std::size_t(height)) return false;
  auto graphics = platform::createGraphics(*image);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      graphics->setFillColor(0xFF000000u | pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]);
      graphics->fillRect(x, y, 1, 1);
    }
  }
  graphics.reset();
  return image->writePNG(path);
}

}  // namespace windowtest
