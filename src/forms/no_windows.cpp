// A build without windows (for headless servers): the window actions fail
// with a message that says so.
#include "common/error.h"
#include "forms/forms.h"

namespace zorvane {

namespace {

[[noreturn]] void Unavailable(const char* caption) {
  throw Error(std::string("Окно «") + caption +
              "» не может быть показано: окна недоступны в этой сборке драйвера");
}

}  // namespace

void ShowCameraSearch() {
  Unavailable("Поиск камеры");
}

void ShowLogViewer() {
  Unavailable("Просмотр лога");
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
