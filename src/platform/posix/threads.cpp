#include "platform/threads.h"

#include <thread>

namespace zorvane {

void StartDetachedThread(std::function<void()> work) {
  std::thread([work = std::move(work)] {
    try {
      work();
    } catch (...) {
    }
  }).detach();
}

bool ProcessIsExiting() {
  return false;
}

}  // namespace zorvane
