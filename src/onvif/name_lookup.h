// Name lookups within a time limit. libcurl bounds a lookup by its connect
// limit but then waits for the system's resolver to give up (10 s and more
// with an unanswering name server); here the lookup runs on a thread of its
// own, the caller waits only as long as it may, and a lookup that outlives
// its caller finishes alone.
#pragma once

#include <string>

#include "common/error.h"

namespace zorvane {

// A lookup that took longer than it was given.
class TLookupTimedOut : public Error {
 public:
  using Error::Error;
};

// The addresses of host for libcurl's CURLOPT_RESOLVE ("10.0.0.5,[fe80::1]");
// empty for a host that is an address already. Throws Error when the name is
// unknown, TLookupTimedOut when the lookup takes longer than timeoutMs.
std::string ResolveWithin(const std::string& host, long timeoutMs);

}  // namespace zorvane
