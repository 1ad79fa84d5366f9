// Threads the add-in starts, and what the process is doing when the
// add-in's module is let go.
#pragma once

#include <cstdint>
#include <functional>

namespace zorvane {

// Runs work on a thread of its own, never joined; an exception of work ends
// only that work. The thread holds a reference to the add-in's library and
// gives it back as its very last act, after its own code has returned, so
// the library stays mapped while the thread runs, whatever the platform
// unloads meanwhile, and unloading never waits for it. Throws when no
// thread can be started.
void StartDetachedThread(std::function<void()> work);

// A thread whose owner waits for its end: once Join (or the destructor) has
// returned, nothing of the thread runs any more, its hold on the library
// given back too. A process that exits right after a stop then finds no
// thread of ours still letting go of the library, which would race the
// exit's own run of the library's destructors. The thread holds the library
// as a detached one does, so an owner never destroyed does no harm.
class TJoinableThread {
 public:
  TJoinableThread();
  // Starts work; an exception of work ends only that work. Throws when no
  // thread can be started.
  explicit TJoinableThread(std::function<void()> work);
  ~TJoinableThread();
  TJoinableThread(TJoinableThread&& other) noexcept;
  TJoinableThread& operator=(TJoinableThread&& other) noexcept;

  // Waits for the thread's end; nothing when no thread is running, or when
  // the process is ending (ProcessIsExiting).
  void Join() noexcept;

 private:
  // The system's handle of the thread (pthread_t, HANDLE), while it is ours.
  uint64_t FHandle = 0;
  bool FRunning = false;
};

// Whether the whole process is ending: on Windows, ExitProcess has begun and
// every other thread is already gone, so nothing may be waited for. Never
// on Linux, where a library is unloaded or the process exits with its
// threads still running.
bool ProcessIsExiting();

}  // namespace zorvane
