#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "../../CDragContainer.h"

namespace VSTGUI {

// The data of a system drag: dropped files (shortcuts resolved to their
// targets) or Unicode text, handed out one item at a time as UTF-8. The data
// object belongs to the system and is not retained.
class WinDragContainer final : public CDragContainer {
 public:
  explicit WinDragContainer(IDataObject* data);
  ~WinDragContainer() override;

  const char* firstItem(std::int32_t& size, std::int32_t& type) override;
  const char* nextItem(std::int32_t& size, std::int32_t& type) override;
  std::int32_t itemType(std::int32_t index) override;
  std::int32_t itemCount() override;

  // Replaces a path ending in ".lnk" (any case) by the shortcut's target in
  // short form; leaves the buffer as it was when anything fails. The buffer
  // holds kPathCapacity wide characters.
  static constexpr int kPathCapacity = 2048;
  static void resolveShortcut(wchar_t* path);

 private:
  IDataObject* data;
  std::int32_t count = 0;
  std::int32_t nextIndex = 0;
  std::string current;
  bool hasCurrent = false;
};

}  // namespace VSTGUI
