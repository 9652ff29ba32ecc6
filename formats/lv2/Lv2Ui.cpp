#include "formats/lv2/Lv2Ui.h"

#include <cstring>
#include <new>

#include "gui/platform/PlatformWindow.h"

using namespace Lv2Ports;

namespace {

const void* feature(const LV2_Feature* const* features, const char* uri) {
  for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
    if ((*f)->URI != nullptr && std::strcmp((*f)->URI, uri) == 0) return (*f)->data;
  return nullptr;
}

bool hasFeature(const LV2_Feature* const* features, const char* uri) {
  for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
    if ((*f)->URI != nullptr && std::strcmp((*f)->URI, uri) == 0) return true;
  return false;
}

}  // namespace

Lv2Ui::Lv2Ui(LV2UI_Write_Function writeFunction, LV2UI_Controller uiController, void* parentWindow,
             const LV2UI_Resize* hostResize, const LV2UI_Touch* hostTouch)
    : instance(*this),
      write(writeFunction),
      controller(uiController),
      parent(parentWindow),
      resize(hostResize),
      touch(hostTouch) {}

Lv2Ui::~Lv2Ui() { instance.closeEditor(); }

bool Lv2Ui::open(LV2UI_Widget* widget) {
  if (!instance.isValid() || !instance.openEditor(parent)) return false;
  std::uint32_t width = 0, height = 0;
  if (resize != nullptr && resize->ui_resize != nullptr && instance.editorSize(width, height))
    resize->ui_resize(resize->handle, int(width), int(height));
  if (widget != nullptr) *widget = VSTGUI::platform::frameWindowIn(parent);
  return true;
}

void Lv2Ui::setFromHost(std::int32_t index, float plain) {
  const float normalised = QuelmarParameters::normalisedOf(index, plain);
  applyingHostValue = true;
  // The host's threshold stands as it is: with the link on it would move
  // this instance's output away from the host's.
  const bool linked = index == QuelmarParameters::kThreshold &&
                      QuelmarParameters::switchIsOn(instance.getParameter(QuelmarParameters::kFaderLink));
  if (linked) instance.setParameter(QuelmarParameters::kFaderLink, 0.0f);
  instance.setParameter(index, normalised);
  if (linked) instance.setParameter(QuelmarParameters::kFaderLink, 1.0f);
  applyingHostValue = false;
}

void Lv2Ui::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
  if (format != 0 || size != sizeof(float) || buffer == nullptr) return;
  const float value = *static_cast<const float*>(buffer);
  if (isParameter(port)) {
    setFromHost(parameterOf(port), value);
    return;
  }
  switch (port) {
    case kInputPeakLeft: meters.inputPeakDb[0] = value; break;
    case kInputPeakRight: meters.inputPeakDb[1] = value; break;
    case kGainReduction: meters.reductionDb = value; break;
    default: return;
  }
  QuelmarMeters::show(instance.record(), meters);
}

void Lv2Ui::parameterAutomated(std::int32_t index) {
  if (applyingHostValue || !QuelmarParameters::isParameter(index) || write == nullptr) return;
  const float plain = static_cast<float>(QuelmarParameters::plainOf(index, instance.getParameter(index)));
  write(controller, kFirstParameter + std::uint32_t(index), sizeof plain, 0, &plain);
}

void Lv2Ui::editBegun(std::int32_t index) {
  if (touch != nullptr && touch->touch != nullptr && QuelmarParameters::isParameter(index))
    touch->touch(touch->handle, kFirstParameter + std::uint32_t(index), true);
}

void Lv2Ui::editEnded(std::int32_t index) {
  if (touch != nullptr && touch->touch != nullptr && QuelmarParameters::isParameter(index))
    touch->touch(touch->handle, kFirstParameter + std::uint32_t(index), false);
}

const LV2UI_Descriptor Lv2Ui::descriptor = {
    QUELMAR_LV2_URI "#ui",
    [](const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
       LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) -> LV2UI_Handle {
      void* parent = const_cast<void*>(feature(features, LV2_UI__parent));
      // Without a parent there is nowhere to embed; without idle calls
      // nothing would ever run the window.
      if (pluginUri == nullptr || std::strcmp(pluginUri, QUELMAR_LV2_URI) != 0 || parent == nullptr ||
          !hasFeature(features, LV2_UI__idleInterface))
        return nullptr;
      auto* ui = new (std::nothrow)
          Lv2Ui(write, controller, parent, static_cast<const LV2UI_Resize*>(feature(features, LV2_UI__resize)),
                static_cast<const LV2UI_Touch*>(feature(features, LV2_UI__touch)));
      if (ui != nullptr && !ui->open(widget)) {
        delete ui;
        ui = nullptr;
      }
      return ui;
    },
    [](LV2UI_Handle h) { delete static_cast<Lv2Ui*>(h); },
    [](LV2UI_Handle h, std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer) {
      static_cast<Lv2Ui*>(h)->portEvent(port, size, format, buffer);
    },
    [](const char* uri) -> const void* {
      static const LV2UI_Idle_Interface idle = {[](LV2UI_Handle h) {
        static_cast<Lv2Ui*>(h)->instance.idleEditor();
        return 0;
      }};
      return uri != nullptr && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idle : nullptr;
    },
};

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(std::uint32_t index) {
  return index == 0 ? &Lv2Ui::descriptor : nullptr;
}
