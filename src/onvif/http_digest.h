// HTTP Digest access authentication (RFC 7616, with RFC 2617's MD5 and the
// older form without qop), computed by us so that a request is answered with
// its full body on the first try: an HTTP library's own Digest may first
// send a POST without its body to obtain a challenge, which SOAP servers that
// read the envelope before they check authentication answer with 400 or 500.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto.h"

namespace zorvane {

struct TDigestChallenge {
  std::string Realm;
  std::string Nonce;
  std::string Opaque;
  bool HasOpaque = false;
  std::string Algorithm = "MD5";  // as the server named it
  THashAlgorithm Hash = THashAlgorithm::Md5;
  bool Session = false;  // an algorithm ending in "-sess"
  std::string Qop;       // "auth", "auth-int", or empty for the older form
  bool Stale = false;    // the nonce expired; the password was right
};

// The Digest challenge we can answer best among the values of the
// WWW-Authenticate headers of one answer (SHA-256 before MD5); false when
// there is none.
bool ParseDigestChallenge(const std::vector<std::string>& headerValues,
                          TDigestChallenge& challenge);

// Whether one of the WWW-Authenticate values offers the Basic scheme.
bool OffersBasic(const std::vector<std::string>& headerValues);

// The Authorization header value for one request under the challenge: nc is
// the count of requests made with its nonce (1 for the first), cnonce a
// fresh client nonce, uri the request target ("/path?query").
std::string DigestAuthorization(const TDigestChallenge& challenge, std::string_view login,
                                std::string_view password, std::string_view method,
                                std::string_view uri, std::string_view body, unsigned nc,
                                std::string_view cnonce);

// The request target of an absolute URL: its path and query ("/" at least).
std::string RequestTarget(std::string_view url);

}  // namespace zorvane
