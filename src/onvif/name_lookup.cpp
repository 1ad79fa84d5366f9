#include "onvif/name_lookup.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/error.h"
#include "onvif/call_deadline.h"
#include "onvif/messages.h"
#include "platform/network.h"
#include "platform/threads.h"

namespace zorvane {

namespace {

// How often a waiting caller looks whether its work was cancelled.
constexpr long kLookupPollMs = 50;

struct TLookup {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  std::vector<THostAddress> Addresses;
};

bool IsAddress(const std::string& host) {
  return IsIPv4Address(host) || IsIPv6Address(host);
}

// The addresses, each once; none when the name is unknown. Runs on the
// lookup's own thread, so it throws nothing.
std::vector<THostAddress> ResolvedAddresses(const std::string& host) noexcept {
  try {
    std::vector<THostAddress> addresses;
    for (THostAddress& a : LookupHost(host, TAddressFamily::Any)) {
      const bool repeat = std::any_of(addresses.begin(), addresses.end(), [&](const auto& known) {
        return known.Text == a.Text && known.IPv6 == a.IPv6;
      });
      if (!repeat) addresses.push_back(std::move(a));
    }
    return addresses;
  } catch (...) {
    return {};
  }
}

void Lookup(const std::shared_ptr<TLookup>& state, const std::string& host) {
  std::vector<THostAddress> addresses = ResolvedAddresses(host);
  std::lock_guard<std::mutex> lock(state->Mutex);
  state->Addresses = std::move(addresses);
  state->Finished = true;
  state->Done.notify_all();
}

}  // namespace

THostLookup ResolveWithin(const std::string& host, long timeoutMs) {
  std::string bare = host;
  if (bare.size() > 2 && bare.front() == '[' && bare.back() == ']')
    bare = bare.substr(1, bare.size() - 2);
  if (bare.empty() || IsAddress(bare)) return {};
  auto state = std::make_shared<TLookup>();
  // The thread keeps the add-in loaded until it ends: unloading while a
  // lookup hangs in the system's resolver neither waits for it nor leaves
  // it to return into code that is gone.
  try {
    StartDetachedThread([state, bare] { Lookup(state, bare); });
  } catch (...) {
    throw Error(msg::CannotStartNameLookup(bare));
  }
  // Waited for in short steps, so that a cancelled search stops waiting.
  const TDeadline end{std::chrono::milliseconds(timeoutMs)};
  std::unique_lock<std::mutex> lock(state->Mutex);
  while (!state->Finished) {
    lock.unlock();
    TCallCancel::ThrowIfCancelled();
    lock.lock();
    const long left = end.RemainingMs();
    if (left <= 0) return {TLookupOutcome::TimedOut, {}};
    state->Done.wait_for(lock, std::chrono::milliseconds(std::min(left, kLookupPollMs)));
  }
  if (state->Addresses.empty()) return {TLookupOutcome::NotFound, {}};
  return {TLookupOutcome::Found, std::move(state->Addresses)};
}

}  // namespace zorvane
