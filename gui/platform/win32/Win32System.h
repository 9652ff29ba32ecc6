#pragma once

// What the Windows platform files share among themselves.

#include <windows.h>

#include <string>

namespace VSTGUI::platform::win32 {

// The module (DLL or executable) this framework is linked into: its
// resources, its window class.
HMODULE thisModule();

// The user's primary/secondary button swap, read when the window class is
// registered.
void setButtonsSwapped(bool swapped);

// UTF-8 to UTF-16 and back; text that does not convert gives an empty string.
std::wstring widen(const char* utf8);
std::string narrow(const wchar_t* utf16);

}  // namespace VSTGUI::platform::win32
