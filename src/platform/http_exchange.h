// One HTTP request and its response, made by the system's HTTP library.
// Nothing is decided here: a redirect or a 401 comes back as it is, for the
// session above (onvif/http_session) to follow or answer, and a failure
// comes back as what happened, for the session to put into words. A
// THttpConnection keeps the library's handle, and the connection to the
// camera where it stays open, from one exchange to the next.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/network.h"

namespace zorvane {

class TCancelSource;

// At most this many WWW-Authenticate values of one answer are kept, each cut
// to this many bytes.
inline constexpr size_t kMaxChallenges = 16;
inline constexpr size_t kMaxChallengeBytes = 4096;
// The Content-Type of an answer is cut to this many bytes.
inline constexpr size_t kMaxContentTypeBytes = 200;

// What this system's exchange can do beyond what every one does; the session
// asks rather than assumes.
struct THttpCapabilities {
  // Connects to the request's PinnedAddresses instead of looking the name up.
  bool PinsAddresses = false;
  // A request's cancel source, cancelled from another thread, ends an
  // exchange blocked in the network at once.
  bool CancelsFromAnotherThread = false;
};

enum class THttpMethod { Get, Post };

struct THttpExchangeRequest {
  // Where the request goes, as the session read the URL: the connection is
  // made to Host and Port and Target is sent, whatever a library would make
  // of the same text. Url is the same place written out (no user
  // information, no fragment), for a library that takes a URL.
  std::string Url;
  bool Secure = false;      // https
  std::string Host;         // a name, an IPv4 address, or an IPv6 address in brackets
  unsigned short Port = 0;  // always given
  std::string Target;       // "/path?query"
  THttpMethod Method = THttpMethod::Get;
  // Sent as given, after the library's own (Host, Content-Length); names and
  // values hold no line break.
  std::vector<std::pair<std::string, std::string>> Headers;
  std::string_view Body;  // of a POST; must outlive the call

  long TimeoutMs = 0;         // the whole exchange
  long ConnectTimeoutMs = 0;  // name lookup and connect (TLS included)
  size_t MaxBodyBytes = 0;    // a larger body ends the exchange as TooLarge
  // The slowest an exchange may be: fewer than MinBytesPerSecond a second
  // for MinSpeedSeconds on end ends it as TooSlow; 0: no such limit.
  long MinBytesPerSecond = 0;
  long MinSpeedSeconds = 0;

  // The addresses the session looked up for Host, to connect to instead of
  // looking the name up again (where PinsAddresses); empty: the exchange
  // looks the name up itself.
  std::vector<THostAddress> PinnedAddresses;

  // Cookies set by the earlier hops of the same exchange are sent; false drops
  // every cookie first (the first request of an exchange).
  bool KeepCookies = false;

  // Connections opened for the request are registered with it, so that
  // cancelling shuts them (where CancelsFromAnotherThread; null: none).
  std::shared_ptr<TCancelSource> Cancel;
};

// What ended an exchange before a whole answer arrived.
enum class THttpFailureKind {
  None,             // an answer arrived whole, whatever its status
  NameNotFound,     // the host's name has no address
  CannotConnect,    // the connection was refused, or the host cannot be reached
  ConnectTimedOut,  // ConnectTimeoutMs passed before the connection was made
  TimedOut,         // TimeoutMs passed
  TooSlow,          // the exchange stayed below MinBytesPerSecond too long
  Tls,              // the TLS handshake failed
  ConnectionLost,   // the connection broke or was closed before the answer was whole
  TooLarge,         // the body is (or announced itself) larger than MaxBodyBytes
  Other,            // anything else; SystemText says what
};

struct THttpFailure {
  THttpFailureKind Kind = THttpFailureKind::None;
  long ElapsedMs = 0;        // from the start of the exchange to its end
  size_t ReceivedBytes = 0;  // of the answer's body, by then
  // The system's own words for what happened (its HTTP library's or its
  // network's), in no particular language; may be empty.
  std::string SystemText;
};

struct THttpExchangeAnswer {
  THttpFailure Failure;  // Kind None: the answer below arrived whole

  long Status = 0;
  std::string StatusLine;               // "HTTP/1.1 401 Unauthorized"
  std::string ContentType;              // at most kMaxContentTypeBytes
  std::vector<std::string> Challenges;  // the WWW-Authenticate values, as capped above
  std::string Location;                 // as the server sent it; empty without one
};

class THttpConnection {
 public:
  THttpConnection();
  ~THttpConnection();
  THttpConnection(THttpConnection&&) noexcept;
  THttpConnection& operator=(THttpConnection&&) noexcept;

  // What the exchanges of this system can do; the same for every connection.
  static THttpCapabilities Capabilities();

  // Readies the library and the handle (Exchange does it too); throws Error
  // when the system's HTTP library cannot serve.
  void Open();

  // One request and its answer; the body goes into body (its capacity
  // reused; cleared first). What the network or the server does comes back
  // in the answer's Failure; only a library that cannot be used throws Error.
  THttpExchangeAnswer Exchange(const THttpExchangeRequest& request, std::string& body);

  // Closes the connection and drops the cookies.
  void Close();

 private:
  struct TImpl;
  std::unique_ptr<TImpl> F;
};

// Releases the HTTP library when the add-in unloads.
void HttpLibraryCleanup();

}  // namespace zorvane
