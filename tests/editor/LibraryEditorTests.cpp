// The editor through the built Quelmar.so, as a host drives it: a host that
// opens it without a window of its own (null) must still get a working editor
// and no crash. The window itself is tested in tests/window.

#include "host/HostedPlugin.h"
#include "host/PluginLibrary.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::unique_ptr<host::HostedPlugin> makeQuelmar() {
  static std::unique_ptr<host::PluginLibrary> library = [] {
    std::string error;
    auto opened = host::PluginLibrary::open(QUELMAR_PLUGIN_PATH, error);
    if (!opened) ADD_FAILURE() << error;
    return opened;
  }();
  std::string error;
  auto plugin = library ? host::HostedPlugin::create(*library, {}, error) : nullptr;
  if (!plugin) ADD_FAILURE() << error;
  return plugin;
}

TEST(LibraryEditor, OpensIdlesAndClosesAnyNumberOfTimes) {
  auto plugin = makeQuelmar();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->effect()->flags, 0x19);
  ERect* rect = nullptr;
  ASSERT_EQ(plugin->dispatch(effEditGetRect, 0, 0, &rect), 1);
  EXPECT_EQ(rect->right - rect->left, 340);
  EXPECT_EQ(rect->bottom - rect->top, 215);
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(plugin->dispatch(effEditOpen), 1);
    plugin->setParameter(0, 0.25f * round);
    for (int i = 0; i < 3; ++i) plugin->dispatch(effEditIdle);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 13), 0);  // no view has the focus
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
  }
  EXPECT_EQ(plugin->countRequests(audioMasterAutomate), 0u);
  EXPECT_EQ(plugin->dispatch(effEditKeyDown, 0, 13), 0);
}

TEST(LibraryEditor, AHostMayCloseTheInstanceWithTheEditorOpen) {
  auto plugin = makeQuelmar();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->dispatch(effEditOpen), 1);
  EXPECT_EQ(plugin->dispatch(effEditOpen), 1);  // twice without a close
  plugin->dispatch(effEditIdle);
  EXPECT_EQ(plugin->close(), 1);
}

}  // namespace
