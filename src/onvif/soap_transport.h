// What every request to a camera shares: service URLs from an XAddrs address,
// the WS-Security UsernameToken, the header block of every envelope, and the
// two HTTP exchanges (a SOAP POST, a snapshot GET), on a camera's session or
// on one of their own.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "onvif/http_session.h"
#include "platform/crypto.h"
#include "xml/xml_stream.h"

namespace zorvane {

// The years a camera's clock may show. A date outside them is a wrong answer,
// not a clock to follow; within them every instant fits system_clock, whose
// nanoseconds end in April 2262.
inline constexpr int kFirstCameraYear = 1970;
inline constexpr int kLastCameraYear = 2200;

enum class TOnvifService { osDevice = 0, osMedia = 1 };

// The URL of the named service of the device whose device service is XAddrs.
std::string BuildServiceURL(const std::string& XAddrs, TOnvifService Service);

// The 20-byte SHA-1 digest of Data.
std::array<uint8_t, 20> SHA1Bytes(std::string_view Data);

// "2024-03-05T07:08:09.010Z"
std::string FormatCreated(std::chrono::system_clock::time_point utc);

struct TUsernameToken {
  std::string Digest;
  std::string Nonce;
  std::string Created;
};
// A fresh nonce, the current time, and the password digest over both.
// clockOffset moves Created to a camera whose clock differs from ours; an
// offset that takes it outside kFirstCameraYear..kLastCameraYear is an error.
void BuildUsernameToken(const std::string& Login, const std::string& Password, std::string& Digest,
                        std::string& Nonce, std::string& Created,
                        std::chrono::milliseconds clockOffset = std::chrono::milliseconds(0));
// The same over given nonce bytes and Created text (the digest rule alone).
std::string PasswordDigest(std::string_view nonceBytes, std::string_view created,
                           std::string_view password);

// The header block every envelope carries, from <Security ...> to </soap:Header>.
std::string BuildSecurityHeader(
    const std::string& Login, const std::string& Password,
    std::chrono::milliseconds clockOffset = std::chrono::milliseconds(0));

// The final answer of a SOAP exchange: status, reason phrase and body.
struct TSoapAnswer {
  long Status = 0;
  std::string StatusText;  // "401 Unauthorized"
  std::string Body;
};

// How a camera wants its SOAP requests, as learned from its answers.
struct TSoapOptions {
  std::string ContentType = kSoap11ContentType;
  std::string Login;  // for HTTP Digest, when the camera asks for it
  std::string Password;
};

// The name of the request an envelope carries ("GetSnapshotUri").
std::string SoapActionName(std::string_view envelope);

// One SOAP exchange on a camera's session: HTTP Digest answered with the
// full envelope when the camera asks for it.
TSoapAnswer PostSoap(THttpSession& session, const std::string& URL, const std::string& Envelope,
                     const std::string& ContentType);
// The same on a session of its own; the credentials may go to URL's host.
TSoapAnswer PostSoap(const std::string& URL, const std::string& Envelope,
                     const TSoapOptions& options = {});
// POSTs the envelope (UTF-8) and returns the answer body as received.
std::string PostSoapRequest(const std::string& URL, const std::string& Envelope);
// One POST exchange; the final body goes to Response whatever its status.
void HttpPost(const std::string& URL, TStream& Source, TStream& Response);
// One GET exchange of an image: Basic with the first request when Login is set,
// Digest once when the camera asks for it; a status outside 2xx is an error
// and nothing is written to Target.
void HttpGet(const std::string& URL, const std::string& Login, const std::string& Password,
             TStream& Target);
// The same, the image bytes returned, or put into image (whose capacity is reused).
std::string HttpGetBytes(const std::string& URL, const std::string& Login,
                         const std::string& Password);
void HttpGetBytes(const std::string& URL, const std::string& Login, const std::string& Password,
                  std::string& image);

// A snapshot download on a camera's session: Basic with the first request
// where the credentials may go, Digest when the camera asks; a status
// outside 2xx is an error and image is left empty.
THttpAnswer GetSnapshot(THttpSession& session, const std::string& URL, std::string& image);

}  // namespace zorvane
