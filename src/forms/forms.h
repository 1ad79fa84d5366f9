// The driver's windows. Each is shown modally on the calling thread and the
// call returns when it closes; a window that cannot be shown here (no
// display, no GTK 3, a build without windows) throws Error saying why.
#pragma once

#include <functional>
#include <string>

namespace zorvane {

// The camera search window (and from it the camera details windows).
void ShowCameraSearch();
// The log viewer.
void ShowLogViewer();

// For tests: called on the window's thread once each window (message boxes
// included) is shown, with the toolkit's window and its title; the window
// runs its own loop meanwhile, so the hook may drive it and close it.
using TWindowShownHook = std::function<void(void* window, const std::string& title)>;
void SetWindowShownHook(TWindowShownHook hook);

}  // namespace zorvane
