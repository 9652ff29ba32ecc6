#pragma once

// The items of a drop from another X client, as views see them: local file
// paths or one text, handed out one at a time as UTF-8.

#include <string>
#include <string_view>
#include <vector>

#include "../../CDragContainer.h"

namespace VSTGUI::platform::x11 {

class X11DragContainer final : public CDragContainer {
 public:
  // offersText: the source offers text but no file list. The items
  // themselves arrive only with the drop.
  explicit X11DragContainer(bool offersText);

  void setFiles(std::vector<std::string> paths);
  void setText(std::string utf8);

  const char* firstItem(std::int32_t& size, std::int32_t& type) override;
  const char* nextItem(std::int32_t& size, std::int32_t& type) override;
  std::int32_t itemType(std::int32_t index) override;
  std::int32_t itemCount() override;

  // The local files of a text/uri-list, percent-decoded, with symbolic links
  // replaced by what they point to. Other URIs are left out.
  static std::vector<std::string> localPaths(std::string_view uriList);

 private:
  bool text;
  std::vector<std::string> items;
  std::int32_t nextIndex = 0;
  std::string current;
};

}  // namespace VSTGUI::platform::x11
