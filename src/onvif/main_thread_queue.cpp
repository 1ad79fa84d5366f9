#include "onvif/main_thread_queue.h"

#include "common/never_destroyed.h"

namespace zorvane {

TMainThreadQueue& TMainThreadQueue::Instance() {
  static NeverDestroyed<TMainThreadQueue> queue;
  return queue.get();
}

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

TLogMessageBus& TLogMessageBus::Instance() {
  static NeverDestroyed<TLogMessageBus> bus;
  return bus.get();
}

int TLogMessageBus::Subscribe(TListener listener) {
  std::lock_guard<std::mutex> guard(FLock);
  FListeners.emplace_back(FNextId, std::move(listener));
  return FNextId++;
}

void TLogMessageBus::Unsubscribe(int id) {
  std::lock_guard<std::mutex> guard(FLock);
  std::erase_if(FListeners, [&](const auto& l) { return l.first == id; });
}

void TLogMessageBus::Post(const std::string& msg) {
  TMainThreadQueue::Instance().Post([this, msg] {
    std::vector<TListener> listeners;
    {
      std::lock_guard<std::mutex> guard(FLock);
      for (const auto& l : FListeners) listeners.push_back(l.second);
    }
    for (const auto& listener : listeners) listener(msg);
  });
}

}  // namespace zorvane
