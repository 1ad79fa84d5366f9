// Feeds arbitrary bytes to every reader of a camera's answers: the SOAP
// answers (device information, profiles, snapshot and stream addresses, clock,
// media and Media2 addresses, faults) and the WS-Discovery matches.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/error.h"
#include "onvif/onvif_requests.h"
#include "onvif/soap_transport.h"
#include "onvif/ws_discovery.h"

using namespace zorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto guarded = [](auto&& read) {
    try {
      read();
    } catch (const Error&) {
      // Conversion errors are answers, not findings.
    }
  };
  guarded([&] {
    TDeviceInformation info;
    ParseDeviceInformation(text, info);
  });
  guarded([&] {
    std::vector<TProfile> profiles;
    ParseProfiles(text, profiles);
  });
  guarded([&] {
    TSnapshotUri uri;
    ParseSnapshotUri(text, uri);
  });
  guarded([&] {
    TStreamUri uri;
    ParseStreamUri(text, uri);
  });
  guarded([&] {
    std::chrono::system_clock::time_point when;
    ParseSystemDateAndTime(text, when);
  });
  guarded([&] {
    std::string xaddr;
    ParseMediaXAddr(text, xaddr);
    ParseMedia2XAddr(text, xaddr);
  });
  guarded([&] {
    IsSoapEnvelope(text);
    IsNotAuthorizedFault(text);
    IsActionNotSupportedFault(text);
    FailureReason(TSoapAnswer{400, "400 Bad Request", text});
  });
  guarded([&] {
    TProbeMatch match;
    ParseProbeMatch(text, match);
  });
  return 0;
}
