// Threads the add-in starts and never joins, and what the process is doing
// when the add-in's module is let go.
#pragma once

#include <functional>

namespace zorvane {

// Runs work on a thread of its own, never joined; an exception of work ends
// only that work. On Windows the thread holds a reference to the add-in's
// DLL and gives it back as it exits, so the DLL stays mapped while the
// thread runs, whatever the platform unloads meanwhile. Throws when no
// thread can be started.
void StartDetachedThread(std::function<void()> work);

// Whether the whole process is ending: on Windows, ExitProcess has begun and
// every other thread is already gone, so nothing may be waited for. Never
// on Linux, where a library is unloaded or the process exits with its
// threads still running.
bool ProcessIsExiting();

}  // namespace zorvane
