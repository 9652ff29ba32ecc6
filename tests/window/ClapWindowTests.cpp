// The built Quelmar.clap's GUI in a real X window under a host loop of our
// own: the host's timer and its watch of the editor's connection are all that
// runs the editor, as in a CLAP host.

#include <algorithm>

#include "OffscreenPanel.h"
#include "WindowTestSupport.h"
#include "clap/ClapTestHost.h"
#include "plugin/QuelmarParameters.h"

namespace windowtest {
namespace {

using claptest::ClapTestHost;
using claptest::OutputEvent;

const claptest::ClapLibrary& library() {
  static claptest::ClapLibrary lib(QUELMAR_CLAP_PATH);
  return lib;
}

class ClapWindow : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display.get()) << "no X server";
    ASSERT_TRUE(host.plugin && host.gui());
    gui = host.gui();
  }

  bool embed(::Window top) {
    clap_window_t window{CLAP_WINDOW_API_X11, {}};
    window.x11 = top;
    return gui->set_parent(host.plugin, &window);
  }
  // The host's loop for a while: its timer and descriptor callbacks, flushes
  // as it was asked for them, and its own windows' events.
  void run(int milliseconds) {
    for (int elapsed = 0; elapsed < milliseconds; elapsed += 20) {
      host.runLoop();
      if (host.flushRequests > 0) {
        host.flushRequests = 0;
        host.flush();
      }
      display.drain();
      sleepMs(20);
    }
  }
  std::vector<std::uint32_t> capture(::Window top) {
    auto kids = display.children(top);
    return kids.size() == 1 ? display.capture(kids[0], 340, 215) : std::vector<std::uint32_t>{};
  }
  void clickAt(::Window top, int x, int y) {
    display.moveTo(display.children(top).at(0), x, y);
    run(40);
    display.click();
    run(100);
  }

  HostDisplay display;
  ClapTestHost host{library()};
  const clap_plugin_gui_t* gui = nullptr;
};

TEST_F(ClapWindow, TheEmbeddedEditorIsThePanelPixelForPixel) {
  host.setParameter(0, -8.0);
  host.setParameter(3, 1.0);
  host.flush();
  const ::Window top = display.makeTopLevel();
  ASSERT_TRUE(gui->create(host.plugin, CLAP_WINDOW_API_X11, false));
  ASSERT_TRUE(embed(top));
  ASSERT_TRUE(gui->show(host.plugin));
  ASSERT_EQ(host.timers.size(), 1u);
  ASSERT_EQ(host.descriptors.size(), 1u);
  run(120);
  PanelState state;
  state.threshold = QuelmarParameters::normalisedForTenths(-80);
  state.isp = 1.0f;
  EXPECT_EQ(capture(top), offscreenPanel(state));
  gui->destroy(host.plugin);
  EXPECT_TRUE(display.children(top).empty());
  EXPECT_TRUE(host.timers.empty());
  EXPECT_TRUE(host.descriptors.empty());
}

// A click on a switch reaches the host as a gesture around the value, through
// the flush the plug-in asks for; while active, the detection switch also
// asks for the restart its latency needs.
TEST_F(ClapWindow, EditsReachTheHostAsGestures) {
  const ::Window top = display.makeTopLevel();
  ASSERT_TRUE(gui->create(host.plugin, CLAP_WINDOW_API_X11, false));
  ASSERT_TRUE(embed(top));
  run(100);
  clickAt(top, 130, 104);  // the link switch
  auto events = host.takeOutput();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[0].type, CLAP_EVENT_PARAM_GESTURE_BEGIN);
  EXPECT_EQ(events[1].type, CLAP_EVENT_PARAM_VALUE);
  EXPECT_EQ(events[2].type, CLAP_EVENT_PARAM_GESTURE_END);
  for (const OutputEvent& e : events) EXPECT_EQ(e.param, 2u);
  EXPECT_EQ(events[1].value, 1.0);
  EXPECT_EQ(host.value(2), 1.0);

  ASSERT_TRUE(host.activate(44100.0));
  clickAt(top, 170, 104);  // detection, while active: the events come with the next block
  std::vector<float> silence(64), out(64);
  host.process(silence.data(), silence.data(), out.data(), out.data(), 64);
  events = host.takeOutput();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].param, 3u);
  EXPECT_EQ(host.restartRequests, 1);
  PanelState state;
  state.link = state.isp = 1.0f;
  EXPECT_EQ(capture(top), offscreenPanel(state));
  gui->destroy(host.plugin);
}

// Hosts call the GUI entries in many orders: hidden and shown again, shown
// before the parent is known, given another parent, destroyed while shown,
// created again. Each time exactly one window stands where it should.
TEST_F(ClapWindow, EveryOrderOfTheGuiCallsLeavesOneWindow) {
  const ::Window first = display.makeTopLevel();
  const ::Window second = display.makeTopLevel();
  XMoveWindow(display.get(), second, 520, 420);  // beside the first, not over it
  const auto panel = offscreenPanel({});
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(gui->create(host.plugin, CLAP_WINDOW_API_X11, false));
    EXPECT_TRUE(gui->show(host.plugin));  // before the parent: shown once it comes
    ASSERT_TRUE(embed(first));
    run(80);
    EXPECT_EQ(capture(first), panel);
    EXPECT_TRUE(gui->hide(host.plugin));
    EXPECT_TRUE(display.children(first).empty());
    EXPECT_TRUE(host.timers.empty());
    EXPECT_TRUE(gui->show(host.plugin));
    EXPECT_TRUE(gui->show(host.plugin));
    run(80);
    EXPECT_EQ(capture(first), panel);
    ASSERT_TRUE(embed(second));
    run(80);
    EXPECT_TRUE(display.children(first).empty());
    EXPECT_EQ(capture(second), panel);
    EXPECT_EQ(host.timers.size(), 1u);
    EXPECT_EQ(host.descriptors.size(), 1u);
    gui->destroy(host.plugin);
    EXPECT_TRUE(display.children(second).empty());
    EXPECT_TRUE(host.descriptors.empty());
  }
}

}  // namespace
}  // namespace windowtest
