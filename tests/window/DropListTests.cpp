// Which paths a dropped file list turns into, without any X server.

#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "gui/platform/x11/X11DragContainer.h"

namespace {

using VSTGUI::CDragContainer;
using VSTGUI::platform::x11::X11DragContainer;
using Paths = std::vector<std::string>;

TEST(DropList, OnlyLocalFilesComeThroughDecoded) {
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  const std::string list = std::string("# a comment line\r\n") +
                           "file:///tmp/a%20b%C3%BC.wav\r\n"      // spaces and UTF-8, escaped
                           "file://localhost/tmp/two.wav\r\n"
                           "file://" + host + "/tmp/three.wav\r\n" +
                           "file:/tmp/four.wav\n"                 // the short form, bare newline
                           "FILE:///tmp/five.wav#fragment\r\n"
                           "file://elsewhere.example/tmp/remote.wav\r\n"
                           "http://example.com/x.wav\r\n"
                           "file:///tmp/bad%00name\r\n"           // no NUL inside a path
                           "file:///tmp/100%\r\n"                 // a lone percent stays
                           "\r\n";
  EXPECT_EQ(X11DragContainer::localPaths(list),
            (Paths{"/tmp/a bü.wav", "/tmp/two.wav", "/tmp/three.wav", "/tmp/four.wav", "/tmp/five.wav",
                   "/tmp/100%"}));
  EXPECT_TRUE(X11DragContainer::localPaths("").empty());
}

TEST(DropList, LinksAreHandedOutAsTheirTargets) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/quelmar-links-XXXXXX";
  ASSERT_TRUE(mkdtemp(pattern));
  const std::string dir = pattern;
  std::ofstream(dir + "/real.wav") << "x";
  fs::create_directory(dir + "/sub");
  fs::create_symlink("../real.wav", dir + "/sub/relative.wav");
  fs::create_symlink(dir + "/missing.wav", dir + "/dangling.wav");
  fs::create_symlink(dir + "/sub", dir + "/linked-dir");
  char resolved[PATH_MAX];
  ASSERT_TRUE(realpath((dir + "/real.wav").c_str(), resolved));
  const Paths paths = X11DragContainer::localPaths("file://" + dir + "/sub/relative.wav\r\nfile://" + dir +
                                                   "/dangling.wav\r\nfile://" + dir + "/linked-dir/real.wav\r\n");
  // A relative link resolves against its own folder; a dangling one is
  // handed out as it is; a link among the folders of a plain file is left.
  EXPECT_EQ(paths, (Paths{resolved, dir + "/dangling.wav", dir + "/linked-dir/real.wav"}));
  fs::remove_all(dir);
}

TEST(DropList, TheContainerHandsOutItemsOneAtATime) {
  auto* container = new X11DragContainer(false);
  X11DragContainer& drag = *container;
  std::int32_t size = -5, type = -5;
  EXPECT_EQ(drag.itemCount(), 0);  // before the data arrives
  EXPECT_EQ(drag.firstItem(size, type), nullptr);
  EXPECT_EQ(type, CDragContainer::kNoItem);
  // Items and their types as dropped are seen through real drops; here what
  // comes after the last item, and a second pass.
  drag.setFiles({"/a", "/bc"});
  EXPECT_STREQ(drag.firstItem(size, type), "/a");
  EXPECT_STREQ(drag.nextItem(size, type), "/bc");
  EXPECT_EQ(size, 3);
  EXPECT_EQ(drag.nextItem(size, type), nullptr);
  EXPECT_EQ(size, 0);
  EXPECT_EQ(type, CDragContainer::kNoItem);
  EXPECT_STREQ(drag.firstItem(size, type), "/a");
  container->release();
}

}  // namespace
