// Work that other threads hand to the thread that owns a search: the
// receiver's datagrams and the log texts of the probe. Each probe has a queue
// of its own, so one search never runs another's work; the owning thread
// serves it while it waits (TONVIFProbe::Execute) or from its own loop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace zorvane {

class TMainThreadQueue {
 public:
  // Hands work over without waiting.
  void Post(std::function<void()> work);
  // Hands work over and waits until the serving thread has run it.
  void Send(std::function<void()> work);
  // Runs what is queued; waits up to timeout for something to arrive first.
  // Returns whether anything ran.
  bool Serve(std::chrono::milliseconds timeout);

 private:
  std::mutex FLock;
  std::condition_variable FArrived;
  std::deque<std::function<void()>> FWork;
};

}  // namespace zorvane
