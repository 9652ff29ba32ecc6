// The built quelmar.lv2 UI in a real X window, loaded as LV2 hosts load it:
// found through the bundle with lilv, given the host's window as its parent
// and idled through its idle interface.

#include <dlfcn.h>
#include <lv2/ui/ui.h>

#include <cstring>

#include "OffscreenPanel.h"
#include "WindowTestSupport.h"
#include "lv2/Lv2Host.h"
#include "plugin/QuelmarParameters.h"

namespace windowtest {
namespace {

const LV2UI_Descriptor* uiDescriptor() {
  static const LV2UI_Descriptor* descriptor = [] () -> const LV2UI_Descriptor* {
    LilvUIs* uis = lilv_plugin_get_uis(lv2test::quelmar());
    char* path = nullptr;
    if (uis != nullptr && lilv_uis_size(uis) == 1) {
      const LilvUI* ui = lilv_uis_get(uis, lilv_uis_begin(uis));
      path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
    }
    lilv_uis_free(uis);
    void* library = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE) : nullptr;
    lilv_free(path);
    auto entry = library ? reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor")) : nullptr;
    return entry ? entry(0) : nullptr;
  }();
  return descriptor;
}

struct Written {
  std::uint32_t port;
  float value;  // 1 or 0 for a touch: grabbed or released
  bool touch;
};

class Lv2Window : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display.get()) << "no X server";
    ASSERT_TRUE(uiDescriptor());
    top = display.makeTopLevel();
  }
  void TearDown() override {
    if (ui) uiDescriptor()->cleanup(ui);
    EXPECT_TRUE(display.children(top).empty()) << "the UI left its window behind";
  }

  LV2UI_Handle instantiate(bool withIdle = true) {
    resize = {this, [](LV2UI_Feature_Handle h, int width, int height) {
                static_cast<Lv2Window*>(h)->size = {width, height};
                return 0;
              }};
    touch = {this, [](LV2UI_Feature_Handle h, std::uint32_t port, bool grabbed) {
               static_cast<Lv2Window*>(h)->written.push_back({port, grabbed ? 1.0f : 0.0f, true});
             }};
    const LV2_Feature parent{LV2_UI__parent, reinterpret_cast<void*>(top)};
    const LV2_Feature idle{LV2_UI__idleInterface, nullptr};
    const LV2_Feature resizing{LV2_UI__resize, &resize};
    const LV2_Feature touching{LV2_UI__touch, &touch};
    const LV2_Feature* features[] = {&parent, &resizing, &touching, withIdle ? &idle : nullptr, nullptr};
    auto write = [](LV2UI_Controller c, std::uint32_t port, std::uint32_t size, std::uint32_t format,
                    const void* buffer) {
      if (format == 0 && size == sizeof(float))
        static_cast<Lv2Window*>(c)->written.push_back({port, *static_cast<const float*>(buffer), false});
    };
    return uiDescriptor()->instantiate(uiDescriptor(), lv2test::kPluginUri, QUELMAR_LV2_PATH "/quelmar.lv2/", write,
                                       this, &widget, features);
  }
  void portEvent(std::uint32_t port, float value) { uiDescriptor()->port_event(ui, port, sizeof value, 0, &value); }
  void run(int milliseconds) {
    auto* idle = static_cast<const LV2UI_Idle_Interface*>(uiDescriptor()->extension_data(LV2_UI__idleInterface));
    for (int elapsed = 0; elapsed < milliseconds; elapsed += 20) {
      idle->idle(ui);
      display.drain();
      sleepMs(20);
    }
  }
  std::vector<std::uint32_t> capture() { return display.capture(::Window(reinterpret_cast<std::uintptr_t>(widget)), 340, 215); }
  void clickAt(int x, int y) {
    display.moveTo(::Window(reinterpret_cast<std::uintptr_t>(widget)), x, y);
    run(40);
    display.click();
    run(100);
  }

  HostDisplay display;
  ::Window top = 0;
  LV2UI_Handle ui = nullptr;
  LV2UI_Widget widget = nullptr;
  LV2UI_Resize resize{};
  LV2UI_Touch touch{};
  std::pair<int, int> size{0, 0};
  std::vector<Written> written;
};

// Without idle calls nothing would run the window: the UI is refused.
TEST_F(Lv2Window, TheEditorShowsThePortsPixelForPixel) {
  EXPECT_EQ(instantiate(false), nullptr);
  ui = instantiate();
  ASSERT_TRUE(ui);
  EXPECT_EQ(size, std::make_pair(340, 215));
  ASSERT_EQ(display.children(top).size(), 1u);
  EXPECT_EQ(::Window(reinterpret_cast<std::uintptr_t>(widget)), display.children(top)[0]);
  portEvent(4, -8.0f);
  portEvent(7, 1.0f);
  run(120);
  PanelState state;
  state.threshold = QuelmarParameters::normalisedForTenths(-80);
  state.isp = 1.0f;
  EXPECT_EQ(capture(), offscreenPanel(state));
  EXPECT_TRUE(written.empty()) << "the host's own values went back to it";

  // The plug-in's meter outputs move the meter.
  const auto still = capture();
  portEvent(9, -3.0f);
  portEvent(10, -6.0f);
  portEvent(11, 5.0f);
  run(100);
  int moved = 0;
  const auto metering = capture();
  for (std::size_t i = 0; i < still.size(); ++i) moved += still[i] != metering[i];
  EXPECT_GT(moved, 500);
}

// Edits go to the host as port writes inside its touch notifications; with
// the link on, the threshold drags the output, and both ports are written.
TEST_F(Lv2Window, EditsAreWrittenToThePortsWithTouches) {
  ui = instantiate();
  ASSERT_TRUE(ui);
  portEvent(5, -10.0f);
  run(100);
  clickAt(130, 104);  // the link switch
  ASSERT_EQ(written.size(), 3u);
  EXPECT_TRUE(written[0].touch && written[0].port == 6 && written[0].value == 1.0f);
  EXPECT_TRUE(!written[1].touch && written[1].port == 6 && written[1].value == 1.0f);
  EXPECT_TRUE(written[2].touch && written[2].port == 6 && written[2].value == 0.0f);

  written.clear();
  const ::Window w = ::Window(reinterpret_cast<std::uintptr_t>(widget));
  display.moveTo(w, 255, 79);  // the threshold handle at 0 dB
  run(40);
  display.press(1);
  run(40);
  display.moveTo(w, 200, 80);
  run(40);
  display.release(1);
  run(60);
  float threshold = 1, output = 1;
  for (const Written& e : written) {
    if (e.touch) continue;
    if (e.port == 4) threshold = e.value;
    if (e.port == 5) output = e.value;
  }
  ASSERT_LT(threshold, 0.0f);
  EXPECT_FLOAT_EQ(output, -10.0f + threshold) << "the output moved by the threshold's distance";
  EXPECT_TRUE(written.front().touch && written.front().port == 4 && written.front().value == 1.0f);
  EXPECT_TRUE(written.back().touch && written.back().port == 4 && written.back().value == 0.0f);
}

}  // namespace
}  // namespace windowtest
