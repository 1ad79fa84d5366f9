#include "onvif/main_thread_queue.h"

#include <future>
#include <memory>

namespace zorvane {

void TMainThreadQueue::Post(std::function<void()> work) {
  {
    std::lock_guard<std::mutex> guard(FLock);
    FWork.push_back(std::move(work));
  }
  FArrived.notify_all();
}

void TMainThreadQueue::Send(std::function<void()> work) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  Post([work = std::move(work), done] {
    try {
      work();
    } catch (...) {
    }
    done->set_value();
  });
  finished.wait();
}

bool TMainThreadQueue::Serve(std::chrono::milliseconds timeout) {
  std::deque<std::function<void()>> batch;
  {
    std::unique_lock<std::mutex> lock(FLock);
    FArrived.wait_for(lock, timeout, [&] { return !FWork.empty(); });
    batch.swap(FWork);
  }
  for (auto& work : batch) {
    try {
      work();
    } catch (...) {
      // A failing hand-off ends only itself.
    }
  }
  return !batch.empty();
}

}  // namespace zorvane
