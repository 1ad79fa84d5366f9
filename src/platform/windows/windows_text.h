// What Windows-only code shares at the Windows API: UTF-8 inside the add-in,
// UTF-16 (wchar_t) at the system's wide functions, the system's own words for
// its error codes, and the module this code is part of. The one door to them
// for the Windows side of the platform layer, the Win32 windows
// (forms/win32) and their tests; no other file converts or formats these.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zorvane {

// UTF-8 as UTF-16 for the wide functions; a malformed sequence becomes U+FFFD.
std::wstring Wide(std::string_view utf8);

// UTF-16 from the wide functions as UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text);

// The system's message for a Win32 error code (GetLastError(), a WinHTTP
// error), in UTF-8, in the user's language, without its closing full stop and
// line break: "Access is denied". Codes the system has no message for give
// "error 1234".
std::string WindowsErrorText(unsigned long code);

// The module this code is linked into: the add-in DLL, or the program that
// holds the add-in's code itself (a test). No reference is added.
HMODULE ThisModule();

}  // namespace zorvane
