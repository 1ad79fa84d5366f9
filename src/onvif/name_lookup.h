// Name lookups within a time limit. A system's resolver may wait far longer
// than a camera call may (10 s and more with an unanswering name server);
// here the lookup runs on a thread of its own, the caller waits only as long
// as it may, and a lookup that outlives its caller finishes alone.
#pragma once

#include <string>
#include <vector>

#include "platform/network.h"

namespace zorvane {

enum class TLookupOutcome {
  Found,     // the name has addresses (or the host is an address itself)
  NotFound,  // the resolver knows no address for the name
  TimedOut,  // the lookup took longer than it was given
};

struct THostLookup {
  TLookupOutcome Outcome = TLookupOutcome::Found;
  // Found: each address once, in the resolver's order; none for a host
  // that is an address already.
  std::vector<THostAddress> Addresses;
};

// The addresses of host (a name, an IPv4 address, or an IPv6 one in
// brackets), waited for at most timeoutMs. Throws Error only when no lookup
// can be started, and when the calling thread's work is cancelled.
THostLookup ResolveWithin(const std::string& host, long timeoutMs);

}  // namespace zorvane
