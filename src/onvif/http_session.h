// One camera's HTTP client, the same on every system: the system's HTTP
// connection (platform/http_exchange) kept between exchanges, so the
// connection stays open where the camera allows it; the login and password
// and the one camera (scheme, host and port) they may be sent to; and the
// scheme the camera asked for (HTTP Digest before Basic; nothing is sent
// before it asks), reused for the next requests until the camera refuses it.
// Redirects are followed here, hop by hop, so that each hop is checked: http
// and https only, credentials only to the camera.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "onvif/http_digest.h"
#include "onvif/messages.h"

namespace zorvane {

// Limits of the exchanges, in one place.
inline constexpr long kConnectTimeoutMs = 5000;        // name lookup, TCP (and TLS) connect
inline constexpr long kSoapExchangeTimeoutMs = 15000;  // a whole SOAP exchange
inline constexpr long kSnapshotTimeoutMs = 30000;      // a whole snapshot download
inline constexpr long kLowSpeedLimitBytes = 1024;      // slower than this ...
inline constexpr long kLowSpeedTimeSeconds = 10;       // ... for this long is aborted
inline constexpr long kMaxRedirects = 14;              // followed; one more ends the exchange
inline constexpr size_t kMaxSoapAnswerBytes = 16u << 20;
inline constexpr size_t kMaxSnapshotBytes = 64u << 20;

inline constexpr char kSoap11ContentType[] = "text/xml;charset=utf-8";
inline constexpr char kSoap12ContentType[] = "application/soap+xml; charset=utf-8";

struct THttpRequest {
  std::string Url;
  bool Post = false;
  std::string ContentType = kSoap11ContentType;
  std::string_view Body;
  long TimeoutMs = kSoapExchangeTimeoutMs;
  size_t MaxBytes = kMaxSoapAnswerBytes;
  // The body carries the camera's credentials (a SOAP envelope with its
  // token): it goes only to the camera's origins, and a redirect elsewhere
  // fails the exchange instead of taking it there.
  bool SecretBody = false;
  std::string Step = msg::kStepExchange;  // what the exchange is for, named when time runs out
};

struct THttpAnswer {
  long Status = 0;
  std::string StatusLine;            // "HTTP/1.1 401 Unauthorized"
  std::string ContentType;           // of the final answer
  bool DigestChallenge = false;      // a 401 that asks for HTTP Digest
  bool CredentialsWithheld = false;  // a 401 from where the password is not sent
  std::string Url;                   // where the final answer came from
};

// "401 Unauthorized" from the status line; the number alone without one.
std::string StatusText(const THttpAnswer& answer);

class THttpSession {
 public:
  THttpSession();
  ~THttpSession();
  THttpSession(THttpSession&&) noexcept;
  THttpSession& operator=(THttpSession&&) noexcept;

  // The login and password, and the camera they may go to: the scheme, host
  // and port of each URL given (none before the first).
  void SetCredentials(const std::string& login, const std::string& password);
  void AllowCredentialsFor(const std::string& url);
  // Whether the credentials may go to the URL: one of the camera's origins,
  // or an address the camera's name was looked up to (same scheme and port).
  bool MaySendCredentialsTo(const std::string& url) const;
  // Whether a lookup of host by this session gave address (as a URL writes
  // it: an IPv6 address in brackets), on whatever port it was asked for.
  bool ResolvedTo(const std::string& host, const std::string& address) const;
  // Forgets the connection, the allowed camera and the challenge.
  void Reset();

  // One exchange, redirects followed; the final body goes into body (its
  // capacity reused). Throws for transport failures, never for a status.
  THttpAnswer Exchange(const THttpRequest& request, std::string& body);

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};

// The parts of a URL, as written.
struct TUrlParts {
  std::string scheme, userInfo, host, port, path, document, query, fragment;
};
// Throws for a URL without scheme or host, or whose authority (up to the
// first '/', '?' or '#', as RFC 3986 reads it) is not a valid host and port.
TUrlParts SplitUrl(const std::string& url);
// A host as a URL may hold it: an IP literal in brackets, or a name or IPv4
// address of letters, digits, "-._~" and percent-encoded bytes.
bool IsValidUrlHost(std::string_view host);

// Only http and https are followed; throws Error naming any other scheme.
void RequireHttpScheme(const std::string& url);

// "scheme://host:port" in lower case with the port always written; empty
// for a URL without host.
std::string OriginOf(const std::string& url);

// Where a redirect's Location leads from url: a relative reference resolved
// against url as a browser does (".." and "." applied), spaces and bytes
// beyond ASCII percent-encoded. Empty for a Location that is empty or holds
// a control character: such a redirect is not followed.
std::string ResolveLocation(const std::string& url, std::string_view location);

// The URL as it may appear in a message or the log: without user
// information (a password may hold '/', '?', '#' or '@').
std::string PrintableUrl(const std::string& url);

// Releases the HTTP client library when the add-in unloads.
void HttpGlobalCleanup();

}  // namespace zorvane
