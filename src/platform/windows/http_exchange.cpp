// One HTTP exchange with WinHTTP in its synchronous mode: a session handle per
// connection object, whose pool keeps the camera's connection open between
// exchanges, and a request handle per request. WinHTTP follows no redirect,
// answers no challenge and uses no proxy here: the session above does that
// the same way on every system.
//
// WinHTTP looks the name up itself: the pinned addresses are not used.
// Cancelling: closing a handle from another thread does not interrupt a call
// blocked in it (so it is under Wine), so an exchange here ends only at its
// time limits, and the request's cancel source is not used. Capabilities()
// says both.
#include "platform/http_exchange.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <optional>

#include "common/error.h"
#include "platform/cancel.h"
#include "platform/messages.h"
#include "platform/windows/windows_text.h"

namespace zorvane {

namespace {

// Cameras ship self-signed certificates: none is checked.
constexpr DWORD kIgnoreCertificate =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
    SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
// TLS 1.2 or newer; systems that do not know 1.3 get 1.2 alone.
constexpr DWORD kTls12And13 =
    WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2 | WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_3;
// A receive that runs out of time ends with either code (the second under Wine).
constexpr DWORD kSocketTimedOut = 10060;  // WSAETIMEDOUT

// What the WinHTTP failures the session tells apart mean; any other code is
// Other, and a time-out is told by the request's clock.
struct TWinHttpFailure {
  DWORD Code;
  THttpFailureKind Kind;
};
constexpr TWinHttpFailure kWinHttpFailures[] = {
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, THttpFailureKind::NameNotFound},
    {ERROR_WINHTTP_CANNOT_CONNECT, THttpFailureKind::CannotConnect},
    {ERROR_WINHTTP_SECURE_FAILURE, THttpFailureKind::Tls},
    {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, THttpFailureKind::Tls},
    {ERROR_WINHTTP_SECURE_INVALID_CERT, THttpFailureKind::Tls},
    {ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED, THttpFailureKind::Tls},
    {ERROR_WINHTTP_CONNECTION_ERROR, THttpFailureKind::ConnectionLost},
};

THttpFailureKind FailureKindOf(DWORD code) {
  for (const TWinHttpFailure& f : kWinHttpFailures) {
    if (f.Code == code) return f.Kind;
  }
  return THttpFailureKind::Other;
}

struct THandleCloser {
  void operator()(HINTERNET h) const { WinHttpCloseHandle(h); }
};
using THandle = std::unique_ptr<void, THandleCloser>;

// A header value as the server sent its bytes (a Digest realm is hashed as
// bytes). WinHTTP widens them through the ANSI code page (so under Wine:
// 0x80 arrives as U+20AC), or byte for byte; whichever gives the value back
// exactly is taken.
std::string HeaderBytes(std::wstring_view value) {
  const auto below = [value](wchar_t limit) {
    return std::all_of(value.begin(), value.end(), [limit](wchar_t c) { return c < limit; });
  };
  std::string out(value.size(), '\0');
  const auto narrow = [&] {
    std::transform(value.begin(), value.end(), out.begin(),
                   [](wchar_t c) { return static_cast<char>(c); });
    return out;
  };
  if (below(0x80)) return narrow();
  const int size = static_cast<int>(std::min<size_t>(value.size(), INT_MAX));
  const int n = WideCharToMultiByte(CP_ACP, 0, value.data(), size, nullptr, 0, nullptr, nullptr);
  if (n > 0) {
    std::string ansi(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, value.data(), size, ansi.data(), n, nullptr, nullptr);
    const int back = MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, nullptr, 0);
    std::wstring again(static_cast<size_t>(std::max(back, 0)), L'\0');
    if (back > 0) MultiByteToWideChar(CP_ACP, 0, ansi.data(), n, again.data(), back);
    if (again == value) return ansi;
  }
  return below(0x100) ? narrow() : Narrow(value);
}

[[noreturn]] void ThrowLibraryError(const std::string& what) {
  const DWORD code = GetLastError();
  throw Error(what + ": " + WindowsErrorText(code));
}

void SetNumber(HINTERNET h, DWORD option, DWORD value, const char* name) {
  if (!WinHttpSetOption(h, option, &value, sizeof value))
    ThrowLibraryError(msg::WinHttpRefused(name));
}
#define ZV_SETOPTION(h, option, value) SetNumber(h, option, value, #option)

// One header of the answer; the index (null: the first) moves on to the next
// value of the same name when one is read.
std::optional<std::wstring> QueryHeader(HINTERNET request, DWORD info, DWORD* index = nullptr) {
  DWORD bytes = 0;
  const DWORD start = index ? *index : 0;
  if (WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                          &bytes, index))
    return std::wstring();  // present and empty
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (index) *index = start;
  if (!WinHttpQueryHeaders(request, info, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &bytes,
                           index)) {
    return std::nullopt;
  }
  value.resize(bytes / sizeof(wchar_t));
  return value;
}

// The clock of one request: its whole limit, and its lowest speed (fewer
// than MinBytesPerSecond a second, MinSpeedSeconds on end, ends it).
class TRequestClock {
 public:
  using Clock = std::chrono::steady_clock;

  explicit TRequestClock(const THttpExchangeRequest& r)
      : FStart(Clock::now()),
        FEnd(std::chrono::milliseconds(std::max(r.TimeoutMs, 1L))),
        FMinBytesPerSecond(r.MinBytesPerSecond),
        FMinSpeedSeconds(r.MinSpeedSeconds),
        FWindowStart(FStart) {}

  long ElapsedMs() const { return MsBetween(FStart, Clock::now()); }
  long RemainingMs() const { return std::max(0L, FEnd.RemainingMs()); }
  bool Expired() const { return RemainingMs() == 0; }
  bool SpeedLimited() const { return FMinBytesPerSecond > 0 && FMinSpeedSeconds > 0; }

  // How long one call may wait for data: the rest of the request, and no
  // longer than the speed limit allows silence.
  DWORD WaitMs() const {
    long ms = RemainingMs();
    if (SpeedLimited()) ms = std::min(ms, FMinSpeedSeconds * 1000);
    return static_cast<DWORD>(std::max(ms, 1L));
  }

  // The speed limit counts from the first byte of the body on; until then,
  // silence is bounded by WaitMs.
  void StartBody() {
    FWindowStart = Clock::now();
    FWindowBytes = 0;
  }

  // Counts bytes received; false once a whole period of MinSpeedSeconds
  // brought fewer than the limit asks.
  bool Received(size_t bytes) {
    if (!SpeedLimited()) return true;
    FWindowBytes += bytes;
    const Clock::time_point now = Clock::now();
    if (MsBetween(FWindowStart, now) < FMinSpeedSeconds * 1000) return true;
    const bool fastEnough =
        FWindowBytes >= static_cast<unsigned long long>(FMinBytesPerSecond) * FMinSpeedSeconds;
    FWindowStart = now;
    FWindowBytes = 0;
    return fastEnough;
  }

 private:
  static long MsBetween(Clock::time_point a, Clock::time_point b) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(b - a).count());
  }

  Clock::time_point FStart;
  TDeadline FEnd;
  long FMinBytesPerSecond, FMinSpeedSeconds;
  Clock::time_point FWindowStart;
  unsigned long long FWindowBytes = 0;
};

bool IsTimeout(DWORD code) {
  return code == ERROR_WINHTTP_TIMEOUT || code == kSocketTimedOut;
}

// The header lines; WinHTTP sends them in UTF-8, so a login beyond ASCII in
// a Digest answer goes out in the bytes it was hashed in.
std::wstring HeaderLines(const THttpExchangeRequest& r) {
  std::string lines;
  for (const auto& [name, value] : r.Headers) lines += name + ": " + value + "\r\n";
  return Wide(lines);
}

// Everything the answer's headers tell; false when the body announced is too large.
bool ReadHeaders(HINTERNET request, size_t maxBytes, THttpExchangeAnswer& a, std::string& body,
                 bool& setsCookie) {
  setsCookie = QueryHeader(request, WINHTTP_QUERY_SET_COOKIE).has_value();
  DWORD status = 0;
  DWORD size = sizeof status;
  if (WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                          WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    a.Status = static_cast<long>(status);
  const std::string version =
      HeaderBytes(QueryHeader(request, WINHTTP_QUERY_VERSION).value_or(L"HTTP/1.1"));
  const std::string reason =
      HeaderBytes(QueryHeader(request, WINHTTP_QUERY_STATUS_TEXT).value_or(L""));
  a.StatusLine = version + " " + std::to_string(a.Status) + (reason.empty() ? "" : " " + reason);
  if (const auto type = QueryHeader(request, WINHTTP_QUERY_CONTENT_TYPE))
    a.ContentType = HeaderBytes(*type).substr(0, kMaxContentTypeBytes);
  DWORD index = 0;
  while (a.Challenges.size() < kMaxChallenges) {
    const auto challenge = QueryHeader(request, WINHTTP_QUERY_WWW_AUTHENTICATE, &index);
    if (!challenge) break;
    a.Challenges.push_back(HeaderBytes(*challenge).substr(0, kMaxChallengeBytes));
  }
  if (const auto location = QueryHeader(request, WINHTTP_QUERY_LOCATION))
    a.Location = HeaderBytes(*location);
  if (const auto length = QueryHeader(request, WINHTTP_QUERY_CONTENT_LENGTH)) {
    // One allocation for the whole body, within the limit.
    const unsigned long long bytes = std::wcstoull(length->c_str(), nullptr, 10);
    if (bytes > maxBytes) return false;
    if (bytes > 0) body.reserve(static_cast<size_t>(bytes));
  }
  return true;
}

}  // namespace

THttpCapabilities THttpConnection::Capabilities() {
  return {.PinsAddresses = false, .CancelsFromAnotherThread = false};
}

void HttpLibraryCleanup() {
  // WinHTTP holds nothing beyond the handles, which their owners close.
}

struct THttpConnection::TImpl {
  THandle Session;
  bool CookiesSet = false;  // an answer on this session set a cookie

  void Open() {
    if (Session) return;
    // No agent name (no User-Agent header), no proxy: cameras are reached directly.
    Session.reset(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                              WINHTTP_NO_PROXY_BYPASS, 0));
    if (!Session) ThrowLibraryError(msg::kCannotStartWinHttp);
    DWORD protocols = kTls12And13;
    if (!WinHttpSetOption(Session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                          sizeof protocols)) {
      protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
      if (!WinHttpSetOption(Session.get(), WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols,
                            sizeof protocols)) {
        const DWORD code = GetLastError();
        Session.reset();
        throw Error(std::string(msg::kWinHttpRefusedTls12) + ": " + WindowsErrorText(code));
      }
    }
  }
  void Close() {
    Session.reset();
    CookiesSet = false;
  }
};

THttpConnection::THttpConnection() : F(std::make_unique<TImpl>()) {}
THttpConnection::~THttpConnection() = default;
THttpConnection::THttpConnection(THttpConnection&&) noexcept = default;
THttpConnection& THttpConnection::operator=(THttpConnection&&) noexcept = default;

void THttpConnection::Open() {
  F->Open();
}

void THttpConnection::Close() {
  F->Close();
}

THttpExchangeAnswer THttpConnection::Exchange(const THttpExchangeRequest& request,
                                              std::string& body) {
  // Cookies live in the session: a new one drops them, and with them the
  // open connections, so one is made only when an answer set a cookie.
  if (!request.KeepCookies && F->CookiesSet) F->Close();
  F->Open();
  THttpExchangeAnswer answer;
  body.clear();
  TRequestClock clock(request);
  // The exchange ends as kind, with the system's words for code (0: none, the
  // clock decided).
  auto end = [&](THttpFailureKind kind, DWORD code) {
    answer.Failure.Kind = kind;
    answer.Failure.ElapsedMs = clock.ElapsedMs();
    answer.Failure.ReceivedBytes = body.size();
    if (code != 0) answer.Failure.SystemText = WindowsErrorText(code);
    return answer;
  };
  // A call that failed with code; a time-out is the whole limit's once it
  // has passed, else the connect limit's or the silence the speed limit allows.
  auto fail = [&](DWORD code, bool connecting) {
    if (!IsTimeout(code)) return end(FailureKindOf(code), code);
    return end(clock.Expired() ? THttpFailureKind::TimedOut
               : connecting    ? THttpFailureKind::ConnectTimedOut
                               : THttpFailureKind::TooSlow,
               code);
  };

  // The host, port and target the session read; WinHTTP's own reading of
  // the URL (WinHttpCrackUrl) may differ from it and is never asked.
  const THandle connection(
      WinHttpConnect(F->Session.get(), Wide(request.Host).c_str(), request.Port, 0));
  if (!connection) return fail(GetLastError(), true);
  const bool post = request.Method == THttpMethod::Post;
  // The target goes out as the session wrote it: the Digest answer covers it.
  const THandle r(
      WinHttpOpenRequest(connection.get(), post ? L"POST" : L"GET", Wide(request.Target).c_str(),
                         nullptr, WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                         (request.Secure ? WINHTTP_FLAG_SECURE : 0) | WINHTTP_FLAG_ESCAPE_DISABLE |
                             WINHTTP_FLAG_ESCAPE_DISABLE_QUERY));
  if (!r) return fail(GetLastError(), true);

  // A redirect or a 401 comes back to the session, which answers it; no
  // logon of the Windows user is ever offered.
  ZV_SETOPTION(r.get(), WINHTTP_OPTION_REDIRECT_POLICY, WINHTTP_OPTION_REDIRECT_POLICY_NEVER);
  ZV_SETOPTION(r.get(), WINHTTP_OPTION_AUTOLOGON_POLICY, WINHTTP_AUTOLOGON_SECURITY_LEVEL_HIGH);
  if (request.Secure) ZV_SETOPTION(r.get(), WINHTTP_OPTION_SECURITY_FLAGS, kIgnoreCertificate);

  // The limits, set on the request (limits on the session alone are not
  // obeyed everywhere) and renewed before each call that waits. The wait for
  // the answer's headers has a limit of its own, which WinHttpSetTimeouts
  // does not set.
  const auto setTimeouts = [&] {
    const int connect =
        static_cast<int>(std::max(1L, std::min(request.ConnectTimeoutMs, clock.RemainingMs())));
    const DWORD wait = clock.WaitMs();
    if (!WinHttpSetTimeouts(r.get(), connect, connect, static_cast<int>(wait),
                            static_cast<int>(wait)))
      ThrowLibraryError(msg::kWinHttpRefusedTimeLimits);
    ZV_SETOPTION(r.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, wait);
  };
  setTimeouts();
  const std::wstring headers = HeaderLines(request);
  if (request.Body.size() > MAXDWORD) throw Error(msg::kRequestTooLargeForWinHttp);
  const auto bodySize = static_cast<DWORD>(request.Body.size());
  if (!WinHttpSendRequest(r.get(),
                          headers.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headers.c_str(),
                          static_cast<DWORD>(headers.size()),
                          post ? const_cast<char*>(request.Body.data()) : WINHTTP_NO_REQUEST_DATA,
                          post ? bodySize : 0, post ? bodySize : 0, 0)) {
    return fail(GetLastError(), true);
  }
  setTimeouts();
  if (!WinHttpReceiveResponse(r.get(), nullptr)) return fail(GetLastError(), false);

  bool setsCookie = false;
  const bool fits = ReadHeaders(r.get(), request.MaxBodyBytes, answer, body, setsCookie);
  F->CookiesSet = F->CookiesSet || setsCookie;
  if (!fits) return end(THttpFailureKind::TooLarge, 0);
  clock.StartBody();

  for (;;) {
    setTimeouts();
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(r.get(), &available)) return fail(GetLastError(), false);
    if (available == 0) break;
    if (available > request.MaxBodyBytes - std::min(body.size(), request.MaxBodyBytes))
      return end(THttpFailureKind::TooLarge, 0);
    const size_t had = body.size();
    body.resize(had + available);
    DWORD read = 0;
    const bool ok = WinHttpReadData(r.get(), body.data() + had, available, &read);
    body.resize(had + (ok ? read : 0));
    if (!ok) return fail(GetLastError(), false);
    if (read == 0) break;
    if (!clock.Received(read)) return end(THttpFailureKind::TooSlow, 0);
    if (clock.Expired()) return end(THttpFailureKind::TimedOut, 0);
  }
  return answer;
}

}  // namespace zorvane
