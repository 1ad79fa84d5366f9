// Load and unload hooks of the test library: the shipped library's code with
// the test classes registered instead of the driver.
#include "tests/support/test_class.h"
#include "v8napi/component.h"

namespace {

__attribute__((constructor)) void OnLibraryLoad() {
  try {
    zorvane::LibraryLoad(&zorvane::testing::RegisterTestClasses);
  } catch (...) {
  }
}

__attribute__((destructor)) void OnLibraryUnload() {
  zorvane::LibraryUnload();
}

}  // namespace
