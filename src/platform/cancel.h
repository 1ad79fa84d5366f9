// Cancelling work from another thread, and the end of a time limit: what
// the HTTP exchange, the name lookups and the waits of the layers above need
// to stop early or on time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "platform/network.h"

namespace zorvane {

// Lets one thread stop the camera work of others at once: waits end early,
// open connections are shut (so a blocked transfer returns now) and new ones
// are refused. Shared by the owner and every exchange that registered a
// connection with it.
class TCancelSource {
 public:
  void Cancel();
  bool Cancelled() const;
  // Waits up to timeout; false when cancelled (before or meanwhile).
  bool Sleep(std::chrono::milliseconds timeout);
  // A connection to shut when cancelled; false (and nothing kept) when
  // cancelled already. A descriptor given as int registers as it is.
  bool Register(TSocketHandle socket);
  // Called before the connection is closed.
  void Unregister(TSocketHandle socket);

 private:
  mutable std::mutex FLock;
  std::condition_variable FCancelledSignal;
  bool FCancelled = false;
  std::set<TSocketHandle> FSockets;
};

// The end of a time limit on the steady clock; a plain value, which a
// thread_local may hold (no destructor).
class TDeadline {
 public:
  using TClock = std::chrono::steady_clock;

  constexpr TDeadline() = default;  // passed already
  explicit TDeadline(std::chrono::milliseconds budget) : FEnd(TClock::now() + budget) {}

  TClock::time_point End() const { return FEnd; }
  // Milliseconds until the end; 0 or less once it has passed.
  long RemainingMs() const {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(FEnd - TClock::now()).count());
  }
  bool Passed() const { return TClock::now() >= FEnd; }
  bool operator<(const TDeadline& other) const { return FEnd < other.FEnd; }

 private:
  TClock::time_point FEnd{};
};

}  // namespace zorvane
