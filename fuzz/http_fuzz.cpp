// Feeds arbitrary bytes to what the HTTP client reads of a camera's answers
// and addresses: the lines of WWW-Authenticate headers (the Digest challenge,
// and the answer computed from it), redirect targets (the Location resolved)
// and snapshot addresses (request target, origin, the masking of user
// information).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/text.h"
#include "onvif/http_digest.h"
#include "onvif/http_session.h"

using namespace zorvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> lines;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  TDigestChallenge challenge;
  if (ParseDigestChallenge(lines, challenge)) {
    try {
      const std::string answer = DigestAuthorization(challenge, "admin", "secret", "POST",
                                                     RequestTarget(text), text, 1, "0a1b2c3d");
      if (answer.find('\n') != std::string::npos || answer.find('\r') != std::string::npos)
        __builtin_trap();  // a line break would add a header of its own
    } catch (const Error&) {
      // no crypto library: an answer, not a finding
    }
  }
  const std::string masked = MaskUrlCredentials(text);
  if (masked.size() > text.size() + 9 * (text.size() / 3 + 1)) __builtin_trap();
  // A redirect target holds no byte that could break the request line.
  const std::string target = ResolveLocation("http://cam/a/b?q", text);
  for (const char c : target)
    if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F)
      __builtin_trap();
  (void)PrintableUrl(text);
  (void)OriginOf(text);
  (void)RequestTarget(text);
  // A URL that is taken has a host that is one, never looked up as anything else.
  try {
    const TUrlParts parts = SplitUrl(text);
    if (!IsValidUrlHost(parts.host)) __builtin_trap();
    for (const char c : parts.host)
      if (c == '@' || c == '/' || c == '?' || c == '#' || c == ' ' || c == '\0') __builtin_trap();
  } catch (const Error&) {
  }
  return 0;
}
