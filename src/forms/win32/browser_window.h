// The help page in a window that embeds the system's browser control
// (IWebBrowser2), or in the user's browser where no such control works.
#pragma once

#include <string>

#include "forms/win32/win32_window.h"

namespace zorvane::win32 {

// True once the window showing htmlPath has been closed; false when the
// page went to the user's browser instead (its folder must then stay).
bool ShowInBrowserWindow(const TWin32Call& call, const std::string& htmlPath);

}  // namespace zorvane::win32
