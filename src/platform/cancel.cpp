#include "platform/cancel.h"

namespace zorvane {

void TCancelSource::Cancel() {
  std::lock_guard<std::mutex> lock(FLock);
  FCancelled = true;
  // Still open: a socket leaves the set before it is closed.
  for (const TSocketHandle s : FSockets) ShutdownSocket(s);
  FCancelledSignal.notify_all();
}

bool TCancelSource::Cancelled() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FCancelled;
}

bool TCancelSource::Sleep(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(FLock);
  return !FCancelledSignal.wait_for(lock, timeout, [this] { return FCancelled; });
}

bool TCancelSource::Register(TSocketHandle socket) {
  std::lock_guard<std::mutex> lock(FLock);
  if (FCancelled) return false;
  FSockets.insert(socket);
  return true;
}

void TCancelSource::Unregister(TSocketHandle socket) {
  std::lock_guard<std::mutex> lock(FLock);
  FSockets.erase(socket);
}

}  // namespace zorvane
