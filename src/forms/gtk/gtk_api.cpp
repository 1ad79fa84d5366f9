#include "forms/gtk/gtk_api.h"

#include <cstdlib>
#include <mutex>
#include <thread>

#include "common/error.h"
#include "common/never_destroyed.h"
#include "forms/messages.h"
#include "platform/library_binding.h"

namespace zorvane {

namespace {

struct TGtkBinding {
  TRuntimeLibrary Library;
  TGtk Table;
  bool Bound = false;
  std::string Failure;
};

// Kept to the end of the process: GTK cannot be unloaded once initialised.
TGtkBinding& Binding() {
  static NeverDestroyed<TGtkBinding> binding;
  return binding.get();
}

std::mutex gBindingLock;
std::thread::id gInitThread;  // the thread that initialised GTK, when the add-in did

bool HaveDisplayVariable() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

}  // namespace

const TGtk& Gtk(const std::string& caption) {
  const auto cannot = [&caption](const std::string& why) {
    return Error(msg::WindowCannotBeShown(caption, why));
  };
  const std::lock_guard<std::mutex> lock(gBindingLock);
  TGtkBinding& b = Binding();
  // Two major versions of GTK in one process abort it.
  if (TRuntimeLibrary::IsLoaded("libgtk-x11-2.0.so.0")) throw cannot(msg::kGtk2Loaded);
  if (TRuntimeLibrary::IsLoaded("libgtk-4.so.1")) throw cannot(msg::kGtk4Loaded);
  if (!b.Library.IsOpen()) {
    if (!b.Library.OpenLoaded({"libgtk-3.so.0"})) {
      // Without a display there is nothing to load GTK for.
      if (!HaveDisplayVariable()) throw cannot(msg::kNoDisplayVariable);
      if (!b.Library.Open({"libgtk-3.so.0"})) throw cannot(msg::NoGtk3(b.Library.Error()));
    }
    bool bound = true;
#define ZORVANE_GTK_BIND(name) bound = bound && b.Library.Bind(b.Table.name, #name);
    ZORVANE_GTK_FUNCTIONS(ZORVANE_GTK_BIND)
#undef ZORVANE_GTK_BIND
    b.Bound = bound;
    if (!bound) b.Failure = msg::LibraryUnfitLower(b.Library.Name(), b.Library.Error());
  }
  if (!b.Bound) throw cannot(b.Failure);
  const TGtk& g = b.Table;
  if (g.gtk_get_major_version() != 3) throw cannot(msg::NotGtk3(b.Library.Name()));
  if (!g.gdk_display_get_default()) {
    if (!HaveDisplayVariable()) throw cannot(msg::kNoDisplayVariable);
    // The process's locale is its owner's business.
    g.gtk_disable_setlocale();
    if (!g.gtk_init_check(nullptr, nullptr)) {
      const char* display = std::getenv("DISPLAY");
      throw cannot(msg::CannotOpenDisplay(display ? display : ""));
    }
    // Initialised here: GTK belongs to this thread from now on.
    gInitThread = std::this_thread::get_id();
  }
  return g;
}

TGtkCall::TGtkCall(const std::string& caption) {
  const TGtk& g = Gtk(caption);
  const std::string wrongThread = msg::WindowCannotBeShown(caption, msg::kNotGtkThread);
  {
    const std::lock_guard<std::mutex> lock(gBindingLock);
    if (gInitThread != std::thread::id() && gInitThread != std::this_thread::get_id())
      throw Error(wrongThread);
  }
  // GTK is used on the thread whose loop runs it, or from none yet.
  if (!g.g_main_context_acquire(nullptr)) throw Error(wrongThread);
}

TGtkCall::~TGtkCall() {
  BoundGtk().g_main_context_release(nullptr);
}

void ReleaseGtkBinding() {
  const std::lock_guard<std::mutex> lock(gBindingLock);
  Binding().Library.ReleaseText();
  ResetAndRelease(Binding().Failure);
}

const TGtk& BoundGtk() {
  return Binding().Table;
}

}  // namespace zorvane
