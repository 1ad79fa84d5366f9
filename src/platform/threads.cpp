#include "platform/threads.h"

#include <utility>

namespace zorvane {

TJoinableThread::TJoinableThread() = default;

TJoinableThread::~TJoinableThread() {
  Join();
}

TJoinableThread::TJoinableThread(TJoinableThread&& other) noexcept
    : FHandle(other.FHandle), FRunning(std::exchange(other.FRunning, false)) {}

TJoinableThread& TJoinableThread::operator=(TJoinableThread&& other) noexcept {
  if (this != &other) {
    Join();
    FHandle = other.FHandle;
    FRunning = std::exchange(other.FRunning, false);
  }
  return *this;
}

}  // namespace zorvane
