// Opening and closing the editor's window the ways hosts do it, including
// the careless ways, without an X error reaching the host or a crash.

#include "OffscreenPanel.h"
#include "PluginHost.h"

namespace windowtest {
namespace {

int hostErrors = 0;
int countHostError(Display*, XErrorEvent*) {
  ++hostErrors;
  return 0;
}

class WindowLifecycle : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display.get()) << "no X server";
    hostErrors = 0;
    previous = XSetErrorHandler(&countHostError);
  }
  void TearDown() override {
    // Every editor is closed: the host's handler is the installed one again.
    EXPECT_EQ(XSetErrorHandler(previous), &countHostError);
  }
  // A request that fails on the host's own connection.
  void causeHostError() {
    XMapWindow(display.get(), 0x7FFFFFF);
    XSync(display.get(), False);
  }
  std::size_t editorWindows(::Window top) { return display.children(top).size(); }

  HostDisplay display;
  XErrorHandler previous = nullptr;
};

TEST_F(WindowLifecycle, ReopeningAndOpeningTwiceLeaveOneWorkingWindow) {
  PluginHost plugin;
  const ::Window top = display.makeTopLevel();
  const auto reference = offscreenPanel({});
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(plugin.open(top));
    if (round == 1) {
      ASSERT_TRUE(plugin.open(top));  // a second open without a close
    }
    run(display, {&plugin}, 80);
    ASSERT_EQ(editorWindows(top), 1u) << "round " << round;
    EXPECT_EQ(display.capture(display.children(top)[0], kEditorWidth, kEditorHeight), reference);
    plugin.close();
    XSync(display.get(), False);
    EXPECT_EQ(editorWindows(top), 0u);
  }
  EXPECT_EQ(hostErrors, 0);
  causeHostError();
  EXPECT_EQ(hostErrors, 1) << "the host's errors must still reach its handler";
}

// Some hosts destroy their window before they close the editor; the editor's
// window goes with it, and the close must not touch it again.
TEST_F(WindowLifecycle, TheHostMayDestroyItsWindowBeforeTheClose) {
  PluginHost plugin;
  // With idle requests in between, which read the destruction...
  ::Window top = display.makeTopLevel();
  ASSERT_TRUE(plugin.open(top));
  run(display, {&plugin}, 60);
  XDestroyWindow(display.get(), top);
  XSync(display.get(), False);
  run(display, {&plugin}, 60);
  plugin.close();
  // ...and without, where the close finds out by itself.
  top = display.makeTopLevel();
  ASSERT_TRUE(plugin.open(top));
  run(display, {&plugin}, 60);
  XDestroyWindow(display.get(), top);
  XSync(display.get(), False);
  plugin.close();
  // The editor opens again in a new window afterwards.
  top = display.makeTopLevel();
  ASSERT_TRUE(plugin.open(top));
  run(display, {&plugin}, 80);
  EXPECT_EQ(editorWindows(top), 1u);
  EXPECT_EQ(hostErrors, 0);
  plugin.close();
}

TEST_F(WindowLifecycle, TwoEditorsAtOnceEachKeepTheirOwnInput) {
  PluginHost first, second;
  const ::Window topA = display.makeTopLevel();
  ASSERT_TRUE(first.open(topA));
  // The second window stands beside the first.
  const ::Window topB = display.makeTopLevel();
  XMoveWindow(display.get(), topB, kTopLeftX + 420, kTopLeftY);
  XSync(display.get(), False);
  ASSERT_TRUE(second.open(topB));
  run(display, {&first, &second}, 100);
  ASSERT_EQ(editorWindows(topA), 1u);
  ASSERT_EQ(editorWindows(topB), 1u);

  clickAt(display, {&first, &second}, display.children(topB)[0], 170, 104);  // the ISP switch of the second
  EXPECT_TRUE(first.edits().empty());
  ASSERT_EQ(second.edits().size(), 3u);
  PanelState ispOn;
  ispOn.isp = 1.0f;
  EXPECT_EQ(display.capture(display.children(topA)[0], kEditorWidth, kEditorHeight), offscreenPanel({}));
  EXPECT_EQ(display.capture(display.children(topB)[0], kEditorWidth, kEditorHeight), offscreenPanel(ispOn));

  // The instance with the editor open is closed by the host.
  EXPECT_EQ(first->close(), 1);
  run(display, {&second}, 60);
  EXPECT_EQ(editorWindows(topA), 0u);
  EXPECT_EQ(editorWindows(topB), 1u);
  second.close();
  EXPECT_EQ(hostErrors, 0);
}

// A host may hand over anything as its window.
TEST_F(WindowLifecycle, AParentThatIsNoWindowGivesAnEditorWithoutOne) {
  PluginHost plugin;
  EXPECT_TRUE(plugin.open(0x7FFFFFF));
  run(display, {&plugin}, 40);
  plugin.close();
  EXPECT_EQ(hostErrors, 0);
}

}  // namespace
}  // namespace windowtest
