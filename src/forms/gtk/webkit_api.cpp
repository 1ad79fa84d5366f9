#include "forms/gtk/webkit_api.h"

#include <mutex>
#include <vector>

#include "common/never_destroyed.h"
#include "forms/messages.h"
#include "platform/library_binding.h"

namespace zorvane {

namespace {

constexpr char kWebKit41[] = "libwebkit2gtk-4.1.so.0";  // libsoup 3
constexpr char kWebKit40[] = "libwebkit2gtk-4.0.so.37";  // libsoup 2

struct TWebKitBinding {
  TRuntimeLibrary Library;
  TWebKit Table;
  bool Tried = false;
  bool Bound = false;
  std::string Failure;
};

std::mutex gLock;

// Kept to the end of the process, as GTK is.
TWebKitBinding& Binding() {
  static NeverDestroyed<TWebKitBinding> binding;
  return binding.get();
}

}  // namespace

void ReleaseWebKitBinding() {
  const std::lock_guard<std::mutex> lock(gLock);
  Binding().Library.ReleaseText();
  ResetAndRelease(Binding().Failure);
}

const TWebKit* WebKit(std::string& why) {
  const std::lock_guard<std::mutex> lock(gLock);
  TWebKitBinding& b = Binding();
  if (!b.Tried) {
    b.Tried = true;
    // One already in the process is the one to use; else the one whose
    // libsoup does not clash with the process's.
    std::vector<const char*> candidates;
    if (TRuntimeLibrary::IsLoaded(kWebKit41) || TRuntimeLibrary::IsLoaded(kWebKit40)) {
      b.Library.OpenLoaded({kWebKit41, kWebKit40});
    } else if (TRuntimeLibrary::IsLoaded("libsoup-2.4.so.1")) {
      if (!b.Library.Open({kWebKit40})) b.Failure = msg::kLibsoup2WithoutWebKit40;
    } else if (TRuntimeLibrary::IsLoaded("libsoup-3.0.so.0")) {
      if (!b.Library.Open({kWebKit41})) b.Failure = msg::kLibsoup3WithoutWebKit41;
    } else if (!b.Library.Open({kWebKit40, kWebKit41})) {
      // Neither yet: 4.0 first where it is installed, since a platform
      // client that shows HTML itself loads that one (and libsoup 2) later.
      b.Failure = msg::NoWebKit(b.Library.Error());
    }
    if (b.Library.IsOpen()) {
      bool bound = true;
#define ZORVANE_WEBKIT_BIND(name) bound = bound && b.Library.Bind(b.Table.name, #name);
      ZORVANE_WEBKIT_FUNCTIONS(ZORVANE_WEBKIT_BIND)
#undef ZORVANE_WEBKIT_BIND
      b.Bound = bound;
      b.Table.Library = b.Library.Name() == kWebKit41 ? kWebKit41 : kWebKit40;
      if (!bound) b.Failure = msg::LibraryUnfitLower(b.Library.Name(), b.Library.Error());
    }
  }
  if (!b.Bound) {
    why = b.Failure;
    return nullptr;
  }
  return &b.Table;
}

}  // namespace zorvane
