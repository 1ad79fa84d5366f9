// One HTTP request and its response, made by the system's HTTP library
// (libcurl on Linux, WinHTTP on Windows). Nothing is decided here: a redirect
// or a 401 comes back as it is, for the session above (onvif/http_session)
// to follow or answer. A THttpConnection keeps the library's handle, and the
// connection to the camera where it stays open, from one exchange to the next.
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
  // Fewer than LowSpeedBytes a second for LowSpeedSeconds ends it as TimedOut.
  long LowSpeedBytes = 0;
  long LowSpeedSeconds = 0;

  // The addresses the session looked up for Host, to be used instead of a
  // lookup of the library's own; empty: the library looks the name up
  // itself. (WinHTTP has no way to take them and does.)
  std::vector<THostAddress> PinnedAddresses;

  // Cookies set by the earlier hops of the same exchange are sent; false drops
  // every cookie first (the first request of an exchange).
  bool KeepCookies = false;

  // Connections opened for the request are registered with it, so that
  // cancelling shuts them (null: none). WinHTTP cannot be interrupted this way.
  std::shared_ptr<TCancelSource> Cancel;
};

enum class THttpOutcome {
  Ok,        // an answer arrived whole, whatever its status
  TimedOut,  // a time limit or the low-speed limit ended it
  TooLarge,  // the body is (or announced itself) larger than MaxBodyBytes
  Failed,    // anything else; Failure says what
};

// Which limit ended an exchange that timed out.
enum class THttpTimeout {
  Connect,  // ConnectTimeoutMs, before the connection was made
  Whole,    // TimeoutMs
  TooSlow,  // the low-speed limit
};

struct THttpExchangeAnswer {
  THttpOutcome Outcome = THttpOutcome::Failed;
  std::string Failure;                         // the library's text, for TimedOut and Failed
  THttpTimeout Timeout = THttpTimeout::Whole;  // for TimedOut

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

  // Readies the library and the handle (Exchange does it too); throws Error
  // when the system's HTTP library cannot serve.
  void Open();

  // One request and its answer; the body goes into body (its capacity
  // reused; cleared first). What the network or the server does comes back
  // in the outcome; only a library that cannot be used throws Error.
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
