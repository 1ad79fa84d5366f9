// Threads the add-in starts and never joins, and what the process is doing
// when the add-in's module is let go.
#pragma once

#include <functional>

namespace zorvane {

// Runs work on a thread of its own, never joined; an exception of work ends
// only that work. The thread holds a reference to the add-in's library and
// gives it back as its very last act, after its own code has returned, so
// the library stays mapped while the thread runs, whatever the platform
// unloads meanwhile, and unloading never waits for it. Throws when no
// thread can be started.
void StartDetachedThread(std::function<void()> work);

// Whether the whole process is ending: on Windows, ExitProcess has begun and
// every other thread is already gone, so nothing may be waited for. Never
// on Linux, where a library is unloaded or the process exits with its
// threads still running.
bool ProcessIsExiting();

}  // namespace zorvane
