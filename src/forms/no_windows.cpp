// A build without windows (for headless servers): the window actions fail
// with a message that says so.
#include "common/error.h"
#include "forms/forms.h"
#include "forms/messages.h"

namespace zorvane {

namespace {

[[noreturn]] void Unavailable(const char* caption) {
  throw Error(msg::WindowCannotBeShown(caption, msg::kNoWindowsInThisBuild));
}

}  // namespace

void ShowCameraSearch() {
  Unavailable(msg::kCameraSearchTitle);
}

void ShowLogViewer() {
  Unavailable(msg::kLogViewerTitle);
}

bool ShowDocument(const std::string&, const std::string& caption) {
  Unavailable(caption.c_str());
}

void RequireDocumentWindow(const std::string& caption) {
  Unavailable(caption.c_str());
}

void SetWindowShownHook(TWindowShownHook) {}

void ReleaseWindowBindings() {}

}  // namespace zorvane
