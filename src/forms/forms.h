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
// A page (an HTML file) in a window with a browser view, titled caption;
// true once that window is closed. Where no browser view can be had, the
// page goes to the user's browser and the call returns false at once (the
// page's folder must then stay).
bool ShowDocument(const std::string& htmlPath, const std::string& caption);
// Throws the error ShowDocument would where the page could be shown neither
// in a window nor in the user's browser (a build without windows; on
// Windows, no desktop to show on), before any work is done for the page.
void RequireDocumentWindow(const std::string& caption);

// At unload: the bindings of the window libraries stay (GTK cannot be
// unloaded) but give back the memory they hold.
void ReleaseWindowBindings();

// For tests: called on the window's thread once each window (message boxes
// included) is shown, with the toolkit's window and its title; the window
// runs its own loop meanwhile, so the hook may drive it and close it.
using TWindowShownHook = std::function<void(void* window, const std::string& title)>;
void SetWindowShownHook(TWindowShownHook hook);

}  // namespace zorvane
