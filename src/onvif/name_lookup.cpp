#include "onvif/name_lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/error.h"
#include "onvif/call_deadline.h"

namespace zorvane {

namespace {

constexpr std::chrono::seconds kUnloadWait{30};  // the resolver's own longest wait

struct TLookup {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  int Result = 0;
  std::string Addresses;
};

std::mutex gRunningMutex;
std::condition_variable gRunningDone;
int gRunning = 0;

bool IsAddress(const std::string& host) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

void Lookup(const std::shared_ptr<TLookup>& state, const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  std::string addresses;
  for (addrinfo* a = found; rc == 0 && a; a = a->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    if (getnameinfo(a->ai_addr, a->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0)
      continue;
    const std::string address = a->ai_family == AF_INET6 ? "[" + std::string(text) + "]" : text;
    if (addresses.find(address) != std::string::npos) continue;
    if (!addresses.empty()) addresses += ',';
    addresses += address;
  }
  if (found) freeaddrinfo(found);
  std::lock_guard<std::mutex> lock(state->Mutex);
  state->Result = rc;
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
  {
    std::lock_guard<std::mutex> lock(gRunningMutex);
    ++gRunning;
  }
  try {
    std::thread([state, bare] {
      Lookup(state, bare);
      std::lock_guard<std::mutex> lock(gRunningMutex);
      --gRunning;
      gRunningDone.notify_all();
    }).detach();
  } catch (...) {
    std::lock_guard<std::mutex> lock(gRunningMutex);
    --gRunning;
    throw Error("Could not start a name lookup for " + bare);
  }
  // Waited for in short steps, so that a cancelled search stops waiting.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> lock(state->Mutex);
  while (!state->Finished) {
    lock.unlock();
    TCallCancel::ThrowIfCancelled();
    lock.lock();
    const auto now = std::chrono::steady_clock::now();
    if (now >= end) {
      throw Error("Resolving timed out after " + std::to_string(timeoutMs) + " milliseconds");
    }
    state->Done.wait_for(lock, std::min<std::chrono::steady_clock::duration>(
                                   end - now, std::chrono::milliseconds(50)));
  }
  if (state->Result != 0 || state->Addresses.empty())
    throw Error("Could not resolve host: " + bare);
  return state->Addresses;
}

void WaitForNameLookups() {
  std::unique_lock<std::mutex> lock(gRunningMutex);
  gRunningDone.wait_for(lock, kUnloadWait, [] { return gRunning == 0; });
}

}  // namespace zorvane
