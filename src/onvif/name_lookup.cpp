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
  std::string Addresses;
};

bool IsAddress(const std::string& host) {
  return IsIPv4Address(host) || IsIPv6Address(host);
}

// The addresses as libcurl takes them: IPv6 ones in brackets, each once;
// empty when the name is unknown. Runs on the lookup's own thread, so it
// throws nothing.
std::string ResolvedAddresses(const std::string& host) noexcept {
  try {
    std::string addresses;
    for (const THostAddress& a : LookupHost(host, TAddressFamily::Any)) {
      const std::string address = a.IPv6 ? "[" + a.Text + "]" : a.Text;
      // Whole entries compared: "10.0.0.1" is not a repeat of "10.0.0.15".
      if (("," + addresses + ",").find("," + address + ",") != std::string::npos) continue;
      if (!addresses.empty()) addresses += ',';
      addresses += address;
    }
    return addresses;
  } catch (...) {
    return {};
  }
}

void Lookup(const std::shared_ptr<TLookup>& state, const std::string& host) {
  std::string addresses = ResolvedAddresses(host);
  std::lock_guard<std::mutex> lock(state->Mutex);
  state->Addresses = std::move(addresses);
  state->Finished = true;
  state->Done.notify_all();
}

}  // namespace

std::string ResolveWithin(const std::string& host, long timeoutMs) {
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
    throw Error("Could not start a name lookup for " + bare);
  }
  // Waited for in short steps, so that a cancelled search stops waiting.
  const TDeadline end{std::chrono::milliseconds(timeoutMs)};
  std::unique_lock<std::mutex> lock(state->Mutex);
  while (!state->Finished) {
    lock.unlock();
    TCallCancel::ThrowIfCancelled();
    lock.lock();
    const long left = end.RemainingMs();
    if (left <= 0) {
      throw TLookupTimedOut("Resolving " + bare + " timed out after " + std::to_string(timeoutMs) +
                            " milliseconds");
    }
    state->Done.wait_for(lock, std::chrono::milliseconds(std::min(left, kLookupPollMs)));
  }
  if (state->Addresses.empty()) throw Error("Could not resolve host: " + bare);
  return state->Addresses;
}

}  // namespace zorvane
