// What every request to a camera shares: service URLs from an XAddrs address,
// the WS-Security UsernameToken, the header block of every envelope, and the
// two HTTP exchanges (a SOAP POST, a snapshot GET). Each exchange has its own
// client: no connection, cookie or credential outlives it.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/crypto.h"
#include "xml/xml_stream.h"

namespace zorvane {

// Limits of the exchanges, in one place.
inline constexpr long kConnectTimeoutMs = 5000;        // TCP (and TLS) connect
inline constexpr long kSoapExchangeTimeoutMs = 15000;  // a whole SOAP exchange
inline constexpr long kSnapshotTimeoutMs = 30000;      // a whole snapshot download
inline constexpr long kLowSpeedLimitBytes = 1024;      // slower than this ...
inline constexpr long kLowSpeedTimeSeconds = 10;       // ... for this long is aborted
inline constexpr long kMaxRedirects = 14;              // followed; one more ends the exchange
inline constexpr size_t kMaxSoapAnswerBytes = 16u << 20;
inline constexpr size_t kMaxSnapshotBytes = 64u << 20;

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
// clockOffset moves Created to a camera whose clock differs from ours.
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

// The parts of a URL, as written.
struct TUrlParts {
  std::string scheme, userInfo, host, port, path, document, query, fragment;
};
TUrlParts SplitUrl(const std::string& url);  // throws for a URL without scheme or host

// The final answer of a SOAP exchange: status, reason phrase and body.
struct TSoapAnswer {
  long Status = 0;
  std::string StatusText;  // "401 Unauthorized"
  std::string Body;
  bool DigestChallenge = false;  // a 401 that asks for HTTP Digest
};

inline constexpr char kSoap11ContentType[] = "text/xml;charset=utf-8";
inline constexpr char kSoap12ContentType[] = "application/soap+xml; charset=utf-8";

// How a camera wants its SOAP requests, as learned from its answers.
struct TSoapOptions {
  std::string ContentType = kSoap11ContentType;
  bool Digest = false;  // HTTP Digest with the login and password below
  std::string Login;
  std::string Password;
  // When set, no exchange runs past it (a search's deadline).
  std::chrono::steady_clock::time_point Deadline{};
};

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

// Releases the HTTP client library when the add-in unloads.
void HttpGlobalCleanup();

}  // namespace zorvane
