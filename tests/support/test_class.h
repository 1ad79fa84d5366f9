// A small class registered only in the test library, so the binding (registry,
// dispatch, trace, error paths) can be exercised for real through the host.
#pragma once

#include "v8napi/registry.h"

namespace zorvane::testing {

// Registers "test", "test2" (the same class under a second name) and "broken"
// (whose constructor fails).
void RegisterTestClasses(TClassRegList& registry);

}  // namespace zorvane::testing
