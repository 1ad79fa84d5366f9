// Work that other threads hand to the thread that owns a search: the
// receiver's datagrams and the log texts of the probe. The owning thread
// serves the queue while it waits (TONVIFProbe::Execute) or from its own loop.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>

namespace zorvane {

class TMainThreadQueue {
 public:
  // The process-wide queue.
  static TMainThreadQueue& Instance();

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

// Log texts of the probe threads, delivered on the serving thread to every
// listener of the process.
class TLogMessageBus {
 public:
  using TListener = std::function<void(const std::string&)>;
  static TLogMessageBus& Instance();
  int Subscribe(TListener listener);
  void Unsubscribe(int id);
  // Posts the text; listeners receive it when the queue is served.
  void Post(const std::string& msg);

 private:
  std::mutex FLock;
  std::vector<std::pair<int, TListener>> FListeners;
  int FNextId = 1;
};

}  // namespace zorvane
