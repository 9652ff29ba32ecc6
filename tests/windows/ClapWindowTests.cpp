// The GUI of the Windows Quelmar.clap in real Win32 windows under a CLAP host
// of our own: it must show what the VST 2.4 DLL's editor shows, pixel for
// pixel, and its edits must reach the host as gestures.
//
//   clap_window_tests.exe QUELMAR_CLAP QUELMAR_DLL

#include "WinTestSupport.h"

#include "clap/ClapTestHost.h"
#include "host/HostedPlugin.h"
#include "host/PluginLibrary.h"

#include <memory>
#include <string>

namespace {

std::unique_ptr<claptest::ClapLibrary> clap;
std::unique_ptr<host::PluginLibrary> vst;

constexpr POINT kIspSwitch{172, 105};

HWND onlyChild(HWND parent) {
  HWND child = GetWindow(parent, GW_CHILD);
  return child && !GetWindow(child, GW_HWNDNEXT) ? child : nullptr;
}

bool embed(claptest::ClapTestHost& h, HWND parent) {
  clap_window_t window{CLAP_WINDOW_API_WIN32, {}};
  window.win32 = parent;
  return h.gui()->set_parent(h.plugin, &window);
}

TEST_CASE("the CLAP editor is the VST editor, pixel for pixel") {
  std::string error;
  auto plugin = host::HostedPlugin::create(*vst, {}, error);
  REQUIRE(plugin);
  plugin->setParameter(0, 0.6f);
  plugin->setParameter(3, 1.0f);
  wintest::HostWindow vstHost(400, 300, 40, 40);
  REQUIRE(plugin->dispatch(effEditOpen, 0, 0, vstHost.hwnd) == 1);

  claptest::ClapTestHost h(*clap);
  REQUIRE(h.plugin && h.gui());
  CHECK(h.gui()->is_api_supported(h.plugin, CLAP_WINDOW_API_WIN32, false));
  CHECK(!h.gui()->is_api_supported(h.plugin, CLAP_WINDOW_API_X11, false));
  h.setParameter(0, -12.0);
  h.setParameter(3, 1.0);
  h.flush();
  wintest::HostWindow clapHost(400, 300, 460, 40);
  REQUIRE(h.gui()->create(h.plugin, CLAP_WINDOW_API_WIN32, false));
  std::uint32_t width = 0, height = 0;
  CHECK(h.gui()->get_size(h.plugin, &width, &height));
  CHECK_EQ(width, 340u);
  CHECK_EQ(height, 215u);
  REQUIRE(embed(h, clapHost.hwnd));
  CHECK(h.gui()->show(h.plugin));
  wintest::pump(200);
  HWND vstChild = onlyChild(vstHost.hwnd);
  HWND clapChild = onlyChild(clapHost.hwnd);
  REQUIRE(vstChild && clapChild);
  const wintest::Capture a = wintest::capture(vstChild);
  const wintest::Capture b = wintest::capture(clapChild);
  CHECK_EQ(b.width, 340);
  CHECK_EQ(b.height, 215);
  CHECK_EQ(wintest::differingPixels(a, b, 0, 0, 340, 215), 0);
  plugin->dispatch(effEditClose);
  h.gui()->destroy(h.plugin);
  CHECK(GetWindow(clapHost.hwnd, GW_CHILD) == nullptr);
}

TEST_CASE("a click reaches the host as a gesture; hide, show and a new parent keep one window") {
  claptest::ClapTestHost h(*clap);
  REQUIRE(h.plugin && h.gui());
  wintest::HostWindow first(400, 300, 40, 40);
  wintest::HostWindow second(400, 300, 460, 40);
  REQUIRE(h.gui()->create(h.plugin, CLAP_WINDOW_API_WIN32, false));
  REQUIRE(embed(h, first.hwnd));
  wintest::pump(100);
  HWND child = onlyChild(first.hwnd);
  REQUIRE(child);
  PostMessageW(child, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kIspSwitch.x, kIspSwitch.y));
  PostMessageW(child, WM_LBUTTONUP, 0, MAKELPARAM(kIspSwitch.x, kIspSwitch.y));
  wintest::pump(60);
  CHECK(h.flushRequests > 0);
  h.flush();
  const auto events = h.takeOutput();
  REQUIRE(events.size() == 3);
  CHECK_EQ(events[0].type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
  CHECK_EQ(events[1].type, CLAP_EVENT_PARAM_VALUE);
  CHECK_EQ(events[2].type, CLAP_EVENT_PARAM_GESTURE_END);
  CHECK_EQ(events[1].param, 3u);
  CHECK(events[1].value == 1.0);

  CHECK(h.gui()->hide(h.plugin));
  CHECK(GetWindow(first.hwnd, GW_CHILD) == nullptr);
  CHECK(h.gui()->show(h.plugin));
  wintest::pump(50);
  CHECK(onlyChild(first.hwnd) != nullptr);
  REQUIRE(embed(h, second.hwnd));
  wintest::pump(50);
  CHECK(GetWindow(first.hwnd, GW_CHILD) == nullptr);
  CHECK(onlyChild(second.hwnd) != nullptr);
  h.gui()->destroy(h.plugin);
  CHECK(GetWindow(second.hwnd, GW_CHILD) == nullptr);
  REQUIRE(h.gui()->create(h.plugin, CLAP_WINDOW_API_WIN32, false));
  REQUIRE(embed(h, first.hwnd));
  wintest::pump(50);
  CHECK(onlyChild(first.hwnd) != nullptr);
  // Destroyed with its GUI still open, as a careless host may.
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: %s QUELMAR_CLAP QUELMAR_DLL\n", argv[0]);
    return 2;
  }
  clap = std::make_unique<claptest::ClapLibrary>(argv[1]);
  std::string error;
  vst = host::PluginLibrary::open(argv[2], error);
  if (!clap->factory || !vst) {
    std::printf("%s: no CLAP factory, or %s\n0 passed, 1 failed\n", argv[1], error.c_str());
    return 1;
  }
  return wintest::runAll();
}
