#include "host/PluginLibrary.h"

// The Windows loader behind PluginLibrary: LoadLibraryW and GetProcAddress.
// Paths arrive as UTF-8 and go to the system as UTF-16, so any file name the
// file system allows can be loaded.

#include <windows.h>

#include <cstdint>

namespace host {

namespace {

std::wstring widen(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(std::size_t(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), wide.data(), n);
  return wide;
}

// The system's text for an error code, as one UTF-8 line.
std::string describe(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string line;
  if (n > 0 && text) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, int(n), nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
      line.resize(std::size_t(bytes));
      WideCharToMultiByte(CP_UTF8, 0, text, int(n), line.data(), bytes, nullptr, nullptr);
    }
  }
  if (text) LocalFree(text);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ' || line.back() == '.'))
    line.pop_back();
  if (line.empty()) line = "error " + std::to_string(code);
  return line;
}

}  // namespace

std::unique_ptr<PluginLibrary> PluginLibrary::open(const std::string& path, std::string& error, bool keepMapped) {
  const std::wstring wide = widen(path);
  if (wide.empty()) {
    error = path + ": cannot load plug-in: the path is empty or not valid UTF-8";
    return nullptr;
  }
  // No message box for a missing dependency: the caller reports the error.
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryW(wide.c_str());
  const DWORD code = GetLastError();
  SetErrorMode(oldMode);
  if (module == nullptr) {
    error = path + ": cannot load plug-in: " + describe(code);
    return nullptr;
  }
  FARPROC entry = GetProcAddress(module, "VSTPluginMain");
  if (entry == nullptr) entry = GetProcAddress(module, "main");
  if (entry == nullptr) {
    FreeLibrary(module);
    error = path + ": not a VST 2.4 plug-in (no VSTPluginMain entry point)";
    return nullptr;
  }
  if (keepMapped) {
    HMODULE pinned = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(entry), &pinned);
  }
  return std::unique_ptr<PluginLibrary>(
      new PluginLibrary(module, reinterpret_cast<VSTPluginMainProc>(reinterpret_cast<void*>(entry)), path));
}

PluginLibrary::PluginLibrary(void* handle, VSTPluginMainProc entry, std::string path)
    : handle_(handle), entry_(entry), path_(std::move(path)) {}

PluginLibrary::~PluginLibrary() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* PluginLibrary::symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace host
