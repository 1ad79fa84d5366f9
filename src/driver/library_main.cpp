// The add-in library's start and end: fills the class registry when the
// platform loads the library and empties it when the platform unloads it.
#include "common/log_writer.h"
#include "v8napi/component.h"

namespace {

void RegisterLibraryClasses(zorvane::TClassRegList&) {
  // The camera driver class registers here.
}

__attribute__((constructor)) void OnLibraryLoad() {
  try {
    zorvane::LibraryLoad(&RegisterLibraryClasses);
  } catch (...) {
    // A library that cannot register answers GetClassObject with 0.
  }
}

__attribute__((destructor)) void OnLibraryUnload() { zorvane::LibraryUnload(); }

}  // namespace
