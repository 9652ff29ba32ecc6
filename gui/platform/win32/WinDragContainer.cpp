#include "WinDragContainer.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>

#include "Win32System.h"

namespace VSTGUI {

namespace {

FORMATETC formatOf(CLIPFORMAT format) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

FORMATETC unicodeText = formatOf(CF_UNICODETEXT);
FORMATETC fileDrop = formatOf(CF_HDROP);

bool offersText(IDataObject* data) { return data->QueryGetData(&unicodeText) == S_OK; }

// Shell link class and interface, and the persist-file interface it offers.
const CLSID kShellLinkClass = {0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID kPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace

WinDragContainer::WinDragContainer(IDataObject* data_) : data(data_) {
  if (!data) return;
  if (offersText(data)) {
    count = 1;
    return;
  }
  STGMEDIUM medium{};
  if (data->GetData(&fileDrop, &medium) == S_OK) {
    if (medium.hGlobal) count = std::int32_t(DragQueryFileW(static_cast<HDROP>(medium.hGlobal), 0xFFFFFFFF, nullptr, 0));
    ReleaseStgMedium(&medium);
  }
}

WinDragContainer::~WinDragContainer() = default;

std::int32_t WinDragContainer::itemCount() { return count; }

std::int32_t WinDragContainer::itemType(std::int32_t) {
  if (!data) return kError;
  return offersText(data) ? kText : kFile;
}

const char* WinDragContainer::firstItem(std::int32_t& size, std::int32_t& type) {
  nextIndex = 0;
  return nextItem(size, type);
}

const char* WinDragContainer::nextItem(std::int32_t& size, std::int32_t& type) {
  if (!data) {
    type = kError;
    return nullptr;
  }
  current.clear();
  hasCurrent = false;
  size = 0;
  type = kNoItem;

  STGMEDIUM medium{};
  bool isText = true;
  if (data->GetData(&unicodeText, &medium) != S_OK) {
    isText = false;
    if (data->GetData(&fileDrop, &medium) != S_OK) return nullptr;
  }
  if (!medium.hGlobal) {
    ReleaseStgMedium(&medium);
    return nullptr;
  }
  const std::int32_t i = nextIndex++;

  if (!isText) {
    wchar_t path[kPathCapacity] = {};
    const UINT length = DragQueryFileW(static_cast<HDROP>(medium.hGlobal), UINT(i), path, kPathCapacity);
    ReleaseStgMedium(&medium);
    if (length == 0) return nullptr;
    resolveShortcut(path);
    current = platform::win32::narrow(path);
    hasCurrent = true;
    size = std::int32_t(current.size());
    type = kFile;
    return current.c_str();
  }

  if (i == 0) {
    const auto* text = static_cast<const wchar_t*>(GlobalLock(medium.hGlobal));
    if (text) {
      const SIZE_T bytes = GlobalSize(medium.hGlobal);
      if (bytes != 0) {
        // The memory need not end in a terminator; convert at most what it holds.
        const std::wstring bounded(text, wcsnlen(text, bytes / sizeof(wchar_t)));
        current = platform::win32::narrow(bounded.c_str());
        hasCurrent = true;
        size = std::int32_t(current.size());
        type = kUnicodeText;
      }
      GlobalUnlock(medium.hGlobal);
    }
  }
  ReleaseStgMedium(&medium);
  return hasCurrent ? current.c_str() : nullptr;
}

void WinDragContainer::resolveShortcut(wchar_t* path) {
  const wchar_t* dot = std::wcsrchr(path, L'.');
  if (!dot || _wcsicmp(dot, L".lnk") != 0) return;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkW,
                              reinterpret_cast<void**>(&link))) ||
      !link)
    return;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(kPersistFile, reinterpret_cast<void**>(&file))) && file) {
    wchar_t target[kPathCapacity] = {};
    if (SUCCEEDED(file->Load(path, 0)) && SUCCEEDED(link->Resolve(nullptr, 0x1F40003)) &&
        link->GetPath(target, kPathCapacity, nullptr, 1) == S_OK && target[0] != 0)
      std::wcscpy(path, target);
    file->Release();
  }
  link->Release();
}

}  // namespace VSTGUI
