// Cancelling work from another thread, for the HTTP exchange and for the
// waits of the layers above: the source, and the connections registered
// with it.
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

}  // namespace zorvane
